// The program listings written after a run.
#include "listing.h"

void build_debug(const char*)
{
}

void build_icode(const char*)
{
}
