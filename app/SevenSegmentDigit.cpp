#include "SevenSegmentDigit.h"

#include <QPaintEvent>
#include <QPainter>

SevenSegmentDigit::SevenSegmentDigit(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(100, 140);
}
void SevenSegmentDigit::SetValue(std::uint8_t value) { value_ = value; }
void SevenSegmentDigit::SetSegWidth(std::uint8_t width) { segWidth_ = width; }
void SevenSegmentDigit::SetSegShape(TSegmentShape shape) { segShape_ = shape; }
void SevenSegmentDigit::SetSpacing(std::uint8_t spacing) { spacing_ = spacing; }
void SevenSegmentDigit::SetGap(std::uint8_t gap) { gap_ = gap; }
void SevenSegmentDigit::SetBrightColor(const QColor& color) { bright_ = color; }
void SevenSegmentDigit::SetDimColor(const QColor& color) { dim_ = color; }
void SevenSegmentDigit::SetBackColor(const QColor& color) { back_ = color; }
bool SevenSegmentDigit::SegmentLit(int) const { return false; }
void SevenSegmentDigit::paintEvent(QPaintEvent*) { ++paintCount_; }
void SevenSegmentDigit::resizeEvent(QResizeEvent*) {}
void SevenSegmentDigit::changeEvent(QEvent* event) { QWidget::changeEvent(event); }
void SevenSegmentDigit::Recompute() {}
void SevenSegmentDigit::Repaint() {}
void SevenSegmentDigit::SetColor(QColor& member, const QColor& color) { member = color; }
void SevenSegmentDigit::SetGeometryByte(std::uint8_t& member, std::uint8_t value) { member = value; }
