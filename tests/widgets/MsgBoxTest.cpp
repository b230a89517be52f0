#include "app/uMessageBox.h"
#include "serial/Failure.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

std::vector<QPushButton*> Buttons(const TMsgBox& box) {
    std::vector<QPushButton*> buttons;
    for (int i = 1;; ++i) {
        auto* button = box.findChild<QPushButton*>(QStringLiteral("But%1").arg(i));
        if (!button) break;
        buttons.push_back(button);
    }
    return buttons;
}

// Runs a check while the modal box is up, then presses the named button.
void WhileShown(TMsgBox& box, const QString& press, std::function<void()> check = {}) {
    QTimer::singleShot(0, &box, [&box, press, check] {
        if (check) check();
        if (auto* button = box.findChild<QPushButton*>(press)) QTest::mouseClick(button, Qt::LeftButton);
    });
}

}  // namespace

TEST(MsgBox, ButtonsStandInTableOrderCentredInOneRow) {
    struct Case {
        std::uint8_t kind;
        std::uint8_t buttons;
        std::vector<const char*> captions;
        std::vector<int> lefts;
    };
    const std::vector<Case> cases = {
        {mkError, mbClose, {"Schließen"}, {103}},
        {mkConfirmation, mbYes | mbNo, {"Ja", "Nein"}, {60, 145}},
        {mkInformation, mbOk | mbClose, {"Schließen", "Ok"}, {60, 145}},
        {mkWarning, mbAbort | mbYes | mbNo, {"Ja", "Nein", "Abbruch"}, {18, 103, 188}},
        {mkMessage, 0x3F, {"Schließen", "Ja", "Nein", "Ok", "Ignorieren", "Abbruch"}, {}},
    };
    for (const Case& c : cases) {
        TMsgBox box;
        box.Prepare(QStringLiteral("Short"), c.kind, QString(), c.buttons);
        const auto buttons = Buttons(box);
        ASSERT_EQ(buttons.size(), c.captions.size()) << "buttons 0x" << std::hex << int(c.buttons);
        EXPECT_EQ(box.ButtonCount(), static_cast<int>(c.captions.size()));
        const int n = static_cast<int>(buttons.size());
        const int total = 75 * n + 10 * (n - 1);
        for (int i = 0; i < n; ++i) {
            const QPushButton* b = buttons[static_cast<std::size_t>(i)];
            EXPECT_EQ(b->text(), QString::fromUtf8(c.captions[static_cast<std::size_t>(i)]));
            EXPECT_EQ(b->width(), 75);
            EXPECT_EQ(b->y(), box.height() - 55);
            const int left = c.lefts.empty() ? box.width() / 2 - total / 2 + 85 * i : c.lefts[static_cast<std::size_t>(i)];
            EXPECT_EQ(b->x(), left) << "button " << i + 1;
        }
    }
}

TEST(MsgBox, WindowAndTextLayout) {
    struct Case {
        std::uint8_t kind;
        QString text;
        bool icon;
        int labelLeft;
    };
    const std::vector<Case> cases = {
        {mkError, QStringLiteral("Update failed"), true, 68},
        {mkWarning, QStringLiteral("A"), true, 68},
        {mkMessage, QStringLiteral("No icon here"), false, 20},
        {mkInformation, QString(60, u'W'), true, 68},             // wider than the minimum
        {mkMessage, QStringLiteral("1\n2\n3\n4\n5\n6\n7\n8"), false, 20},  // taller than the minimum
    };
    for (const Case& c : cases) {
        TMsgBox box;
        box.Prepare(c.text, c.kind, QString(), mbOk);
        const QLabel* label = box.InfoLabel();
        EXPECT_EQ(box.Img()->isVisibleTo(&box), c.icon);
        EXPECT_EQ(box.Img()->geometry(), QRect(16, 16, 32, 32));
        EXPECT_EQ(label->x(), c.labelLeft);
        EXPECT_EQ(label->text(), c.text);
        EXPECT_EQ(box.width(), std::max(280, c.labelLeft + label->width() + 20));
        EXPECT_EQ(box.height(), std::max(120, label->height() + 75));
        EXPECT_EQ(Buttons(box).front()->y(), box.height() - 55);
    }
    // A short line keeps the minimum size with the buttons 65 pixels down.
    TMsgBox box;
    box.Prepare(QStringLiteral("Update Fehler!"), mkError, QString(), mbClose);
    EXPECT_EQ(box.size(), QSize(280, 120));
    EXPECT_EQ(Buttons(box).front()->y(), 65);
    // A long text grows the window past the minimum.
    box.Prepare(QString(60, u'W'), mkError, QString(), mbClose);
    EXPECT_GT(box.width(), 280);
}

TEST(MsgBox, CaptionDefaultsToTheKind) {
    const char* defaults[] = {"Warning", "Error", "Information", "Confirmation", "Message"};
    for (std::uint8_t kind = 0; kind <= mkMessage; ++kind) {
        TMsgBox box;
        box.Prepare(QStringLiteral("x"), kind, QString(), mbOk);
        EXPECT_EQ(box.windowTitle(), QString::fromLatin1(defaults[kind]));
        box.Prepare(QStringLiteral("x"), kind, QStringLiteral("KNSimTool"), mbOk);
        EXPECT_EQ(box.windowTitle(), QStringLiteral("KNSimTool"));
    }
}

TEST(MsgBox, ReturnsTheResultOfThePressedButtonAndFreesTheButtons) {
    struct Case {
        std::uint8_t buttons;
        const char* press;
        int result;
    };
    const Case cases[] = {
        {mbOk | mbClose, "But1", mrCancel},  // "Schließen" comes first
        {mbOk | mbClose, "But2", mrOk},
        {mbYes | mbNo, "But1", mrYes},
        {mbYes | mbNo, "But2", mrNo},
        {mbIgnore | mbAbort, "But1", mrIgnore},
        {mbIgnore | mbAbort, "But2", mrAbort},
    };
    TMsgBox box;  // one box for the whole run, as in the program
    for (const Case& c : cases) {
        QString focused;
        WhileShown(box, QString::fromLatin1(c.press), [&] {
            if (QWidget* w = box.focusWidget()) focused = w->objectName();
        });
        EXPECT_EQ(box.ShowMsg(QStringLiteral("Text"), mkConfirmation, QString(), c.buttons, false), c.result)
            << c.press;
        EXPECT_EQ(focused, QStringLiteral("But1"));
        EXPECT_FALSE(box.isVisible());
        EXPECT_TRUE(box.findChildren<QPushButton*>().isEmpty()) << "buttons freed after the call";
        EXPECT_EQ(box.ButtonCount(), 0);
    }
}

TEST(MsgBox, OnlyItsOwnButtonsCloseIt) {
    TMsgBox box;
    bool stillShownAfterEscape = false;
    bool stillShownAfterClose = false;
    WhileShown(box, QStringLiteral("But1"), [&] {
        QTest::keyClick(&box, Qt::Key_Escape);
        QCoreApplication::processEvents();
        stillShownAfterEscape = box.isVisible();
        box.close();
        stillShownAfterClose = box.isVisible();
    });
    EXPECT_EQ(box.ShowMsg(QStringLiteral("Text"), mkError, QString(), mbClose, false), mrCancel);
    EXPECT_TRUE(stillShownAfterEscape);
    EXPECT_TRUE(stillShownAfterClose);
}

TEST(MsgBox, RefusesCallsItCouldNotShow) {
    struct Case {
        std::uint8_t kind;
        std::uint8_t buttons;
    };
    const Case cases[] = {{mkError, 0}, {mkError, 0x40}, {5, mbOk}, {255, mbClose}};
    for (const Case& c : cases) {
        TMsgBox box;
        EXPECT_THROW(box.ShowMsg(QStringLiteral("x"), c.kind, QString(), c.buttons, false), EFailure);
        EXPECT_FALSE(box.isVisible());
        EXPECT_TRUE(box.findChildren<QPushButton*>().isEmpty());
        try {
            box.ShowMsg(QStringLiteral("x"), c.kind, QString(), c.buttons, false);
        } catch (const EFailure& failure) {
            EXPECT_FALSE(failure.Message().empty());
        }
    }
}
