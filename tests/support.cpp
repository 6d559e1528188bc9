#include "support.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "parse.h"

std::string make_temp_dir()
{
    const char* base = getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/zorvik-test-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back(0);
    if (!mkdtemp(buf.data()))
        throw std::runtime_error("mkdtemp failed");
    return buf.data();
}

std::string write_temp_file(const std::string& content, const std::string& name)
{
    std::string path = make_temp_dir() + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void lex_source(const std::string& source)
{
    mlex_file f{};
    if (mlex_init_file(&f, write_temp_file(source).c_str()) != 1)
        throw std::runtime_error("cannot open the temporary source");
    sym_init(&symbols);
    do {
        mlex_gettoken(&f);
    } while (cur_token.tok_type != TOK_END);
    mlex_close(&f);
}

void run_source(const std::string& source)
{
    lex_source(source);
    parse();
}

std::vector<std::string> token_texts()
{
    std::vector<std::string> texts;
    for (token_cell* c = symbols.head; c; c = c->next_cell)
        texts.push_back(c->tok->lexeme);
    return texts;
}

// Points a standard descriptor at a file for the duration of fn.
static void redirect(int fd, FILE* stream, const std::string& path, int flags,
                     const std::function<void()>& fn)
{
    fflush(stream);
    int saved = dup(fd);
    int target = open(path.c_str(), flags, 0600);
    dup2(target, fd);
    close(target);
    clearerr(stream);
    fn();
    fflush(stream);
    dup2(saved, fd);
    close(saved);
    clearerr(stream);
}

std::string capture_stdout(const std::function<void()>& fn)
{
    std::string path = make_temp_dir() + "/stdout";
    redirect(1, stdout, path, O_WRONLY | O_CREAT | O_TRUNC, fn);
    return read_file(path);
}

std::string capture_stderr(const std::function<void()>& fn)
{
    std::string path = make_temp_dir() + "/stderr";
    redirect(2, stderr, path, O_WRONLY | O_CREAT | O_TRUNC, fn);
    return read_file(path);
}

void with_stdin(const std::string& input, const std::function<void()>& fn)
{
    std::string path = write_temp_file(input, "stdin");
    redirect(0, stdin, path, O_RDONLY, fn);
}

static std::string quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

RunResult run_zorvik(const std::vector<std::string>& args, const std::string& input,
                     const std::string& cwd)
{
    return run_binary(ZORVIK_BIN, args, input, cwd);
}

RunResult run_binary(const std::string& bin, const std::vector<std::string>& args,
                     const std::string& input, const std::string& cwd, const std::string& env)
{
    std::string dir = cwd.empty() ? make_temp_dir() : cwd;
    std::string io = make_temp_dir();
    std::ofstream(io + "/in", std::ios::binary) << input;
    // setsid keeps the program away from any controlling terminal, so a debug
    // pause never waits for a key during the tests.
    std::string cmd = "cd ";
    cmd += quote(dir);
    cmd += " && " + env + " setsid ";
    cmd += quote(bin);
    for (const auto& a : args) {
        cmd += ' ';
        cmd += quote(a);
    }
    cmd += " <";
    cmd += quote(io + "/in");
    cmd += " >";
    cmd += quote(io + "/out");
    cmd += " 2>";
    cmd += quote(io + "/err");
    int raw = std::system(cmd.c_str());
    RunResult r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = read_file(io + "/out");
    r.err = read_file(io + "/err");
    return r;
}

#include <cstdint>

#include "display.h"

std::string font_file_bytes(int magic, int width, int height, int fill,
                            const std::function<int(int, int, int)>& cell, int glyphs)
{
    std::string bytes;
    auto put = [&bytes](int v) {
        for (int i = 0; i < 4; i++)
            bytes += (char)((uint32_t)v >> (8 * i));
    };
    put(magic);
    put(width);
    put(height);
    put(fill);
    for (int g = 0; g < glyphs; g++)
        for (int c = 0; c < width; c++)
            for (int r = 0; r < height; r++)
                put(cell(g, c, r));
    return bytes;
}

void open_test_display()
{
    SDL_Init(SDL_INIT_VIDEO);
    front = SDL_SetVideoMode(480, 272, 32, 0);
    if (!front)
        throw std::runtime_error("cannot open the test display");
}

std::string enter_run_dir()
{
    std::string dir = make_temp_dir();
    for (const char* name : {"term.mxf", "icon.bmp"}) {
        std::string from = std::string(ZORVIK_RUN_DIR) + "/" + name;
        std::ofstream(dir + "/" + name, std::ios::binary) << read_file(from);
    }
    if (chdir(dir.c_str()) != 0)
        throw std::runtime_error("cannot enter the run directory");
    return dir;
}

std::string lone_copy(const std::string& bin)
{
    std::string copy = make_temp_dir() + "/" + std::filesystem::path(bin).filename().string();
    std::filesystem::copy_file(bin, copy);
    return copy;
}
