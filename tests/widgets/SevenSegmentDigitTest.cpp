#include "app/SevenSegmentDigit.h"

#include <QImage>
#include <QPixmap>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <vector>

namespace {

// The main window's digit: 30 x 44, ssEdge, SegWidth 6, Spacing 2, Gap 0.
void ApplyMainWindowLook(SevenSegmentDigit& digit) {
    digit.SetSegShape(ssEdge);
    digit.SetSegWidth(6);
    digit.SetSpacing(2);
    digit.SetGap(0);
    digit.resize(30, 44);
}

QPoint Inside(const QPolygon& polygon) { return polygon.boundingRect().center(); }

}  // namespace

TEST(SevenSegmentDigit, CreatedWithItsDefaults) {
    SevenSegmentDigit digit;
    EXPECT_EQ(digit.size(), QSize(100, 140));
    EXPECT_EQ(digit.Value(), 0);
    EXPECT_EQ(digit.SegWidth(), 10);
    EXPECT_EQ(digit.SegShape(), ssDoubleEdge);
    EXPECT_EQ(digit.Spacing(), 4);
    EXPECT_EQ(digit.Gap(), 2);
    EXPECT_EQ(digit.BrightColor(), QColor(255, 0, 0));
    EXPECT_EQ(digit.DimColor(), QColor(0x80, 0, 0));
    EXPECT_EQ(digit.BackColor(), QColor(0, 0, 0));
    EXPECT_TRUE(digit.testAttribute(Qt::WA_OpaquePaintEvent));
}

TEST(SevenSegmentDigit, MainWindowGeometryIsExact) {
    SevenSegmentDigit digit;
    ApplyMainWindowLook(digit);
    EXPECT_EQ(digit.size(), QSize(30, 44)) << "no size correction at 30 x 44";
    EXPECT_EQ(digit.W(), 26);
    EXPECT_EQ(digit.H(), 20);

    const std::vector<std::vector<QPoint>> expected = {
        {{2, 2}, {8, 8}, {22, 8}, {28, 2}, {28, 2}, {28, 2}},        // a
        {{22, 8}, {22, 16}, {28, 22}, {28, 2}, {28, 2}, {28, 2}},    // b
        {{22, 28}, {22, 36}, {28, 42}, {28, 22}, {28, 22}, {28, 22}},  // c
        {{8, 36}, {2, 42}, {28, 42}, {22, 36}, {22, 36}, {22, 36}},  // d
        {{2, 22}, {2, 42}, {8, 36}, {8, 28}, {8, 28}, {8, 28}},      // e
        {{2, 2}, {2, 22}, {8, 16}, {8, 8}, {8, 8}, {8, 8}},          // f
        {{2, 22}, {8, 25}, {22, 25}, {28, 22}, {22, 19}, {8, 19}},   // g
    };
    for (int s = 0; s < SevenSegmentDigit::SegmentCount; ++s) {
        const QPolygon& polygon = digit.Segments()[static_cast<std::size_t>(s)];
        ASSERT_EQ(polygon.size(), 6) << "segment " << char('a' + s);
        for (int p = 0; p < 6; ++p)
            EXPECT_EQ(polygon.at(p), expected[static_cast<std::size_t>(s)][static_cast<std::size_t>(p)])
                << "segment " << char('a' + s) << " point " << p;
    }
}

TEST(SevenSegmentDigit, TooSmallGrowsBackToExactlyTheMinimum) {
    struct Case {
        QSize requested;
        QSize expected;
        int w, h;
    };
    // Minimum with SegWidth 6, Spacing 2, Gap 0: W = 17 (width 21). The
    // height grows by twice the missing half-height.
    const Case cases[] = {
        {{10, 44}, {21, 44}, 17, 20},
        {{20, 44}, {21, 44}, 17, 20},
        {{30, 10}, {30, 14}, 26, 5},
        {{30, 13}, {30, 15}, 26, 5},
        {{5, 5}, {21, 15}, 17, 5},  // both corrected, one after the other
    };
    for (bool shown : {false, true}) {
        for (const Case& c : cases) {
            SevenSegmentDigit digit;
            ApplyMainWindowLook(digit);
            if (shown) {
                digit.show();
                ASSERT_TRUE(QTest::qWaitForWindowExposed(&digit));
            }
            digit.resize(c.requested);
            QCoreApplication::processEvents();
            // A hidden widget gets its resize event when shown; reading the
            // geometry brings it up to date before that.
            const int w = digit.W();
            const int h = digit.H();
            EXPECT_EQ(digit.size(), c.expected) << "requested " << c.requested.width() << "x"
                                                << c.requested.height() << (shown ? " shown" : " hidden");
            EXPECT_EQ(w, c.w);
            EXPECT_EQ(h, c.h);
        }
    }
}

TEST(SevenSegmentDigit, UnchangedValuesDoNotRepaint) {
    SevenSegmentDigit digit;
    ApplyMainWindowLook(digit);
    digit.SetValue(6);
    digit.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&digit));
    QCoreApplication::processEvents();
    const int requests = digit.RepaintRequests();
    const int paints = digit.PaintCount();

    digit.SetValue(6);
    digit.SetBrightColor(digit.BrightColor());
    digit.SetSegWidth(6);
    digit.SetSegShape(ssEdge);
    QCoreApplication::processEvents();
    EXPECT_EQ(digit.RepaintRequests(), requests);
    EXPECT_EQ(digit.PaintCount(), paints);

    digit.SetValue(7);
    EXPECT_EQ(digit.RepaintRequests(), requests + 1);
    digit.SetDimColor(Qt::blue);
    EXPECT_EQ(digit.RepaintRequests(), requests + 2);
}

TEST(SevenSegmentDigit, GeometryChangeRecomputes) {
    SevenSegmentDigit digit;
    ApplyMainWindowLook(digit);
    digit.SetSpacing(3);
    EXPECT_EQ(digit.W(), 24);
    EXPECT_EQ(digit.Segments()[0].at(0), QPoint(3, 3));
    digit.SetGap(1);
    EXPECT_EQ(digit.W(), 22);
    EXPECT_EQ(digit.H(), (44 - 6 - 4) / 2);
}

TEST(SevenSegmentDigit, PaintsLitSegmentsBrightOthersDim) {
    const QColor bright(0, 255, 0);
    const QColor dim(128, 128, 128);
    const QColor back(0, 0, 0);
    struct Case {
        int value;
        bool enabled;
        const char* lit;  // segments a..g
    };
    const Case cases[] = {
        {8, true, "1111111"}, {1, true, "0110000"}, {2, true, "1101101"}, {0, true, "1111110"},
        {8, false, "0000000"},  // disabled: all dim whatever the value
        {10, true, "0000000"},  // no row in the digit table
        {255, true, "0000000"},
    };
    for (const Case& c : cases) {
        SevenSegmentDigit digit;
        ApplyMainWindowLook(digit);
        digit.SetBrightColor(bright);
        digit.SetDimColor(dim);
        digit.SetBackColor(back);
        digit.SetValue(static_cast<std::uint8_t>(c.value));
        digit.setEnabled(c.enabled);
        const QImage image = digit.grab().toImage();
        EXPECT_EQ(QColor(image.pixel(0, 0)), back);
        for (int s = 0; s < SevenSegmentDigit::SegmentCount; ++s) {
            const QPolygon& polygon = digit.Segments()[static_cast<std::size_t>(s)];
            const QPoint p = Inside(polygon);
            ASSERT_TRUE(polygon.containsPoint(p, Qt::OddEvenFill));
            const QColor want = c.lit[s] == '1' ? bright : dim;
            EXPECT_EQ(QColor(image.pixel(p)), want)
                << "value " << c.value << (c.enabled ? "" : " disabled") << " segment " << char('a' + s);
        }
    }
}

TEST(SevenSegmentDigit, OtherShapesGiveSevenSeparateSixPointSegments) {
    for (TSegmentShape shape : {ssRectangle, ssDoubleEdge}) {
        SevenSegmentDigit digit;
        digit.SetSegShape(shape);
        for (QSize size : {QSize(100, 140), QSize(30, 44)}) {
            digit.resize(size);
            const auto& segments = digit.Segments();
            for (int s = 0; s < SevenSegmentDigit::SegmentCount; ++s) {
                const QPolygon& polygon = segments[static_cast<std::size_t>(s)];
                ASSERT_EQ(polygon.size(), 6);
                EXPECT_TRUE(digit.rect().contains(polygon.boundingRect())) << "shape " << shape << " segment " << s;
                EXPECT_GT(polygon.boundingRect().width() * polygon.boundingRect().height(), 0);
                const QPoint centre = Inside(polygon);
                for (int other = 0; other < SevenSegmentDigit::SegmentCount; ++other)
                    if (other != s) {
                        EXPECT_FALSE(segments[static_cast<std::size_t>(other)].containsPoint(centre, Qt::OddEvenFill))
                            << "shape " << shape << ": segment " << other << " covers the middle of " << s;
                    }
            }
        }
    }
}
