#include "storage/CfgFile.h"
#include "storage/CfgMapping.h"

#include "base/Failure.h"
#include "ExampleSetup.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

namespace fs = std::filesystem;

namespace {

std::string Show(const DtcSlot& s) { return std::to_string(s.Category) + ":\"" + s.Text + "\""; }

CfgValues ValuesOf(const std::string& file) {
    ConfigDocument doc;
    doc.Parse(file);
    return ReadValues(doc);
}

class CfgFileTest : public ::testing::Test {
protected:
    TempFolder folder;
    fs::path dir = folder.Path();
};

}  // namespace

TEST(CfgSetup, IntegerTexts) {
    const std::pair<const char*, int> cases[] = {
        {"6", 6}, {" 6", 6}, {"6 ", -1}, {"", -1}, {"-3", -3}, {"$1F", 31}, {"0x10", 16}, {"six", -1}, {"+2", 2},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(ReadCfgInteger(text), value) << '"' << text << '"';
}

TEST(CfgSetup, BooleanTexts) {
    const std::pair<const char*, bool> cases[] = {
        {"TRUE", true}, {"yes", true}, {"y", true}, {"2", true}, {"True", true}, {" 1", true},
        {"no", false}, {"0", false}, {"false", false}, {"N", false}, {"maybe", false}, {"", false},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(ReadCfgBoolean(text), value) << '"' << text << '"';
}

TEST(CfgSetup, MissingAndOddValues) {
    CfgValues v = ValuesOf("<CONFIG/>");
    EXPECT_EQ(v.Protocol, 0);
    EXPECT_EQ(v.EcuCount, 0);
    EXPECT_TRUE(v.MilOn);
    EXPECT_EQ(v.Count1, 0);
    EXPECT_FALSE(v.Version.has_value());
    for (const auto& slot : v.Ecu1) EXPECT_FALSE(slot.has_value());

    v = ValuesOf("<CONFIG><Global><Protocol> 6</Protocol><EcuCount>2 </EcuCount></Global>"
                 "<Dtc><MilOn>no</MilOn><Ecu1><Count/></Ecu1></Dtc></CONFIG>");
    EXPECT_EQ(v.Protocol, 6);
    EXPECT_EQ(v.EcuCount, -1);
    EXPECT_FALSE(v.MilOn);
    EXPECT_EQ(v.Count1, -1);
    EXPECT_EQ(v.Count2, 0);

    // A comment does not hide the blank before it: "6 " is no number.
    v = ValuesOf("<CONFIG><Global><Protocol>6 <!--c--></Protocol><EcuCount><!--c-->2</EcuCount></Global></CONFIG>");
    EXPECT_EQ(v.Protocol, -1);
    EXPECT_EQ(v.EcuCount, 2);

    // A root in lower case holds nothing: everything takes its missing value.
    v = ValuesOf("<config><Global><Protocol>6</Protocol></Global><Dtc><MilOn>no</MilOn></Dtc></config>");
    EXPECT_EQ(v.Protocol, 0);
    EXPECT_TRUE(v.MilOn);
}

TEST(CfgSetup, SlotsApplyOnlyWithAnIntegerCategory) {
    CfgSetup s = ExampleSetup();
    ConfigDocument doc;
    doc.Parse("<CONFIG><Dtc><Ecu1>"
              "<P04>x</P04><D04>1111</D04>"
              "<D05>2222</D05>"
              "<P06>7</P06><D06>3333</D06>"
              "<P07>2</P07>"
              "<P08>-1</P08><D08>4444</D08>"
              "</Ecu1><Ecu2><P10>1</P10><D10>&amp;&#xC4;</D10></Ecu2></Dtc></CONFIG>");
    ApplyDocument(doc, s);
    EXPECT_EQ(Show(s.Ecu1[3]), Show(DtcSlot{0, "0000"}));   // P not an integer: unchanged
    EXPECT_EQ(Show(s.Ecu1[4]), Show(DtcSlot{0, "0000"}));   // P missing: unchanged although D is there
    EXPECT_EQ(Show(s.Ecu1[5]), Show(DtcSlot{-1, "3333"}));  // no such category, code still taken
    EXPECT_EQ(Show(s.Ecu1[6]), Show(DtcSlot{2, ""}));       // D missing: empty text
    EXPECT_EQ(Show(s.Ecu1[7]), Show(DtcSlot{0, "0000"}));
    EXPECT_EQ(Show(s.Ecu2[9]), Show(DtcSlot{1, "&\xC4"}));
    EXPECT_EQ(s.Protocol, 0);  // missing values replace the set-up's
}

TEST_F(CfgFileTest, SavesTheExampleFileExactly) {
    CfgFile file;
    const fs::path target = dir / "sub" / "folder" / "example.kns";
    file.Save(target.string(), ExampleSetup(), 0x120);
    EXPECT_EQ(ReadFile(target), ReadFile(ExampleFile()));

    CfgFile other;
    CfgSetup back;
    ApplyValues(other.Open(target.string()), back);
    EXPECT_EQ(back, ExampleSetup());
}

TEST_F(CfgFileTest, SavingOverAFileKeepsCommentsAndUnknownElements) {
    const fs::path target = dir / "hand.kns";
    WriteFile(target, "<?xml version=\"1.0\"?>\r\n<!-- mine -->\r\n<CONFIG>\r\n  <Note>bench 3</Note>\r\n"
                      "  <!-- inside -->\r\n  <Global>\r\n    <Protocol>1</Protocol>\r\n  </Global>\r\n</CONFIG>\r\n");
    CfgFile file;
    CfgSetup s = ExampleSetup();
    s.Ecu1[2].Text = "A&B";
    s.Ecu1[3].Text = "\xC4" "000";
    file.Save(target.string(), s, 0x120);
    const std::string saved = ReadFile(target);
    EXPECT_EQ(saved.rfind("<?xml version=\"1.0\"?>\r\n<!-- mine -->\r\n<CONFIG>\r\n  <Note>bench 3</Note>\r\n"
                          "  <!-- inside -->\r\n  <Global>\r\n    <Protocol>6</Protocol>\r\n"
                          "    <EcuCount>2</EcuCount>\r\n  </Global>\r\n  <Version>120</Version>\r\n",
                          0),
              0u)
        << saved;
    EXPECT_NE(saved.find("<D03>A&amp;B</D03>"), std::string::npos);
    EXPECT_NE(saved.find("<D04>&#xc4;000</D04>"), std::string::npos);
}

TEST_F(CfgFileTest, BindingDecidesWhatASaveStartsFrom) {
    const fs::path a = dir / "a.kns";
    WriteFile(a, "<CONFIG><Note>1</Note></CONFIG>");
    CfgFile file;
    file.Save(a.string(), ExampleSetup(), 0x120);
    // Someone changes the file; a save to the same path writes the document
    // in memory, a save to another path starts from that file.
    WriteFile(a, "<CONFIG><Other>2</Other></CONFIG>");
    file.Save(a.string(), ExampleSetup(), 0x120);
    EXPECT_NE(ReadFile(a).find("<Note>1</Note>"), std::string::npos);
    EXPECT_EQ(ReadFile(a).find("<Other>"), std::string::npos);

    const fs::path b = dir / "b.kns";
    file.Save(b.string(), ExampleSetup(), 0x120);
    EXPECT_EQ(ReadFile(b).find("<Note>"), std::string::npos);
    EXPECT_EQ(file.BoundPath(), b.string());

    // No extension: the document is bound to the ".xml" file.
    file.Save((dir / "plain").string(), ExampleSetup(), 0x120);
    EXPECT_TRUE(fs::exists(dir / "plain.xml"));
    EXPECT_EQ(CfgFile::DocumentPath("/x.y/plain"), "/x.y/plain.xml");
    EXPECT_EQ(CfgFile::DocumentPath("cfg.kns"), "cfg.kns");
}

TEST_F(CfgFileTest, OpenErrors) {
    CfgFile file;
    CfgValues v = file.Open((dir / "missing.kns").string());
    EXPECT_EQ(v.Protocol, 0);
    EXPECT_TRUE(v.MilOn);

    const fs::path bad = dir / "bad.kns";
    WriteFile(bad, "<CONFIG><A>1</B></CONFIG>");
    try {
        file.Open(bad.string());
        ADD_FAILURE() << "no error";
    } catch (const EFailure& e) {
        EXPECT_EQ(e.Message(), "Invalid XML Element: Erroneous end of tag, expecting </A> but </B> found");
    }

    // A folder stands for a file that exists but cannot be read.
    fs::create_directories(dir / "folder.kns");
    try {
        file.Open((dir / "folder.kns").string());
        ADD_FAILURE() << "no error";
    } catch (const EFailure& e) {
        EXPECT_EQ(e.Message(), "Datei " + (dir / "folder.kns").string() + " kann nicht ge\xF6" "ffnet werden");
    }
}

TEST_F(CfgFileTest, FailedSavesRaiseAndLeaveTheOldFile) {
    const fs::path target = dir / "keep.kns";
    const std::string old = "<CONFIG><Version>1</Version></CONFIG>";
    WriteFile(target, old);

    // Unreadable as XML: stops before anything is written.
    WriteFile(target, old + "<");
    CfgFile file;
    EXPECT_THROW(file.Save(target.string(), ExampleSetup(), 0x120), EFailure);
    EXPECT_EQ(ReadFile(target), old + "<");
    WriteFile(target, old);

    // Read-only (the permission bits, since the tests may run as root).
    fs::permissions(target, fs::perms::owner_read | fs::perms::group_read);
    CfgFile second;
    try {
        second.Save(target.string(), ExampleSetup(), 0x120);
        ADD_FAILURE() << "no error";
    } catch (const EFailure& e) {
        EXPECT_NE(e.Message().find(target.string()), std::string::npos) << e.Message();
    }
    fs::permissions(target, fs::perms::owner_all);
    EXPECT_EQ(ReadFile(target), old);

    // A folder of the path is a regular file: nothing can be created there.
    const fs::path blocked = dir / "keep.kns" / "inner.kns";
    try {
        second.Save(blocked.string(), ExampleSetup(), 0x120);
        ADD_FAILURE() << "no error";
    } catch (const EFailure& e) {
        EXPECT_EQ(e.Message().rfind("Datei " + blocked.string() + " kann nicht geschrieben werden", 0), 0u)
            << e.Message();
    }
    EXPECT_EQ(ReadFile(target), old);
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().filename(), "keep.kns") << "left behind: " << entry.path();
}

#ifndef _WIN32
// A full disk is stood in for by a file-size limit, which Windows does not have.
TEST_F(CfgFileTest, FullDiskLeavesTheOldFile) {
    const fs::path target = dir / "full.kns";
    const std::string old = "<CONFIG/>";
    WriteFile(target, old);
    // A file-size limit below the new file's size makes the write fail half
    // way, as a full disk would.
    struct rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 512;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    CfgFile file;
    std::string message;
    try {
        file.Save(target.string(), ExampleSetup(), 0x120);
    } catch (const EFailure& e) {
        message = e.Message();
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(message.rfind("Datei " + target.string() + " kann nicht geschrieben werden", 0), 0u) << message;
    EXPECT_EQ(ReadFile(target), old);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}
#endif
