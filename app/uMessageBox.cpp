#include "uMessageBox.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

TMsgBox::TMsgBox(QWidget* parent) : QDialog(parent) {}
int TMsgBox::ShowMsg(const QString&, std::uint8_t, const QString&, std::uint8_t, bool) { return 0; }
void TMsgBox::Prepare(const QString&, std::uint8_t, const QString&, std::uint8_t) {}
int TMsgBox::Run() { return 0; }
void TMsgBox::AddButton(const QString&, int) {}
QString TMsgBox::DefaultCaption(std::uint8_t) { return {}; }
void TMsgBox::showEvent(QShowEvent* event) { QDialog::showEvent(event); }
void TMsgBox::closeEvent(QCloseEvent* event) { QDialog::closeEvent(event); }
void TMsgBox::keyPressEvent(QKeyEvent* event) { QDialog::keyPressEvent(event); }
void TMsgBox::reject() {}
void TMsgBox::FreeButtons() {}
void TMsgBox::CentreOnOwner() {}
