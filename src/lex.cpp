// The lexer. A 256-entry class map decides, by a token's first byte, what
// kind of token it is and which bytes may continue it.
#include "lex.h"

#include <cerrno>
#include <cstring>

#include "halt.h"
#include "listing.h"
#include "main.h"
#include "parse.h"
#include "symtab.h"

signed char token_map[256];
lex_token cur_token;
int cur_line = 0;
int cur_pos = 0;

static int scope = 0;

void (*mlex_note_hook)(const lex_note& note) = nullptr;
static lex_note note;  // of the token being read

// The reading layer under the lexer. It reads the source through a large
// buffer of its own, keeps the one byte that the lexer pushes back, and
// turns a carriage return directly before a newline into the newline alone,
// so positions and strings are the same on every platform. Bytes are 0 to
// 255; READ_END marks the end of the input (or an error while reading,
// which ends the input the same way).
constexpr int READ_END = -1;
static int pushed_back = READ_END;
static bool input_ended = false;

constexpr size_t READ_BUFFER_SIZE = 1 << 16;
static unsigned char read_buffer[READ_BUFFER_SIZE];
static size_t read_pos = 0;
static size_t read_len = 0;
static long long read_base = 0;      // file offset of read_buffer[0]
static FILE* read_stream = nullptr;  // the stream the buffer holds bytes of

static void read_reset(FILE* s)
{
    read_stream = s;
    read_pos = 0;
    read_len = 0;
    read_base = 0;
}

// The file offset of the byte that the last read returned.
static inline long long read_offset()
{
    return read_base + (long long)read_pos - 1;
}

// The next byte of the stream, or READ_END.
static int read_byte(FILE* s)
{
    if (s != read_stream)
        read_reset(s);
    if (read_pos == read_len) {
        read_base += (long long)read_len;
        read_len = fread(read_buffer, 1, READ_BUFFER_SIZE, s);
        read_pos = 0;
        if (read_len == 0)
            return READ_END;
    }
    return read_buffer[read_pos++];
}

static int mlex_read_slow(FILE* s)
{
    if (pushed_back != READ_END) {
        int c = pushed_back;
        pushed_back = READ_END;
        return c;
    }
    int c = read_byte(s);
    if (c == '\r') {
        int d = read_byte(s);
        if (d == '\n')
            return '\n';
        if (d != READ_END)
            read_pos--;  // the byte is still in the buffer
    }
    input_ended = (c == READ_END);
    return c;
}

// The common case, a plain byte already in the buffer, stays inline.
static inline int mlex_read(FILE* s)
{
    input_ended = false;
    if (pushed_back == READ_END && s == read_stream && read_pos < read_len &&
        read_buffer[read_pos] != '\r')
        return read_buffer[read_pos++];
    return mlex_read_slow(s);
}

// Pushing back the end of the input does nothing.
static void mlex_unread(int c)
{
    if (c != READ_END)
        pushed_back = c;
}

static int plain_read(mlex_file* f)
{
    return mlex_read(f->stream);
}

// Whether the next byte can be taken straight from the buffer: nothing is
// pushed back and the buffer holds bytes of this stream. The fast loops
// below take bytes this way while they can and leave everything else (a
// refill, a carriage return, the end) to the reads above.
static inline bool buffered(FILE* s)
{
    return pushed_back == READ_END && s == read_stream && read_pos < read_len;
}

void init_map()
{
    memset(token_map, 0, sizeof token_map);
    token_map['.'] = TOK_SYMBOL;
    token_map['<'] = TOK_SYMBOL;
    for (int c = 'A'; c <= 'Z'; c++)
        token_map[c] = TOK_WORD;
    for (int c = 'a'; c <= 'z'; c++)
        token_map[c] = TOK_WORD;
    for (int c = '0'; c <= '9'; c++)
        token_map[c] = TOK_DIGIT;
    token_map['"'] = TOK_STRING;
    token_map['\''] = TOK_STRING;
    token_map['{'] = TOK_OPEN_BRACE;
    token_map['}'] = TOK_CLOSE_BRACE;
    token_map['('] = TOK_OPEN_PAREN;
    token_map[')'] = TOK_CLOSE_PAREN;
    token_map['$'] = TOK_DOLLAR;
    token_map[';'] = TOK_COMMENT;
    token_map[','] = TOK_COMMA;
    token_map['#'] = TOK_IMMEDIATE;
    token_map['='] = TOK_OPERATOR;
    token_map['*'] = TOK_OPERATOR;
}

static int class_of(int c)
{
    return c == READ_END ? 0 : token_map[c & 0xFF];
}

int mlex_init_file(mlex_file* f, const char* path)
{
    init_map();
    f->stream = fopen(path, "rb");
    if (!f->stream)
        return -1;
    // A path that opens but cannot be read (a directory) is no source either.
    int c = fgetc(f->stream);
    if (c == EOF && ferror(f->stream)) {
        int err = errno;
        fclose(f->stream);
        f->stream = nullptr;
        errno = err;
        return -1;
    }
    if (c != EOF)
        ungetc(c, f->stream);
    mlex_init_stream(f, f->stream);
    return 1;
}

void mlex_init_stream(mlex_file* f, FILE* stream)
{
    init_map();
    f->stream = stream;
    // Each source counts its lines, columns and braces from its own start,
    // also when a process reads more than one.
    cur_line = 0;
    cur_pos = 0;
    scope = 0;
    pushed_back = READ_END;
    input_ended = false;
    read_reset(stream);
    f->reserved1 = 0;
    f->reserved2 = 0;
}

int mlex_close(mlex_file* f)
{
    if (f->stream)
        fclose(f->stream);
    return 0;
}

// The counting read: every byte it consumes moves the position.
static inline int counted_read(mlex_file* f)
{
    int c = mlex_read(f->stream);
    if (c == '\n') {
        cur_line++;
        cur_pos = 0;
    } else {
        cur_pos++;
    }
    return c == READ_END ? READ_END : (int)(signed char)c;
}

int mlex_getc(mlex_file* f)
{
    return counted_read(f);
}

int slash_sequence(int c)
{
    switch (c) {
    case 'n': return '\n';
    case 't': return '\t';
    case '"': return '"';
    case '\'': return '\'';
    default: return 0;
    }
}

// Appends one byte to the token text, which stays zero-terminated; past
// 1023 bytes the rest of the token is consumed and dropped.
static void append(int& len, int c)
{
    if (len < LEXEME_SIZE - 1) {
        cur_token.lexeme[len++] = (char)c;
        cur_token.lexeme[len] = 0;
    } else {
        note.cut = true;
    }
}

static void lex_run(mlex_file* f, int c, int k)
{
    cur_token.tok_type = k;
    if (c == '{')
        scope++;
    else if (c == '}')
        scope--;
    cur_token.scope = scope;
    int len = 0;
    append(len, c);
    while (buffered(f->stream) && token_map[read_buffer[read_pos]] == k)
        append(len, read_buffer[read_pos++]);
    int d;
    while ((d = plain_read(f)) != READ_END && d != 0 && class_of(d) == k)
        append(len, d);
    mlex_addtoken();
    mlex_unread(d);
}

// A '$' address or a '#' immediate: the ending byte is consumed, not pushed back.
static void lex_operand(mlex_file* f, int type, bool dollar_too)
{
    cur_token.tok_type = type;
    int len = 0;
    for (; buffered(f->stream); read_pos++) {
        int k = token_map[read_buffer[read_pos]];
        if (k != TOK_WORD && k != TOK_DIGIT && !(dollar_too && k == TOK_DOLLAR))
            break;
        append(len, read_buffer[read_pos]);
    }
    int d;
    while ((d = plain_read(f)) != READ_END) {
        int k = class_of(d);
        if (k != TOK_WORD && k != TOK_DIGIT && !(dollar_too && k == TOK_DOLLAR))
            break;
        append(len, d);
    }
    if (d != READ_END)
        note.end = read_offset();
    mlex_addtoken();
}

static void lex_string(mlex_file* f)
{
    cur_token.tok_type = TOK_STRING;
    int len = 0;
    int p = '"';
    for (;;) {
        int d = mlex_getc(f);
        if (input_ended)
            break;
        d &= 0xFF;
        if (d == 0) {
            note.end = read_offset();
            break;
        }
        if (class_of(d) == TOK_STRING) {
            if (p != '\\') {
                note.end = read_offset();
                break;
            }
            if (len > 1)
                cur_token.lexeme[len - 1] = (char)slash_sequence(d);
        } else if (d == '\\') {
            long long at = read_offset();
            int e = mlex_getc(f) & 0xFF;
            if (input_ended)
                e = 0;
            if (slash_sequence(e) == 0 && e != '0' && note.bad_escape < 0)
                note.bad_escape = at;
            append(len, slash_sequence(e));
            p = e;
        } else {
            append(len, d);
            p = d;
        }
    }
    mlex_addtoken();
}

static void skip_comment(mlex_file* f)
{
    int d;
    while ((d = plain_read(f)) != READ_END && d != '\n') {
    }
}

// Passes over skipped bytes (blanks, newlines) straight in the buffer,
// counting positions as the counting read does.
static void skip_blanks(FILE* s)
{
    int pos = cur_pos, line = cur_line;
    for (; buffered(s); read_pos++) {
        unsigned char b = read_buffer[read_pos];
        if (token_map[b] != 0 || b == '\r')
            break;
        if (b == '\n') {
            line++;
            pos = 0;
        } else {
            pos++;
        }
    }
    cur_pos = pos;
    cur_line = line;
}

void mlex_gettoken(mlex_file* f)
{
    for (;;) {
        skip_blanks(f->stream);
        int c = counted_read(f);
        if (input_ended) {
            cur_token.tok_type = TOK_END;
            return;
        }
        c &= 0xFF;
        int k = class_of(c);
        if (k == 0)
            continue;  // a skipped byte
        cur_token.lexeme[0] = 0;
        cur_token.tok_type = TOK_END;
        cur_token.scope = 0;
        cur_token.column = cur_pos;
        cur_token.line = cur_line;
        note = lex_note{read_offset(), -1, -1, k == TOK_DOLLAR ? TOK_HEX : k, false};
        switch (k) {
        case TOK_SYMBOL: case TOK_WORD: case TOK_DIGIT:
        case TOK_OPEN_BRACE: case TOK_CLOSE_BRACE:
        case TOK_OPEN_PAREN: case TOK_CLOSE_PAREN:
        case TOK_COMMA: case TOK_OPERATOR:
            lex_run(f, c, k);
            return;
        case TOK_DOLLAR:
            lex_operand(f, TOK_HEX, false);
            return;
        case TOK_IMMEDIATE:
            lex_operand(f, TOK_IMMEDIATE, true);
            return;
        case TOK_STRING:
            lex_string(f);
            return;
        case TOK_COMMENT:
            skip_comment(f);
            break;
        default:
            break;
        }
    }
}

void mlex_addtoken()
{
    if (cur_token.tok_type != TOK_END)
        sym_add(&symbols, cur_token.lexeme, cur_token.tok_type, cur_token.column,
                cur_token.line, cur_token.scope);
    if (mlex_note_hook && cur_token.tok_type != TOK_END)
        mlex_note_hook(note);
}

int fpeek(FILE* stream)
{
    int c = fgetc(stream);
    if (c != EOF)
        ungetc(c, stream);
    return c;
}

void addchr(int c)
{
    cur_token.lexeme[0] = (char)c;
    cur_token.lexeme[1] = 0;
}

// The run driver: lex the whole source, run it, write what the debug mode
// asks for, free the table.
void mlex_anaylize(mlex_file* f)
{
    sym_init(&symbols);
    do {
        mlex_gettoken(f);
    } while (cur_token.tok_type != TOK_END && !halt_signal);  // a signal cuts a long source short
    mlex_close(f);
    mlex_run_lexed();
    sym_free(&symbols);
}

void mlex_run_lexed()
{
    parse();
    if (debug_mode == 1 || debug_mode == 2)
        build_debug("debug.html");
    if (debug_mode == 1)
        sym_print(&symbols);
}

static std::vector<lex_note>* note_sink = nullptr;

static void mlex_keep_note(const lex_note& n)
{
    note_sink->push_back(n);
}

std::vector<lex_note> mlex_source(const std::string& source)
{
    std::vector<lex_note> notes;
    sym_init(&symbols);
    if (source.empty())
        return notes;
    FILE* stream = fmemopen(const_cast<char*>(source.data()), source.size(), "rb");
    if (!stream)
        sym_out_of_memory();
    mlex_file f{};
    mlex_init_stream(&f, stream);
    note_sink = &notes;
    void (*saved)(const lex_note&) = mlex_note_hook;
    mlex_note_hook = mlex_keep_note;
    do
        mlex_gettoken(&f);
    while (cur_token.tok_type != TOK_END);
    mlex_note_hook = saved;
    note_sink = nullptr;
    mlex_close(&f);
    return notes;
}
