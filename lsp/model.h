// What the machine makes of a document, read with its own lexer and
// decoder: every token with its place and role, the labels and the jumps.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

enum model_role {
    ROLE_INSTRUCTION,   // a mnemonic
    ROLE_LABEL,         // the occurrence that is its text's label
    ROLE_REFERENCE,     // the operand of a jump or call
    ROLE_WORD,          // any other word
    ROLE_IMMEDIATE,     // a '#' number
    ROLE_ADDRESS,       // a '$' number
    ROLE_NUMBER,        // a bare number
    ROLE_STRING,
    ROLE_OTHER,         // punctuation and the header's '*='
};

struct model_token {
    long long start, end;  // byte offsets of its text in the document
    std::string text;      // the token table's text of it
    int type;              // the type this occurrence was spelled with
    int first_type;        // the type its text was first spelled with
    long long first_start; // where its text was first spelled
    model_role role;
    int label = -1;        // for a word or a reference: the index of its text's label, -1 for none
    int lands = -1;        // for a reference: the token a jump to it lands on, -1 past the end
    bool passed = false;   // no pass ever starts at it: the machine passes over it
    bool jump = false;     // a mnemonic whose operand is a label
    int operand = -1;      // for an instruction: the token its operand search found, -1 for none
    int owner = -1;        // for an operand: the instruction that found it
    int value = 0;         // for an instruction with an operand search: the operand's constant
    bool numeric = false;  // its text's record is a number ('$', '#' or bare)
    int32_t number = 0;    // and the number it stands for, as the machine reads it
};

struct model_program {
    std::vector<model_token> tokens;
    std::vector<int> labels;  // indexes of the label tokens, in order
};

// Reads `source` as the machine would.
model_program model_read(const std::string& source);
// The index of the token at byte offset `at` (its text or just past it), or -1.
int model_token_at(const model_program& p, long long at);
// The indexes of every token with the same text as token i.
std::vector<int> model_same_text(const model_program& p, int i);
