#pragma once
// The main window's "Simulator-Info" group: serial number, firmware version,
// the protocol and ECU-count selectors with the seven-segment digit, the MIL
// lamp and the count of active codes. It shows what the simulator reported
// and tells its owner when the user picks a protocol or an ECU count; the
// controls carry their object names ("cbActProto", "LabSerial", ...).

#include <QGroupBox>

class QComboBox;
class QLabel;
class SevenSegmentDigit;
struct SimulatorState;

class InfoGroup : public QGroupBox {
    Q_OBJECT

public:
    explicit InfoGroup(QWidget* parent);

    // The MIL lamp and the number of active codes of both ECUs.
    void ShowStatus(const SimulatorState& state);
    // The selectors as the configuration reads them, and the digit.
    void ShowProtocol(int protocol, int ecuCount, int digit);
    // Selects protocol 1..9 and count 1..2; any other value leaves a selector
    // without selection. Set from code, no change handler runs.
    void SelectProtocol(int protocol, int ecuCount);
    // The selections (protocol 1..9, count 1..2; 0 for none).
    int Protocol() const;
    int EcuCount() const;
    void SetSerialText(const QString& text);
    void SetVersionText(const QString& text);
    // Without a connection the selectors are disabled and cleared, the digit,
    // the lamp and the count hidden.
    void ShowConnected(bool connected);
    // The digit's size once the window shows.
    void FitDigit();

signals:
    // The user picked a protocol or an ECU count.
    void ProtocolChosen();

private:
    QLabel* LabSerial = nullptr;
    QLabel* LabSimVersion = nullptr;
    QComboBox* cbActProto = nullptr;
    QComboBox* cbEcuCount = nullptr;
    SevenSegmentDigit* Seg7 = nullptr;
    QLabel* ImgMilOn = nullptr;
    QLabel* ImgMilOff = nullptr;
    QLabel* DtcLabel = nullptr;
};
