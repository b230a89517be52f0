#include "storage/IniFile.h"

#include "base/Failure.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir / "KNSimTool.ini";
    }
    TempFolder folder;
    fs::path dir = folder.Path();
    fs::path path;
};

}  // namespace

TEST_F(IniFileTest, WritesSectionsInOrderWithCrLfAndCreatesFolders) {
    path = dir / "new" / "folder" / "KNSimTool.ini";
    IniFile ini(path.string());
    EXPECT_FALSE(fs::exists(path));
    ini.SetDefaultSection("CONFIG");
    ini.WriteInteger("Main\\FormVersion", 0);
    ini.WriteString("\\Main\\\\NormPos", "640,318,1280,718");
    ini.WriteString("ComPort", "COM3");
    ini.WriteInteger("main\\FORMVERSION", -1);  // replaced where it stands
    EXPECT_EQ(ReadFile(path),
              "[Main]\r\nFORMVERSION=-1\r\nNormPos=640,318,1280,718\r\n\r\n[CONFIG]\r\nComPort=COM3\r\n\r\n");
}

TEST_F(IniFileTest, ReadingRules) {
    WriteFile(path,
              "orphan=1\r\n"
              "; a comment\r\n"
              "[config]\r\n"
              "ComPort = COM9\r\n"
              "Empty=\r\n"
              "Eq=a=b\r\n"
              "\r\n"
              "[Other]\n"
              "Keep=me\n"
              "[CONFIG]\r\n"
              "ComPort=second section\r\n");
    IniFile ini(path.string());
    ini.SetDefaultSection("CONFIG");
    EXPECT_EQ(ini.ReadString("ComPort", "none"), "none");  // blanks around "=" do not match
    EXPECT_EQ(ini.ReadString("ComPort ", "none"), " COM9");
    EXPECT_EQ(ini.ReadString("EMPTY", "none"), "");
    EXPECT_EQ(ini.ReadString("Eq", ""), "a=b");
    EXPECT_EQ(ini.ReadString("Other\\keep", ""), "me");
    EXPECT_EQ(ini.ReadString("orphan", "dropped"), "dropped");
    EXPECT_EQ(ini.ReadInteger("Empty", 5), 0);
    EXPECT_EQ(ini.ReadInteger("Missing", 5), 5);

    // The next write drops the comment and the orphan line, keeps Other.
    ini.WriteString("ComPort", "COM3");
    EXPECT_EQ(ReadFile(path),
              "[config]\r\nComPort = COM9\r\nEmpty=\r\nEq=a=b\r\nComPort=COM3\r\n\r\n"
              "[Other]\r\nKeep=me\r\n\r\n"
              "[CONFIG]\r\nComPort=second section\r\n\r\n");
}

TEST_F(IniFileTest, IntegerErrorsCarryTheValue) {
    WriteFile(path, "[Main]\r\nShowCmd=abc\r\nHex=$1F\r\nBlank= 7\r\nTail=7 \r\n");
    IniFile ini(path.string());
    EXPECT_EQ(ini.ReadInteger("Main\\Hex", 0), 31);
    EXPECT_EQ(ini.ReadInteger("Main\\Blank", 0), 7);
    const std::pair<const char*, const char*> bad[] = {{"Main\\ShowCmd", "abc"}, {"Main\\Tail", "7 "}};
    for (const auto& [key, value] : bad) {
        try {
            ini.ReadInteger(key, 0);
            ADD_FAILURE() << key;
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), std::string("'") + value + "' ist kein g\xFCltiger Integerwert");
        }
    }
}

TEST_F(IniFileTest, EveryAccessSeesTheFileAsItIsNow) {
    IniFile ini(path.string());
    ini.WriteString("A\\x", "1");
    WriteFile(path, "[A]\r\nx=1\r\n[B]\r\ny=2\r\n");  // another program's change
    EXPECT_EQ(ini.ReadString("B\\y", ""), "2");
    ini.WriteString("A\\x", "3");
    EXPECT_EQ(ReadFile(path), "[A]\r\nx=3\r\n\r\n[B]\r\ny=2\r\n\r\n");
    fs::remove(path);
    EXPECT_EQ(ini.ReadString("A\\x", "gone"), "gone");
}

TEST_F(IniFileTest, ReadOnlyFileIsLeftAlone) {
    const std::string content = "[Main]\r\nShowCmd=1\r\n";
    WriteFile(path, content);
    fs::permissions(path, fs::perms::owner_read);
    {
        IniFile ini(path.string());
        ini.WriteInteger("Main\\ShowCmd", 3);
        EXPECT_EQ(ini.ReadInteger("Main\\ShowCmd", 0), 1);
    }
    fs::permissions(path, fs::perms::owner_all);
    EXPECT_EQ(ReadFile(path), content);
}

TEST_F(IniFileTest, UnwritablePlaceIsQuiet) {
    WriteFile(dir / "blocker", "x");
    IniFile ini((dir / "blocker" / "KNSimTool.ini").string());
    EXPECT_NO_THROW(ini.WriteString("A\\b", "c"));
    EXPECT_EQ(ini.ReadString("A\\b", "lost"), "lost");
}
