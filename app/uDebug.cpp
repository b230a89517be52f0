#include "uDebug.h"

#include <QEvent>
#include <QPlainTextEdit>

TDebug::TDebug(QWidget* parent) : QWidget(parent) {}
void TDebug::MemoDblClick() {}
bool TDebug::eventFilter(QObject* watched, QEvent* event) { return QWidget::eventFilter(watched, event); }
