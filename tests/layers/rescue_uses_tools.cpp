// The rescue chains the repair engine, the recovery tools and the launcher.
#include "rescue/Rescue.h"
#include "repair/AsfFile.h"
#include "recovery/HeaderRebuild.h"
#include "launch/BasicRepair.h"
