// Fuzz target "run": source bytes through the whole machine (see drive.h),
// with a budget that ends programs that loop on purpose.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "datadir.h"
#include "drive.h"
#include "scratch.h"
#include "parse.h"
#include "services.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    // The font as the tools find it (datadir.h), from where the fuzzer was
    // started or from the build's run folder, copied into the scratch
    // folder: a run without it would draw no text at all.
    std::string font = std::filesystem::absolute(datadir_find("term.mxf")).string();
    fuzz_enter_scratch_dir();
    if (!fuzz_take_font(font.c_str())) {
        fprintf(stderr, "zorvik_fuzz_run: cannot copy the font %s into the scratch folder\n", font.c_str());
        abort();
    }
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
