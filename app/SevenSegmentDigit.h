#pragma once
// One self-painted seven-segment digit (the protocol number on the main
// window). Paints opaquely and recomputes its segment polygons whenever its
// size or geometry changes.

#include <QColor>
#include <QPolygon>
#include <QWidget>

#include <array>
#include <cstdint>

enum TSegmentShape : std::uint8_t { ssRectangle, ssEdge, ssDoubleEdge };

class SevenSegmentDigit : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int Value READ ValueAsInt WRITE SetValueFromInt)

public:
    static constexpr int SegmentCount = 7;  // a, b, c, d, e, f, g
    using SegmentArray = std::array<QPolygon, SegmentCount>;

    explicit SevenSegmentDigit(QWidget* parent = nullptr);

    std::uint8_t Value() const { return value_; }
    void SetValue(std::uint8_t value);
    std::uint8_t SegWidth() const { return segWidth_; }
    void SetSegWidth(std::uint8_t width);
    TSegmentShape SegShape() const { return segShape_; }
    void SetSegShape(TSegmentShape shape);
    std::uint8_t Spacing() const { return spacing_; }
    void SetSpacing(std::uint8_t spacing);
    std::uint8_t Gap() const { return gap_; }
    void SetGap(std::uint8_t gap);
    QColor BrightColor() const { return bright_; }
    void SetBrightColor(const QColor& color);
    QColor DimColor() const { return dim_; }
    void SetDimColor(const QColor& color);
    QColor BackColor() const { return back_; }
    void SetBackColor(const QColor& color);

    // Derived geometry: inner segment length, inner half-height, and the
    // seven polygons (six points each) in segment order a to g.
    int W() const { Refresh(); return w_; }
    int H() const { Refresh(); return h_; }
    const SegmentArray& Segments() const { Refresh(); return segments_; }

    // True when the segment is drawn bright with the current value and state.
    bool SegmentLit(int segment) const;

    // Repaints asked for by the setters and resizes, and paint events handled:
    // lets a caller see that an unchanged value costs nothing.
    int RepaintRequests() const { return repaintRequests_; }
    int PaintCount() const { return paintCount_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    int ValueAsInt() const { return value_; }
    void SetValueFromInt(int value) { SetValue(static_cast<std::uint8_t>(value)); }
    void Recompute();
    void Refresh() const;
    void Repaint();
    void SetColor(QColor& member, const QColor& color);
    void SetGeometryByte(std::uint8_t& member, std::uint8_t value);

    std::uint8_t value_ = 0;
    std::uint8_t segWidth_ = 10;
    TSegmentShape segShape_ = ssDoubleEdge;
    std::uint8_t spacing_ = 4;
    std::uint8_t gap_ = 2;
    QColor bright_ = QColor(255, 0, 0);
    QColor dim_ = QColor(0x80, 0, 0);
    QColor back_ = QColor(0, 0, 0);

    QSize computedFor_;  // the size the polygons belong to
    int w_ = 0;
    int h_ = 0;
    SegmentArray segments_{};
    int repaintRequests_ = 0;
    int paintCount_ = 0;
};
