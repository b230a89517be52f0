// The program start's pure rules: the developer mode's access check, the
// distribution file name, the command line and the error box text.

#include "app/ErrorBox.h"
#include "app/StartOptions.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <QFile>

TEST(DeveloperMode, OnlyTheExactCodeAloneWithTheWindowOpen) {
    struct Case {
        QStringList arguments;
        bool window;
        bool expected;
    };
    const Case cases[] = {
        {{"5306142"}, true, true},
        {{"5306142"}, false, false},             // no development environment window
        {{}, true, false},
        {{"05306142"}, true, false},             // a leading zero
        {{"5306142 "}, true, false},             // a trailing blank
        {{"5306143"}, true, false},
        {{"5306142", "5306142"}, true, false},   // two arguments
        {{"--port", "5306142"}, true, false},
        {{"5306142", "--port", "/dev/pts/9"}, true, false},
    };
    for (const Case& c : cases) {
        int lookups = 0;
        const bool result = DeveloperModeRequested(c.arguments, [&] {
            ++lookups;
            return c.window;
        });
        EXPECT_EQ(result, c.expected) << c.arguments.join(QLatin1Char('|')).toStdString();
        // The display is only asked when the arguments qualify.
        if (c.arguments != QStringList{QStringLiteral("5306142")}) {
            EXPECT_EQ(lookups, 0);
        }
    }
}

TEST(DeveloperMode, DistributionFileNameCarriesTheVersion) {
    EXPECT_EQ(DistributionFileName("C:/Tools/KNSimTool.exe", 0x120), "C:/Tools/dist/KNSimTool1200.exe");
    EXPECT_EQ(DistributionFileName("/opt/kns/knsimtool", 0x120), "/opt/kns/dist/knsimtool1200");
    EXPECT_EQ(DistributionFileName("/opt/kns/knsimtool", 0x1A3), "/opt/kns/dist/knsimtool1A30");
    EXPECT_EQ(DistributionFileName("/opt/kns/knsimtool", 0x012), "/opt/kns/dist/knsimtool0120");  // at least 3 digits
    EXPECT_EQ(DistributionFileName("/opt/kns/knsimtool", 0xFFFF), "/opt/kns/dist/knsimtoolFFFF0");
    EXPECT_EQ(DistributionFileName("/opt/my.tool.exe", 0x120), "/opt/dist/my.tool1200.exe");  // last extension only
}

TEST(DeveloperMode, CopyReplacesAnOldCopyAndIsSilentWithoutTheFolder) {
    const TempFolder folder;
    WriteFile(folder / "knsimtool", "new program");
    const QString program = QString::fromStdString(folder / "knsimtool");
    // No dist folder: nothing is created and nothing is thrown.
    CopyToDistribution(program, 0x120);
    EXPECT_FALSE(std::filesystem::exists(folder / "dist"));

    ASSERT_TRUE(std::filesystem::create_directory(folder / "dist"));
    const QString target = DistributionFileName(program, 0x120);
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("an older program that was longer");
    }
    CopyToDistribution(program, 0x120);
    QFile copy(target);
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), QByteArray("new program"));
}

TEST(CommandLine, PortOptionAndItsMistakes) {
    TStartOptions options;
    QString error;
    ASSERT_TRUE(ParseCommandLine({"--port", "/dev/pts/3"}, options, error));
    ASSERT_TRUE(options.Port.has_value());
    EXPECT_EQ(*options.Port, "/dev/pts/3");
    EXPECT_EQ(options.Arguments, (QStringList{"--port", "/dev/pts/3"}));

    TStartOptions equals;
    ASSERT_TRUE(ParseCommandLine({"--port=ttyUSB1"}, equals, error));
    EXPECT_EQ(equals.Port.value_or(""), "ttyUSB1");

    TStartOptions code;
    ASSERT_TRUE(ParseCommandLine({"5306142"}, code, error));
    EXPECT_FALSE(code.Port.has_value());
    EXPECT_EQ(code.Arguments, QStringList{"5306142"});

    TStartOptions missing;
    EXPECT_FALSE(ParseCommandLine({"--port"}, missing, error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(ParseCommandLine({"--port="}, missing, error));

    // The bench takes a list; the main window keeps a name with a comma whole.
    TStartOptions bench;
    ASSERT_TRUE(ParseCommandLine({"--port", "ttyUSB0, ttyUSB1,,tcp://a:7000", "--bench"}, bench, error));
    EXPECT_TRUE(bench.Bench);
    EXPECT_EQ(bench.BenchPorts, (std::vector<std::string>{"ttyUSB0", "ttyUSB1", "tcp://a:7000"}));
    TStartOptions wholeBench;
    ASSERT_TRUE(ParseCommandLine({"--bench"}, wholeBench, error));
    EXPECT_TRUE(wholeBench.Bench && wholeBench.BenchPorts.empty());
    TStartOptions main;
    ASSERT_TRUE(ParseCommandLine({"--port", "a,b"}, main, error));
    EXPECT_FALSE(main.Bench);
    EXPECT_EQ(main.Port.value_or(""), "a,b");
}

TEST(ErrorBox, FullStopOnlyAfterCharactersAboveTheFullStop) {
    struct Case {
        std::string message;
        QString shown;
    };
    const Case cases[] = {
        {"Registry error (win error code: 2)", "Registry error (win error code: 2)"},  // ')' sorts below '.'
        {"Datei x.kns kann nicht ge\xF6" "ffnet werden", QString::fromLatin1("Datei x.kns kann nicht ge\xF6" "ffnet werden.")},
        {"'abc' ist kein g\xFCltiger Integerwert", QString::fromLatin1("'abc' ist kein g\xFCltiger Integerwert.")},
        {"Done.", "Done."},
        {"Value 7", "Value 7."},        // digits sort above '.'
        {"Stop!", "Stop!"},             // '!' sorts below '.'
        {"Ende \xE4", QString::fromLatin1("Ende \xE4.")},  // a Latin-1 letter above 127 counts as above
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(ErrorBoxText(c.message), c.shown) << c.message;
}

TEST(DeveloperMode, DevelopmentWindowIsKnownByItsClassInAnyLetterCase) {
    using namespace std::string_view_literals;
    const std::pair<std::string_view, bool> cases[] = {
        {"ide\0TAppBuilder\0"sv, true},  // as the environment writes it
        {"x\0TAPPBUILDER\0"sv, true},
        {"x\0tappbuilder"sv, true},      // no final NUL
        {"TAPPBUILDER\0Other\0"sv, false},  // the instance name does not count
        {"x\0TAPPBUILDER2\0"sv, false},
        {"x\0TAPPBUILDE\0"sv, false},
        {"TAPPBUILDER"sv, false},        // no class at all
        {""sv, false},
    };
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(IsDevelopmentWindowClass(value), expected) << std::string(value);
}
