#pragma once
// The debug log window: one read-only text field; a double click clears it.

#include <QWidget>

class QPlainTextEdit;

class TDebug : public QWidget {
    Q_OBJECT

public:
    explicit TDebug(QWidget* parent = nullptr);

    QPlainTextEdit* Memo() const { return memo_; }
    void MemoDblClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPlainTextEdit* memo_ = nullptr;
};
