// Where the tools find their own files: the font, the icon and the default
// program. They look in the folder they run from first; then in the data
// folder of their install, found from their own location (share/zorvik
// beside their bin/), so that any prefix and the Debian package work
// alike; and a tool in the build tree in the run folder beside it (run/),
// so that it works from any folder too.
#pragma once
#include <string>
#include <vector>

// The path to open for NAME: in the first folder that has it readable, or
// NAME itself when none has.
std::string datadir_find(const char* name);

// The folders datadir_find searches, in order, as absolute paths.
std::vector<std::string> datadir_folders();

// A front end that runs programs in a folder of its own making (zorvik-test)
// names the folder the user started it from, which is then searched in
// place of the current one.
void datadir_set_home(const std::string& folder);

// The folder SUB of the install's share/ (for example "doc/zorvik"), as an
// absolute path; empty when the tool is not installed or there is none.
std::string datadir_share(const char* sub);

// The folder that holds the running executable; empty when it cannot be told.
std::string datadir_exe_folder();
