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

// Two fields in an active dialog with a default button, as on the main window.
struct Host {
    QDialog dialog;
    TCodeEdit* field = new TCodeEdit(&dialog);
    TCodeEdit* other = new TCodeEdit(&dialog);
    QPushButton* ok = new QPushButton(QStringLiteral("OK"), &dialog);

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

TEST(CodeEdit, OnlyCodesCanBeTyped) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "    "},   {"3fff", "3FFF"},   // shown in uppercase
        {"12", "12  "}, {"4x1a", "1A  "},   // first digit above 3, non-hex: refused
        {"7", "    "},  {"0abcd", "0ABC"},  // four positions at most
    };
    for (const auto& [typed, expected] : cases) {
        Host host;
        host.field->setFocus();
        QTest::keyClicks(host.field, QString::fromLatin1(typed));
        EXPECT_EQ(host.field->CodeText(), expected) << "typed " << typed;
        EXPECT_EQ(host.field->IsValidCode(), std::string(expected).find(' ') == std::string::npos) << typed;
    }
}

TEST(CodeEdit, StoredTextsRoundTripThroughTheProperty) {
    struct Case {
        const char* stored;
        const char* expected;
        bool marked;
    };
    const Case cases[] = {
        {"0abc", "0ABC", false},                          // same number, uppercase
        {"1 3 ", "1 3 ", false},                          // blanks keep their positions
        {"", "    ", false},    {"4123", "4123", true},   // cannot be typed: kept, marked
        {"12", "12", true},                               // not four positions: kept
        {"\xE4" "12 ", "\xE4" "12 ", true},  // a Latin-1 byte survives
    };
    for (const Case& c : cases) {
        TCodeEdit field;
        field.SetCodeText(c.stored);
        EXPECT_EQ(field.CodeText(), c.expected) << c.stored;
        EXPECT_EQ(field.IsMarkedInvalid(), c.marked) << c.stored;
        EXPECT_EQ(field.toolTip().isEmpty(), !c.marked) << c.stored;
        EXPECT_TRUE(!c.marked || !field.IsValidCode()) << c.stored;
    }
}

TEST(CodeEdit, InvalidStoredTextIsShownMarkedUntilTheUserTypes) {
    Host host;
    host.field->SetCodeText("ZZ99");
    EXPECT_EQ(host.field->text(), QStringLiteral("ZZ99"));
    EXPECT_EQ(host.field->palette().color(QPalette::Active, QPalette::Text), QColor(Qt::red));
    host.field->setFocus();
    EXPECT_EQ(host.field->CodeText(), "ZZ99") << "entering changes nothing";
    QTest::keyClicks(host.field, QStringLiteral("2a"));
    EXPECT_EQ(host.field->CodeText(), "2A  ");
    EXPECT_FALSE(host.field->IsMarkedInvalid());
    EXPECT_NE(host.field->palette().color(QPalette::Active, QPalette::Text), QColor(Qt::red));
}

TEST(CodeEdit, EnterAndEscapeStayInTheField) {
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        Host host;
        host.field->SetCodeText("0123");
        host.field->setFocus();
        QSignalSpy finished(&host.dialog, &QDialog::finished);
        QTest::keyClick(host.field, key);
        QCoreApplication::processEvents();
        EXPECT_EQ(finished.count(), 0) << "key " << key;
        EXPECT_EQ(host.field->CodeText(), "0123");
    }
    // The same dialog does close on Enter elsewhere (the check above can fail).
    Host host;
    QSignalSpy finished(&host.dialog, &QDialog::finished);
    QTest::keyClick(host.ok, Qt::Key_Return);
    EXPECT_EQ(finished.count(), 1);
}

TEST(CodeEdit, EnteringSelectsTheWholeText) {
    Host host;
    host.field->SetCodeText("0123");
    QTest::keyClick(host.other, Qt::Key_Backtab);
    ASSERT_TRUE(host.field->hasFocus());
    EXPECT_EQ(host.field->selectedText(), QStringLiteral("0123")) << "by keyboard";

    // The click that enters selects everything; the next one places the cursor.
    host.other->setFocus();
    const QPoint left(4, host.field->height() / 2);
    QTest::mouseClick(host.field, Qt::LeftButton, Qt::NoModifier, left);
    ASSERT_TRUE(host.field->hasFocus());
    EXPECT_EQ(host.field->selectedText(), QStringLiteral("0123")) << "by a click";
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    QTest::mouseClick(host.field, Qt::LeftButton, Qt::NoModifier, left);
    EXPECT_TRUE(host.field->selectedText().isEmpty());
}
