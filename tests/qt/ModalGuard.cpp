#include "ModalGuard.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>

#include <gtest/gtest.h>

ModalGuard::ModalGuard(int graceMs) : graceMs_(graceMs) {
    // A modal window runs its own event loop, so this timer keeps firing.
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { Check(); });
    timer_.start(100);
}

void ModalGuard::Check() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) {
        waiting_ = nullptr;
        return;
    }
    if (modal != waiting_) {
        waiting_ = modal;
        since_.start();
        return;
    }
    if (since_.elapsed() < graceMs_) return;
    QString text;
    for (const QLabel* label : modal->findChildren<QLabel*>())
        if (!label->text().isEmpty()) text += QLatin1String(" | ") + label->text();
    ADD_FAILURE() << "A modal window waited " << graceMs_ / 1000 << " s for an answer that the test never gave: "
                  << modal->metaObject()->className() << " \"" << modal->windowTitle().toStdString() << "\""
                  << text.toStdString();
    waiting_ = nullptr;
    if (auto* dialog = qobject_cast<QDialog*>(modal))
        dialog->done(QDialog::Rejected);  // also the boxes that refuse any other close
    else
        modal->close();
}
