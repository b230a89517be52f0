// Number conversions shared by the link and the files.
#include "base/Convert.h"
#include "base/Failure.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(Convert, TryStrToInt) {
    struct Row {
        const char* text;
        std::optional<std::int32_t> value;
    };
    const Row rows[] = {
        {"0", 0},
        {"42", 42},
        {"  \t12", 12},
        {"-5", -5},
        {"+7", 7},
        {"$FF", 255},
        {"$ff", 255},
        {"0x1A", 26},
        {"-$10", -16},
        {"$FFFFFFFF", -1},
        {"$80000000", INT_MIN},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"007", 7},
        {"2147483648", std::nullopt},
        {"99999999999", std::nullopt},
        {"$100000000", std::nullopt},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"-", std::nullopt},
        {"$", std::nullopt},
        {"12 ", std::nullopt},
        {"1 2", std::nullopt},
        {"- 5", std::nullopt},
        {"12a", std::nullopt},
        {"A", std::nullopt},
        {"$1G", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(TryStrToInt(row.text), row.value);
    }
}

TEST(Convert, StrToIntRaisesTheGermanMessage) {
    EXPECT_EQ(StrToInt(" -12"), -12);
    try {
        StrToInt("abc");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'abc' ist kein g\xFCltiger Integerwert");
    }
}

TEST(Convert, FixedWidthDigits) {
    EXPECT_EQ(HexToUInt("00"), 0u);
    EXPECT_EQ(HexToUInt("1f"), 31u);
    EXPECT_EQ(HexToUInt("3FFF"), 0x3FFFu);
    EXPECT_EQ(HexToUInt("FFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(HexToUInt("000000001"), 1u);  // leading zeros do not overflow
    EXPECT_EQ(DecToUInt("0"), 0u);
    EXPECT_EQ(DecToUInt("16"), 16u);
    EXPECT_EQ(DecToUInt("4294967295"), 4294967295u);
    for (const char* bad : {"", "G0", " 1", "1-", "100000000"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(HexToUInt(bad), EConvertError);
    }
    for (const char* bad : {"", "1a", "-1", " 1", "4294967296", "99999999999"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(DecToUInt(bad), EConvertError);
    }
    try {
        HexToUInt("zz");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'$zz' ist kein g\xFCltiger Integerwert");
    }
}

TEST(Convert, IntToHex) {
    EXPECT_EQ(IntToHex(0, 2), "00");
    EXPECT_EQ(IntToHex(0x1A, 2), "1A");
    EXPECT_EQ(IntToHex(0x1A, 0), "1A");
    EXPECT_EQ(IntToHex(0x3FFF, 4), "3FFF");
    EXPECT_EQ(IntToHex(0x123, 2), "123");  // never cut short
    EXPECT_EQ(IntToHex(0xFFFFFFFF, 8), "FFFFFFFF");
    EXPECT_EQ(IntToHex(5, 20), std::string(19, '0') + "5");
    EXPECT_EQ(HexDigitValue('a'), 10);
    EXPECT_EQ(HexDigitValue('G'), -1);
}

}  // namespace
