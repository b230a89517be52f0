#include "app/MainPictures.h"
#include "app/uAbout.h"
#include "app/uDebug.h"

#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>
#include <gtest/gtest.h>

TEST(DebugLog, DoubleClickClearsTheText) {
    TDebug debug;
    debug.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&debug));
    debug.Memo()->setPlainText(QStringLiteral("line 1\nline 2"));
    QTest::mouseClick(debug.Memo()->viewport(), Qt::LeftButton);
    EXPECT_FALSE(debug.Memo()->toPlainText().isEmpty()) << "a single click keeps the text";
    QTest::mouseDClick(debug.Memo()->viewport(), Qt::LeftButton);
    EXPECT_TRUE(debug.Memo()->toPlainText().isEmpty());
}

TEST(AboutWindow, ShowsTheCurrentTitleEachTimeAndClosesWithOk) {
    QWidget mainWindow;
    TAbout about(&mainWindow);
    auto* close = about.findChild<QPushButton*>(QStringLiteral("ButClose"));
    ASSERT_NE(close, nullptr);
    for (const QString& title : {QStringLiteral("KARNOL-Simulator Tool v1.200"), QStringLiteral("Second title")}) {
        about.SetAppTitle(title);
        QString shown;
        QTimer::singleShot(0, &about, [&] {
            shown = about.LabApp()->text();
            QTest::mouseClick(close, Qt::LeftButton);
        });
        EXPECT_EQ(about.exec(), QDialog::Accepted);
        EXPECT_EQ(shown, title);
    }
}

TEST(Pictures, AllLoadAtTheirSizes) {
    const std::pair<const char*, QSize> pictures[] = {
        {"pictures/ImgMilOn", {50, 34}},         {"pictures/ImgMilOff", {50, 34}},
        {"pictures/MsgWarning", {32, 32}},       {"pictures/MsgError", {32, 32}},
        {"pictures/MsgInformation", {32, 32}},   {"pictures/MsgConfirmation", {32, 32}},
        {"pictures/AboutBanner", {283, 64}},     {"icons/exit", {16, 16}},
    };
    for (const auto& [name, size] : pictures) EXPECT_EQ(QPixmap(PicturePath(name)).size(), size) << name;
}
