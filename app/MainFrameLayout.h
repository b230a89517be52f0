#pragma once
// The main window's controls: menu, tool bar with the port selector, status
// bar, the "Simulator-Info" group and the page control around the editor.
// Sizes and places are fixed pixels, as the window is not resizable. The
// builder places and names the controls; the window connects them.

#include <QSize>

class EditorPanel;
class InfoGroup;
class QAction;
class QFrame;
class QLabel;
class QMainWindow;
class QTabWidget;
class QToolButton;
class TPortComboBox;

// Named as their object names.
struct MainFrameControls {
    QAction* MnuOpenCfg = nullptr;  // the menu item and its tool button
    QAction* MnuSaveCfg = nullptr;
    QAction* MnuExit = nullptr;
    QAction* MnuReload = nullptr;
    QAction* MnuForceUpdate = nullptr;
    QAction* MnuAbout = nullptr;
    QToolButton* ButPort = nullptr;
    TPortComboBox* cbPorts = nullptr;
    QLabel* sBarPanel0 = nullptr;
    QLabel* sBarPanel1 = nullptr;
    InfoGroup* GrpInfo = nullptr;
    QFrame* MainPanel = nullptr;
    QTabWidget* PageControl = nullptr;
    EditorPanel* Editor = nullptr;
};

// Builds the controls into window, whose client area below the menu bar is
// client in size.
MainFrameControls BuildMainFrame(QMainWindow& window, QSize client);
