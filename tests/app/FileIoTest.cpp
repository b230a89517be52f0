#include "app/uFileIo.h"

#include "base/Failure.h"
#include "TestFiles.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QWidget>
#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

// A code field as the window's: four characters, reached through "codeText".
class TestCodeEdit : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(QByteArray codeText READ CodeText WRITE SetCodeText)
public:
    using QLineEdit::QLineEdit;
    QByteArray CodeText() const { return text().toLatin1().leftJustified(4, ' ', true); }
    void SetCodeText(const QByteArray& t) { setText(QString::fromLatin1(t)); }
};

namespace {

QComboBox* Combo(QWidget& form, const QString& name, const QStringList& items) {
    auto* box = new QComboBox(&form);
    box->setObjectName(name);
    box->addItems(items);
    return box;
}

class FileIoTest : public ::testing::Test {
protected:
    void SetUp() override {
        QStringList counts;
        for (int i = 0; i <= 10; ++i) counts << QString::number(i);
        Combo(form, "cbActProto", {"1", "2", "3", "4", "5", "6", "7", "8", "9"})->setCurrentIndex(0);
        Combo(form, "cbEcuCount", {"1", "2"})->setCurrentIndex(0);
        auto* mil = new QCheckBox(&form);
        mil->setObjectName("chkMilOn");
        Combo(form, "cbDtc1", counts)->setCurrentIndex(4);
        Combo(form, "cbDtc2", counts)->setCurrentIndex(4);
        for (int ecu = 1; ecu <= 2; ++ecu) {
            for (int n = 1; n <= 10; ++n) {
                Combo(form, QString::asprintf("cbD%d%02d", ecu, n), {"P", "C", "B", "U"})->setCurrentIndex(2);
                auto* edit = new TestCodeEdit(&form);
                edit->setObjectName(QString::asprintf("edD%d%02d", ecu, n));
                edit->setText("1234");
            }
        }
        // No change handler may run while a file is applied.
        for (auto* box : form.findChildren<QComboBox*>())
            QObject::connect(box, &QComboBox::currentIndexChanged, [this] { ++changeSignals; });
        QObject::connect(mil, &QCheckBox::toggled, [this] { ++changeSignals; });

        io = std::make_unique<TFileIo>(
            form, [this] { calls += "SetProto(" + Text("edD101") + ");"; },
            [this] { calls += "Send;"; }, [this](const QString& name) { shown = name; }, 0x120);
        io->SetDialogRunner([this](QFileDialog& dialog, const QString& proposed) {
            dialogTitle = dialog.windowTitle();
            proposals << proposed;
            return next;
        });
    }

    int Index(const char* name) { return form.findChild<QComboBox*>(name)->currentIndex(); }
    std::string Text(const char* name) { return form.findChild<QLineEdit*>(name)->text().toStdString(); }

    TempFolder folder;
    fs::path dir = folder.Path();
    QWidget form;
    std::unique_ptr<TFileIo> io;
    QString next;
    QStringList proposals;
    QString dialogTitle;
    QString shown;
    std::string calls;
    int changeSignals = 0;
};

}  // namespace

TEST_F(FileIoTest, OpenAppliesTheFileThenSetsProtocolAndSends) {
    next = QString::fromStdString(std::string(KNS_STORAGE_TEST_DATA) + "/example.kns");
    io->OpenCfg();
    EXPECT_EQ(dialogTitle, "Open configuration...");
    EXPECT_EQ(proposals, QStringList{""});
    EXPECT_EQ(shown, "example.kns");
    // The selectors are set before SetProto, the slots after it.
    EXPECT_EQ(calls, "SetProto(1234);Send;");
    EXPECT_EQ(changeSignals, 0);
    EXPECT_EQ(Index("cbActProto"), 5);
    EXPECT_EQ(Index("cbEcuCount"), 1);
    EXPECT_TRUE(form.findChild<QCheckBox*>("chkMilOn")->isChecked());
    EXPECT_EQ(Index("cbDtc1"), 2);
    EXPECT_EQ(Index("cbDtc2"), 1);
    EXPECT_EQ(Index("cbD201"), 3);
    EXPECT_EQ(Text("edD201"), "0100");
    EXPECT_EQ(Text("edD102"), "0420");
    EXPECT_EQ(Index("cbD110"), 0);
}

TEST_F(FileIoTest, OddValuesAndMissingSlots) {
    const fs::path file = dir / "odd.kns";
    WriteFile(file, "<CONFIG><Global><Protocol>6 </Protocol><EcuCount>5</EcuCount></Global>"
                    "<Dtc><MilOn>maybe</MilOn><Ecu1><Count>11</Count>"
                    "<P05>7</P05><D05>0777</D05><D06>0666</D06></Ecu1></Dtc></CONFIG>");
    next = QString::fromStdString(file.string());
    io->OpenCfg();
    EXPECT_EQ(Index("cbActProto"), -1);
    EXPECT_EQ(Index("cbEcuCount"), -1);
    EXPECT_FALSE(form.findChild<QCheckBox*>("chkMilOn")->isChecked());
    EXPECT_EQ(Index("cbDtc1"), -1);
    EXPECT_EQ(Index("cbDtc2"), 0);
    EXPECT_EQ(Index("cbD105"), -1);
    EXPECT_EQ(Text("edD105"), "0777");
    EXPECT_EQ(Index("cbD106"), 2);
    EXPECT_EQ(Text("edD106"), "1234");
    EXPECT_EQ(calls, "SetProto(1234);Send;");
}

TEST_F(FileIoTest, LowerCaseRootOpensAsEmptyAndStillSends) {
    const fs::path file = dir / "lower.kns";
    WriteFile(file, "<config><Global><Protocol>3</Protocol></Global><Dtc><Ecu1><P01>1</P01></Ecu1></Dtc></config>");
    next = QString::fromStdString(file.string());
    io->OpenCfg();
    EXPECT_EQ(Index("cbActProto"), -1);
    EXPECT_TRUE(form.findChild<QCheckBox*>("chkMilOn")->isChecked());
    EXPECT_EQ(Index("cbDtc1"), 0);
    EXPECT_EQ(Index("cbD101"), 2);
    EXPECT_EQ(calls, "SetProto(1234);Send;");
}

TEST_F(FileIoTest, BadFileChangesNoControl) {
    const fs::path file = dir / "bad.kns";
    WriteFile(file, "<CONFIG><Global><Protocol>3</Protocol></Global><Dtc></Dtx></CONFIG>");
    next = QString::fromStdString(file.string());
    try {
        io->OpenCfg();
        ADD_FAILURE() << "no error";
    } catch (const EFailure& e) {
        EXPECT_EQ(e.Message(), "Invalid XML Element: Erroneous end of tag, expecting </Dtc> but </Dtx> found");
    }
    EXPECT_EQ(calls, "");
    EXPECT_EQ(Index("cbActProto"), 0);
    EXPECT_EQ(Index("cbD101"), 2);
    EXPECT_EQ(io->CfgFileName, file.string());
    EXPECT_EQ(shown, "bad.kns");
}

TEST_F(FileIoTest, MessagesNameTheFileInTheTextsOwnEncoding) {
    // Messages are Latin-1 texts; a folder name with an umlaut must show as
    // that one character, not as its two UTF-8 bytes.
    const QString folder = QString::fromStdString(dir.string()) + QString::fromUtf8("/J\u00fcrgen");
    fs::create_directories(QFile::encodeName(folder).toStdString() + "/cfg.kns");
    const std::string shown = dir.string() + "/J\xFCrgen/cfg.kns";
    next = folder + "/cfg.kns";
    try {
        io->OpenCfg();
        ADD_FAILURE() << "no error";
    } catch (const EFailure& e) {
        EXPECT_EQ(e.Message(), "Datei " + shown + " kann nicht ge\xF6" "ffnet werden");
    }
    WriteFile(QFile::encodeName(folder).toStdString() + "/blocker", "x");
    next = folder + "/blocker/new";
    try {
        io->SaveCfgAs();
        ADD_FAILURE() << "no error";
    } catch (const EFailure& e) {
        // The file the document is bound to: ".xml" added to a name without extension.
        const std::string expected = "Datei " + dir.string() + "/J\xFCrgen/blocker/new.xml kann nicht geschrieben";
        EXPECT_EQ(e.Message().rfind(expected, 0), 0u) << e.Message();
    }
}

TEST_F(FileIoTest, SaveProposesConfigAndWritesTheControls) {
    io->SaveCfgAs();  // cancelled
    EXPECT_EQ(proposals, QStringList{"Config"});
    // The proposal stays, so an open that follows proposes it too.
    EXPECT_EQ(io->CfgFileName, "Config");
    io->OpenCfg();  // cancelled
    EXPECT_EQ(proposals, (QStringList{"Config", "Config"}));

    form.findChild<QComboBox*>("cbActProto")->setCurrentIndex(-1);
    form.findChild<QLineEdit*>("edD103")->clear();  // never typed into: four blanks
    form.findChild<QLineEdit*>("edD104")->setText(QString::fromLatin1("A&\xC4"));
    const fs::path file = dir / "saved.kns";
    next = QString::fromStdString(file.string());
    io->SaveCfgAs();
    EXPECT_EQ(dialogTitle, "Save configuration as...");
    EXPECT_EQ(shown, "saved.kns");
    const std::string text = ReadFile(file);
    EXPECT_NE(text.find("  <Version>120</Version>\r\n"), std::string::npos);
    EXPECT_NE(text.find("<Protocol>0</Protocol>"), std::string::npos);
    EXPECT_NE(text.find("<D03>    </D03>"), std::string::npos);
    EXPECT_NE(text.find("<D04>A&amp;&#xc4; </D04>"), std::string::npos);
    EXPECT_NE(text.find("<P10>2</P10>"), std::string::npos);

    next.clear();
    io->OpenCfg();  // later commands propose the last path
    EXPECT_EQ(proposals.last(), QString::fromStdString(file.string()));
    EXPECT_EQ(calls, "");
}

TEST_F(FileIoTest, FailedSaveRaisesAndShowsNoName) {
    WriteFile(dir / "blocker", "x");
    next = QString::fromStdString((dir / "blocker" / "cfg.kns").string());
    EXPECT_THROW(io->SaveCfgAs(), EFailure);
    EXPECT_TRUE(shown.isEmpty());
}

TEST_F(FileIoTest, DialogsAreSetUpAsTheCommandsNeed) {
    QFileDialog& save = io->SaveDlg();
    EXPECT_EQ(save.nameFilters(), QStringList{"Karnol-Simulator config (*.kns)"});
    EXPECT_EQ(save.defaultSuffix(), "kns");
    EXPECT_TRUE(save.testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_EQ(save.acceptMode(), QFileDialog::AcceptSave);
    QFileDialog& open = io->OpenDlg();
    EXPECT_EQ(open.fileMode(), QFileDialog::AnyFile);
    EXPECT_EQ(open.acceptMode(), QFileDialog::AcceptOpen);
}

#include "FileIoTest.moc"
