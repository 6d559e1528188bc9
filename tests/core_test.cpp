// The interpreter: operands, loads and stores, compares, branches, calls,
// the stacks and the header, checked on the machine state after a run.
#include <random>

#include <gtest/gtest.h>

#include "parse.h"
#include "stack.h"
#include "support.h"

namespace {

void run(const std::string& source)
{
    run_source(source);
    sym_free(&symbols);
}

int Z() { return _reg.flags[FLAG_Z]; }

TEST(Operands, LoadsByKind)
{
    run("lda #300 sta $20 lda #77 ldx #42 ldy $20");  // $20 now holds 255
    EXPECT_EQ(_reg.A, 77);
    EXPECT_EQ(_reg.X, 42);
    EXPECT_EQ(_reg.Y, 255);
    run("lda #$1234");  // the full value, hexadecimal after '$'
    EXPECT_EQ(_reg.A, 0x1234);
    run("ldx #300 ldy #$1FF");  // index registers keep the low byte
    EXPECT_EQ(_reg.X, 300 % 256);
    EXPECT_EQ(_reg.Y, 255);
    run("ldx #7 lda X ldy A");  // a register operand is its value
    EXPECT_EQ(_reg.A, 7);
    EXPECT_EQ(_reg.Y, 7);
    run("lda #9 lda ldx #3 ldy");  // no operand: no effect (lda takes ldx's operand)
    EXPECT_EQ(_reg.A, 3);
    EXPECT_EQ(_reg.X, 0);
    EXPECT_EQ(_reg.Y, 0);
}

TEST(Operands, StoresByKind)
{
    run("lda #65 sta $200 ldx #66 stx $201 ldy #67 sty $202");
    EXPECT_EQ(_reg.memory[0x200], 65);
    EXPECT_EQ(_reg.memory[0x201], 66);
    EXPECT_EQ(_reg.memory[0x202], 67);
    run("ldx #5 stx #16 ldy #6 sty #17 lda #7 sta #18");  // an immediate is the index
    EXPECT_EQ(_reg.memory[16], 5);
    EXPECT_EQ(_reg.memory[17], 6);
    EXPECT_EQ(_reg.memory[18], 7);
    run("ldy #40 lda #3 sta Y ldx #9 stx Y");  // a register is the index
    EXPECT_EQ(_reg.memory[40], 9);
    run("lda #1000 sta $30");  // above 254: A becomes 255 first
    EXPECT_EQ(_reg.memory[0x30], 255);
    EXPECT_EQ(_reg.A, 255);
    run("lda #0 sbc #5 sta $31");  // the low byte of a negative A; A stays
    EXPECT_EQ(_reg.memory[0x31], 0xFB);
    EXPECT_EQ(_reg.A, -5);
}

TEST(Operands, ComparesSetInvertedZ)
{
    run("lda #3 cmp #3");
    EXPECT_EQ(Z(), 0);
    run("lda #3 cmp #4");
    EXPECT_EQ(Z(), 1);
    run("cpx #256");  // all the immediate's bits count
    EXPECT_EQ(Z(), 1);
    run("lda #5 sta $40 ldx #5 cpx $40");
    EXPECT_EQ(Z(), 0);
    run("ldx #9 ldy #9 cpx Y");  // cpx with a register compares values
    EXPECT_EQ(Z(), 0);
    run("lda #80 ldx #80 cmp X");  // cmp X reads memory[X], not X
    EXPECT_EQ(Z(), 1);
    run("lda #7 sta $50 ldx #80 cmp X");
    EXPECT_EQ(Z(), 0);
}

TEST(Operands, FirstOccurrenceFixesTheKind)
{
    // '$10' first: the later '#10' is an address too.
    run("lda #99 sta $10 lda #10");
    EXPECT_EQ(_reg.A, 99);
    // '#12' first: the later '$12' is a number.
    run("lda #12 lda $12");
    EXPECT_EQ(_reg.A, 12);
    // A bare number is no operand: lda skips '5' and the sta, and takes '$60'.
    run("lda #1 lda 5 sta $60");
    EXPECT_EQ(_reg.A, 0);
    EXPECT_EQ(_reg.memory[0x60], 0);
    // '#5' after a bare '5' is still a digit token and is passed over.
    run("lda 5 lda #5 ldx #8");
    EXPECT_EQ(_reg.A, 8);
}

TEST(Operands, CapitalWordsAreRegisters)
{
    run("ldx #4 lda Xpos");  // only the first letter counts
    EXPECT_EQ(_reg.A, 4);
    run("lda #6 ldx x");  // lower-case x is passed over; the search runs on
    EXPECT_EQ(_reg.X, 0);
    run("lda #2\nlda\nADC #1");  // 'ADC' is taken as the register A, not run
    EXPECT_EQ(_reg.A, 2);
    run("lda #2 lda \"Apple\" ldx #1");  // a string starting with A: no kind
    EXPECT_EQ(_reg.A, 2);
}

TEST(Branches, TakenAndNotTaken)
{
    run("lda #3 cmp #3 beq yes ldx #1 jmp end yes ldx #2 end");
    EXPECT_EQ(_reg.X, 2);
    run("lda #3 cmp #4 beq yes ldx #1 jmp end yes ldx #2 end");
    EXPECT_EQ(_reg.X, 1);
    run("lda #3 cmp #4 bne yes ldx #1 jmp end yes ldx #2 end");
    EXPECT_EQ(_reg.X, 2);
    run("sec bcs yes ldx #1 yes iny");
    EXPECT_EQ(_reg.X, 0);
    run("bcs yes ldx #1 yes iny bpl done ldy #9 done bvc out ldy #8 out");
    EXPECT_EQ(_reg.X, 1);
    EXPECT_EQ(_reg.Y, 1);
    run("bmi yes bvs yes bcc yes ldx #1 yes");
    EXPECT_EQ(_reg.X, 0);
}

TEST(Branches, LabelSearch)
{
    // Forward, twice, then backward: a countdown loop.
    run("ldx #5 top dex cpx #0 bne top");
    EXPECT_EQ(_reg.X, 0);
    run("jmp fin ldx #1 jmp fin ldx #2 fin ldy #3");
    EXPECT_EQ(_reg.X, 0);
    EXPECT_EQ(_reg.Y, 3);
    // A definition right after a jump to it.
    run("jmp next next ldx #4");
    EXPECT_EQ(_reg.X, 4);
    // Two definitions: the first counts.
    run("jmp twice ldx #1 twice ldy #1 brk twice ldy #2");
    EXPECT_EQ(_reg.Y, 1);
    // Case matters; a missing label goes on after the operand.
    run("jmp Loop ldx #6 loop");
    EXPECT_EQ(_reg.X, 6);
    // The first occurrence not after a jump may be any token.
    run("lda #$300 jmp spot ldx #1 brk ldm spot ldy #1 spot ldx #2");
    EXPECT_EQ(_reg.Y, 1);  // landed on ldm's operand
    EXPECT_EQ(_reg.X, 2);
}

TEST(Calls, JsrRtsNesting)
{
    run("jsr one ldx #9 brk one jsr two iny rts two iny iny rts");
    EXPECT_EQ(_reg.X, 9);
    EXPECT_EQ(_reg.Y, 3);
    run("rts rts ldx #1");  // rts with nothing to return to moves on
    EXPECT_EQ(_reg.X, 1);
    run("jsr nowhere ldx #2");
    EXPECT_EQ(_reg.X, 2);
    EXPECT_EQ(the_stack.count, 0);
    // brk inside a subroutine ends the whole run.
    run("jsr sub ldx #1 brk sub ldy #1 brk ldy #2");
    EXPECT_EQ(_reg.X, 0);
    EXPECT_EQ(_reg.Y, 1);
}

TEST(Calls, ReturnStackOverflow)
{
    // Y counts the calls and wraps to 0 after the 256th.
    std::string src = "deep jsr next next iny cpy #0 bne deep";
    std::string out = capture_stdout([&] { run(src); });
    EXPECT_EQ(out, "*- stack overflow");
    EXPECT_EQ(the_stack.count, 255);

    addr_stack s;
    stack_init(&s);
    token_cell cells[256];
    for (auto& c : cells)
        stack_push(&s, &c);  // the last push is dropped (message on stdout)
    for (int i = 254; i >= 0; i--)
        EXPECT_EQ(stack_pop(&s), &cells[i]);
    EXPECT_EQ(stack_pop(&s), nullptr);
}

TEST(ByteStack, LimitsAndFlagInterplay)
{
    byte_stack s;
    int_stack_init(&s);
    for (int i = 0; i < 300; i++)
        int_stack_push(&s, (uint8_t)i);
    EXPECT_EQ(s.count, 255);
    EXPECT_EQ(int_stack_pop(&s), 254);
    s.count = 0;
    EXPECT_EQ(int_stack_pop(&s), 0);

    run("sec sed php pla");  // the last byte pushed is flag_extra
    EXPECT_EQ(_reg.A, 0);
    EXPECT_EQ(int_stack.count, 8);
    run("sec sed sei php clc cld cli plp");
    EXPECT_EQ(_reg.flags[FLAG_C], 1);
    EXPECT_EQ(_reg.flags[FLAG_D], 1);
    EXPECT_EQ(_reg.flags[FLAG_I], 1);
    // Nine pushed bytes become the flags, the first pushed into N.
    run("lda #2 pha lda #1 pha pha pha pha pha pha lda #5 pha lda #9 pha plp");
    EXPECT_EQ(_reg.flags[FLAG_N], 2);
    EXPECT_EQ(_reg.flags[FLAG_Z], 1);
    EXPECT_EQ(_reg.flags[FLAG_C], 5);
    EXPECT_EQ(_reg.flag_extra, 9);
    // A C of 5 satisfies neither bcc nor bcs.
    run("lda #5 pha lda #0 pha plp bcc a bcs a ldx #1 a");
    EXPECT_EQ(_reg.X, 1);
    run("plp pla");  // popping the empty stack gives 0
    EXPECT_EQ(_reg.A, 0);
}

TEST(Instructions, LdmCopiesTextAtA)
{
    run("lda #$100 ldm \"Hi\"");
    EXPECT_EQ(_reg.memory[0x100], 'H');
    EXPECT_EQ(_reg.memory[0x101], 'i');
    EXPECT_EQ(_reg.memory[0x102], 0);
    EXPECT_EQ(_reg.Y, 2);
    run("lda #$FFFFFE ldm \"abc\"");  // past the end of memory: dropped
    EXPECT_EQ(_reg.memory[0xFFFFFE], 'a');
    EXPECT_EQ(_reg.memory[0xFFFFFF], 'b');
    EXPECT_EQ(_reg.Y, 3);
    run("lda #$7FFFFFFF ldm xyz ldx #1");
    EXPECT_EQ(_reg.X, 1);
}

TEST(Instructions, RegistersWrapAndTransfer)
{
    run("dex dey dey inx inx inx");
    EXPECT_EQ(_reg.X, 2);
    EXPECT_EQ(_reg.Y, 254);
    run("lda #$1FF tax lda #$2F0 tay");
    EXPECT_EQ(_reg.X, 255);
    EXPECT_EQ(_reg.Y, 0xF0);
    run("sec sed sei clv nop bit inc dec rti tsx txa txs tya");
    EXPECT_EQ(_reg.flags[FLAG_C], 1);
    EXPECT_EQ(_reg.flags[FLAG_D], 1);
    EXPECT_EQ(_reg.flags[FLAG_I], 1);
    EXPECT_EQ(_reg.A, 0);
    run("inc $10 ldx #1");  // the operand left under the cursor is passed over
    EXPECT_EQ(_reg.X, 1);
}

TEST(Header, FormsAndMode)
{
    run("*=$0600 ldx #1");
    EXPECT_EQ(_reg.mode, 0x600);
    EXPECT_EQ(_reg.X, 1);
    run("= $C000");
    EXPECT_EQ(_reg.mode, 0xC000);
    run("*= ldx #1");  // no '$' number: nothing runs
    EXPECT_EQ(_reg.X, 0);
    run("ldx #1 *=$10");
    EXPECT_EQ(_reg.mode, 0);
    EXPECT_EQ(read_hex("fFz"), 0xff);
    EXPECT_EQ(read_hex("0x1A"), 0x1a);
    EXPECT_EQ(read_hex("zz"), 0);
    EXPECT_EQ(read_hex("123456789"), 0x23456789);  // modulo 2^32
    EXPECT_EQ(read_dec("4294967297"), 1);
    EXPECT_EQ(read_dec("12ab"), 12);
}

TEST(Memory, OutOfRangeReadsZeroWritesDropped)
{
    run("lda #7 sta $1000000 lda $1000000");
    EXPECT_EQ(_reg.A, 0);
    run("lda #7 sta $FFFFFFFF lda #0 sbc #1 sta A lda $FFFFFFFF");
    EXPECT_EQ(_reg.A, 0);
    run("lda #0 sbc #9 adc A asl A");
    EXPECT_EQ(_reg.A, -9);
    run("ldy #$FF lda #3 sta $FFFFFF lda $FFFFFF");
    EXPECT_EQ(_reg.A, 3);
}

TEST(Robustness, TokenSoupNeverCrashesOrStalls)
{
    // Everything but the jumps, so every run ends; the sanitizers watch.
    const char* words[] = {"lda", "ldx", "ldy", "sta", "stx", "sty", "adc", "sbc", "asl", "lsr",
                           "rol", "ror", "and", "ora", "eor", "cmp", "cpx", "cpy", "pha", "pla",
                           "php", "plp", "ldm", "tax", "tay", "inx", "dey", "sed", "cld", "rts",
                           "#$FFFFFFFF", "#2147483647", "$FFFFFF", "$1000001", "A", "X", "Y",
                           "Axe", "\"Xs\"", ",", "(", "9", "label", "*=", "$", "#", "{", "."};
    std::mt19937 rng(11);
    for (int round = 0; round < 200; round++) {
        std::string src;
        for (int i = 0; i < 60; i++)
            src += std::string(words[rng() % std::size(words)]) + " ";
        run(src);
    }
    SUCCEED();
}

}  // namespace

TEST(Budget, BoundsARunThatLoopsForEver)
{
    run_budget = 10;  // ten loop-closing steps; the eleventh ends the run
    run("loop inx jmp loop");
    EXPECT_EQ(_reg.X, 11);
    run("again jsr sub jmp again sub rts");  // calls and returns count too
    EXPECT_EQ(the_stack.count, 0);
    run_budget = -1;
    run("ldx #3 loop dex cpx #0 bne loop");
    EXPECT_EQ(_reg.X, 0);
}
