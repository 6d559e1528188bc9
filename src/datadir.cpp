// The install's data folder, found from the executable's own location.
#include "datadir.h"

#include <unistd.h>

#include <filesystem>

namespace fs = std::filesystem;

std::string datadir_exe_folder()
{
    std::error_code error;
    fs::path exe = fs::read_symlink("/proc/self/exe", error);
    if (error || exe.empty())
        return "";
    return exe.parent_path().string();
}

std::string datadir_share(const char* sub)
{
    std::string bin = datadir_exe_folder();
    if (bin.empty())
        return "";
    std::error_code error;
    fs::path folder = fs::path(bin).parent_path() / "share" / sub;
    if (!fs::is_directory(folder, error))
        return "";
    return folder.lexically_normal().string();
}

std::string datadir_find(const char* name)
{
    if (access(name, R_OK) == 0)
        return name;
    std::string folder = datadir_share("zorvik");
    if (folder.empty())
        return name;
    std::string installed = folder + "/" + name;
    return access(installed.c_str(), R_OK) == 0 ? installed : name;
}
