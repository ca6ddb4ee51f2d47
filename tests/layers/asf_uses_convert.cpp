// Not allowed: the format layer uses no tool.
#include "convert/Asf2Avi.h"
