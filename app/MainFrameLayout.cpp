#include "MainFrameLayout.h"

#include "EditorPanel.h"
#include "InfoGroup.h"
#include "MainPictures.h"
#include "PortComboBox.h"
#include "WindowLook.h"

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>

namespace {

constexpr int ToolBarHeight = 30;
constexpr int StatusBarHeight = 22;

void BuildMenuAndToolBar(QMainWindow& window, MainFrameControls& c) {
    auto action = [&window](const char* name, const QString& text, int picture, const QString& hint) {
        auto* a = new QAction(MainPicture(picture), text, &window);
        a->setObjectName(QLatin1String(name));
        if (!hint.isEmpty()) a->setToolTip(hint);
        return a;
    };
    c.MnuOpenCfg = action("MnuOpenCfg", QStringLiteral("Open configuration..."), 3, QStringLiteral("Open configuration"));
    c.MnuSaveCfg = action("MnuSaveCfg", QStringLiteral("Save configuration..."), 4, QStringLiteral("Save configuration"));
    c.MnuExit = action("MnuExit", QStringLiteral("Exit"), 0, QStringLiteral("Exit"));
    c.MnuExit->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
    c.MnuReload = action("MnuReload", QStringLiteral("Reload data"), 1, QString());
    c.MnuForceUpdate = action("MnuForceUpdate", QStringLiteral("Force bios update"), 6, QString());
    c.MnuAbout = action("MnuAbout", QStringLiteral("Info..."), 7, QString());

    QMenuBar* menu = window.menuBar();
    menu->setObjectName(QStringLiteral("MainMenu"));
    QMenu* file = menu->addMenu(QStringLiteral("File"));
    file->addAction(c.MnuOpenCfg);
    file->addAction(c.MnuSaveCfg);
    file->addSeparator();
    file->addAction(c.MnuExit);
    QMenu* optionsMenu = menu->addMenu(QStringLiteral("Options"));
    optionsMenu->addAction(c.MnuReload);
    optionsMenu->addAction(c.MnuForceUpdate);
    QMenu* help = menu->addMenu(QStringLiteral("Help"));
    help->addAction(c.MnuAbout);

    auto* bar = new QToolBar(&window);
    bar->setObjectName(QStringLiteral("ToolBar1"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setFixedHeight(ToolBarHeight);
    bar->setIconSize(QSize(16, 16));
    bar->toggleViewAction()->setEnabled(false);
    bar->setContextMenuPolicy(Qt::PreventContextMenu);
    window.addToolBar(Qt::TopToolBarArea, bar);

    bar->addAction(c.MnuExit);
    bar->widgetForAction(c.MnuExit)->setObjectName(QStringLiteral("ButExit"));
    bar->addSeparator();  // the divider
    bar->addAction(c.MnuOpenCfg);
    bar->widgetForAction(c.MnuOpenCfg)->setObjectName(QStringLiteral("ButOpenCfg"));
    bar->addAction(c.MnuSaveCfg);
    bar->widgetForAction(c.MnuSaveCfg)->setObjectName(QStringLiteral("ButSaveCfg"));
    auto* gap = new QWidget(bar);  // the separator: space without a line
    gap->setFixedWidth(8);
    bar->addWidget(gap);

    c.ButPort = new QToolButton(bar);
    c.ButPort->setObjectName(QStringLiteral("ButPort"));
    c.ButPort->setIcon(MainPicture(PicturePortClosed));
    c.ButPort->setToolTip(QStringLiteral("Reload data"));
    c.ButPort->setAutoRaise(true);
    bar->addWidget(c.ButPort);

    auto* spacer = new QWidget(bar);
    spacer->setFixedWidth(4);
    bar->addWidget(spacer);

    c.cbPorts = new TPortComboBox(bar);
    c.cbPorts->setObjectName(QStringLiteral("cbPorts"));
    c.cbPorts->setFixedWidth(81);
    c.cbPorts->setFont(TahomaFont(true));
    SetTextColour(c.cbPorts, Maroon);
    // A port the system does not list (a device server's address, a path)
    // can be typed; only Enter makes typing count (TPortComboBox).
    c.cbPorts->setEditable(true);
    c.cbPorts->setInsertPolicy(QComboBox::NoInsert);
    bar->addWidget(c.cbPorts);
}

void BuildStatusBar(QMainWindow& window, MainFrameControls& c) {
    QStatusBar* bar = window.statusBar();
    bar->setObjectName(QStringLiteral("sBar"));
    bar->setSizeGripEnabled(false);
    bar->setFixedHeight(StatusBarHeight);
    bar->setFont(TahomaFont(true));
    SetTextColour(bar, Qt::black);
    c.sBarPanel0 = new QLabel(bar);
    c.sBarPanel0->setObjectName(QStringLiteral("sBarPanel0"));
    c.sBarPanel0->setFixedWidth(400);
    c.sBarPanel0->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    c.sBarPanel1 = new QLabel(bar);
    c.sBarPanel1->setObjectName(QStringLiteral("sBarPanel1"));
    c.sBarPanel1->setFixedWidth(50);
    c.sBarPanel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    bar->addWidget(c.sBarPanel0);
    bar->addWidget(c.sBarPanel1);
}

void BuildMainPanel(QWidget* parent, MainFrameControls& c) {
    c.MainPanel = new QFrame(parent);
    c.MainPanel->setObjectName(QStringLiteral("MainPanel"));
    c.MainPanel->setFrameShape(QFrame::Panel);
    c.MainPanel->setFrameShadow(QFrame::Sunken);
    c.MainPanel->setGeometry(143, 4, 489, 292);
    c.MainPanel->hide();

    c.PageControl = new QTabWidget(c.MainPanel);
    c.PageControl->setObjectName(QStringLiteral("PageControl"));
    c.PageControl->setGeometry(3, 3, 483, 286);
    c.Editor = new EditorPanel;
    c.PageControl->addTab(c.Editor, QStringLiteral("Troublecodes"));
}

}  // namespace

MainFrameControls BuildMainFrame(QMainWindow& window, QSize client) {
    MainFrameControls c;
    window.setFont(TahomaFont(false));
    window.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    BuildMenuAndToolBar(window, c);

    auto* area = new QWidget(&window);
    area->setObjectName(QStringLiteral("Client"));
    window.setCentralWidget(area);
    c.GrpInfo = new InfoGroup(area);
    BuildMainPanel(area, c);
    BuildStatusBar(window, c);

    // The client area is fixed; the menu bar sits above it.
    window.setFixedSize(client.width(), window.menuBar()->sizeHint().height() + client.height());
    return c;
}
