// The program listings written after a run: the HTML listing and the flat
// icode file.
#pragma once

void build_debug(const char* path);
void build_icode(const char* path);
