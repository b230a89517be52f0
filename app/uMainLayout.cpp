// The main window's controls: frame, menu, tool bar, status bar, the
// "Simulator-Info" group and the page control around the editor. Sizes and places are fixed
// pixels, as the window is not resizable.

#include "uMain.h"

#include "EditorPanel.h"
#include "FixedLayout.h"
#include "MainPictures.h"
#include "PortComboBox.h"
#include "SevenSegmentDigit.h"
#include "WindowLook.h"

#include "link/BusProtocol.h"

#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>

namespace {

const QColor Lime(0x00, 0xFF, 0x00);
const QColor Grey(0x80, 0x80, 0x80);

constexpr int ToolBarHeight = 30;
constexpr int StatusBarHeight = 22;

QFrame* AddLine(QWidget* parent, int x, int y, int width) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(x, y, width, 2);
    return line;
}

}  // namespace

void TMain::BuildFrame() {
    setFont(TahomaFont(false));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    BuildMenuAndToolBar();

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("Client"));
    setCentralWidget(client);
    BuildInfoGroup(client);
    BuildMainPanel(client);

    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("sBar"));
    bar->setSizeGripEnabled(false);
    bar->setFixedHeight(StatusBarHeight);
    bar->setFont(TahomaFont(true));
    SetTextColour(bar, Qt::black);
    sBarPanel0 = new QLabel(bar);
    sBarPanel0->setObjectName(QStringLiteral("sBarPanel0"));
    sBarPanel0->setFixedWidth(400);
    sBarPanel0->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    sBarPanel1 = new QLabel(bar);
    sBarPanel1->setObjectName(QStringLiteral("sBarPanel1"));
    sBarPanel1->setFixedWidth(50);
    sBarPanel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    bar->addWidget(sBarPanel0);
    bar->addWidget(sBarPanel1);

    // The client area is fixed; the menu bar sits above it, as on the
    // platform the window was first drawn for.
    setFixedSize(ClientWidth, menuBar()->sizeHint().height() + ClientHeight);
}

void TMain::BuildMenuAndToolBar() {
    auto action = [this](const char* name, const QString& text, int picture, const QString& hint) {
        auto* a = new QAction(MainPicture(picture), text, this);
        a->setObjectName(QLatin1String(name));
        if (!hint.isEmpty()) a->setToolTip(hint);
        return a;
    };
    MnuOpenCfg = action("MnuOpenCfg", QStringLiteral("Open configuration..."), 3, QStringLiteral("Open configuration"));
    MnuSaveCfg = action("MnuSaveCfg", QStringLiteral("Save configuration..."), 4, QStringLiteral("Save configuration"));
    MnuExit = action("MnuExit", QStringLiteral("Exit"), 0, QStringLiteral("Exit"));
    MnuExit->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
    MnuReload = action("MnuReload", QStringLiteral("Reload data"), 1, QString());
    MnuForceUpdate = action("MnuForceUpdate", QStringLiteral("Force bios update"), 6, QString());
    MnuAbout = action("MnuAbout", QStringLiteral("Info..."), 7, QString());

    connect(MnuOpenCfg, &QAction::triggered, this, [this] { MnuOpenCfgClick(); });
    connect(MnuSaveCfg, &QAction::triggered, this, [this] { MnuSaveCfgAsClick(); });
    connect(MnuExit, &QAction::triggered, this, [this] { MnuExitClick(); });
    connect(MnuReload, &QAction::triggered, this, [this] { RestartPortClick(); });
    connect(MnuForceUpdate, &QAction::triggered, this, [this] { ForceUpdateClick(); });
    connect(MnuAbout, &QAction::triggered, this, [this] { MnuAboutClick(); });

    QMenuBar* menu = menuBar();
    menu->setObjectName(QStringLiteral("MainMenu"));
    QMenu* file = menu->addMenu(QStringLiteral("File"));
    file->addAction(MnuOpenCfg);
    file->addAction(MnuSaveCfg);
    file->addSeparator();
    file->addAction(MnuExit);
    QMenu* optionsMenu = menu->addMenu(QStringLiteral("Options"));
    optionsMenu->addAction(MnuReload);
    optionsMenu->addAction(MnuForceUpdate);
    QMenu* help = menu->addMenu(QStringLiteral("Help"));
    help->addAction(MnuAbout);

    auto* bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("ToolBar1"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setFixedHeight(ToolBarHeight);
    bar->setIconSize(QSize(16, 16));
    bar->toggleViewAction()->setEnabled(false);
    bar->setContextMenuPolicy(Qt::PreventContextMenu);
    addToolBar(Qt::TopToolBarArea, bar);

    bar->addAction(MnuExit);
    bar->widgetForAction(MnuExit)->setObjectName(QStringLiteral("ButExit"));
    bar->addSeparator();  // the divider
    bar->addAction(MnuOpenCfg);
    bar->widgetForAction(MnuOpenCfg)->setObjectName(QStringLiteral("ButOpenCfg"));
    bar->addAction(MnuSaveCfg);
    bar->widgetForAction(MnuSaveCfg)->setObjectName(QStringLiteral("ButSaveCfg"));
    auto* gap = new QWidget(bar);  // the separator: space without a line
    gap->setFixedWidth(8);
    bar->addWidget(gap);

    ButPort = new QToolButton(bar);
    ButPort->setObjectName(QStringLiteral("ButPort"));
    ButPort->setIcon(MainPicture(PicturePortClosed));
    ButPort->setToolTip(QStringLiteral("Reload data"));
    ButPort->setAutoRaise(true);
    connect(ButPort, &QToolButton::clicked, this, [this] { RestartPortClick(); });
    bar->addWidget(ButPort);

    auto* spacer = new QWidget(bar);
    spacer->setFixedWidth(4);
    bar->addWidget(spacer);

    cbPorts = new TPortComboBox(bar);
    cbPorts->setObjectName(QStringLiteral("cbPorts"));
    cbPorts->setFixedWidth(81);
    cbPorts->setFont(TahomaFont(true));
    SetTextColour(cbPorts, Maroon);
    cbPorts->OnDropDown = [this] { cbPortsDropDown(); };
    connect(cbPorts, &QComboBox::activated, this, [this](int) { cbPortsChange(); });
    // A port the system does not list (a device server's address, a path)
    // can be typed; Enter searches there, and nothing else makes typing
    // count (TPortComboBox). A typed name that is in the list is picked by
    // the box itself, which reports it as activated above.
    cbPorts->setEditable(true);
    cbPorts->setInsertPolicy(QComboBox::NoInsert);
    connect(cbPorts->lineEdit(), &QLineEdit::returnPressed, this, [this] { cbPortsTyped(); });
    // 81 pixels cut longer names ("/dev/ttyUSB10"): the whole name on hover.
    connect(cbPorts, &QComboBox::currentTextChanged, cbPorts, &QWidget::setToolTip);
    bar->addWidget(cbPorts);
}

void TMain::BuildInfoGroup(QWidget* parent) {
    GrpInfo = new QGroupBox(QStringLiteral("Simulator-Info"), parent);
    GrpInfo->setObjectName(QStringLiteral("GrpInfo"));
    GrpInfo->setFont(TahomaFont(true));
    GrpInfo->setGeometry(3, 1, 138, 297);
    QWidget* g = GrpInfo;

    AddLabel(g, QStringLiteral("Serial:"), 8, 20);
    LabSerial = AddLabel(g, QStringLiteral("---"), 8, 35, Maroon, "LabSerial");
    LabSerial->setFixedWidth(124);
    AddLabel(g, QStringLiteral("Bios version:"), 8, 56);
    LabSimVersion = AddLabel(g, QStringLiteral("---"), 8, 71, Maroon, "LabSimVersion");
    LabSimVersion->setFixedWidth(124);
    AddLine(g, 6, 94, 126);

    QStringList protocols;
    for (const char* name : ProtocolNames) protocols << QLatin1String(name);
    AddLabel(g, QStringLiteral("Protocol:"), 8, 104);
    cbActProto = AddCombo(g, QStringLiteral("cbActProto"), 8, 120, 122, protocols);
    connect(cbActProto, &QComboBox::activated, this, [this](int) { SetProto(); });

    AddLabel(g, QStringLiteral("ECU count:"), 8, 152);
    cbEcuCount = AddCombo(g, QStringLiteral("cbEcuCount"), 8, 168, 50, {QStringLiteral("1"), QStringLiteral("2")});
    connect(cbEcuCount, &QComboBox::activated, this, [this](int) { SetProto(); });

    Seg7 = new SevenSegmentDigit(g);
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

    AddLine(g, 6, 200, 126);
    AddLabel(g, QStringLiteral("Mil"), 8, 210);
    AddLabel(g, QStringLiteral("Errors"), 80, 210);

    auto milPicture = [g](const char* name, const QString& resource) {
        auto* image = new QLabel(g);
        image->setObjectName(QLatin1String(name));
        image->setGeometry(8, 228, 50, 34);
        image->setPixmap(QIcon(resource).pixmap(50, 34));
        image->setScaledContents(true);
        image->hide();
        return image;
    };
    ImgMilOn = milPicture("ImgMilOn", MilOnPicture);
    ImgMilOff = milPicture("ImgMilOff", MilOffPicture);

    DtcLabel = new QLabel(g);
    DtcLabel->setObjectName(QStringLiteral("DtcLabel"));
    DtcLabel->setGeometry(80, 228, 41, 34);
    QFont courier;
    courier.setFamilies({QStringLiteral("Courier New"), QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Monospace")});
    courier.setPixelSize(29);
    courier.setBold(true);
    DtcLabel->setFont(courier);
    DtcLabel->setAlignment(Qt::AlignCenter);
}

void TMain::BuildMainPanel(QWidget* parent) {
    MainPanel = new QFrame(parent);
    MainPanel->setObjectName(QStringLiteral("MainPanel"));
    MainPanel->setFrameShape(QFrame::Panel);
    MainPanel->setFrameShadow(QFrame::Sunken);
    MainPanel->setGeometry(143, 4, 489, 292);
    MainPanel->hide();

    PageControl = new QTabWidget(MainPanel);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    PageControl->setGeometry(3, 3, 483, 286);
    editor_ = new EditorPanel;
    PageControl->addTab(editor_, QStringLiteral("Troublecodes"));
    connect(editor_, &EditorPanel::SendClicked, this, [this] { ButSendDtcClick(); });
}
