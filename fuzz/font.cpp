// Fuzz target "font": the bytes as a font file, loaded and drawn with (see
// drive.h).
#include <unistd.h>

#include <cstdlib>

#include "drive.h"
#include "scratch.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_enter_scratch_dir();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_font_file(data, size);
    return 0;
}
