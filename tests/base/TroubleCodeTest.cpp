// Trouble-code slots, words, names, count and MIL bytes, as every layer uses them.
#include "base/TroubleCode.h"

#include <gtest/gtest.h>

TEST(TroubleCode, SlotToWordAsTheEditorSendsIt) {
    struct Row { int category; const char* text; std::uint16_t word; };
    const Row rows[] = {
        {0, "0123", 0x0123},  // P0123
        {3, "3FFF", 0xFFFF},  // U3FFF
        {1, "12  ", 0x4000},  // "C" with two positions typed: not a number
        {3, "1234", 0xD234},  // U1234
        {0, "4123", 0x0123},  // a first digit above 3 loses its upper bits
        {2, "abcd", 0xABCD},  // lowercase accepted; B2BCD after the cut
        {0, "____", 0x0000},
        {2, "12G4", 0x8000},  // a letter beyond F anywhere
        {1, "    ", 0x4000},
        {-1, "0123", 0x0123},  // no category selected counts as P
    };
    for (const Row& r : rows) {
        EXPECT_EQ(SlotToWord(r.category, r.text), r.word) << r.category << " " << r.text;
    }
}

TEST(TroubleCode, WordToSlotAndNames) {
    struct Row { std::uint16_t word; int category; const char* text; const char* name; };
    const Row rows[] = {
        {0x8123, 2, "0123", "B0123"},
        {0x4123, 1, "0123", "C0123"},
        {0xFFFF, 3, "3FFF", "U3FFF"},
        {0x0000, 0, "0000", "P0000"},
        {0x3ABC, 0, "3ABC", "P3ABC"},
    };
    for (const Row& r : rows) {
        const DtcSlot slot = WordToSlot(r.word);
        EXPECT_EQ(slot.Category, r.category) << r.name;
        EXPECT_EQ(slot.Text, r.text) << r.name;
        EXPECT_EQ(CodeName(r.word), r.name);
        EXPECT_EQ(ParseCode(r.name), r.word) << r.name;
        EXPECT_EQ(SlotToWord(slot.Category, slot.Text), r.word) << "round trip of " << r.name;
    }
}

TEST(TroubleCode, ParseCodeRefusesWhatIsNotACode) {
    EXPECT_EQ(ParseCode("u1234"), 0xD234);
    EXPECT_EQ(ParseCode("p3fff"), 0x3FFF);
    for (const char* bad : {"", "P012", "P01234", "X0123", "P4123", "P01G3", "0123P", " P012"}) {
        EXPECT_FALSE(ParseCode(bad).has_value()) << bad;
    }
    EXPECT_TRUE(IsValidCodeText("3fFf"));
    for (const char* bad : {"4000", "012", "01 3", "____", "01234"}) EXPECT_FALSE(IsValidCodeText(bad)) << bad;
}

TEST(TroubleCode, CountByteClampsWhatIsNoCount) {
    EXPECT_EQ(CountByte(2, 10), 0xA2);
    EXPECT_EQ(CountByte(3, 0), 0x03);
    EXPECT_EQ(CountByte(11, 1), 0x10);
    EXPECT_EQ(CountByte(-1, -1), 0x00);
    EXPECT_EQ(MilByte(true), 0x81);
    EXPECT_EQ(MilByte(false), 0x80);
}
