#include "uDebug.h"

#include <QEvent>
#include <QFont>
#include <QPlainTextEdit>
#include <QVBoxLayout>

TDebug::TDebug(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("Debug"));
    setWindowTitle(QStringLiteral("Debug"));
    resize(594, 554);

    memo_ = new QPlainTextEdit(this);
    memo_->setObjectName(QStringLiteral("Memo"));
    memo_->setReadOnly(true);
    memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(11);
    memo_->setFont(font);
    // Double clicks land on the viewport, not on the text field itself.
    memo_->viewport()->installEventFilter(this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(memo_);
}

void TDebug::MemoDblClick() { memo_->clear(); }

bool TDebug::eventFilter(QObject* watched, QEvent* event) {
    if (watched == memo_->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        MemoDblClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
