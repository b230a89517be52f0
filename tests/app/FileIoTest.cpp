// The configuration-file commands' own part: the dialogs, the names they
// propose and keep, and the messages; what a file puts into the window is
// checked through the window's menu (MainFileTest) and the reading rules in
// the storage tests.

#include "app/uFileIo.h"

#include "base/Failure.h"
#include "TestFiles.h"

#include <QFile>
#include <QFileDialog>
#include <QWidget>
#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

class FileIoTest : public ::testing::Test {
protected:
    void SetUp() override {
        io.SetDialogRunner([this](QFileDialog& dialog, const QString& proposed) {
            dialogTitle = dialog.windowTitle();
            proposals << proposed;
            return next;
        });
    }

    TempFolder folder;
    fs::path dir = folder.Path();
    QWidget owner;
    TFileIo io{owner, 0x120};
    QString next;
    QStringList proposals;
    QString dialogTitle;
};

}  // namespace

TEST_F(FileIoTest, OpenChoosesAndReadsTheFile) {
    next = QString::fromStdString(std::string(KNS_STORAGE_TEST_DATA) + "/example.kns");
    const QString chosen = io.ChooseOpen();
    EXPECT_EQ(dialogTitle, "Open configuration...");
    EXPECT_EQ(proposals, QStringList{""});
    EXPECT_EQ(TFileIo::ShownName(chosen), "example.kns");
    const CfgValues values = io.Open(chosen);
    EXPECT_EQ(values.Protocol, 6);
    EXPECT_EQ(values.EcuCount, 2);
    ASSERT_TRUE(values.Ecu2[0]);
    EXPECT_EQ(values.Ecu2[0]->Text, "0100");
}

TEST_F(FileIoTest, BadFileRaisesTheReadersMessageAndKeepsTheName) {
    const fs::path file = dir / "bad.kns";
    WriteFile(file, "<CONFIG><Global><Protocol>3</Protocol></Global><Dtc></Dtx></CONFIG>");
    next = QString::fromStdString(file.string());
    try {
        (void)io.Open(io.ChooseOpen());
        ADD_FAILURE() << "no error";
    } catch (const EFailure& e) {
        EXPECT_EQ(e.Message(), "Invalid XML Element: Erroneous end of tag, expecting </Dtc> but </Dtx> found");
    }
    EXPECT_EQ(io.CfgFileName, file.string());
}

TEST_F(FileIoTest, MessagesNameTheFileInTheTextsOwnEncoding) {
    // Messages are Latin-1 texts; a folder name with an umlaut must show as
    // that one character, not as its two UTF-8 bytes.
    const QString folder = QString::fromStdString(dir.string()) + QString::fromUtf8("/J\u00fcrgen");
    fs::create_directories(QFile::encodeName(folder).toStdString() + "/cfg.kns");
    const std::string shown = dir.string() + "/J\xFCrgen/cfg.kns";
    try {
        (void)io.Open(folder + "/cfg.kns");
        ADD_FAILURE() << "no error";
    } catch (const EFailure& e) {
        EXPECT_EQ(e.Message(), "Datei " + shown + " kann nicht ge\xF6" "ffnet werden");
    }
    WriteFile(QFile::encodeName(folder).toStdString() + "/blocker", "x");
    try {
        io.Save(folder + "/blocker/new", CfgSetup{});
        ADD_FAILURE() << "no error";
    } catch (const EFailure& e) {
        // The file the document is bound to: ".xml" added to a name without extension.
        const std::string expected = "Datei " + dir.string() + "/J\xFCrgen/blocker/new.xml kann nicht geschrieben";
        EXPECT_EQ(e.Message().rfind(expected, 0), 0u) << e.Message();
    }
}

TEST_F(FileIoTest, SaveProposesConfigAndWritesTheSetUp) {
    EXPECT_TRUE(io.ChooseSave().isEmpty());  // cancelled
    EXPECT_EQ(proposals, QStringList{"Config"});
    // The proposal stays, so an open that follows proposes it too.
    EXPECT_EQ(io.CfgFileName, "Config");
    EXPECT_TRUE(io.ChooseOpen().isEmpty());
    EXPECT_EQ(proposals, (QStringList{"Config", "Config"}));

    CfgSetup setup;  // no protocol selected, code fields never typed into
    setup.Ecu1[3] = DtcSlot{2, "A&\xC4 "};
    const fs::path file = dir / "saved.kns";
    next = QString::fromStdString(file.string());
    io.Save(io.ChooseSave(), setup);
    EXPECT_EQ(dialogTitle, "Save configuration as...");
    const std::string text = ReadFile(file);
    EXPECT_NE(text.find("  <Version>120</Version>\r\n"), std::string::npos);
    EXPECT_NE(text.find("<Protocol>0</Protocol>"), std::string::npos);
    EXPECT_NE(text.find("<D03>    </D03>"), std::string::npos);
    EXPECT_NE(text.find("<D04>A&amp;&#xc4; </D04>"), std::string::npos);

    next.clear();
    (void)io.ChooseOpen();  // later commands propose the last path
    EXPECT_EQ(proposals.last(), QString::fromStdString(file.string()));
}

TEST_F(FileIoTest, DialogsAreSetUpAsTheCommandsNeed) {
    QFileDialog& save = io.SaveDlg();
    EXPECT_EQ(save.nameFilters(), QStringList{"Karnol-Simulator config (*.kns)"});
    EXPECT_EQ(save.defaultSuffix(), "kns");
    EXPECT_TRUE(save.testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_EQ(save.acceptMode(), QFileDialog::AcceptSave);
    QFileDialog& open = io.OpenDlg();
    EXPECT_EQ(open.fileMode(), QFileDialog::AnyFile);
    EXPECT_EQ(open.acceptMode(), QFileDialog::AcceptOpen);
}
