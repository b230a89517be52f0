#pragma once
// The port selector: a drop-down list that tells its owner just before the
// list opens, so that the ports can be listed anew each time.

#include <QComboBox>

#include <functional>

class TPortComboBox : public QComboBox {
    Q_OBJECT

public:
    using QComboBox::QComboBox;

    // Runs before the list is shown (cbPortsDropDown).
    std::function<void()> OnDropDown;

    void showPopup() override;
};
