// Runs that signals end: the built program in a child process, stopped by a
// real signal in each state a run can be in. The program first prints more
// than a pipe's buffer holds, so the test knows it runs once output arrives;
// all it printed must arrive, and the status must be 128 + the signal's number.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>

#include <gtest/gtest.h>

#include "support.h"

namespace {

// 60 lines of 100 bytes, more than a pipe's buffer, then the program's own end.
std::string printing_then(const std::string& rest)
{
    return "        lda #0\n        ldm \"" + std::string(99, 'z') +
           "\\n\"\n        lda #0\n        sta $300\n"
           "more    ldx #0\n        ldy #99\n        int #1\n        lda $300\n"
           "        adc #1\n        sta $300\n        cmp #60\n        bne more\n" + rest;
}

struct stopped_run {
    int status = -1;  // as waitpid gives it
    std::string out;
};

// Reads what is there within the time left; false at the end of the output.
bool read_some(int fd, std::string& out, int ms)
{
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0)
        return true;
    char buf[65536];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0)
        return false;
    out.append(buf, (size_t)n);
    return true;
}

// Starts zorvik on the source in dir with standard input held open, waits
// until it has printed something, sends sig and collects the rest.
stopped_run stop_with(int sig, const std::string& dir, const std::string& source,
                      const std::vector<std::string>& options = {})
{
    std::string path = dir + "/prog.zvs";
    FILE* f = fopen(path.c_str(), "w");
    fputs(source.c_str(), f);
    fclose(f);
    int out[2], in[2];
    EXPECT_EQ(pipe(out), 0);
    EXPECT_EQ(pipe(in), 0);
    pid_t pid = fork();
    if (pid == 0) {
        setsid();  // no terminal: the step pause does not wait
        if (chdir(dir.c_str()) != 0)
            _exit(126);
        dup2(in[0], 0);
        dup2(out[1], 1);
        close(in[1]);
        close(out[0]);
        std::vector<char*> args{(char*)ZORVIK_BIN, (char*)path.c_str()};
        for (const auto& o : options)
            args.push_back((char*)o.c_str());
        args.push_back(nullptr);
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        execv(ZORVIK_BIN, args.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    stopped_run r;
    for (int waited = 0; r.out.empty() && waited < 20000; waited += 50)
        read_some(out[0], r.out, 50);
    kill(pid, sig);
    for (int waited = 0; waited < 20000 && read_some(out[0], r.out, 50); waited += 50) {
    }
    for (int waited = 0; waited < 20000; waited += 10) {
        if (waitpid(pid, &r.status, WNOHANG) == pid)
            break;
        usleep(10000);
    }
    if (!WIFEXITED(r.status) && !WIFSIGNALED(r.status)) {
        kill(pid, SIGKILL);
        waitpid(pid, &r.status, 0);
    }
    close(in[1]);
    close(out[0]);
    return r;
}


// Whole lines of the printing loop: the signal may come while it runs, but
// never inside a line, and a lost buffer would leave a line cut short.
bool whole_lines_of_z(const std::string& out)
{
    std::string line = std::string(99, 'z') + "\n";
    if (out.size() < 4096 || out.size() % line.size() != 0)
        return false;
    for (size_t at = 0; at < out.size(); at += line.size())
        if (out.compare(at, line.size(), line) != 0)
            return false;
    return true;
}

}  // namespace

TEST(Halt, SignalsEndEveryKindOfRunWithTheirStatusAndAllOutput)
{
    struct state {
        const char* what;
        int sig;
        std::string rest;
    } states[] = {
        {"a busy loop", SIGINT, "loop    jmp loop\n"},
        {"a console read", SIGTERM, "        ldx #0\n        int #3\n        brk\n"},
        {"a refresh loop", SIGHUP, "        int #19\nagain   int #21\n        jmp again\n"},
        {"a subroutine loop", SIGINT, "again   jsr sub\n        jmp again\nsub     rts\n"},
    };
    for (const state& s : states) {
        stopped_run r = stop_with(s.sig, make_temp_dir(), printing_then(s.rest));
        ASSERT_TRUE(WIFEXITED(r.status)) << s.what;
        EXPECT_EQ(WEXITSTATUS(r.status), 128 + s.sig) << s.what;
        EXPECT_TRUE(whole_lines_of_z(r.out)) << s.what << ": " << r.out.size() << " bytes";
    }
}

TEST(Halt, ADebugRunWritesItsEndOfRunOutputsFirst)
{
    std::string dir = make_temp_dir();
    stopped_run r = stop_with(SIGINT, dir, printing_then("loop    inx\n        jmp loop\n"),
                              {"--debug"});
    ASSERT_TRUE(WIFEXITED(r.status));
    EXPECT_EQ(WEXITSTATUS(r.status), 130);
    // The trace ran until the signal; then come the dumps and the table.
    size_t dump = r.out.rfind("REGISTERS:\n");
    ASSERT_NE(dump, std::string::npos);
    EXPECT_NE(r.out.find("MEMORY MAP:\n\nmemory @ 0 = 7a\n", dump), std::string::npos);
    EXPECT_NE(r.out.find("symbols:\n", dump), std::string::npos);
    EXPECT_EQ(r.out.substr(r.out.size() - 13), "inx\njmp\nloop\n");
    EXPECT_TRUE(std::filesystem::exists(dir + "/debug.html"));
}
