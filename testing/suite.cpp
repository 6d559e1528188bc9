// Finding the tests: every NAME.zvs under the paths with an expectation
// file beside it, every NAME.test that names its program, and the settings
// of each one's NAME.test.
#include <filesystem>
#include <map>

#include "ztest.h"

namespace fs = std::filesystem;

static bool exists(const std::string& path)
{
    std::error_code error;
    return fs::is_regular_file(path, error);
}

// Whether anything stands at the path, a link to nothing too.
static bool present(const std::string& path)
{
    std::error_code error;
    return fs::symlink_status(path, error).type() != fs::file_type::not_found;
}

static bool is_test(const ztest_case& c, ztest_update update)
{
    return update == UPDATE_ALL || c.has_in || c.has_keys || c.has_out || c.has_png || c.has_test;
}

static bool ends_with_zvs(const fs::path& p)
{
    return p.extension() == ".zvs";
}

// A NAME.test that names its program is a test by itself; one beside its
// NAME.zvs is found with the program.
static bool own_test(const fs::path& p)
{
    return p.extension() == ".test" && !present((p.parent_path() / p.stem()).string() + ".zvs") &&
           ztest_names_program(p.string());
}

// A test's name with no root, "." or ".." in it, so that it stays below
// the folder it is put under.
static std::string below_root(const std::string& name)
{
    fs::path kept;
    for (const fs::path& part : fs::path(name).relative_path())
        if (part != "." && part != ".." && !part.empty())
            kept /= part;
    return kept.string();
}

// Each test's label: its path below the folder it was found in, or its
// file name when it was named itself. Tests of one label from two places
// are told apart by their whole names.
static void give_labels(std::vector<ztest_case>& cases, const std::map<std::string, std::string>& labels)
{
    std::map<std::string, int> uses;
    for (ztest_case& c : cases)
        uses[c.label = labels.at(c.name)]++;
    for (ztest_case& c : cases)
        if (uses[c.label] > 1)
            c.label = below_root(c.name);
}

// The label of a test found in the folder `suite`.
static std::string label_in(const std::string& suite, const std::string& name)
{
    fs::path folder = fs::path(suite).lexically_normal();
    if (!folder.has_filename())
        folder = folder.parent_path();
    fs::path label = fs::path(name).lexically_normal().lexically_relative(folder);
    return label.empty() || *label.begin() == ".." ? below_root(name) : label.string();
}

bool ztest_discover(const ztest_options& options, std::vector<ztest_case>& cases, std::string& error)
{
    std::map<std::string, std::string> labels;  // name to label, the first place it was found
    for (const std::string& path : options.paths) {
        std::error_code ec;
        if (fs::is_directory(path, ec)) {
            // Every NAME.zvs that has a file beside it, whatever stands at
            // NAME.zvs: a link to nothing there is a test that cannot run.
            fs::recursive_directory_iterator it(path, fs::directory_options::skip_permission_denied, ec), end;
            for (; !ec && it != end; it.increment(ec)) {
                const fs::path& p = it->path();
                std::string name = (p.parent_path() / p.stem()).string();
                if ((ends_with_zvs(p) && is_test(ztest_load(name), options.update)) || own_test(p))
                    labels.emplace(name, label_in(path, name));
            }
            if (ec) {
                error = path + ": " + ec.message();
                return false;
            }
        } else if ((ends_with_zvs(path) || fs::path(path).extension() == ".test") && exists(path)) {
            // A program or a NAME.test named on the command line is a test,
            // whatever lies beside it.
            fs::path p(path);
            labels.emplace((p.parent_path() / p.stem()).string(), p.stem().string());
        } else {
            error = path + ": " + (exists(path) ? "not a .zvs program, a .test file or a folder" : "no such file or folder");
            return false;
        }
    }
    for (const auto& [name, label] : labels)
        cases.push_back(ztest_load(name));
    give_labels(cases, labels);
    return true;
}
