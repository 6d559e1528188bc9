// Fuzz target "font": the bytes as a font file, loaded and drawn with (see
// drive.h).
#include <unistd.h>

#include <cstdlib>

#include "drive.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char dir[] = "/tmp/zorvik-fuzz-XXXXXX";
    if (!mkdtemp(dir) || chdir(dir) != 0)
        abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_font_file(data, size);
    return 0;
}
