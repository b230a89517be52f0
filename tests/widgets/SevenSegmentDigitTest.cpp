#include "app/SevenSegmentDigit.h"

#include <QImage>
#include <QtTest/QTest>
#include <gtest/gtest.h>

namespace {

// The main window's digit: 30 x 44, ssEdge, SegWidth 6, Spacing 2, Gap 0.
void MainWindowLook(SevenSegmentDigit& digit) {
    digit.SetSegShape(ssEdge);
    digit.SetSegWidth(6);
    digit.SetSpacing(2);
    digit.SetGap(0);
    digit.resize(30, 44);
}

QPoint Inside(const QPolygon& polygon) { return polygon.boundingRect().center(); }

}  // namespace

TEST(SevenSegmentDigit, MainWindowGeometryIsExact) {
    SevenSegmentDigit digit;
    MainWindowLook(digit);
    EXPECT_EQ(digit.W(), 26);
    EXPECT_EQ(digit.H(), 20);
    EXPECT_EQ(digit.size(), QSize(30, 44)) << "no size correction at 30 x 44";
    const QPolygon expected[] = {
        QPolygon({{2, 2}, {8, 8}, {22, 8}, {28, 2}, {28, 2}, {28, 2}}),          // a
        QPolygon({{22, 8}, {22, 16}, {28, 22}, {28, 2}, {28, 2}, {28, 2}}),      // b
        QPolygon({{22, 28}, {22, 36}, {28, 42}, {28, 22}, {28, 22}, {28, 22}}),  // c
        QPolygon({{8, 36}, {2, 42}, {28, 42}, {22, 36}, {22, 36}, {22, 36}}),    // d
        QPolygon({{2, 22}, {2, 42}, {8, 36}, {8, 28}, {8, 28}, {8, 28}}),        // e
        QPolygon({{2, 2}, {2, 22}, {8, 16}, {8, 8}, {8, 8}, {8, 8}}),            // f
        QPolygon({{2, 22}, {8, 25}, {22, 25}, {28, 22}, {22, 19}, {8, 19}}),     // g
    };
    for (int s = 0; s < SevenSegmentDigit::SegmentCount; ++s)
        EXPECT_EQ(digit.Segments()[static_cast<std::size_t>(s)], expected[s]) << "segment " << char('a' + s);

    // Geometry members recompute at once.
    digit.SetSpacing(3);
    EXPECT_EQ(digit.W(), 24);
    EXPECT_EQ(digit.Segments()[0].at(0), QPoint(3, 3));
}

TEST(SevenSegmentDigit, TooSmallGrowsBackToTheMinimum) {
    struct Case {
        QSize requested, expected;
        int w, h;
    };
    // Minimum width 21 (W = 2 * 6 + 5); the height grows by twice the
    // missing half-height.
    const Case cases[] = {
        {{10, 44}, {21, 44}, 17, 20}, {{30, 13}, {30, 15}, 26, 5}, {{5, 5}, {21, 15}, 17, 5},  // both in turn
    };
    for (bool shown : {false, true}) {
        for (const Case& c : cases) {
            SevenSegmentDigit digit;
            MainWindowLook(digit);
            if (shown) {
                digit.show();
                ASSERT_TRUE(QTest::qWaitForWindowExposed(&digit));
            }
            digit.resize(c.requested);
            QCoreApplication::processEvents();
            // A hidden widget gets its resize event when shown; reading the
            // geometry brings it up to date before that.
            EXPECT_EQ(digit.W(), c.w);
            EXPECT_EQ(digit.H(), c.h);
            EXPECT_EQ(digit.size(), c.expected) << c.requested.width() << "x" << c.requested.height()
                                                << (shown ? " shown" : " hidden");
        }
    }
}

TEST(SevenSegmentDigit, UnchangedValuesDoNotRepaint) {
    SevenSegmentDigit digit;
    MainWindowLook(digit);
    digit.SetValue(6);
    digit.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&digit));
    QCoreApplication::processEvents();
    const int requests = digit.RepaintRequests();
    const int paints = digit.PaintCount();

    digit.SetValue(6);
    digit.SetBrightColor(digit.BrightColor());
    digit.SetSegWidth(6);
    QCoreApplication::processEvents();
    EXPECT_EQ(digit.RepaintRequests(), requests);
    EXPECT_EQ(digit.PaintCount(), paints);

    digit.SetValue(7);
    EXPECT_EQ(digit.RepaintRequests(), requests + 1);
}

TEST(SevenSegmentDigit, PaintsLitSegmentsBrightOthersDim) {
    const QColor bright(0, 255, 0), dim(128, 128, 128), back(0, 0, 0);
    struct Case {
        int value;
        bool enabled;
        const char* lit;  // segments a..g
    };
    const Case cases[] = {
        {2, true, "1101101"}, {0, true, "1111110"},
        {8, false, "0000000"},  // disabled: all dim whatever the value
        {10, true, "0000000"},  // no row in the digit table
    };
    for (const Case& c : cases) {
        SevenSegmentDigit digit;
        MainWindowLook(digit);
        digit.SetBrightColor(bright);
        digit.SetDimColor(dim);
        digit.SetBackColor(back);
        digit.SetValue(static_cast<std::uint8_t>(c.value));
        digit.setEnabled(c.enabled);
        const QImage image = digit.grab().toImage();
        EXPECT_EQ(QColor(image.pixel(0, 0)), back);
        for (int s = 0; s < SevenSegmentDigit::SegmentCount; ++s) {
            const QPoint p = Inside(digit.Segments()[static_cast<std::size_t>(s)]);
            EXPECT_EQ(QColor(image.pixel(p)), c.lit[s] == '1' ? bright : dim)
                << "value " << c.value << (c.enabled ? "" : " disabled") << " segment " << char('a' + s);
        }
    }
}

TEST(SevenSegmentDigit, OtherShapesGiveSevenSeparateSixPointSegments) {
    for (TSegmentShape shape : {ssRectangle, ssDoubleEdge}) {
        SevenSegmentDigit digit;
        digit.SetSegShape(shape);
        const auto& segments = digit.Segments();
        for (std::size_t s = 0; s < segments.size(); ++s) {
            ASSERT_EQ(segments[s].size(), 6);
            EXPECT_TRUE(digit.rect().contains(segments[s].boundingRect())) << "shape " << shape << " segment " << s;
            for (std::size_t other = 0; other < segments.size(); ++other)
                EXPECT_EQ(segments[other].containsPoint(Inside(segments[s]), Qt::OddEvenFill), other == s)
                    << "shape " << shape << ": segment " << other << " and the middle of " << s;
        }
    }
}
