// Fuzz target "lsp": zorvik-lsp's message reader and document sync (see
// fuzz_lsp_session). Answers go to /dev/null.
#include <cstdio>
#include <cstdlib>

#include "drive.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (!freopen("/dev/null", "w", stdout))
        abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_lsp_session(data, size);
    return 0;
}
