#include "app/CodeEdit.h"

#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <string>

namespace {

// A field inside a dialog with a default button, shown and focused, as on
// the main window.
struct Host {
    QDialog dialog;
    QPushButton* ok = new QPushButton(QStringLiteral("OK"), &dialog);
    TCodeEdit* field = new TCodeEdit(&dialog);
    TCodeEdit* other = new TCodeEdit(&dialog);

    Host() {
        auto* layout = new QVBoxLayout(&dialog);
        layout->addWidget(field);
        layout->addWidget(other);
        layout->addWidget(ok);
        ok->setDefault(true);
        QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
        dialog.show();
        dialog.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
        other->setFocus();
    }
};

}  // namespace

TEST(CodeEdit, FreshFieldHoldsFourBlanks) {
    TCodeEdit field;
    EXPECT_EQ(field.CodeText(), "    ");
    EXPECT_FALSE(field.IsValidCode());
    EXPECT_FALSE(field.IsMarkedInvalid());
    EXPECT_EQ(field.width(), 41);
    EXPECT_TRUE(field.alignment() & Qt::AlignHCenter);
    EXPECT_EQ(field.property("codeText").toByteArray(), QByteArray("    "));
}

TEST(CodeEdit, OnlyCodesCanBeTyped) {
    struct Case {
        const char* typed;
        const char* expected;
    };
    const Case cases[] = {
        {"0123", "0123"},
        {"3fff", "3FFF"},  // shown in uppercase
        {"12", "12  "},    // two positions typed
        {"4x1a", "1A  "},  // a first digit above 3 and a non-hex letter are refused
        {"g2", "2   "},
        {"7", "    "},
        {"99", "    "},
        {"0abcd", "0ABC"},  // four positions at most
        {"0-12", "012 "},
    };
    for (const Case& c : cases) {
        Host host;
        host.field->setFocus();
        host.field->setCursorPosition(0);
        QTest::keyClicks(host.field, QString::fromLatin1(c.typed));
        EXPECT_EQ(host.field->CodeText(), c.expected) << "typed " << c.typed;
        EXPECT_EQ(host.field->IsValidCode(), std::string(c.expected).find(' ') == std::string::npos);
    }
}

TEST(CodeEdit, StoredTextsRoundTrip) {
    struct Case {
        const char* stored;
        const char* expected;
        bool markedInvalid;
        bool valid;
    };
    const Case cases[] = {
        {"0123", "0123", false, true},
        {"3FFF", "3FFF", false, true},
        {"0abc", "0ABC", false, true},  // same number, shown in uppercase
        {"1 3 ", "1 3 ", false, false},  // blanks keep their positions
        {"12  ", "12  ", false, false},
        {"", "    ", false, false},
        {"4123", "4123", true, false},  // cannot be typed: kept, marked
        {"G123", "G123", true, false},
        {"12", "12", true, false},       // not four positions: kept as it is
        {"012345", "012345", true, false},
        {"\xE4" "12 ", "\xE4" "12 ", true, false},  // a Latin-1 byte survives
    };
    for (const Case& c : cases) {
        TCodeEdit field;
        field.SetCodeText(c.stored);
        EXPECT_EQ(field.CodeText(), c.expected) << "stored '" << c.stored << "'";
        EXPECT_EQ(field.IsMarkedInvalid(), c.markedInvalid) << c.stored;
        EXPECT_EQ(field.IsValidCode(), c.valid) << c.stored;
        EXPECT_EQ(field.toolTip().isEmpty(), !c.markedInvalid) << c.stored;

        // The configuration file reaches the field through its property.
        TCodeEdit byProperty;
        byProperty.setProperty("codeText", QByteArray(c.stored));
        EXPECT_EQ(byProperty.property("codeText").toByteArray(), QByteArray(c.expected)) << c.stored;
    }
}

TEST(CodeEdit, InvalidStoredTextIsShownMarkedAndReplacedByTyping) {
    Host host;
    host.field->SetCodeText("ZZ99");
    EXPECT_EQ(host.field->text(), QStringLiteral("ZZ99"));
    EXPECT_EQ(host.field->palette().color(QPalette::Active, QPalette::Text), QColor(Qt::red));

    // Entering does not change it; the first typed key replaces it.
    host.field->setFocus();
    EXPECT_EQ(host.field->CodeText(), "ZZ99");
    QTest::keyClicks(host.field, QStringLiteral("2a"));
    EXPECT_EQ(host.field->CodeText(), "2A  ");
    EXPECT_FALSE(host.field->IsMarkedInvalid());
    EXPECT_NE(host.field->palette().color(QPalette::Active, QPalette::Text), QColor(Qt::red));
    EXPECT_TRUE(host.field->toolTip().isEmpty());
}

TEST(CodeEdit, EnterAndEscapeStayInTheField) {
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        Host host;
        host.field->SetCodeText("0123");
        host.field->setFocus();
        QSignalSpy finished(&host.dialog, &QDialog::finished);
        QSignalSpy returnPressed(host.field, &QLineEdit::returnPressed);
        QTest::keyClick(host.field, key);
        QCoreApplication::processEvents();
        EXPECT_EQ(finished.count(), 0) << "key " << key;
        EXPECT_EQ(returnPressed.count(), 0) << "key " << key;
        EXPECT_TRUE(host.dialog.isVisible());
        EXPECT_EQ(host.field->CodeText(), "0123");
    }
    // Without the field, the same dialog does react to Enter (the test can fail).
    Host host;
    QSignalSpy finished(&host.dialog, &QDialog::finished);
    QTest::keyClick(host.ok, Qt::Key_Return);
    EXPECT_EQ(finished.count(), 1);
}

TEST(CodeEdit, EnteringSelectsTheWholeText) {
    Host host;
    host.field->SetCodeText("0123");

    // By keyboard.
    host.other->setFocus();
    QTest::keyClick(host.other, Qt::Key_Backtab);
    ASSERT_TRUE(host.field->hasFocus());
    EXPECT_EQ(host.field->selectedText(), QStringLiteral("0123"));

    // By a left click: the click that enters selects everything, the next
    // click places the cursor as usual.
    host.other->setFocus();
    ASSERT_FALSE(host.field->hasFocus());
    QTest::mouseClick(host.field, Qt::LeftButton, Qt::NoModifier, QPoint(4, host.field->height() / 2));
    ASSERT_TRUE(host.field->hasFocus());
    EXPECT_EQ(host.field->selectedText(), QStringLiteral("0123"));
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    QTest::mouseClick(host.field, Qt::LeftButton, Qt::NoModifier, QPoint(4, host.field->height() / 2));
    EXPECT_TRUE(host.field->selectedText().isEmpty());
}

TEST(CodeEdit, DisabledFieldKeepsTheWindowColour) {
    TCodeEdit field;
    field.setEnabled(false);
    EXPECT_EQ(field.palette().color(QPalette::Disabled, QPalette::Base),
              field.palette().color(QPalette::Active, QPalette::Window));
    field.SetDisabledColor(Qt::yellow);
    EXPECT_EQ(field.palette().color(QPalette::Disabled, QPalette::Base), QColor(Qt::yellow));
}
