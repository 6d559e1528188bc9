// Message framing: a header block of "Name: value" lines ended by an empty
// line, of which Content-Length counts the body's bytes. A header that
// cannot be read costs only its own message: the reader skips to the next
// header block.
#include "rpc.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// A body may be large (a whole document), but not without bound.
constexpr size_t RPC_BODY_LIMIT = (size_t)512 << 20;

static std::string rpc_in;
static size_t rpc_skip = 0;  // bytes of a refused body still to come
static void (*rpc_sink)(const std::string& body) = nullptr;  // null: standard output

static bool rpc_fill(int fd)
{
    char chunk[1 << 16];
    for (;;) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n > 0) {
            size_t dropped = std::min(rpc_skip, (size_t)n);
            rpc_skip -= dropped;
            rpc_in.append(chunk + dropped, (size_t)n - dropped);
            return true;
        }
        if (n == 0 || errno != EINTR)
            return false;
    }
}

// The body length of the header block that ends at `end`, or -1.
static long long rpc_length(const std::string& headers)
{
    long long length = -1;
    size_t at = 0;
    while (at < headers.size()) {
        size_t eol = headers.find("\r\n", at);
        if (eol == std::string::npos)
            eol = headers.size();
        std::string line = headers.substr(at, eol - at);
        at = eol + 2;
        size_t colon = line.find(':');
        if (colon == std::string::npos)
            return -1;
        if (strncasecmp(line.c_str(), "Content-Length", colon) == 0 && colon == 14) {
            const char* v = line.c_str() + colon + 1;
            while (*v == ' ')
                v++;
            char* stop = nullptr;
            errno = 0;
            long long n = strtoll(v, &stop, 10);
            if (stop == v || *stop || errno || n < 0)
                return -1;
            length = n;
        }
    }
    return length;
}

void rpc_reset()
{
    rpc_in.clear();
    rpc_skip = 0;
}

bool rpc_buffered()
{
    size_t end = rpc_in.find("\r\n\r\n");
    if (end == std::string::npos)
        return false;
    long long length = rpc_length(rpc_in.substr(0, end));
    return length < 0 || rpc_in.size() >= end + 4 + (size_t)length;
}

int rpc_read(int fd, std::string& body)
{
    size_t end;
    while ((end = rpc_in.find("\r\n\r\n")) == std::string::npos) {
        if (rpc_in.size() > 65536) {  // no header block is this long
            rpc_in.clear();
            body = "a header block without its end";
            return -1;
        }
        if (!rpc_fill(fd))
            return 0;
    }
    long long length = rpc_length(rpc_in.substr(0, end));
    if (length < 0 || (size_t)length > RPC_BODY_LIMIT) {
        rpc_in.erase(0, end + 4);
        if (length > 0) {  // the body goes unread, as it arrives
            size_t here = std::min(rpc_in.size(), (size_t)length);
            rpc_in.erase(0, here);
            rpc_skip = (size_t)length - here;
        }
        body = length < 0 ? "a header without a readable Content-Length" : "a message over 512 MiB";
        return -1;
    }
    size_t need = end + 4 + (size_t)length;
    while (rpc_in.size() < need)
        if (!rpc_fill(fd))
            return 0;
    body = rpc_in.substr(end + 4, (size_t)length);
    rpc_in.erase(0, need);
    return 1;
}

void rpc_set_sink(void (*sink)(const std::string& body))
{
    rpc_sink = sink;
}

void rpc_write(const std::string& body)
{
    if (rpc_sink) {
        rpc_sink(body);
        return;
    }
    fprintf(stdout, "Content-Length: %zu\r\n\r\n", body.size());
    fwrite(body.data(), 1, body.size(), stdout);
    fflush(stdout);
}
