#include "mainwindow_form.h"

#include <QAction>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSpacerItem>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

void MainWindowForm::setupUi(QMainWindow *MainWindow)
{
    if (MainWindow->objectName().isEmpty())
        MainWindow->setObjectName(QString::fromUtf8("MainWindow"));
    MainWindow->resize(668, 396);

    actionOuvrir = new QAction(MainWindow);
    actionOuvrir->setObjectName(QString::fromUtf8("actionOuvrir"));
    QIcon icon;
    icon.addFile(QString::fromUtf8(":/folder-open.png"), QSize(), QIcon::Normal, QIcon::Off);
    actionOuvrir->setIcon(icon);
    actionQuitter = new QAction(MainWindow);
    actionQuitter->setObjectName(QString::fromUtf8("actionQuitter"));
    actionA_propos = new QAction(MainWindow);
    actionA_propos->setObjectName(QString::fromUtf8("actionA_propos"));
    QIcon icon1;
    icon1.addFile(QString::fromUtf8(":/information.png"), QSize(), QIcon::Normal, QIcon::Off);
    actionA_propos->setIcon(icon1);

    centralWidget = new QWidget(MainWindow);
    centralWidget->setObjectName(QString::fromUtf8("centralWidget"));
    horizontalLayout_3 = new QHBoxLayout(centralWidget);
    horizontalLayout_3->setSpacing(6);
    horizontalLayout_3->setContentsMargins(11, 11, 11, 11);
    horizontalLayout_3->setObjectName(QString::fromUtf8("horizontalLayout_3"));
    verticalLayout = new QVBoxLayout();
    verticalLayout->setSpacing(6);
    verticalLayout->setObjectName(QString::fromUtf8("verticalLayout"));

    // Destination folder row.
    horizontalLayout_2 = new QHBoxLayout();
    horizontalLayout_2->setSpacing(6);
    horizontalLayout_2->setObjectName(QString::fromUtf8("horizontalLayout_2"));
    label_3 = new QLabel(centralWidget);
    label_3->setObjectName(QString::fromUtf8("label_3"));
    label_3->setMinimumSize(QSize(95, 0));
    horizontalLayout_2->addWidget(label_3);
    dstPath = new QLineEdit(centralWidget);
    dstPath->setObjectName(QString::fromUtf8("dstPath"));
    dstPath->setReadOnly(true);
    horizontalLayout_2->addWidget(dstPath);
    btParcourir = new QPushButton(centralWidget);
    btParcourir->setObjectName(QString::fromUtf8("btParcourir"));
    horizontalLayout_2->addWidget(btParcourir);
    verticalLayout->addLayout(horizontalLayout_2);

    // The two previews side by side; the source preview is the drop zone.
    horizontalLayout = new QHBoxLayout();
    horizontalLayout->setSpacing(6);
    horizontalLayout->setObjectName(QString::fromUtf8("horizontalLayout"));
    imageSrc = new QLabel(centralWidget);
    imageSrc->setObjectName(QString::fromUtf8("imageSrc"));
    imageSrc->setMinimumSize(QSize(320, 240));
    QFont font;
    font.setPointSize(10);
    font.setBold(true);
    font.setItalic(true);
    font.setWeight(QFont::Bold);
    imageSrc->setFont(font);
    imageSrc->setContextMenuPolicy(Qt::NoContextMenu);
    imageSrc->setAcceptDrops(true);
    imageSrc->setLayoutDirection(Qt::LeftToRight);
    imageSrc->setAutoFillBackground(false);
    imageSrc->setStyleSheet(QString::fromUtf8("background-color:#808080; color:white;"));
    imageSrc->setTextFormat(Qt::AutoText);
    imageSrc->setAlignment(Qt::AlignCenter);
    horizontalLayout->addWidget(imageSrc);
    imageDst = new QLabel(centralWidget);
    imageDst->setObjectName(QString::fromUtf8("imageDst"));
    imageDst->setMinimumSize(QSize(320, 240));
    imageDst->setFont(font);
    imageDst->setLayoutDirection(Qt::LeftToRight);
    imageDst->setAutoFillBackground(false);
    imageDst->setStyleSheet(QString::fromUtf8("background-color:#808080; color:#FFFFFF;"));
    imageDst->setAlignment(Qt::AlignCenter);
    horizontalLayout->addWidget(imageDst);
    verticalLayout->addLayout(horizontalLayout);

    // Button row: the spacer keeps one button at each end.
    horizontalLayout_4 = new QHBoxLayout();
    horizontalLayout_4->setSpacing(6);
    horizontalLayout_4->setObjectName(QString::fromUtf8("horizontalLayout_4"));
    btOpenDestFolder = new QPushButton(centralWidget);
    btOpenDestFolder->setObjectName(QString::fromUtf8("btOpenDestFolder"));
    horizontalLayout_4->addWidget(btOpenDestFolder);
    horizontalSpacer = new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum);
    horizontalLayout_4->addItem(horizontalSpacer);
    btConvertir = new QPushButton(centralWidget);
    btConvertir->setObjectName(QString::fromUtf8("btConvertir"));
    horizontalLayout_4->addWidget(btConvertir);
    verticalLayout->addLayout(horizontalLayout_4);
    verticalLayout->setStretch(1, 1);

    horizontalLayout_3->addLayout(verticalLayout);
    MainWindow->setCentralWidget(centralWidget);

    menuBar = new QMenuBar(MainWindow);
    menuBar->setObjectName(QString::fromUtf8("menuBar"));
    menuBar->setGeometry(QRect(0, 0, 668, 20));
    menuFichier = new QMenu(menuBar);
    menuFichier->setObjectName(QString::fromUtf8("menuFichier"));
    menu = new QMenu(menuBar);
    menu->setObjectName(QString::fromUtf8("menu"));
    MainWindow->setMenuBar(menuBar);

    mainToolBar = new QToolBar(MainWindow);
    mainToolBar->setObjectName(QString::fromUtf8("mainToolBar"));
    mainToolBar->setContextMenuPolicy(Qt::NoContextMenu);
    mainToolBar->setMovable(false);
    mainToolBar->setIconSize(QSize(18, 18));
    mainToolBar->setFloatable(false);
    MainWindow->addToolBar(Qt::TopToolBarArea, mainToolBar);

    statusBar = new QStatusBar(MainWindow);
    statusBar->setObjectName(QString::fromUtf8("statusBar"));
    MainWindow->setStatusBar(statusBar);

    menuBar->addAction(menuFichier->menuAction());
    menuBar->addAction(menu->menuAction());
    menuFichier->addAction(actionOuvrir);
    menuFichier->addAction(actionQuitter);
    menu->addAction(actionA_propos);
    mainToolBar->addAction(actionOuvrir);
    mainToolBar->addSeparator();
    mainToolBar->addAction(actionA_propos);

    retranslateUi(MainWindow);

    QMetaObject::connectSlotsByName(MainWindow);
}

void MainWindowForm::retranslateUi(QMainWindow *MainWindow)
{
    MainWindow->setWindowTitle(QCoreApplication::translate("MainWindow", "Quillon", nullptr));
    actionOuvrir->setText(QCoreApplication::translate("MainWindow", "Ouvrir", nullptr));
    actionQuitter->setText(QCoreApplication::translate("MainWindow", "Quitter", nullptr));
    actionA_propos->setText(QCoreApplication::translate("MainWindow", "A propos...", nullptr));
    label_3->setText(QCoreApplication::translate("MainWindow", "Dossier destination :", nullptr));
    btParcourir->setText(QCoreApplication::translate("MainWindow", "Parcourir...", nullptr));
    imageSrc->setText(QCoreApplication::translate("MainWindow", "Image source", nullptr));
    imageDst->setText(QCoreApplication::translate("MainWindow", "Image convertie en 16 bits", nullptr));
#ifndef QT_NO_TOOLTIP
    btOpenDestFolder->setToolTip(QCoreApplication::translate(
        "MainWindow", "Ouvre le dossier de destination dans l'explorateur", nullptr));
#endif
    btOpenDestFolder->setText(
        QCoreApplication::translate("MainWindow", "Ouvrir le dossier de destination", nullptr));
    btConvertir->setText(QCoreApplication::translate("MainWindow", "Convertir", nullptr));
    menuFichier->setTitle(QCoreApplication::translate("MainWindow", "Fichier", nullptr));
    menu->setTitle(QCoreApplication::translate("MainWindow", "?", nullptr));
}
