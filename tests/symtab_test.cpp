// The token table: interning, p-codes, the printout and very deep trees.
#include <algorithm>
#include <cstring>
#include <random>

#include <gtest/gtest.h>

#include "icode.h"
#include "support.h"

namespace {

token* add(symtab* t, const char* text, int type = 5, int column = 0, int line = 0)
{
    std::vector<char> buf(text, text + strlen(text) + 1);
    return sym_add(t, buf.data(), type, column, line, 0);
}

TEST(TokenTable, InternsTextsAndFirstOccurrenceWins)
{
    symtab t;
    sym_init(&t);
    token* a = add(&t, "loop", 5, 1, 0);
    token* b = add(&t, "10", 6, 5, 0);
    EXPECT_EQ(add(&t, "10", 15, 9, 1), b);  // same record, fields untouched
    EXPECT_EQ(add(&t, "loop", 17, 9, 9), a);
    EXPECT_NE(add(&t, "Loop"), a);          // case matters
    EXPECT_EQ(b->tok_type, 6);
    EXPECT_EQ(b->column, 5);
    EXPECT_EQ(t.token_count, 5);
    EXPECT_EQ(t.head->tok, a);
    EXPECT_EQ(t.tail->tok->lexeme, std::string("Loop"));
    EXPECT_EQ(sym_look(&t.root, "10"), b);
    EXPECT_EQ(sym_look(&t.root, "nothing"), nullptr);
    sym_free(&t);
}

TEST(TokenTable, SharedRecordsAcrossOperandKinds)
{
    // '#10' after 'loop10' shares the digit token; '#$10' is another text.
    lex_source("loop10 lda #10 sta $10 lda #$10");
    auto* ten = symbols.head->next_cell->tok;
    EXPECT_EQ(ten->tok_type, 6);
    EXPECT_EQ(symbols.head->next_cell->next_cell->next_cell->tok, ten);
    EXPECT_EQ(sym_look(&symbols.root, "$10")->tok_type, 15);
    sym_free(&symbols);
}

TEST(TokenTable, PcodesIgnoreCaseAndType)
{
    symtab t;
    sym_init(&t);
    EXPECT_EQ(add(&t, "LDA")->pcode, 31);
    EXPECT_EQ(add(&t, "lda")->pcode, 31);
    EXPECT_EQ(add(&t, "Lda")->pcode, 31);
    EXPECT_STREQ(sym_look(&t.root, "LDA")->lexeme, "LDA");  // the copy keeps its case
    EXPECT_EQ(add(&t, "ADC", 17)->pcode, 1);  // a '$' address text
    EXPECT_EQ(add(&t, "tya", 7)->pcode, 58);  // a string
    EXPECT_EQ(add(&t, "int")->pcode, 26);
    EXPECT_EQ(add(&t, "ldm")->pcode, 32);
    EXPECT_EQ(add(&t, "ldax")->pcode, 0);
    EXPECT_EQ(add(&t, "ld")->pcode, 0);
    EXPECT_EQ(add(&t, "")->pcode, 0);
    sym_free(&t);

    char text[] = "BrK";
    EXPECT_EQ(trans_opcode(text), 11);
    EXPECT_STREQ(text, "brk");
    char other[] = "AZ@[az\xc4";
    strlower(other);
    EXPECT_STREQ(other, "az@[az\xc4");
}

TEST(TokenTable, PrintsTheWorkedExample)
{
    lex_source("lda #$01");
    std::string out = capture_stdout([] { sym_print(&symbols); });
    EXPECT_EQ(out,
              "symbols:\n"
              "token [$01] of type [] with opcode [0] at position 3,0 scope[0]\n"
              "token [lda] of type [Word] with opcode [1f] at position 1,0 scope[0]\n"
              "tokens [2]\n"
              "lda\n"
              "$01\n");
    sym_free(&symbols);
}

TEST(TokenTable, PrintsEveryOccurrenceAndTypeName)
{
    lex_source(".. x \"s\" 7 x");
    std::string out = capture_stdout([] { sym_print(&symbols); });
    EXPECT_EQ(out,
              "symbols:\n"
              "token [..] of type [Symbol] with opcode [0] at position 1,0 scope[0]\n"
              "token [7] of type [Digit] with opcode [0] at position 9,0 scope[0]\n"
              "token [s] of type [String] with opcode [0] at position 5,0 scope[0]\n"
              "token [x] of type [Word] with opcode [0] at position 3,0 scope[0]\n"
              "tokens [5]\n"
              "..\nx\ns\n7\nx\n");
    sym_free(&symbols);
}

TEST(TokenTable, EmptyTable)
{
    symtab t;
    sym_init(&t);
    EXPECT_EQ(capture_stdout([&] { sym_print(&t); }), "symbols:\ntokens [0]\n");
    sym_free(&t);
    EXPECT_STREQ(trans_type(0), "");
    EXPECT_STREQ(trans_type(17), "");
}

// The shape a plain descent from the root builds, for comparison.
struct Naive {
    std::string text;
    Naive* lower = nullptr;
    Naive* higher = nullptr;
};

void naive_insert(Naive*& root, const std::string& text, std::vector<std::unique_ptr<Naive>>& pool)
{
    Naive** link = &root;
    while (*link) {
        int cmp = strcmp((*link)->text.c_str(), text.c_str());
        if (cmp == 0)
            return;
        link = cmp > 0 ? &(*link)->lower : &(*link)->higher;
    }
    pool.push_back(std::make_unique<Naive>(Naive{text}));
    *link = pool.back().get();
}

bool same_shape(const Naive* a, const token* b)
{
    if (!a || !b)
        return !a && !b;
    return a->text == b->lexeme && same_shape(a->lower, b->lower) && same_shape(a->higher, b->higher);
}

TEST(TokenTable, TreeShapeIsThatOfAPlainDescent)
{
    std::mt19937 rng(7);
    std::vector<std::unique_ptr<Naive>> pool;
    Naive* root = nullptr;
    symtab t;
    sym_init(&t);
    for (int i = 0; i < 3000; i++) {
        std::string text;
        for (int n = rng() % 3 + 1; n > 0; n--)
            text += (char)("abcXYZ\xe9\x01"[rng() % 8]);
        naive_insert(root, text, pool);
        add(&t, text.c_str());
    }
    EXPECT_TRUE(same_shape(root, t.root));
    EXPECT_EQ(t.token_count, 3000);
    sym_free(&t);
}

std::string label_name(int i)
{
    std::string s(5, 'a');
    for (int k = 4; k >= 0; k--, i /= 26)
        s[k] = (char)('a' + i % 26);
    return s;
}

TEST(TokenTable, AMillionSortedLabelsLexPrintAndFree)
{
    const int n = 1000000;
    std::string source;
    source.reserve(n * 7);
    for (int i = 0; i < n; i++)
        source += label_name(i) + ":\n";
    lex_source(source);
    EXPECT_EQ(symbols.token_count, n);
    std::string out = capture_stdout([] { sym_print(&symbols); });
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2 * n + 2);
    sym_free(&symbols);
}

}  // namespace
