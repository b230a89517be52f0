#include "InfoGroup.h"

#include "FixedLayout.h"
#include "MainPictures.h"
#include "SevenSegmentDigit.h"
#include "WindowLook.h"

#include "link/BusProtocol.h"
#include "link/SimulatorState.h"

#include <QComboBox>
#include <QFrame>
#include <QIcon>
#include <QLabel>

namespace {

const QColor Lime(0x00, 0xFF, 0x00);
const QColor Grey(0x80, 0x80, 0x80);

void AddLine(QWidget* parent, int x, int y, int width) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(x, y, width, 2);
}

}  // namespace

InfoGroup::InfoGroup(QWidget* parent) : QGroupBox(QStringLiteral("Simulator-Info"), parent) {
    setObjectName(QStringLiteral("GrpInfo"));
    setFont(TahomaFont(true));
    setGeometry(3, 1, 138, 297);

    AddLabel(this, QStringLiteral("Serial:"), 8, 20);
    LabSerial = AddLabel(this, QStringLiteral("---"), 8, 35, Maroon, "LabSerial");
    LabSerial->setFixedWidth(124);
    AddLabel(this, QStringLiteral("Bios version:"), 8, 56);
    LabSimVersion = AddLabel(this, QStringLiteral("---"), 8, 71, Maroon, "LabSimVersion");
    LabSimVersion->setFixedWidth(124);
    AddLine(this, 6, 94, 126);

    QStringList protocols;
    for (const char* name : ProtocolNames) protocols << QLatin1String(name);
    AddLabel(this, QStringLiteral("Protocol:"), 8, 104);
    cbActProto = AddCombo(this, QStringLiteral("cbActProto"), 8, 120, 122, protocols);
    connect(cbActProto, &QComboBox::activated, this, [this](int) { emit ProtocolChosen(); });

    AddLabel(this, QStringLiteral("ECU count:"), 8, 152);
    cbEcuCount = AddCombo(this, QStringLiteral("cbEcuCount"), 8, 168, 50, {QStringLiteral("1"), QStringLiteral("2")});
    connect(cbEcuCount, &QComboBox::activated, this, [this](int) { emit ProtocolChosen(); });

    Seg7 = new SevenSegmentDigit(this);
    Seg7->setObjectName(QStringLiteral("Seg7"));
    Seg7->SetSegShape(ssEdge);
    Seg7->SetSegWidth(6);
    Seg7->SetSpacing(2);
    Seg7->SetGap(0);
    Seg7->SetBrightColor(Lime);
    Seg7->SetDimColor(Grey);
    Seg7->SetBackColor(Grey);
    Seg7->move(96, 146);
    Seg7->hide();

    AddLine(this, 6, 200, 126);
    AddLabel(this, QStringLiteral("Mil"), 8, 210);
    AddLabel(this, QStringLiteral("Errors"), 80, 210);

    auto milPicture = [this](const char* name, const QString& resource) {
        auto* image = new QLabel(this);
        image->setObjectName(QLatin1String(name));
        image->setGeometry(8, 228, 50, 34);
        image->setPixmap(QIcon(resource).pixmap(50, 34));
        image->setScaledContents(true);
        image->hide();
        return image;
    };
    ImgMilOn = milPicture("ImgMilOn", MilOnPicture);
    ImgMilOff = milPicture("ImgMilOff", MilOffPicture);

    DtcLabel = new QLabel(this);
    DtcLabel->setObjectName(QStringLiteral("DtcLabel"));
    DtcLabel->setGeometry(80, 228, 41, 34);
    QFont courier;
    courier.setFamilies({QStringLiteral("Courier New"), QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Monospace")});
    courier.setPixelSize(29);
    courier.setBold(true);
    DtcLabel->setFont(courier);
    DtcLabel->setAlignment(Qt::AlignCenter);
}

void InfoGroup::ShowStatus(const SimulatorState& state) {
    ImgMilOn->setVisible(state.MilOn);
    ImgMilOff->setVisible(!state.MilOn);
    DtcLabel->setText(QString::number(state.CodeCount(1) + state.CodeCount(2)));
}

void InfoGroup::ShowProtocol(int protocol, int ecuCount, int digit) {
    SelectProtocol(protocol, ecuCount);
    Seg7->SetValue(static_cast<std::uint8_t>(digit));
}

void InfoGroup::SelectProtocol(int protocol, int ecuCount) {
    auto select = [](QComboBox* box, int index) {
        box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
    };
    select(cbActProto, protocol - 1);
    select(cbEcuCount, ecuCount - 1);
}

int InfoGroup::Protocol() const { return cbActProto->currentIndex() + 1; }

int InfoGroup::EcuCount() const { return cbEcuCount->currentIndex() + 1; }

void InfoGroup::SetSerialText(const QString& text) { LabSerial->setText(text); }

void InfoGroup::SetVersionText(const QString& text) { LabSimVersion->setText(text); }

void InfoGroup::ShowConnected(bool connected) {
    cbActProto->setEnabled(connected);
    cbEcuCount->setEnabled(connected);
    Seg7->setVisible(connected);
    if (connected) return;
    DtcLabel->clear();
    ImgMilOn->hide();
    ImgMilOff->hide();
    cbActProto->setCurrentIndex(-1);
    cbEcuCount->setCurrentIndex(-1);
}

void InfoGroup::FitDigit() { Seg7->resize(30, 44); }
