// The fuzz targets' working folder: every input writes files, so they go in
// memory where the system has a place for it.
#pragma once
#include <unistd.h>

#include <cstdlib>

inline void fuzz_enter_scratch_dir()
{
    char shm[] = "/dev/shm/zorvik-fuzz-XXXXXX", tmp[] = "/tmp/zorvik-fuzz-XXXXXX";
    char* dir = mkdtemp(shm);
    if (!dir)
        dir = mkdtemp(tmp);
    if (!dir || chdir(dir) != 0)
        abort();
}
