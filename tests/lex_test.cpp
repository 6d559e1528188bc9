// The lexer: token texts, types, positions and scope, including the bytes
// that end a token and whether they are consumed.
#include <gtest/gtest.h>

#include "support.h"

namespace {

struct Tok {
    std::string text;
    int type;
    int column;
    int line;
    int scope;
    bool operator==(const Tok&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Tok& t)
{
    return os << "{'" << t.text << "', " << t.type << ", " << t.column << ", " << t.line << ", "
              << t.scope << "}";
}

// Lexes a source call by call, recording what each call hands over.
std::vector<Tok> lex(const std::string& source)
{
    mlex_file f{};
    EXPECT_EQ(mlex_init_file(&f, write_temp_file(source).c_str()), 1);
    sym_init(&symbols);
    std::vector<Tok> out;
    for (;;) {
        mlex_gettoken(&f);
        if (cur_token.tok_type == TOK_END)
            break;
        out.push_back({symbols.tail->tok->lexeme, cur_token.tok_type, cur_token.column,
                       cur_token.line, cur_token.scope});
    }
    mlex_close(&f);
    sym_free(&symbols);
    return out;
}

// Texts and types only.
std::vector<std::pair<std::string, int>> kinds(const std::string& source)
{
    std::vector<std::pair<std::string, int>> out;
    for (const Tok& t : lex(source))
        out.emplace_back(t.text, t.type);
    return out;
}

using K = std::vector<std::pair<std::string, int>>;

TEST(Lexer, OperandsKeepDollarButNeverHash)
{
    EXPECT_EQ(kinds("lda #$10"), (K{{"lda", 5}, {"$10", 15}}));
    EXPECT_EQ(kinds("lda #10"), (K{{"lda", 5}, {"10", 15}}));
    EXPECT_EQ(kinds("$10"), (K{{"10", 17}}));
    EXPECT_EQ(kinds("$zz"), (K{{"zz", 17}}));
    // A '$' or '#' followed by a blank is an operand with empty text.
    EXPECT_EQ(kinds("$ #"), (K{{"", 17}, {"", 15}}));
}

TEST(Lexer, ByteEndingAnOperandIsConsumed)
{
    // The comma after a '$' address is swallowed with it.
    EXPECT_EQ(kinds("sta $0200,x"), (K{{"sta", 5}, {"0200", 17}, {"x", 5}}));
    EXPECT_EQ(kinds("sta $0200 ,x"), (K{{"sta", 5}, {"0200", 17}, {",", 14}, {"x", 5}}));
    // The ';' that ends an immediate is consumed, so no comment starts.
    EXPECT_EQ(kinds("lda #1;note"), (K{{"lda", 5}, {"1", 15}, {"note", 5}}));
    EXPECT_EQ(kinds("lda #1 ;note"), (K{{"lda", 5}, {"1", 15}}));
}

TEST(Lexer, RunTokensSplitByClass)
{
    EXPECT_EQ(kinds("loop1:"), (K{{"loop", 5}, {"1", 6}}));
    EXPECT_EQ(kinds("my_label"), (K{{"my", 5}, {"label", 5}}));
    EXPECT_EQ(kinds("*=$0600"), (K{{"*=", 16}, {"0600", 17}}));
    EXPECT_EQ(kinds(".<>"), (K{{".<", 4}}));
    EXPECT_EQ(kinds("(a),,"), (K{{"(", 10}, {"a", 5}, {")", 11}, {",,", 14}}));
    EXPECT_EQ(kinds("LDA"), (K{{"LDA", 5}}));
}

TEST(Lexer, BracesCarryTheirDepth)
{
    auto toks = lex("{{ x { } y");
    ASSERT_EQ(toks.size(), 5u);
    EXPECT_EQ(toks[0], (Tok{"{{", 8, 1, 0, 1}));  // a run raises the depth once
    EXPECT_EQ(toks[1].scope, 1);                  // a word carries the depth
    EXPECT_EQ(toks[2], (Tok{"{", 8, 5, 0, 2}));
    EXPECT_EQ(toks[3], (Tok{"}", 9, 7, 0, 1}));
    EXPECT_EQ(toks[4].scope, 1);
}

TEST(Lexer, StringQuotesAndEscapes)
{
    // An apostrophe ends an immediate and is consumed; the next one opens a string.
    EXPECT_EQ(kinds("lda #'A' x"), (K{{"lda", 5}, {"", 15}, {"A", 5}, {" x", 7}}));
    // Either quote closes a string, whichever opened it.
    EXPECT_EQ(kinds("\"it's\""), (K{{"it", 7}, {"s", 5}, {"", 7}}));
    EXPECT_EQ(kinds("\"a\\nb\\tc\""), (K{{"a\nb\tc", 7}}));
    EXPECT_EQ(kinds("\"say \\\"hi\\\"\""), (K{{"say \"hi\"", 7}}));
    // Any other escape stores a 0 byte, which cuts the text there.
    EXPECT_EQ(kinds("\"ab\\qcd\""), (K{{"ab", 7}}));
    // A quote after an escaped backslash replaces the byte stored last.
    EXPECT_EQ(kinds("\"ab\\\\\"c\""), (K{{"ab\"c", 7}}));
    // ...unless only that one byte has been stored: then the quote is dropped.
    EXPECT_EQ(kinds("\"\\\\\"c\""), (K{{"", 7}}));
    // An unterminated string runs to the end of the file.
    EXPECT_EQ(kinds("lda \"abc\ndef"), (K{{"lda", 5}, {"abc\ndef", 7}}));
}

TEST(Lexer, NulAndHighBytes)
{
    // A NUL ends a run token and is then skipped; it ends a string.
    EXPECT_EQ(kinds(std::string("ab\0cd", 5)), (K{{"ab", 5}, {"cd", 5}}));
    EXPECT_EQ(kinds(std::string("\"ab\0cd\"", 7)), (K{{"ab", 7}, {"cd", 5}, {"", 7}}));
    // Bytes 127 to 255 are skipped like blanks; 255 is not the end of the file.
    EXPECT_EQ(kinds("ab\xff" "cd\x80\x7f" "ef"), (K{{"ab", 5}, {"cd", 5}, {"ef", 5}}));
    EXPECT_EQ(kinds("\"\xff\xfe\""), (K{{"\xff\xfe", 7}}));
}

TEST(Lexer, CommentsAndEndOfInput)
{
    EXPECT_EQ(kinds(""), K{});
    EXPECT_EQ(kinds("; only a comment"), K{});
    EXPECT_EQ(kinds("lda ; c\n; c\nrts"), (K{{"lda", 5}, {"rts", 5}}));
    // A last line without a newline is read completely.
    EXPECT_EQ(kinds("rts"), (K{{"rts", 5}}));
    EXPECT_EQ(kinds("lda #5"), (K{{"lda", 5}, {"5", 15}}));
    EXPECT_EQ(kinds("lda $ff ;x"), (K{{"lda", 5}, {"ff", 17}}));
}

TEST(Lexer, PositionsCountOnlyCountingReads)
{
    auto toks = lex("lda #$01\nsta $02\n  rts");
    ASSERT_EQ(toks.size(), 5u);
    EXPECT_EQ(toks[0], (Tok{"lda", 5, 1, 0, 0}));
    EXPECT_EQ(toks[1], (Tok{"$01", 15, 3, 0, 0}));
    // The newline ending the immediate was consumed by a plain read.
    EXPECT_EQ(toks[2], (Tok{"sta", 5, 4, 0, 0}));
    EXPECT_EQ(toks[3], (Tok{"02", 17, 6, 0, 0}));
    EXPECT_EQ(toks[4], (Tok{"rts", 5, 9, 0, 0}));

    toks = lex("a\nbb\n\n c");
    EXPECT_EQ(toks[1], (Tok{"bb", 5, 1, 1, 0}));
    EXPECT_EQ(toks[2], (Tok{"c", 5, 2, 3, 0}));
}

// A process that reads a second source (the page, the debugger's restart)
// sees the same positions and depths as for the first, even after a source
// that ends inside braces.
TEST(Lexer, EverySourceCountsFromItsOwnStart)
{
    const std::string source = "start lda #1\n{ { sta $20\n";
    std::vector<Tok> first = lex(source);
    EXPECT_EQ(lex(source), first);
    EXPECT_EQ(first[0].line, 0);
    EXPECT_EQ(first[0].scope, 0);
}

TEST(Lexer, CarriageReturnLineFeedReadsAsNewline)
{
    auto unix_toks = lex("lda\n\"a\nb\"\nrts");
    auto dos_toks = lex("lda\r\n\"a\r\nb\"\r\nrts");
    EXPECT_EQ(unix_toks, dos_toks);
    // A lone carriage return is an ordinary byte: skipped, or kept in a string.
    EXPECT_EQ(kinds("ab\rcd \"x\ry\""), (K{{"ab", 5}, {"cd", 5}, {"x\ry", 7}}));
}

TEST(Lexer, LongTokensKeepTheirFirst1023Bytes)
{
    std::string word(3000, 'a');
    std::string str = "\"" + std::string(2000, 'q') + "\"";
    auto toks = kinds(word + " " + str + " #" + std::string(1500, '7') + " next");
    ASSERT_EQ(toks.size(), 4u);
    EXPECT_EQ(toks[0], std::make_pair(std::string(1023, 'a'), 5));
    EXPECT_EQ(toks[1], std::make_pair(std::string(1023, 'q'), 7));
    EXPECT_EQ(toks[2], std::make_pair(std::string(1023, '7'), 15));
    EXPECT_EQ(toks[3], std::make_pair(std::string("next"), 5));
}

TEST(Lexer, EscapeHelpers)
{
    EXPECT_EQ(slash_sequence('n'), 10);
    EXPECT_EQ(slash_sequence('t'), 9);
    EXPECT_EQ(slash_sequence('"'), 34);
    EXPECT_EQ(slash_sequence('\''), 39);
    EXPECT_EQ(slash_sequence('0'), 0);
    EXPECT_EQ(slash_sequence('\\'), 0);
    addchr('Q');
    EXPECT_STREQ(cur_token.lexeme, "Q");
}

}  // namespace
