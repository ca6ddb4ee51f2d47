// Not allowed: the launcher talks to the cutting tool through its command line only.
#include "clipwright/ClipJob.h"
