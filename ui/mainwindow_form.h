#pragma once

class QAction;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QMainWindow;
class QMenu;
class QMenuBar;
class QPushButton;
class QSpacerItem;
class QStatusBar;
class QToolBar;
class QVBoxLayout;
class QWidget;

// Builds the main window's widgets, layouts, actions, menus, toolbar and status bar, gives them
// their captions and connects the window's on_<object>_<signal> slots to them by name.
//
// A plain record of non-owning pointers, each named after the object name of what it points to:
// every object belongs to the window through Qt's parent-child tree and dies with it.
class MainWindowForm
{
public:
    QAction *actionOuvrir;
    QAction *actionQuitter;
    QAction *actionA_propos;
    QWidget *centralWidget;
    QHBoxLayout *horizontalLayout_3;
    QVBoxLayout *verticalLayout;
    QHBoxLayout *horizontalLayout_2;
    QLabel *label_3;
    QLineEdit *dstPath;
    QPushButton *btParcourir;
    QHBoxLayout *horizontalLayout;
    QLabel *imageSrc;
    QLabel *imageDst;
    QHBoxLayout *horizontalLayout_4;
    QPushButton *btOpenDestFolder;
    QSpacerItem *horizontalSpacer;
    QPushButton *btConvertir;
    QMenuBar *menuBar;
    QMenu *menuFichier;
    QMenu *menu;
    QToolBar *mainToolBar;
    QStatusBar *statusBar;

    void setupUi(QMainWindow *MainWindow);
    void retranslateUi(QMainWindow *MainWindow);
};
