// The opcode table, the HTML listing and the icode file.
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "icode.h"
#include "listing.h"
#include "support.h"

namespace {

const std::string kHead =
    "<HTML> <TITLE> Zorvik 800 Debug Output </TITLE> <BR> <TABLE BORDER=2>"
    "<TR> <TH> <b>Machine Instruction <TH> P-code <TH> Mnemoic <TH> Operand <TH> Address Mode</b></TR>";
const std::string kTail = "</TABLE><BR></HTML>";

int lookup(int pcode, int* mode)
{
    token t{};
    t.pcode = pcode;
    token_cell cell{};
    cell.tok = &t;
    return get_machine_opcode(&cell, mode);
}

TEST(OpcodeTable, TheNmosInstructionSetGroupedByPcode)
{
    std::set<int> opcodes;
    std::map<int, std::set<int>> modes;  // p-code -> its addressing modes
    int last = 0, rows = 0;
    for (const opcode_entry* r = code; r->pcode; r++, rows++) {
        EXPECT_GE(r->pcode, last) << "row " << rows;
        last = r->pcode;
        EXPECT_TRUE(opcodes.insert(r->opcode).second) << "opcode " << (int)r->opcode << " twice";
        EXPECT_TRUE(modes[r->pcode].insert(r->admode).second) << "p-code " << r->pcode;
        EXPECT_TRUE(r->admode >= 1 && r->admode <= 13);
    }
    EXPECT_EQ(rows, 151);
    EXPECT_EQ(modes.size(), 56u);
    EXPECT_FALSE(modes.count(P_INT) || modes.count(P_LDM));
    // Implied and relative match any request, so they must stand alone.
    for (auto& [pcode, set] : modes) {
        if (set.count(8) || set.count(9)) {
            EXPECT_EQ(set.size(), 1u) << "p-code " << pcode;
        }
    }

    int mode = 1;
    EXPECT_EQ(lookup(P_STA, &mode), 0);  // no immediate store: mode left as asked
    EXPECT_EQ(mode, 1);
}

TEST(OpcodeTable, WhatTheListingFindsForEveryMnemonic)
{
    // Per p-code, the opcode that the listing's absolute request yields,
    // marked i when the row found is implied and r when relative.
    std::istringstream want(
        "6d 2d e 90r b0r f0r 2c 30r d0r 10r 0i 50r 70r 18i d8i 58i b8i cd ec cc ce cai 88i 4d ee 0 "
        "e8i c8i 4c 20 ad 0 ae ac 4e eai d 48i 8i 68i 28i 2e 6e 40i 60i ed 38i f8i 78i 8d 8e 8c "
        "aai a8i bai 8ai 9ai 98i");
    std::string item;
    int p = 1;
    for (; p <= 58 && want >> item; p++) {
        char kind = isxdigit((unsigned char)item.back()) ? 'a' : item.back();
        int mode = 5;
        EXPECT_EQ(lookup(p, &mode), std::stoi(item, nullptr, 16)) << op_array[p];
        EXPECT_EQ(mode, kind == 'a' ? 5 : kind == 'i' ? 8 : 9) << op_array[p];
    }
    EXPECT_EQ(p, 59);
    EXPECT_FALSE(want >> item);
}

std::string listing_of(const std::string& source)
{
    lex_source(source);
    std::string path = make_temp_dir() + "/debug.html";
    build_debug(path.c_str());
    sym_free(&symbols);
    return read_file(path);
}

TEST(HtmlListing, OneRowPerMnemonicOnOneLine)
{
    std::string html = listing_of("loop: LDA #1\n"
                                  "  int #21\n"
                                  "  ldm 'hi'\n"
                                  "  jmp loop\n"
                                  "  bne loop\n"
                                  "  rts\n"
                                  "  brk\n"
                                  "done\n"
                                  "  rts\n"
                                  "  clc\n");
    EXPECT_EQ(html, kHead +
                        "<TR><TH> 0xad<TH> 0x1f <TH> LDA <TH> 1 <TH> *Absoulte*</TR>"
                        "<TR><TH> 0x0<TH> 0x1a <TH> int <TH> 21 <TH> *Absoulte*</TR>"
                        "<TR><TH> 0x0<TH> 0x20 <TH> ldm <TH> hi <TH> *Absoulte*</TR>"
                        "<TR><TH> 0x4c<TH> 0x1d <TH> jmp <TH> loop <TH> *Absoulte*</TR>"
                        "<TR><TH> 0xd0<TH> 0x9 <TH> bne <TH> loop <TH> Realtive</TR>"
                        "<TR><TH> 0x60<TH> 0x2d <TH> rts <TH> no operand <TH> Implied</TR>"
                        "<TR><TH> 0x0<TH> 0xb <TH> brk <TH> done <TH> Implied</TR>"
                        "<TR><TH> 0x60<TH> 0x2d <TH> rts <TH> no operand <TH> Implied</TR>"
                        "<TR><TH> 0x18<TH> 0xe <TH> clc <TH> no operand <TH> Implied</TR>" +
                        kTail);
}

TEST(HtmlListing, ProgramWithoutMnemonicsHasOnlyHeadAndTail)
{
    EXPECT_EQ(listing_of(""), kHead + kTail);
    EXPECT_EQ(listing_of("start: 1 2 , $ff"), kHead + kTail);
}

TEST(HtmlListing, TokenTextsAreEscaped)
{
    std::string html = listing_of("ldm \"<a href=\\\"x\\\">R&D</a> it\\'s\" lda");
    EXPECT_EQ(html, kHead +
                        "<TR><TH> 0x0<TH> 0x20 <TH> ldm <TH> &lt;a href=&quot;x&quot;&gt;R&amp;D&lt;/a&gt; it&#39;s "
                        "<TH> *Absoulte*</TR>"
                        "<TR><TH> 0xad<TH> 0x1f <TH> lda <TH> no operand <TH> *Absoulte*</TR>" +
                        kTail);
}

TEST(HtmlListing, UnwritablePathIsSkippedQuietly)
{
    lex_source("lda #1");
    std::string dir = make_temp_dir();
    build_debug((dir + "/missing/debug.html").c_str());
    build_icode((dir + "/missing/prog.icode").c_str());
    EXPECT_TRUE(std::filesystem::is_empty(dir));
    sym_free(&symbols);
}

TEST(HtmlListing, NotWrittenWithoutDebugModeOrSource)
{
    std::string dir = make_temp_dir();
    std::ofstream(dir + "/prog.zvs") << "lda #1";
    run_zorvik({"prog.zvs"}, "", dir);
    run_zorvik({"missing.zvs", "--debug"}, "", dir);
    EXPECT_FALSE(std::filesystem::exists(dir + "/debug.html"));
}

TEST(Icode, CountThenPcodesAndLeadingNumbersLittleEndian)
{
    lex_source("lda #5 sta $10 loop ldm \"-7x\" jmp loop \" +12\" #99999999999");
    std::string path = make_temp_dir() + "/prog.icode";
    build_icode(path.c_str());
    sym_free(&symbols);
    // 11 cells; a long digit run keeps its low 32 bits (0x4876e7ff).
    const unsigned char want[] = {
        11, 0, 0, 0,
        31, 0, 0, 0,   5, 0, 0, 0,
        50, 0, 0, 0,   10, 0, 0, 0,   // '$10' counts as decimal 10
        0, 0, 0, 0,                   // a label is no number
        32, 0, 0, 0,   0xf9, 0xff, 0xff, 0xff,
        29, 0, 0, 0,   0, 0, 0, 0,
        12, 0, 0, 0,   0xff, 0xe7, 0x76, 0x48,
    };
    EXPECT_EQ(read_file(path), std::string((const char*)want, sizeof want));
}

}  // namespace
