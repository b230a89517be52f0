#pragma once
// The port selector: a drop-down list whose edit field takes a name the
// system does not list (a device server's address, a path). It tells its
// owner just before the list opens, so that the ports can be listed anew
// each time. Typed text is only a proposal until Enter confirms it: the port
// searched, updated and saved is always an entry of the list. The proposal
// stays in the field while the user looks elsewhere (another window to copy
// the rest of an address from, the list opened and closed again) and the
// tool tip says that it waits for Enter; Escape or a pick from the list puts
// the selected entry's name back.

#include <QComboBox>

#include <functional>

class TPortComboBox : public QComboBox {
    Q_OBJECT

public:
    explicit TPortComboBox(QWidget* parent = nullptr);

    // Runs before the list is shown (cbPortsDropDown).
    std::function<void()> OnDropDown;

    // The selected entry's name; empty when nothing is selected. Text typed
    // into the field and not confirmed is not part of it.
    QString SelectedText() const;
    // True while the field shows typed text that Enter has not confirmed.
    bool Unconfirmed() const;
    // Drops unconfirmed typing: the field shows the selected entry again.
    void RevertEdit();

    void showPopup() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ShowHint();
};
