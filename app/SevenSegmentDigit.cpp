#include "SevenSegmentDigit.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>

namespace {

// Which segments (a to g) are lit for each digit.
constexpr std::array<std::array<bool, SevenSegmentDigit::SegmentCount>, 10> DigitTable = {{
    {1, 1, 1, 1, 1, 1, 0},  // 0
    {0, 1, 1, 0, 0, 0, 0},  // 1
    {1, 1, 0, 1, 1, 0, 1},  // 2
    {1, 1, 1, 1, 0, 0, 1},  // 3
    {0, 1, 1, 0, 0, 1, 1},  // 4
    {1, 0, 1, 1, 0, 1, 1},  // 5
    {1, 0, 1, 1, 1, 1, 1},  // 6
    {1, 1, 1, 0, 0, 0, 0},  // 7
    {1, 1, 1, 1, 1, 1, 1},  // 8
    {1, 1, 1, 1, 0, 1, 1},  // 9
}};

enum Segment { SegA, SegB, SegC, SegD, SegE, SegF, SegG };

// Four corners, the last one repeated to make six points.
QPolygon Quad(QPoint p0, QPoint p1, QPoint p2, QPoint p3) {
    return QPolygon({p0, p1, p2, p3, p3, p3});
}

QPolygon Rect(int x0, int y0, int x1, int y1) {
    return Quad({x0, y0}, {x0, y1}, {x1, y1}, {x1, y0});
}

// A bar with pointed ends, along x (horizontal) or y, centred on the line.
QPolygon HorizontalHex(int x0, int x1, int y, int h) {
    return QPolygon({{x0, y}, {x0 + h, y - h}, {x1 - h, y - h}, {x1, y}, {x1 - h, y + h}, {x0 + h, y + h}});
}

QPolygon VerticalHex(int x, int y0, int y1, int h) {
    return QPolygon({{x, y0}, {x + h, y0 + h}, {x + h, y1 - h}, {x, y1}, {x - h, y1 - h}, {x - h, y0 + h}});
}

}  // namespace

SevenSegmentDigit::SevenSegmentDigit(QWidget* parent) : QWidget(parent) {
    // Every pixel is painted, so Qt need not clear the background first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(100, 140);
    Recompute();
}

void SevenSegmentDigit::Refresh() const {
    // A hidden widget gets its resize event only when it is shown; whoever
    // reads the geometry before that still gets it for the current size.
    // Recomputing changes nothing a reader could see except staleness.
    if (computedFor_ != size()) const_cast<SevenSegmentDigit*>(this)->Recompute();
}

void SevenSegmentDigit::SetValue(std::uint8_t value) {
    if (value == value_) return;
    value_ = value;
    Repaint();
}

void SevenSegmentDigit::SetGeometryByte(std::uint8_t& member, std::uint8_t value) {
    if (member == value) return;
    member = value;
    Recompute();
    Repaint();
}

void SevenSegmentDigit::SetSegWidth(std::uint8_t width) { SetGeometryByte(segWidth_, width); }
void SevenSegmentDigit::SetSpacing(std::uint8_t spacing) { SetGeometryByte(spacing_, spacing); }
void SevenSegmentDigit::SetGap(std::uint8_t gap) { SetGeometryByte(gap_, gap); }

void SevenSegmentDigit::SetSegShape(TSegmentShape shape) {
    if (shape == segShape_) return;
    segShape_ = shape;
    Recompute();
    Repaint();
}

void SevenSegmentDigit::SetColor(QColor& member, const QColor& color) {
    if (member == color) return;
    member = color;
    Repaint();
}

void SevenSegmentDigit::SetBrightColor(const QColor& color) { SetColor(bright_, color); }
void SevenSegmentDigit::SetDimColor(const QColor& color) { SetColor(dim_, color); }
void SevenSegmentDigit::SetBackColor(const QColor& color) { SetColor(back_, color); }

bool SevenSegmentDigit::SegmentLit(int segment) const {
    // Values without a row in the table show every segment dim.
    if (!isEnabled() || value_ >= DigitTable.size() || segment < 0 || segment >= SegmentCount) return false;
    return DigitTable[value_][static_cast<std::size_t>(segment)];
}

void SevenSegmentDigit::Repaint() {
    ++repaintRequests_;
    update();
}

void SevenSegmentDigit::Recompute() {
    const int width = this->width();
    const int height = this->height();
    computedFor_ = size();
    if (width == 0 || height == 0) return;

    const int sp = spacing_;
    const int gp = gap_;
    const int sw = segWidth_;

    // Too narrow or too low for the segments: grow to the minimum and let
    // the new size compute the polygons. A hidden widget gets no resize event
    // until it is shown, so compute again here; a size that cannot change
    // (a maximum size) ends the attempt rather than looping.
    const int w = width - 2 * sp - 2 * gp;
    if (w < 2 * sw + 5) {
        resize(width + (2 * sw + 5 - w), height);
        if (this->width() != width) Recompute();
        return;
    }
    const int h = (height - 2 * sp - 4 * gp) / 2;
    if (h < 5) {
        resize(width, height + 2 * (5 - h));
        if (this->height() != height) Recompute();
        return;
    }
    w_ = w;
    h_ = h;

    const int W = w;
    const int H = h;
    switch (segShape_) {
    case ssEdge: {
        const int d = sp + gp;
        segments_[SegA] = Quad({d, sp}, {d + sw, sp + sw}, {d + W - sw, sp + sw}, {d + W, sp});
        const int xr = W + sp + 2 * gp - sw;
        int y = sp + gp + sw;
        segments_[SegB] = Quad({xr, y}, {xr, y + H - 2 * sw}, {xr + sw, y + H - sw}, {xr + sw, y - sw});
        y = H + sp + sw + 3 * gp;
        segments_[SegC] = Quad({xr, y}, {xr, y + H - 2 * sw}, {xr + sw, y + H - sw}, {xr + sw, y - sw});
        const int xd = sp + gp + sw;
        y = sp + 2 * H + 4 * gp - sw;
        segments_[SegD] = Quad({xd, y}, {xd - sw, y + sw}, {xd + W - sw, y + sw}, {xd + W - 2 * sw, y});
        y = H + sp + 3 * gp;
        segments_[SegE] = Quad({sp, y}, {sp, y + H}, {sp + sw, y + H - sw}, {sp + sw, y + sw});
        y = sp + gp;
        segments_[SegF] = Quad({sp, y}, {sp, y + H}, {sp + sw, y + H - sw}, {sp + sw, y + sw});
        const int xg = sp + gp;
        const int yg = sp + 2 * gp + H;
        const int hg = sw / 2;
        segments_[SegG] = QPolygon({{xg, yg}, {xg + sw, yg + hg}, {xg + W - sw, yg + hg},
                                    {xg + W, yg}, {xg + W - sw, yg - hg}, {xg + sw, yg - hg}});
        break;
    }
    case ssRectangle: {
        // Plain bars between the corners; neighbours stay a gap apart.
        const int right = W + sp + 2 * gp;
        const int bottom = sp + 2 * H + 4 * gp;
        const int mid = sp + 2 * gp + H;
        const int hg = sw / 2;
        const int x0 = sp + sw + gp;
        const int x1 = right - sw - gp;
        segments_[SegA] = Rect(x0, sp, x1, sp + sw);
        segments_[SegB] = Rect(right - sw, sp + sw + gp, right, mid - hg - gp);
        segments_[SegC] = Rect(right - sw, mid + hg + gp, right, bottom - sw - gp);
        segments_[SegD] = Rect(x0, bottom - sw, x1, bottom);
        segments_[SegE] = Rect(sp, mid + hg + gp, sp + sw, bottom - sw - gp);
        segments_[SegF] = Rect(sp, sp + sw + gp, sp + sw, mid - hg - gp);
        segments_[SegG] = Rect(x0, mid - hg, x1, mid + hg);
        break;
    }
    case ssDoubleEdge: {
        // Bars pointed at both ends, meeting at the centre lines of the frame.
        const int hg = sw / 2;
        const int left = sp + hg;
        const int right = W + sp + 2 * gp - hg;
        const int top = sp + hg;
        const int mid = sp + 2 * gp + H;
        const int bottom = sp + 2 * H + 4 * gp - hg;
        segments_[SegA] = HorizontalHex(left + gp, right - gp, top, hg);
        segments_[SegB] = VerticalHex(right, top + gp, mid - gp, hg);
        segments_[SegC] = VerticalHex(right, mid + gp, bottom - gp, hg);
        segments_[SegD] = HorizontalHex(left + gp, right - gp, bottom, hg);
        segments_[SegE] = VerticalHex(left, mid + gp, bottom - gp, hg);
        segments_[SegF] = VerticalHex(left, top + gp, mid - gp, hg);
        segments_[SegG] = HorizontalHex(left + gp, right - gp, mid, hg);
        break;
    }
    }
}

void SevenSegmentDigit::paintEvent(QPaintEvent*) {
    ++paintCount_;
    Refresh();
    QPainter painter(this);
    painter.setPen(back_);
    painter.setBrush(back_);
    painter.fillRect(rect(), back_);
    for (int i = 0; i < SegmentCount; ++i) {
        painter.setBrush(SegmentLit(i) ? bright_ : dim_);
        painter.drawPolygon(segments_[static_cast<std::size_t>(i)]);
    }
}

void SevenSegmentDigit::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Recompute();
    Repaint();
}

void SevenSegmentDigit::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) Repaint();
}
