#include "PortComboBox.h"

void TPortComboBox::showPopup() {
    if (OnDropDown) OnDropDown();
    QComboBox::showPopup();
}
