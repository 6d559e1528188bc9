// The folders the tools find their own files in: the one they run from,
// their install's data folder, the build tree's run folder.
#include "datadir.h"

#include <unistd.h>

#include <filesystem>

namespace fs = std::filesystem;

static std::string home;

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

void datadir_set_home(const std::string& folder)
{
    home = folder;
}

std::vector<std::string> datadir_folders()
{
    std::error_code error;
    std::vector<std::string> folders;
    std::string here = home.empty() ? fs::current_path(error).string() : home;
    folders.push_back(error ? "." : here);
    std::string installed = datadir_share("zorvik");
    if (!installed.empty())
        folders.push_back(installed);
    std::string bin = datadir_exe_folder();
    if (!bin.empty() && fs::is_directory(fs::path(bin) / "run", error))
        folders.push_back((fs::path(bin) / "run").string());
    return folders;
}

std::string datadir_find(const char* name)
{
    if (home.empty() && access(name, R_OK) == 0)
        return name;
    for (const std::string& folder : datadir_folders()) {
        std::string path = folder + "/" + name;
        if (access(path.c_str(), R_OK) == 0)
            return path;
    }
    return name;
}
