// Fuzz target "png": the bytes as a PNG whose program is read (see drive.h).
#include "drive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_png_file(data, size);
    return 0;
}
