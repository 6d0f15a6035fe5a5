#include "util/ProcessHardening.h"

#include <sys/prctl.h>
#include <sys/resource.h>

bool DisableCoreDumps()
{
    const rlimit none{0, 0};
    const bool noCoreFile = ::setrlimit(RLIMIT_CORE, &none) == 0;
    const bool notDumpable = ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
    return noCoreFile && notDumpable;
}
