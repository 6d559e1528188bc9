// The lexer: splits a source file into tokens and hands each one to the
// token table; also the run driver that lexes, runs and reports a program.
#pragma once
#include <cstdio>

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

extern signed char token_map[256];
extern lex_token cur_token;
extern int cur_line;
extern int cur_pos;

void init_map();
int mlex_init_file(mlex_file* f, const char* path);
int mlex_close(mlex_file* f);
int mlex_getc(mlex_file* f);
int slash_sequence(int c);
void mlex_gettoken(mlex_file* f);
void mlex_addtoken();
int fpeek(FILE* stream);
void addchr(int c);
void mlex_anaylize(mlex_file* f);
