// What a termination request does on every system, once it has reached the
// window thread.
#include "SignalCloser.h"

#include "uUpdate.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QWidget>

void TSignalCloser::EndOtherWindows() {
    // A modal window runs an event loop of its own inside the main one, and
    // the program cannot end while one waits for an answer that nobody will
    // give. Each is ended as its own cancel would; the code that showed it
    // then goes on to its end. Pointers, since ending one may delete another.
    QList<QPointer<QWidget>> windows;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != &window_ && w->isVisible()) windows << w;
    for (const QPointer<QWidget>& w : windows) {
        if (!w) continue;
        if (auto* update = qobject_cast<TUpdateDialog*>(w.data())) {
            // Half a transfer would leave the simulator without firmware:
            // only the wait for the reset button is cancelled; a transfer
            // runs to its end and the main window closes after it.
            update->CancelWhileWaiting();
        } else if (auto* dialog = qobject_cast<QDialog*>(w.data())) {
            dialog->done(QDialog::Rejected);  // also the boxes that refuse any other close
        } else {
            w->close();
        }
    }
}
