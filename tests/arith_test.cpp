// The arithmetic group: both result rules, no carry in, C never cleared, and
// memory-operand shifts followed by the rule on the unchanged A.
#include <gtest/gtest.h>

#include "arith.h"
#include "parse.h"
#include "support.h"

namespace {

void run(const std::string& source)
{
    run_source(source);
    sym_free(&symbols);
}

int C() { return _reg.flags[FLAG_C]; }
int N() { return _reg.flags[FLAG_N]; }

TEST(UnsignedRule, OverflowGoesToZeroAndSetsC)
{
    run("lda #200 adc #100");
    EXPECT_EQ(_reg.A, 0);
    EXPECT_EQ(C(), 1);
    run("lda #255 sec adc #0");  // the carry is not added
    EXPECT_EQ(_reg.A, 255);
    run("lda #5 sbc #10");  // negative results stay; C and N untouched
    EXPECT_EQ(_reg.A, -5);
    EXPECT_EQ(C(), 0);
    EXPECT_EQ(N(), 0);
    run("lda #511 and #$FF");
    EXPECT_EQ(_reg.A, 255);
    run("lda #200 adc #100 adc #1");  // nothing in the group clears C
    EXPECT_EQ(_reg.A, 1);
    EXPECT_EQ(C(), 1);
    run("lda #$F0 ora #$0F eor #$FF");
    EXPECT_EQ(_reg.A, 0);
}

TEST(UnsignedRule, MemoryShiftThenRuleOnUnchangedA)
{
    run("lda #$81 sta $10 lda #1000 asl $10");
    EXPECT_EQ(_reg.memory[0x10], 0x02);
    EXPECT_EQ(_reg.A, 0);  // A was 1000: the rule still applies
    EXPECT_EQ(C(), 1);
    run("lda #3 sta $11 lda #7 lsr $11 ror $11");
    EXPECT_EQ(_reg.memory[0x11], 0x80);
    EXPECT_EQ(_reg.A, 7);
    run("ldx #$12 lda #$81 sta $12 rol X");  // a register operand is an index
    EXPECT_EQ(_reg.memory[0x12], 0x03);
}

TEST(SignedRule, OverflowFlipsToTheFarEnd)
{
    run("sed lda #100 adc #50");
    EXPECT_EQ(_reg.A, -128);
    EXPECT_EQ(C(), 1);
    EXPECT_EQ(N(), 1);
    run("sed lda #0 sbc #200");
    EXPECT_EQ(_reg.A, 128);
    EXPECT_EQ(C(), 1);
    EXPECT_EQ(N(), 0);
    run("sed lda #64 asl #1");  // the immediate shifts A; its value is unused
    EXPECT_EQ(_reg.A, -128);
    EXPECT_EQ(N(), 1);
    run("sed lda #0 sbc #1 lda #5 sbc #5");  // 0 keeps N as it was
    EXPECT_EQ(_reg.A, 0);
    EXPECT_EQ(N(), 1);
    run("sed lda #255 sta $10 lda #0 adc $10");  // memory bytes are unsigned
    EXPECT_EQ(_reg.A, -128);
    EXPECT_EQ(C(), 1);
    run("sed lda #0 sbc #5 lsr #1");
    EXPECT_EQ(_reg.A, -3);
    EXPECT_EQ(N(), 1);
    run("sed lda #0 sbc #128");  // -128 itself is below the range
    EXPECT_EQ(_reg.A, 128);
}

TEST(SignedRule, OtherDValuesActSigned)
{
    // plp can leave D at 2: the signed rule then applies.
    run("lda #2 pha pha pha pha pha pha pha pha pha plp lda #100 adc #50");
    EXPECT_EQ(_reg.flags[FLAG_D], 2);
    EXPECT_EQ(_reg.A, -128);
}

TEST(Arithmetic, NoOperandNoEffect)
{
    run("lda #300 adc");
    EXPECT_EQ(_reg.A, 300);
    EXPECT_EQ(C(), 0);
    run("lda #0 sbc #5 lsr #1");  // arithmetic shift of a negative A
    EXPECT_EQ(_reg.A, -3);
    run("lda #$7FFFFFFF adc #1");  // wraps like a 32-bit register, then the rule
    EXPECT_EQ(_reg.A, INT32_MIN);
}

TEST(ByteHelpers, RotatesShiftsAndBits)
{
    EXPECT_EQ(do_ror(0x01), 0x80);
    EXPECT_EQ(do_ror(0x81), 0xC0);
    EXPECT_EQ(do_rol(0x80), 0x01);
    EXPECT_EQ(do_rol(0x81), 0x03);
    EXPECT_EQ(do_asl(0x81), 0x02);
    EXPECT_EQ(get_bit(0x04, 2), 1);
    EXPECT_EQ(get_bit(0x104, 8), 0);
    EXPECT_EQ(set_bit(0x01, 7), 0x81);
}

}  // namespace
