// The tools the rescue chains may not reach back into it.
#include "rescue/Rescue.h"
