// The program's own files on Windows: CR LF line ends written byte for byte
// (no "\r\r\n" from a text-mode stream), a replaced file is replaced whole,
// a read-only file is recognised, missing folders are made, and names in
// folders with a dot still get their extension; a save keeps a second name
// and the hidden mark.

#include "TestFiles.h"

#include "storage/CfgFile.h"
#include "storage/IniFile.h"
#include "storage/SafeFile.h"

#include <windows.h>

#include <gtest/gtest.h>

TEST(WinFiles, SettingsKeepTheirCrLfLineEnds) {
    TempFolder folder("kns-win-files");
    const std::string path = folder / "KNSimTool.ini";
    {
        IniFile ini(path);
        ini.WriteString("CONFIG\\ComPort", "COM12");
        ini.WriteInteger("Main\\ShowCmd", 1);
    }
    const std::string bytes = ReadFile(path);
    EXPECT_EQ(bytes.find("\r\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("ComPort=COM12\r\n"), std::string::npos) << bytes;
    IniFile again(path);
    EXPECT_EQ(again.ReadString("CONFIG\\ComPort", ""), "COM12");
}

TEST(WinFiles, ReplacingWritesMakeFoldersAndReplaceWhole) {
    TempFolder folder("kns-win-files");
    const std::string path = folder / "new\\deeper\\setup.xml";
    ASSERT_EQ(SafeFile::WriteReplacing(path, "first version, rather long\r\n"), 0);
    ASSERT_EQ(SafeFile::WriteReplacing(path, "second\r\n"), 0);
    std::string read;
    ASSERT_EQ(SafeFile::ReadWhole(path, read, 1000), SafeFile::ReadResult::Ok);
    EXPECT_EQ(read, "second\r\n");
    // Nothing of the temporary files is left beside it.
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder / "new\\deeper\\*.tmp*").c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE);
    if (search != INVALID_HANDLE_VALUE) FindClose(search);

    EXPECT_EQ(SafeFile::ReadWhole(folder / "absent.xml", read, 1000), SafeFile::ReadResult::Missing);
    EXPECT_EQ(SafeFile::ReadWhole(folder.Path(), read, 1000), SafeFile::ReadResult::Unreadable);
    EXPECT_NE(SafeFile::WriteReplacing(folder.Path(), "x"), 0);

    EXPECT_FALSE(SafeFile::IsReadOnly(path));
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(SafeFile::IsReadOnly(path));
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);  // so that the folder can go
}

TEST(WinFiles, ConfigurationNamesGetTheirExtensionInDottedFolders) {
    EXPECT_EQ(CfgFile::DocumentPath("C:\\sets.v2\\bench"), "C:\\sets.v2\\bench.xml");
    EXPECT_EQ(CfgFile::DocumentPath("C:\\sets\\bench.kns"), "C:\\sets\\bench.kns");
    EXPECT_EQ(CfgFile::DocumentPath("C:/sets.v2/bench"), "C:/sets.v2/bench.xml");
}

// A save through one of two names must reach both, and a file the user
// hid stays hidden.
TEST(WinFiles, ASaveKeepsTheFileWhatItIs) {
    TempFolder folder("kns-win-files");
    const std::string first = folder / "a.kns";
    const std::string second = folder / "b.kns";
    ASSERT_EQ(SafeFile::WriteReplacing(first, "old"), 0);
    ASSERT_TRUE(CreateHardLinkA(second.c_str(), first.c_str(), nullptr));
    ASSERT_EQ(SafeFile::WriteReplacing(second, "saved through the second name"), 0);
    std::string read;
    ASSERT_EQ(SafeFile::ReadWhole(first, read, 1000), SafeFile::ReadResult::Ok);
    EXPECT_EQ(read, "saved through the second name");

    const std::string hidden = folder / "KNSimTool.ini";
    ASSERT_EQ(SafeFile::WriteReplacing(hidden, "[CONFIG]\r\n"), 0);
    ASSERT_TRUE(SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_EQ(SafeFile::WriteReplacing(hidden, "[CONFIG]\r\nComPort=COM3\r\n"), 0);
    EXPECT_NE(GetFileAttributesA(hidden.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
    ASSERT_EQ(SafeFile::ReadWhole(hidden, read, 1000), SafeFile::ReadResult::Ok);
    EXPECT_EQ(read, "[CONFIG]\r\nComPort=COM3\r\n");
    SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_NORMAL);  // so that the folder can go
}
