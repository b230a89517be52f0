#include "ErrorBox.h"

#include "WindowLook.h"

#include <QApplication>
#include <QMessageBox>

namespace {
ErrorBoxPresenter& Presenter() {
    static ErrorBoxPresenter presenter;
    return presenter;
}

QString& Title() {
    static QString title;
    return title;
}
}  // namespace

QString ErrorBoxText(const std::string& message) {
    QString text = Latin1(message);
    // Compared as a byte, so that Latin-1 letters above 127 also count as
    // sorting above the full stop.
    if (!message.empty() && static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.')) {
        text += QLatin1Char('.');
    }
    return text;
}

void ShowErrorBox(const std::string& message) {
    const QString caption = ProgramTitle();
    const QString text = ErrorBoxText(message);
    if (Presenter()) {
        Presenter()(caption, text);
        return;
    }
    QMessageBox::critical(QApplication::activeWindow(), caption, text, QMessageBox::Ok);
}

void SetProgramTitle(const QString& title) { Title() = title; }

QString ProgramTitle() { return Title().isEmpty() ? QCoreApplication::applicationName() : Title(); }

void ShowErrorBox(const std::exception& failure) { ShowErrorBox(std::string(failure.what())); }

ErrorBoxPresenter SetErrorBoxPresenter(ErrorBoxPresenter presenter) {
    ErrorBoxPresenter previous = std::move(Presenter());
    Presenter() = std::move(presenter);
    return previous;
}
