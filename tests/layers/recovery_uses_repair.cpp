// Not allowed: recovery and repair are separate tools on the same format layer.
#include "repair/AsfFile.h"
