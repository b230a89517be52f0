#include "app/uAbout.h"
#include "app/uDebug.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>
#include <gtest/gtest.h>

TEST(DebugLog, DoubleClickClearsTheText) {
    TDebug debug;
    EXPECT_EQ(debug.windowTitle(), QStringLiteral("Debug"));
    EXPECT_EQ(debug.size(), QSize(594, 554));
    ASSERT_NE(debug.Memo(), nullptr);
    EXPECT_TRUE(debug.Memo()->isReadOnly());
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
    mainWindow.setGeometry(100, 100, 640, 480);
    TAbout about(&mainWindow);
    EXPECT_EQ(about.windowTitle(), QStringLiteral("INFO"));
    EXPECT_EQ(about.size(), QSize(287, 143));
    auto* close = about.findChild<QPushButton*>(QStringLiteral("ButClose"));
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->text(), QStringLiteral("CLOSE"));
    EXPECT_EQ(close->size(), QSize(74, 23));
    EXPECT_EQ(close->geometry().right(), about.width() - 1 - 8);

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
    EXPECT_EQ(about.LabApp()->size(), QSize(273, 29));
}
