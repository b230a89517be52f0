#pragma once
// A caption bar drawn by the window itself, for the small windows that must
// not be closed, maximised or minimised from their frame (the message box,
// the firmware update). Many window managers draw a close button on every
// title bar whatever the window asks for, and such a button would do
// nothing here; so these windows go without the window manager's frame and
// carry their caption, a thin outline and the means to be dragged themselves.
//
// The window keeps its size: the caption takes the top of it, as a frame's
// caption takes the top of a window's outer rectangle, and the controls go
// into the client area below.

#include <QWidget>

class QDialog;
class QFrame;

class TOwnCaption : public QWidget {
    Q_OBJECT

public:
    static constexpr int Height = 20;

    // Takes the window manager's frame off window, puts the caption in and
    // returns the client area, the parent for the window's controls. The
    // caption shows the window's title and follows its changes; the client
    // area follows the window's size.
    static QFrame* Install(QDialog& window);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    explicit TOwnCaption(QDialog& window);
    bool eventFilter(QObject* watched, QEvent* event) override;
    void FollowWindow();

    QDialog& window_;
    QFrame* client_ = nullptr;
    QPoint grab_;          // where the caption was grabbed, when moved by hand
    bool dragging_ = false;
};
