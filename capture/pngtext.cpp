// Reading the texts of a PNG: the chunks walked over the file's bytes, each
// length checked against what is left before anything is read, zTXt
// inflated with zlib into a bounded buffer.
#include "pngtext.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <zlib.h>

const char* const PNGTEXT_PROGRAM = "Zorvik program";
const char* const PNGTEXT_NAME = "Zorvik name";
const char* const PNGTEXT_SEED = "Zorvik seed";
const char* const PNGTEXT_KEYS = "Zorvik keys";
const char* const PNGTEXT_INPUT = "Zorvik input";
const char* const PNGTEXT_FRAME = "Zorvik frame";

static const unsigned char PNGTEXT_SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

static uint32_t pngtext_u32(const unsigned char* p)
{
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

// A chunk's type as text, each byte that is not a letter as '?'.
static std::string pngtext_type(const unsigned char* p)
{
    std::string type;
    for (int i = 0; i < 4; i++)
        type += (p[i] >= 'A' && p[i] <= 'Z') || (p[i] >= 'a' && p[i] <= 'z') ? (char)p[i] : '?';
    return type;
}

// Inflates a zlib stream onto `text`, which may grow to `room` bytes.
static bool pngtext_inflate(const unsigned char* data, size_t size, size_t room, std::string& text,
                            std::string& why)
{
    z_stream z{};
    if (inflateInit(&z) != Z_OK) {
        why = "zlib cannot start";
        return false;
    }
    unsigned char out[16384];
    z.next_in = const_cast<unsigned char*>(data);
    z.avail_in = (uInt)size;
    int result = Z_OK;
    while (result == Z_OK) {
        z.next_out = out;
        z.avail_out = sizeof out;
        result = inflate(&z, Z_NO_FLUSH);
        size_t made = sizeof out - z.avail_out;
        if (made > room - text.size()) {
            inflateEnd(&z);
            why = "inflates past " + std::to_string(PNGTEXT_MOST >> 20) + " MiB";
            return false;
        }
        text.append((const char*)out, made);
        if (result == Z_BUF_ERROR && z.avail_in == 0) {
            inflateEnd(&z);
            why = "is cut short (its compressed text ends early)";
            return false;
        }
    }
    bool ended = result == Z_STREAM_END;
    if (!ended)
        why = std::string("does not inflate: ") + (z.msg ? z.msg : "a zlib error");
    inflateEnd(&z);
    return ended;
}

bool pngtext_read(const std::string& png, std::vector<pngtext_item>& items, std::string& error)
{
    const unsigned char* bytes = (const unsigned char*)png.data();
    size_t size = png.size();
    if (size < sizeof PNGTEXT_SIGNATURE || memcmp(bytes, PNGTEXT_SIGNATURE, sizeof PNGTEXT_SIGNATURE) != 0) {
        error = "it is not a PNG (its signature is missing)";
        return false;
    }
    size_t at = sizeof PNGTEXT_SIGNATURE, inflated = 0;
    for (;;) {
        if (size - at < 12) {
            error = at == size ? "it ends before its IEND chunk"
                               : "it is cut short: the chunk at byte " + std::to_string(at) + " is not whole";
            return false;
        }
        uint32_t length = pngtext_u32(bytes + at);
        std::string type = pngtext_type(bytes + at + 4);
        std::string where = "the " + type + " chunk at byte " + std::to_string(at);
        if (length > 0x7fffffffu || length > size - at - 12) {
            // A text's keyword, when what is there holds it, names the text.
            size_t there = size - at - 8;
            const void* zero = memchr(bytes + at + 8, 0, there < 80 ? there : 80);
            if ((type == "tEXt" || type == "zTXt") && zero)
                where = "the " + type + " chunk \"" + std::string((const char*)bytes + at + 8, (const char*)zero) +
                        "\" at byte " + std::to_string(at);
            error = where + " is cut short: it says " + std::to_string(length) + " bytes, and the file has " +
                    std::to_string(size - at - 12) + " more";
            return false;
        }
        const unsigned char* data = bytes + at + 8;
        uint32_t crc = (uint32_t)crc32(crc32(0, nullptr, 0), bytes + at + 4, length + 4);
        if (crc != pngtext_u32(data + length)) {
            error = where + " is damaged (its CRC does not match)";
            return false;
        }
        if (type == "IEND")
            return true;
        if (type == "tEXt" || type == "zTXt") {
            const unsigned char* zero = (const unsigned char*)memchr(data, 0, length);
            if (!zero || zero == data || zero - data > 79) {
                error = where + " has no keyword of 1 to 79 bytes";
                return false;
            }
            pngtext_item item{std::string((const char*)data, (size_t)(zero - data)), ""};
            size_t rest = length - (size_t)(zero - data) - 1;
            const unsigned char* text = zero + 1;
            where = "the " + type + " chunk \"" + item.keyword + "\"";
            if (type == "tEXt") {
                if (rest > PNGTEXT_MOST - inflated) {
                    error = where + " takes the texts past " + std::to_string(PNGTEXT_MOST >> 20) + " MiB";
                    return false;
                }
                item.text.assign((const char*)text, rest);
            } else {
                std::string why;
                if (rest == 0 || text[0] != 0) {
                    error = where + (rest ? " is compressed by an unknown method" : " is cut short");
                    return false;
                }
                if (!pngtext_inflate(text + 1, rest - 1, PNGTEXT_MOST - inflated, item.text, why)) {
                    error = where + " " + why;
                    return false;
                }
            }
            inflated += item.text.size();
            items.push_back(std::move(item));
        }
        at += 12 + (size_t)length;
    }
}

// The first text of `keyword`, or null.
static const std::string* pngtext_find(const std::vector<pngtext_item>& items, const char* keyword)
{
    for (const pngtext_item& item : items)
        if (item.keyword == keyword)
            return &item.text;
    return nullptr;
}

// A decimal number from 0 to `most`.
static bool pngtext_number(const std::string& text, unsigned long long most, unsigned long long& value)
{
    if (text.empty() || text.size() > 19)
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (unsigned)(c - '0');
    }
    return value <= most;
}

bool pngtext_program_read(const std::string& png, pngtext_program& program, std::string& error,
                          std::string& run_error)
{
    std::vector<pngtext_item> items;
    run_error.clear();
    if (!pngtext_read(png, items, error))
        return false;
    const std::string* source = pngtext_find(items, PNGTEXT_PROGRAM);
    if (!source) {
        error = std::string("it holds no program (no \"") + PNGTEXT_PROGRAM + "\" text)";
        return false;
    }
    program = pngtext_program{};
    program.source = *source;
    // Only a plain file name: the opener makes a file of it.
    const std::string* name = pngtext_find(items, PNGTEXT_NAME);
    if (name && !name->empty() && name->size() < 256 && *name != "." && *name != ".." &&
        name->find('/') == std::string::npos && name->find('\0') == std::string::npos)
        program.name = *name;
    const std::string* seed = pngtext_find(items, PNGTEXT_SEED);
    if (!seed)
        return true;
    const std::string* frame = pngtext_find(items, PNGTEXT_FRAME);
    unsigned long long seed_value = 0, frame_value = 0;
    if (!pngtext_number(*seed, 0xffffffffu, seed_value))
        run_error = "its seed, '" + seed->substr(0, 40) + "', is not a number from 0 to 4294967295";
    else if (!frame || !pngtext_number(*frame, LLONG_MAX, frame_value))
        run_error = "its frame, '" + (frame ? frame->substr(0, 40) : std::string()) + "', is not a number";
    if (!run_error.empty())
        return true;
    const std::string* keys = pngtext_find(items, PNGTEXT_KEYS);
    const std::string* input = pngtext_find(items, PNGTEXT_INPUT);
    program.has_run = true;
    program.seed = (unsigned)seed_value;
    program.frame = (long long)frame_value;
    program.keys = keys ? *keys : "";
    program.input = input ? *input : "";
    return true;
}

std::vector<pngtext_item> pngtext_items(const pngtext_program& program, std::string& note)
{
    std::vector<pngtext_item> items;
    note.clear();
    if (program.source.find('\0') != std::string::npos) {
        note = "the program holds a zero byte, which PNG text cannot; the picture does not carry it";
        return items;
    }
    items.push_back({PNGTEXT_PROGRAM, program.source});
    if (!program.name.empty())
        items.push_back({PNGTEXT_NAME, program.name});
    if (!program.has_run)
        return items;
    if (program.input.find('\0') != std::string::npos || program.keys.find('\0') != std::string::npos) {
        note = "the run's console input holds a zero byte, which PNG text cannot; the picture carries the "
               "program without its run";
        return items;
    }
    items.push_back({PNGTEXT_SEED, std::to_string(program.seed)});
    items.push_back({PNGTEXT_KEYS, program.keys});
    items.push_back({PNGTEXT_INPUT, program.input});
    items.push_back({PNGTEXT_FRAME, std::to_string(program.frame)});
    return items;
}

bool pngtext_read_file(const std::string& path, std::string& bytes)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    bytes.clear();
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.append(buffer, n);
    bool failed = ferror(f);
    int why = errno;
    fclose(f);
    errno = why;
    return !failed;
}
