#include "uMessageBox.h"

#include "MainPictures.h"
#include "OwnCaption.h"
#include "SystemBeep.h"
#include "WindowLook.h"

#include "base/Failure.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFont>
#include <QFontMetrics>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include <algorithm>
#include <array>
#include <string>

namespace {

constexpr int IconSize = 32;
constexpr int IconLeft = 16;
constexpr int IconTop = 16;
constexpr int LabelTop = 8;
constexpr int LabelLeftWithoutIcon = 20;
constexpr int MinWidth = 280;
constexpr int MinHeight = 120;
constexpr int ButtonWidth = 75;
constexpr int ButtonHeight = 25;
constexpr int ButtonPitch = 85;        // width plus a 10-pixel gap
constexpr int ButtonBottomSpace = 55;  // from the button's top to the window's bottom
constexpr std::uint8_t LastKind = mkMessage;

struct ButtonDef {
    std::uint8_t bit;
    const char* caption;  // UTF-8
    int result;
};

// The order in which buttons appear, whatever the order of the bits.
constexpr std::array<ButtonDef, 6> ButtonTable = {{
    {mbClose, "Schließen", mrCancel},
    {mbYes, "Ja", mrYes},
    {mbNo, "Nein", mrNo},
    {mbOk, "Ok", mrOk},
    {mbIgnore, "Ignorieren", mrIgnore},
    {mbAbort, "Abbruch", mrAbort},
}};

constexpr std::uint8_t KnownButtons = mbClose | mbYes | mbNo | mbOk | mbIgnore | mbAbort;

// Icons by kind; kind 4 has none.
const std::array<const char*, 4> IconFiles = {
    "pictures/MsgWarning",
    "pictures/MsgError",
    "pictures/MsgInformation",
    "pictures/MsgConfirmation",
};

}  // namespace

int TMsgBox::TextWidth(const QString& text, const QFont& font) {
    const QFontMetrics metrics(font);
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n'))) widest = std::max(widest, metrics.horizontalAdvance(line));
    return widest;
}

namespace {

void CheckCall(std::uint8_t kind, std::uint8_t buttons) {
    // The box is closed only by one of its buttons and gives the focus to the
    // first; without any it could never be closed.
    if ((buttons & KnownButtons) == 0)
        throw EFailure("Message box called without any button (button set 0x" +
                       QByteArray::number(buttons, 16).toUpper().toStdString() + ")");
    if (kind > LastKind)
        throw EFailure("Message box called with unknown message kind " + std::to_string(kind));
}

}  // namespace

TMsgBox::TMsgBox(QWidget* parent) : QDialog(parent) {
    // A tool window without frame buttons: only its own buttons close it.
    // Its caption is its own, as window managers put a close button on
    // every title bar they draw.
    setWindowFlags(Qt::Dialog | Qt::Tool | Qt::CustomizeWindowHint);
    client_ = TOwnCaption::Install(*this);
    setWindowTitle(QStringLiteral("MsgBox"));
    setModal(true);
    resize(295, 123);

    img_ = new QLabel(client_);
    img_->setObjectName(QStringLiteral("Img"));
    img_->setGeometry(IconLeft, IconTop, IconSize, IconSize);

    infoLabel_ = new QLabel(client_);
    infoLabel_->setObjectName(QStringLiteral("InfoLabel"));
    infoLabel_->setTextFormat(Qt::PlainText);
    infoLabel_->setWordWrap(false);
    QFont font(QStringLiteral("Verdana"));
    font.setPixelSize(11);
    infoLabel_->setFont(font);
    infoLabel_->move(72, LabelTop);
}

QString TMsgBox::DefaultCaption(std::uint8_t kind) {
    switch (kind) {
    case mkWarning: return QStringLiteral("Warning");
    case mkError: return QStringLiteral("Error");
    case mkInformation: return QStringLiteral("Information");
    case mkConfirmation: return QStringLiteral("Confirmation");
    case mkMessage: return QStringLiteral("Message");
    default: return QString();
    }
}

void TMsgBox::Prepare(const QString& text, std::uint8_t kind, const QString& caption, std::uint8_t buttons) {
    CheckCall(kind, buttons);

    const bool hasIcon = kind < mkMessage;
    img_->setVisible(hasIcon);
    const int labelLeft = hasIcon ? img_->x() + img_->width() + 20 : LabelLeftWithoutIcon;

    // Clear the picture to the window's background, then draw this call's icon.
    QPixmap picture(IconSize, IconSize);
    picture.fill(palette().color(QPalette::Window));
    if (hasIcon) {
        QPainter painter(&picture);
        painter.drawPixmap(0, 0, QPixmap(PicturePath(IconFiles[kind])).scaled(IconSize, IconSize));
    }
    img_->setPixmap(picture);

    setWindowTitle(caption.isEmpty() ? DefaultCaption(kind) : caption);

    infoLabel_->setText(text);
    // The label is exactly as wide as the font says the text is: the
    // label's own size hint rounds a fractional width up, which would tip a
    // box whose text just fits the minimum width over it by a pixel.
    infoLabel_->setGeometry(labelLeft, LabelTop, TextWidth(text, infoLabel_->font()),
                            infoLabel_->sizeHint().height());

    const int width = std::max(MinWidth, labelLeft + infoLabel_->width() + 20);
    const int height = std::max(MinHeight, infoLabel_->height() + 75);
    setFixedSize(width, height);

    FreeButtons();
    for (const ButtonDef& def : ButtonTable)
        if (buttons & def.bit) AddButton(QString::fromUtf8(def.caption), def.result);

    CentreOnOwner();
}

void TMsgBox::AddButton(const QString& caption, int result) {
    auto* button = new QPushButton(caption, client_);
    buttons_.push_back(button);
    button->setObjectName(QStringLiteral("But%1").arg(buttons_.size()));
    button->setGeometry(0, height() - ButtonBottomSpace, ButtonWidth, ButtonHeight);
    connect(button, &QPushButton::clicked, this, [this, result] { done(result); });
    button->show();

    const int n = static_cast<int>(buttons_.size());
    const int total = ButtonWidth * n + 10 * (n - 1);
    for (int i = 0; i < n; ++i)
        buttons_[static_cast<std::size_t>(i)]->move(width() / 2 - total / 2 + ButtonPitch * i, height() - ButtonBottomSpace);
}

int TMsgBox::Run() {
    const int result = exec();
    FreeButtons();
    return result;
}

int TMsgBox::ShowMsg(const QString& text, std::uint8_t kind, const QString& caption, std::uint8_t buttons,
                     bool beep) {
    Prepare(text, kind, caption, buttons);
    if (beep) ErrorBeep();
    return Run();
}

void TMsgBox::FreeButtons() {
    for (QPushButton* button : buttons_) delete button;
    buttons_.clear();
}

void TMsgBox::CentreOnOwner() {
    // The box belongs to the application, not to a window; it is centred on
    // the main window all the same.
    QWidget* owner = centreOn_;
    if (!owner && parentWidget()) owner = parentWidget()->window();
    if (!owner) owner = QApplication::activeWindow();
    if (owner == this) owner = nullptr;
    if (owner)
        CentreOn(*this, owner);
    else if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
}

void TMsgBox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (auto* first = findChild<QPushButton*>(QStringLiteral("But1"))) first->setFocus();
}

void TMsgBox::closeEvent(QCloseEvent* event) {
    // Closing from the frame or a system key would leave no result.
    if (isVisible())
        event->ignore();
    else
        QDialog::closeEvent(event);
}

void TMsgBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TMsgBox::reject() {
    // Escape and the window manager's close do nothing; a button decides.
}
