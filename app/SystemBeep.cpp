#include "SystemBeep.h"

#include <QApplication>

// Desktops other than Windows have one beep (or none at all).
void ErrorBeep() { QApplication::beep(); }
