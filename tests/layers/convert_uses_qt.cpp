// Not allowed: only the desktop program uses Qt.
#include <QString>
