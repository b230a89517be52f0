#pragma once
// The port selector: a drop-down list whose edit field takes a name the
// system does not list (a device server's address, a path). It tells its
// owner just before the list opens, so that the ports can be listed anew
// each time. Typed text is only a proposal until Enter confirms it: leaving
// the field or Escape puts the selected entry's name back, so the port
// searched, updated and saved is always an entry of the list.

#include <QComboBox>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

class TPortComboBox : public QComboBox {
    Q_OBJECT

public:
    using QComboBox::QComboBox;

    // Runs before the list is shown (cbPortsDropDown).
    std::function<void()> OnDropDown;

    // The selected entry's name; empty when nothing is selected. Text typed
    // into the field and not confirmed is not part of it.
    QString SelectedText() const;
    // Drops unconfirmed typing: the field shows the selected entry again.
    void RevertEdit();

    void showPopup() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};

// The entries of the selector: the ports the system lists, in natural order,
// then the names given beyond them (the start option's, those typed and
// confirmed), in natural order too. Those come last so that a listed
// device keeps its position when the list is filled again; a name already
// offered (letter case ignored, as the selector looks names up) is offered
// once, as it was first given.
QStringList OfferedPorts(std::vector<std::string> listed, std::vector<std::string> named);
