// Allowed: the shrinker's extra stage starts the cutting tool.
#include "launch/ProcessRunner.h"
#include "recovery/Shrinker.h"
