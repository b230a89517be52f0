#include "app/uMessageBox.h"
#include "base/Failure.h"

#include <QFontMetrics>
#include <QFontMetricsF>
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
    while (auto* b = box.findChild<QPushButton*>(QStringLiteral("But%1").arg(buttons.size() + 1))) buttons.push_back(b);
    return buttons;
}

// Runs a check while the modal box is up, then presses the named button.
void WhileShown(TMsgBox& box, const QString& press, std::function<void()> check) {
    QTimer::singleShot(0, &box, [&box, press, check] {
        check();
        if (auto* button = box.findChild<QPushButton*>(press)) QTest::mouseClick(button, Qt::LeftButton);
    });
}

}  // namespace

TEST(MsgBox, ButtonsStandInTableOrderCentredInOneRow) {
    struct Case {
        std::uint8_t buttons;
        std::vector<const char*> captions;
        std::vector<int> lefts;
    };
    const std::vector<Case> cases = {
        {mbClose, {"Schließen"}, {103}},
        {mbYes | mbNo, {"Ja", "Nein"}, {60, 145}},
        {mbOk | mbClose, {"Schließen", "Ok"}, {60, 145}},
        {mbAbort | mbYes | mbNo, {"Ja", "Nein", "Abbruch"}, {18, 103, 188}},
    };
    for (const Case& c : cases) {
        TMsgBox box;
        box.Prepare(QStringLiteral("Short"), mkError, QString(), c.buttons);
        const auto buttons = Buttons(box);
        ASSERT_EQ(buttons.size(), c.captions.size()) << "buttons 0x" << std::hex << int(c.buttons);
        for (std::size_t i = 0; i < buttons.size(); ++i) {
            EXPECT_EQ(buttons[i]->text(), QString::fromUtf8(c.captions[i]));
            EXPECT_EQ(buttons[i]->geometry().topLeft(), QPoint(c.lefts[i], 65)) << "button " << i + 1;
            EXPECT_EQ(buttons[i]->width(), 75);
        }
    }
}

TEST(MsgBox, WindowFitsTheText) {
    struct Case {
        std::uint8_t kind;
        QString text;
        int labelLeft;
    };
    const std::vector<Case> cases = {
        {mkInformation, QString(60, u'W'), 68},                      // wider than the minimum
        {mkMessage, QStringLiteral("1\n2\n3\n4\n5\n6\n7\n8"), 20},  // no icon; taller
    };
    for (const Case& c : cases) {
        TMsgBox box;
        box.Prepare(c.text, c.kind, QString(), mbOk);
        const QLabel* label = box.InfoLabel();
        EXPECT_EQ(box.Img()->isVisibleTo(&box), c.kind != mkMessage);
        EXPECT_EQ(label->x(), c.labelLeft);
        EXPECT_EQ(label->text(), c.text);
        EXPECT_EQ(box.width(), std::max(280, c.labelLeft + label->width() + 20));
        EXPECT_EQ(box.height(), std::max(120, label->height() + 75));
        EXPECT_EQ(Buttons(box).front()->y(), box.height() - 55);
    }
    TMsgBox box;
    box.Prepare(QStringLiteral("Update Fehler!"), mkError, QString(), mbClose);
    EXPECT_EQ(box.size(), QSize(280, 120));
    EXPECT_EQ(box.windowTitle(), QStringLiteral("Error"));
    box.Prepare(QStringLiteral("x"), mkMessage, QStringLiteral("KNSimTool"), mbOk);
    EXPECT_EQ(box.windowTitle(), QStringLiteral("KNSimTool"));
}

TEST(MsgBox, MinimumWidthHoldsExactlyUpToItsBoundary) {
    // Texts exactly so many pixels wide as the font reports them, whatever
    // face the machine has: wide and narrow letters mixed until they are.
    // One whose fractional width lies just above the whole number is taken
    // where there is one, as that is where rounding up would tip the box.
    const QFont font = TMsgBox().InfoLabel()->font();
    const QFontMetrics metrics(font);
    const QFontMetricsF exact(font);
    auto textOfWidth = [&](int pixels) {
        QString found;
        for (int wide = 0; wide <= 40; ++wide)
            for (int narrow = 0; narrow <= 80; ++narrow) {
                const QString text = QString(wide, u'W') + QString(narrow, u'i');
                if (metrics.horizontalAdvance(text) != pixels) continue;
                if (exact.horizontalAdvance(text) > pixels) return text;
                if (found.isEmpty()) found = text;
            }
        return found;
    };
    struct Case {
        std::uint8_t kind;
        int textWidth, boxWidth;
    };
    const Case cases[] = {
        {mkError, 192, 280}, {mkError, 193, 281},      // the label starts at 68
        {mkMessage, 240, 280}, {mkMessage, 241, 281},  // no icon: it starts at 20
    };
    for (const Case& c : cases) {
        const QString text = textOfWidth(c.textWidth);
        ASSERT_FALSE(text.isEmpty()) << "no text of " << c.textWidth << " pixels in this font";
        TMsgBox box;
        box.Prepare(text, c.kind, QString(), mbClose);
        EXPECT_EQ(box.size(), QSize(c.boxWidth, 120)) << "kind " << int(c.kind) << ", text " << c.textWidth << " px";
        EXPECT_EQ(box.InfoLabel()->width(), c.textWidth);
        EXPECT_EQ(Buttons(box).front()->y(), 65);
    }
    // The widest line counts, not the whole text.
    EXPECT_EQ(TMsgBox::TextWidth(textOfWidth(150) + QStringLiteral("\n") + textOfWidth(100), font), 150);
}

TEST(MsgBox, ReturnsThePressedButtonsResultAndFreesTheButtons) {
    const std::tuple<std::uint8_t, const char*, int> cases[] = {
        {mbOk | mbClose, "But1", mrCancel},  // "Schließen" comes first
        {mbOk | mbClose, "But2", mrOk},       {mbYes | mbNo, "But2", mrNo},
        {mbIgnore | mbAbort, "But2", mrAbort},
    };
    TMsgBox box;  // one box for the whole run, as in the program
    for (const auto& [buttons, press, result] : cases) {
        QString focused;
        WhileShown(box, QString::fromLatin1(press), [&] {
            if (QWidget* w = box.focusWidget()) focused = w->objectName();
        });
        EXPECT_EQ(box.ShowMsg(QStringLiteral("Text"), mkConfirmation, QString(), buttons, false), result) << press;
        EXPECT_EQ(focused, QStringLiteral("But1"));
        EXPECT_FALSE(box.isVisible());
        EXPECT_TRUE(box.findChildren<QPushButton*>().isEmpty()) << "buttons freed after the call";
    }
}

TEST(MsgBox, OnlyItsOwnButtonsCloseIt) {
    TMsgBox box;
    bool shownAfterEscape = false, shownAfterClose = false;
    WhileShown(box, QStringLiteral("But1"), [&] {
        QTest::keyClick(&box, Qt::Key_Escape);
        shownAfterEscape = box.isVisible();
        box.close();
        shownAfterClose = box.isVisible();
    });
    EXPECT_EQ(box.ShowMsg(QStringLiteral("Text"), mkError, QString(), mbClose, false), mrCancel);
    EXPECT_TRUE(shownAfterEscape);
    EXPECT_TRUE(shownAfterClose);
}

TEST(MsgBox, RefusesCallsItCouldNotShow) {
    const std::pair<std::uint8_t, std::uint8_t> cases[] = {{mkError, 0}, {mkError, 0x40}, {5, mbOk}, {255, mbClose}};
    for (const auto& [kind, buttons] : cases) {
        TMsgBox box;
        try {
            box.ShowMsg(QStringLiteral("x"), kind, QString(), buttons, false);
            ADD_FAILURE() << "kind " << int(kind) << " buttons " << int(buttons) << " accepted";
        } catch (const EFailure& failure) {
            EXPECT_FALSE(failure.Message().empty());
        }
        EXPECT_FALSE(box.isVisible());
        EXPECT_TRUE(box.findChildren<QPushButton*>().isEmpty());
    }
}
