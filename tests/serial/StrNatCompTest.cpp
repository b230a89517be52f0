// Natural ordering of port names.
#include "serial/StrNatComp.h"

#include <gtest/gtest.h>

#include <random>

namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

TEST(NaturalCompare, OrderingConsequences) {
    struct Row {
        const char* a;
        const char* b;
        bool caseSensitive;
        int expected;
    };
    const Row rows[] = {
        {"COM2", "COM9", false, -1},
        {"COM9", "COM10", false, -1},   // a longer run without a leading zero is larger
        {"COM2", "COM10", false, -1},
        {"ttyS2", "ttyS10", false, -1},
        {"ttyUSB0", "ttyUSB1", false, -1},
        {"COM05", "COM1", false, -1},   // a run starting with 0 compares like a fraction
        {"A010", "A9", false, -1},
        {"COM007", "COM05", false, -1},
        {"COM01", "COM1", false, -1},
        {"COM0", "COM00", false, -1},
        {"COM 5", "COM5", false, 0},    // white space is skipped
        {" COM5 ", "COM5", false, 0},
        {"com4", "COM4", false, 0},
        {"com4", "COM4", true, +1},     // 'c' > 'C'
        {"COM1", "COM1X", false, -1},
        {"", "  ", false, 0},           // empty ranks equal to blanks only...
        {"", "\t", true, 0},
        {"", "0", false, -1},           // ...and before everything else
        {"  ", "A", false, -1},
        {"COM10", "COM10", true, 0},
        {"\xE4", "\xC4", false, 0},     // Latin-1 letters fold: a-umlaut, A-umlaut
        {"\xE4", "\xC4", true, +1},
        {"\xF7", "\xD7", false, +1},    // division sign stays apart from the multiplication sign
#ifdef _WIN32
        // Windows upper-cases in the ANSI code page: in 1252 y-diaeresis
        // becomes 0x9F, which ranks it before sharp s.
        {"\xDF", "\xFF", false, +1},
#else
        {"\xDF", "\xFF", false, -1},    // sharp s and y-diaeresis keep their bytes
#endif
        {"\x80", "Z", false, +1},       // bytes compare unsigned
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.a) + " vs " + row.b);
        EXPECT_EQ(NaturalCompare(row.a, row.b, row.caseSensitive), row.expected);
        EXPECT_EQ(NaturalCompare(row.b, row.a, row.caseSensitive), -row.expected);
    }
    // A zero byte ends the text, as the end itself does.
    EXPECT_EQ(NaturalCompare(std::string("COM1\0X", 6), "COM1", false), 0);
}

TEST(NaturalCompare, AntisymmetricAndTransitiveOverGeneratedNames) {
    const char alphabet[] = {'0', '0', '1', '2', '9', ' ', 'a', 'A', 'm', '.', '\xE4', '\xC4'};
    std::mt19937 rng(20120516);
    std::vector<std::string> names;
    for (int i = 0; i < 300; ++i) {
        std::string s;
        for (int len = static_cast<int>(rng() % 7); len > 0; --len) s += alphabet[rng() % sizeof alphabet];
        names.push_back(s);
    }
    const std::size_t n = names.size();
    std::vector<int> r(n * n);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < n; ++j) r[i * n + j] = NaturalCompare(names[i], names[j], false);
    int failures = 0;
    for (std::size_t i = 0; i < n && failures < 5; ++i) {
        EXPECT_EQ(r[i * n + i], 0);
        for (std::size_t j = 0; j < n; ++j) {
            if (Sign(r[i * n + j]) != -Sign(r[j * n + i])) {
                ++failures;
                ADD_FAILURE() << "not antisymmetric: '" << names[i] << "' '" << names[j] << "'";
            }
            if (r[i * n + j] > 0) continue;
            // Sorting relies on this: a <= b and b <= c give a <= c.
            for (std::size_t k = 0; k < n; ++k)
                if (r[j * n + k] <= 0 && r[i * n + k] > 0 && failures++ < 5)
                    ADD_FAILURE() << "not transitive: '" << names[i] << "' '" << names[j] << "' '" << names[k] << "'";
        }
    }
}

TEST(SortPorts, NaturalOrderOfTypicalLists) {
    struct Row {
        std::vector<std::string> in, out;
    };
    const Row rows[] = {
        {{"COM10", "COM2", "COM1"}, {"COM1", "COM2", "COM10"}},
        {{"ttyUSB1", "ttyS10", "ttyACM0", "ttyS2", "ttyUSB0"}, {"ttyACM0", "ttyS2", "ttyS10", "ttyUSB0", "ttyUSB1"}},
        {{"com3", "COM20", "Com1"}, {"Com1", "com3", "COM20"}},
        {{}, {}},
        {{"COM1"}, {"COM1"}},
    };
    for (const Row& row : rows) {
        std::vector<std::string> ports = row.in;
        SortPorts(ports);
        EXPECT_EQ(ports, row.out);
    }
    const std::vector<std::string> list = {"COM10", "com2", "COM2"};
    EXPECT_EQ(NaturalListCompare(list, 0, 1), +1);
    EXPECT_EQ(NaturalListCompare(list, 1, 2), 0);
}

}  // namespace
