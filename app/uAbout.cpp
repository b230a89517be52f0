#include "uAbout.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>

TAbout::TAbout(QWidget* parent) : QDialog(parent) {}
QString TAbout::AppTitle() const { return appTitle_; }
void TAbout::showEvent(QShowEvent* event) { QDialog::showEvent(event); }
void TAbout::FormShow() {}
