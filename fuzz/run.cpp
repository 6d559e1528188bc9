// Fuzz target "run": source bytes through the whole machine (see drive.h),
// with a budget that ends programs that loop on purpose.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "drive.h"
#include "scratch.h"
#include "parse.h"
#include "services.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    fuzz_enter_scratch_dir();
    if (!freopen("/dev/null", "w", stdout))
        abort();
    run_budget = 100;
    set_callback(calls);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_run_source(data, size);
    return 0;
}
