#include "OwnCaption.h"

#include "WindowLook.h"

#include <QDialog>
#include <QEvent>
#include <QFrame>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

QFrame* TOwnCaption::Install(QDialog& window) {
    // Without the frame there is no title-bar button of any kind; the
    // window stays a tool window of its owner.
    window.setWindowFlags((window.windowFlags() & ~(Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                                    Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint)) |
                          Qt::FramelessWindowHint);
    auto* caption = new TOwnCaption(window);
    return caption->client_;
}

TOwnCaption::TOwnCaption(QDialog& window) : QWidget(&window), window_(window) {
    setObjectName(QStringLiteral("Caption"));
    setFont(TahomaFont(true));
    setCursor(Qt::ArrowCursor);
    client_ = new QFrame(&window);
    client_->setObjectName(QStringLiteral("Client"));
    // The outline that the frame would otherwise draw.
    client_->setFrameStyle(QFrame::Box | QFrame::Plain);
    client_->setLineWidth(1);
    window.installEventFilter(this);
    FollowWindow();
}

void TOwnCaption::FollowWindow() {
    setGeometry(0, 0, window_.width(), Height);
    client_->setGeometry(0, Height, window_.width(), std::max(0, window_.height() - Height));
    update();
}

bool TOwnCaption::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &window_ && (event->type() == QEvent::Resize || event->type() == QEvent::WindowTitleChange))
        FollowWindow();
    return QWidget::eventFilter(watched, event);
}

void TOwnCaption::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QColor active(Navy);
    painter.fillRect(rect(), active);
    painter.setPen(Qt::white);
    painter.drawText(rect().adjusted(6, 0, -6, 0), Qt::AlignCenter | Qt::TextSingleLine, window_.windowTitle());
}

void TOwnCaption::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    // The window manager moves it, as it would by the title bar; where it
    // cannot, the window follows the mouse itself.
    if (window_.windowHandle() && window_.windowHandle()->startSystemMove()) return;
    dragging_ = true;
    grab_ = event->globalPosition().toPoint() - window_.frameGeometry().topLeft();
}

void TOwnCaption::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_) window_.move(event->globalPosition().toPoint() - grab_);
}

void TOwnCaption::mouseReleaseEvent(QMouseEvent*) { dragging_ = false; }
