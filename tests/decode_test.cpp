// The decoded form against the reference searches it is filled from: each
// text's label against sym_list_look, each instruction's operand against
// term, each branch's target against a search from the head.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>

#include <gtest/gtest.h>

#include "decode.h"
#include "icode.h"
#include "parse.h"
#include "stack.h"
#include "support.h"

namespace fs = std::filesystem;

namespace {

bool searches_operand(int pcode)
{
    switch (pcode) {
    case P_LDA: case P_LDX: case P_LDY: case P_STA: case P_STX: case P_STY:
    case P_CMP: case P_CPX: case P_CPY: case P_ADC: case P_SBC: case P_AND:
    case P_EOR: case P_ORA: case P_ASL: case P_LSR: case P_ROL: case P_ROR: case P_INT:
        return true;
    default:
        return false;
    }
}

// Where a taken branch or jmp goes, found the slow way.
token_cell* reference_target(token_cell* o)
{
    if (!o)
        return nullptr;
    token_cell* label = sym_list_look(&symbols, symbols.head, o->tok->lexeme);
    return label ? label->next_cell : o->next_cell;
}

// Checks every cell of `symbols` against the reference searches.
void expect_decoded_as_searched(const std::string& what)
{
    decode_program(&symbols);
    int index = 0;
    for (token_cell* c = symbols.head; c; c = c->next_cell, index++) {
        SCOPED_TRACE(what + ", cell " + std::to_string(index) + " '" + c->tok->lexeme + "'");
        ASSERT_EQ(c->tok->label, sym_list_look(&symbols, symbols.head, c->tok->lexeme));
        const cell_code& k = c->code;
        int pcode = c->tok->pcode;
        token_cell* o = c->next_cell;
        if (searches_operand(pcode)) {
            // Distinct register values tell which register an operand reads.
            _reg.A = 100000;
            _reg.X = 7;
            _reg.Y = 9;
            lst = c;
            int kind = 0;
            int32_t v = term(kind);
            ASSERT_EQ(k.to, lst);
            if (kind == KIND_ADDRESS || kind == KIND_IMMEDIATE) {
                ASSERT_EQ(k.kind, kind == KIND_ADDRESS ? OPERAND_ADDRESS : OPERAND_IMMEDIATE);
                ASSERT_EQ(k.value, v);
            } else if (kind == KIND_REGISTER) {
                ASSERT_EQ(k.kind, v == 100000 ? OPERAND_A : v == 7 ? OPERAND_X : OPERAND_Y);
            } else {
                ASSERT_EQ(k.kind, OPERAND_NONE);
                ASSERT_EQ(k.op, pcode == P_INT ? OP_INT : OP_GOTO);
            }
        } else if (sym_is_jump(pcode) && pcode != P_JSR) {
            ASSERT_EQ(k.to, reference_target(o));
        } else if (pcode == P_JSR) {
            token_cell* label = o ? sym_list_look(&symbols, symbols.head, o->tok->lexeme) : nullptr;
            ASSERT_EQ(k.op, label ? OP_JSR : OP_GOTO);
            ASSERT_EQ(k.to, label ? label : o);
        }
    }
}

TEST(Decode, LabelsAgreeWithTheSearchFromTheHead)
{
    const char* programs[] = {
        // forward and backward, references before the definition
        "beq done jmp done back inx done iny bne back jmp back",
        // a definition that directly follows its own jump; a jsr to it
        "jmp next next inx jsr next brk",
        // a double definition: the first counts
        "twice inx twice iny jmp twice",
        // a label that only ever stands after jumps, and one never written
        "jmp ghost bne ghost beq nowhere",
        // a label that is also an ldm operand, and one spelled like a mnemonic
        "ldm msg jmp msg msg inx jmp Inc Inc",
        // case matters
        "Loop inx jmp loop loop iny",
    };
    for (const char* p : programs) {
        lex_source(p);
        expect_decoded_as_searched(p);
        sym_free(&symbols);
    }
    // The label of 'msg' is its ldm operand, the first occurrence not after a jump.
    lex_source("ldm msg jmp msg msg inx");
    EXPECT_EQ(sym_look(&symbols.root, "msg")->label, symbols.head->next_cell);
    sym_free(&symbols);
}

TEST(Decode, EveryProgramOfTheCorpusDecodesAsSearched)
{
    int programs = 0;
    for (const char* dir : {"tests/golden", "docs/examples", "examples", "bench"}) {
        for (const auto& entry : fs::directory_iterator(fs::path(ZORVIK_SOURCE_DIR) / dir)) {
            if (entry.path().extension() != ".zvs")
                continue;
            lex_source(read_file(entry.path().string()));
            expect_decoded_as_searched(entry.path().filename().string());
            sym_free(&symbols);
            programs++;
        }
    }
    EXPECT_GT(programs, 20);
}

// Random token lists of the texts and types that make operand searches and
// labels interesting: shared texts whose first occurrence fixes the type,
// register words, texts beginning with a capital that are no words,
// mnemonics as labels, lists that end in the middle of a search.
TEST(Decode, RandomTokenListsDecodeAsSearched)
{
    const std::pair<const char*, int> vocabulary[] = {
        {"lda", 5}, {"LDX", 5}, {"sta", 5}, {"cmp", 5}, {"cpy", 5}, {"adc", 5}, {"asl", 5},
        {"int", 5}, {"bne", 5}, {"beq", 5}, {"jmp", 5}, {"jsr", 5}, {"rts", 5}, {"ldm", 5},
        {"inx", 5}, {"Inc", 5}, {"loop", 5}, {"done", 5}, {"Xpos", 5}, {"A", 5}, {"Y", 5},
        {"x", 5}, {"10", 17}, {"10", 15}, {"10", 6}, {"$1F", 15}, {"ff", 17}, {"300", 15},
        {"Apple", 7}, {"Xylo", 7}, {",", 14}, {"(", 10}, {"ADC", 17}, {"", 15},
    };
    std::mt19937 rng(1234);
    for (int round = 0; round < 3000; round++) {
        sym_init(&symbols);
        int length = (int)(rng() % 24) + 1;
        for (int i = 0; i < length; i++) {
            const auto& [text, type] = vocabulary[rng() % std::size(vocabulary)];
            std::string buf = text;
            sym_add(&symbols, buf.data(), type, 0, 0, 0);
        }
        expect_decoded_as_searched("round " + std::to_string(round));
        sym_free(&symbols);
        if (HasFatalFailure())
            return;
    }
}

// What the tools that follow paths read from the core, against one pass
// of the machine's own loop from every cell of random lists: the pass lands
// on a cell that decode_next_passes gives (an rts with no call open, as a
// pass from a fresh stack has it), and every flag it changes is one that
// decode_flags_written gives. The flags start at 2, a value no handler
// writes, and A and D take values that drive both result rules to change C
// and N.
TEST(Decode, NextPassesAndFlagsWrittenAgreeWithAPass)
{
    const std::pair<const char*, int> vocabulary[] = {
        {"cmp", 5}, {"cpx", 5}, {"cpy", 5}, {"adc", 5}, {"sbc", 5}, {"ora", 5}, {"asl", 5}, {"lsr", 5},
        {"ror", 5}, {"clc", 5}, {"sec", 5}, {"sed", 5}, {"cld", 5}, {"sei", 5}, {"clv", 5}, {"plp", 5},
        {"php", 5}, {"bcc", 5}, {"bmi", 5}, {"bvs", 5}, {"beq", 5}, {"jmp", 5}, {"jsr", 5}, {"rts", 5},
        {"brk", 5}, {"int", 5}, {"inx", 5}, {"lda", 5}, {"ldm", 5}, {"inc", 5}, {"loop", 5}, {"done", 5},
        {"X", 5}, {"A", 5}, {"10", 15}, {"258", 15}, {"102", 17}, {"ff", 17}, {"7", 6},
    };
    const struct { int32_t a; uint8_t d; } states[] = {{5, 0}, {100000, 0}, {100000, 1}, {-100000, 1}, {-5, 1}};
    std::mt19937 rng(99);
    for (int round = 0; round < 400; round++) {
        sym_init(&symbols);
        int length = (int)(rng() % 16) + 1;
        for (int i = 0; i < length; i++) {
            const auto& [text, type] = vocabulary[rng() % std::size(vocabulary)];
            std::string buf = text;
            sym_add(&symbols, buf.data(), type, 0, 0, 0);
        }
        decode_program(&symbols);
        for (token_cell* c = symbols.head; c; c = c->next_cell) {
            token_cell* next[2];
            int n = decode_next_passes(c, next);
            unsigned written = decode_flags_written(c);
            for (const auto& state : states) {
                SCOPED_TRACE("round " + std::to_string(round) + ", cell " + std::to_string(c->number) + " '" +
                             c->tok->lexeme + "', A = " + std::to_string(state.a));
                memset(_reg.flags, 2, sizeof _reg.flags);
                _reg.flags[FLAG_D] = state.d;
                _reg.A = state.a;
                _reg.X = 7;
                _reg.Y = 9;
                uint8_t before[8];
                memcpy(before, _reg.flags, sizeof before);
                stack_init(&the_stack);
                int_stack_init(&int_stack);
                token_cell* landed = run_from(c, RUN_ONE_PASS, false);
                if (run_returned == RUN_PASSED) {
                    ASSERT_TRUE(std::find(next, next + n, landed) != next + n);
                } else {
                    ASSERT_TRUE(n == 0 || !landed);  // brk, or the end of the list
                }
                for (int f = 0; f < 8; f++) {
                    if (_reg.flags[f] != before[f]) {
                        ASSERT_TRUE(written & 1u << f) << "flag " << f;
                    }
                }
            }
        }
        sym_free(&symbols);
    }
}

}  // namespace
