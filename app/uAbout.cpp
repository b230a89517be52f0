#include "uAbout.h"

#include "MainPictures.h"
#include "WindowLook.h"

#include <QApplication>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <qdrawutil.h>

namespace {

constexpr int ClientWidth = 287;
constexpr int ClientHeight = 143;
constexpr int FooterHeight = 37;
constexpr int PanelHeight = ClientHeight - FooterHeight;
constexpr int Bevel = 1;  // each of the two bevels
constexpr int BannerHeight = 64;
const QColor PanelColor(255, 255, 166);

// The pale yellow panel: a lowered outer and a raised inner bevel.
class AboutPanel : public QFrame {
public:
    explicit AboutPanel(QWidget* parent) : QFrame(parent) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), PanelColor);
        const QPalette pal = palette();
        qDrawShadePanel(&painter, rect(), pal, true, Bevel);
        qDrawShadePanel(&painter, rect().adjusted(Bevel, Bevel, -Bevel, -Bevel), pal, false, Bevel);
    }
};

}  // namespace

TAbout::TAbout(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("About"));
    setWindowFlags(Qt::Dialog | Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("INFO"));
    setFixedSize(ClientWidth, ClientHeight);

    auto* panel = new AboutPanel(this);
    panel->setObjectName(QStringLiteral("Panel"));
    panel->setGeometry(0, 0, ClientWidth, PanelHeight);

    const int inner = 2 * Bevel;
    auto* banner = new QLabel(panel);
    banner->setObjectName(QStringLiteral("ImgBanner"));
    banner->setGeometry(inner, inner, ClientWidth - 2 * inner, BannerHeight);
    banner->setPixmap(QPixmap(PicturePath("pictures/AboutBanner"))
                          .scaled(banner->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));

    labApp_ = new QLabel(panel);
    labApp_->setObjectName(QStringLiteral("LabApp"));
    labApp_->setGeometry((ClientWidth - 273) / 2, inner + BannerHeight + 3, 273, 29);
    labApp_->setAlignment(Qt::AlignCenter);
    labApp_->setWordWrap(true);
    labApp_->setAutoFillBackground(false);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(16);
    font.setBold(true);
    labApp_->setFont(font);
    QPalette labelPalette = labApp_->palette();
    labelPalette.setColor(QPalette::WindowText, Qt::black);
    labApp_->setPalette(labelPalette);

    butClose_ = new QPushButton(QStringLiteral("CLOSE"), this);
    butClose_->setObjectName(QStringLiteral("ButClose"));
    butClose_->setGeometry(ClientWidth - 74 - 8, PanelHeight + (FooterHeight - 23) / 2, 74, 23);
    connect(butClose_, &QPushButton::clicked, this, &QDialog::accept);
}

QString TAbout::AppTitle() const {
    return appTitle_.isEmpty() ? QApplication::applicationDisplayName() : appTitle_;
}

void TAbout::FormShow() {
    labApp_->setText(AppTitle());
    CentreOn(*this, parentWidget() ? parentWidget()->window() : nullptr);
}

void TAbout::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}
