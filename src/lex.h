// The lexer: splits a source file into tokens and hands each one to the
// token table; also the run driver that lexes, runs and reports a program.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

struct mlex_file {
    FILE* stream;   // the source, read-only; null when it could not be opened
    int reserved1;  // set to 0 by a successful open, otherwise unused
    int reserved2;
};

constexpr int LEXEME_SIZE = 1024;

struct lex_token {
    char lexeme[LEXEME_SIZE];
    int tok_type;
    int column;
    int line;
    int scope;
};

// Token types handed over by the lexer.
enum {
    TOK_END = 0,
    TOK_SYMBOL = 4,
    TOK_WORD = 5,
    TOK_DIGIT = 6,
    TOK_STRING = 7,
    TOK_OPEN_BRACE = 8,
    TOK_CLOSE_BRACE = 9,
    TOK_OPEN_PAREN = 10,
    TOK_CLOSE_PAREN = 11,
    TOK_DOLLAR = 12,   // class of '$' only
    TOK_COMMENT = 13,  // class of ';' only
    TOK_COMMA = 14,
    TOK_IMMEDIATE = 15,
    TOK_OPERATOR = 16,
    TOK_HEX = 17,
};

// What a tool can learn of each token as the lexer hands it over, beyond
// the token itself: where it stands in the file and what the lexer dropped.
// Runs never ask; a checker sets the hook, which is called once per token
// after the token table has its cell.
struct lex_note {
    long long start;       // byte offset in the file of the token's first byte
    long long end;         // the byte that closed a string (a quote or a zero
                           // byte) or that ended a '$' or '#' token and was
                           // dropped with it; -1 for other tokens and when
                           // the file ended first
    long long bad_escape;  // the first backslash whose escape stored a zero byte
                           // other than \0, or -1
    int tok_type;          // the type this occurrence was spelled with
    bool cut;              // longer than 1023 bytes: the rest was dropped
};
extern void (*mlex_note_hook)(const lex_note& note);

extern signed char token_map[256];
extern lex_token cur_token;
extern int cur_line;
extern int cur_pos;

void init_map();
int mlex_init_file(mlex_file* f, const char* path);
// Lexes an open stream from its current place (taken as offset 0); the
// lexer closes it.
void mlex_init_stream(mlex_file* f, FILE* stream);
int mlex_close(mlex_file* f);
int mlex_getc(mlex_file* f);
int slash_sequence(int c);
void mlex_gettoken(mlex_file* f);
void mlex_addtoken();
int fpeek(FILE* stream);
void addchr(int c);
void mlex_anaylize(mlex_file* f);
// Runs the table that lexing filled as mlex_anaylize does after lexing,
// with the debug modes' dumps and listings, and keeps the table: for a
// driver that reads the cells once the run is over, then frees them.
void mlex_run_lexed();
// Lexes a whole source held in memory into `symbols`, which it empties
// first, and gives the note of each token in list order: for tools that
// must say where each cell of the list stands in the file.
std::vector<lex_note> mlex_source(const std::string& source);
