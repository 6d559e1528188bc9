// Fuzz target "font": the bytes as a font file, loaded and drawn with (see
// drive.h).
#include <unistd.h>

#include <cstdlib>

#include "drive.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Every input writes files: in memory where the system has a place for it.
    char shm[] = "/dev/shm/zorvik-fuzz-XXXXXX", tmp[] = "/tmp/zorvik-fuzz-XXXXXX";
    char* dir = mkdtemp(shm);
    if (!dir)
        dir = mkdtemp(tmp);
    if (!dir || chdir(dir) != 0)
        abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_font_file(data, size);
    return 0;
}
