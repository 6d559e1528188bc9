// Where an installed machine keeps its own files. The tools look for the
// font, the icon and the default program in the folder they run from first;
// an installed tool then falls back to the data folder of its install,
// found from its own location (share/zorvik beside its bin/), so that any
// prefix and the Debian package work alike. A tool in the build tree has no
// such folder and looks only where it runs.
#pragma once
#include <string>

// The path to open for NAME: NAME itself when it is readable in the current
// folder or when the install's data folder has no such file, otherwise the
// installed copy.
std::string datadir_find(const char* name);

// The folder SUB of the install's share/ (for example "doc/zorvik"), as an
// absolute path; empty when the tool is not installed or there is none.
std::string datadir_share(const char* sub);

// The folder that holds the running executable; empty when it cannot be told.
std::string datadir_exe_folder();
