#pragma once
// The about window: banner picture and the program title, closed with CLOSE.

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

class TAbout : public QDialog {
    Q_OBJECT

public:
    explicit TAbout(QWidget* parent = nullptr);

    // The title shown on each showing; when none is set, the application's
    // display name is shown.
    void SetAppTitle(const QString& title) { appTitle_ = title; }
    QString AppTitle() const;

    QLabel* LabApp() const { return labApp_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();

    QLabel* labApp_ = nullptr;
    QPushButton* butClose_ = nullptr;
    QString appTitle_;
};
