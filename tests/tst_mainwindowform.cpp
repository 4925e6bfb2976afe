#include "mainwindow_form.h"
#include "windowtestsupport.h"

#include <QAction>
#include <QBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpacerItem>
#include <QStatusBar>
#include <QToolBar>

// A window with the six slots the form connects by name, each counting its calls.
class SlotCounter : public QMainWindow
{
    Q_OBJECT

public:
    QMap<QString, int> calls;

private slots:
    void on_btConvertir_clicked() { ++calls["btConvertir"]; }
    void on_btParcourir_clicked() { ++calls["btParcourir"]; }
    void on_actionOuvrir_triggered() { ++calls["actionOuvrir"]; }
    void on_actionQuitter_triggered() { ++calls["actionQuitter"]; }
    void on_actionA_propos_triggered() { ++calls["actionA_propos"]; }
    void on_btOpenDestFolder_clicked() { ++calls["btOpenDestFolder"]; }
};

class TestMainWindowForm : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void namesTheWindowOnlyWhenUnnamed();
    void createsEveryObjectWithItsNameAndParent();
    void nestsTheLayouts();
    void setsTheProperties();
    void setsTheTexts();
    void fillsMenusAndToolbar();
    void connectsTheSlotsByName();
    void growsOnlyTheImageRow();

private:
    SlotCounter *m_window = nullptr;
    MainWindowForm m_form;
};

void TestMainWindowForm::init()
{
    m_window = new SlotCounter;
    m_form.setupUi(m_window);
}

void TestMainWindowForm::cleanup()
{
    delete m_window;
}

void TestMainWindowForm::namesTheWindowOnlyWhenUnnamed()
{
    QCOMPARE(m_window->objectName(), QString("MainWindow"));
    QMainWindow named;
    named.setObjectName("Other");
    MainWindowForm form;
    form.setupUi(&named);
    QCOMPARE(named.objectName(), QString("Other"));
}

void TestMainWindowForm::createsEveryObjectWithItsNameAndParent()
{
    QWidget *central = m_form.centralWidget;
    const struct
    {
        QObject *object;
        const char *className;
        const char *name;
        QObject *parent;
    } expected[] = {
        {m_form.actionOuvrir, "QAction", "actionOuvrir", m_window},
        {m_form.actionQuitter, "QAction", "actionQuitter", m_window},
        {m_form.actionA_propos, "QAction", "actionA_propos", m_window},
        {m_form.centralWidget, "QWidget", "centralWidget", m_window},
        {m_form.horizontalLayout_3, "QHBoxLayout", "horizontalLayout_3", central},
        {m_form.verticalLayout, "QVBoxLayout", "verticalLayout", m_form.horizontalLayout_3},
        {m_form.horizontalLayout_2, "QHBoxLayout", "horizontalLayout_2", m_form.verticalLayout},
        {m_form.label_3, "QLabel", "label_3", central},
        {m_form.dstPath, "QLineEdit", "dstPath", central},
        {m_form.btParcourir, "QPushButton", "btParcourir", central},
        {m_form.horizontalLayout, "QHBoxLayout", "horizontalLayout", m_form.verticalLayout},
        {m_form.imageSrc, "QLabel", "imageSrc", central},
        {m_form.imageDst, "QLabel", "imageDst", central},
        {m_form.horizontalLayout_4, "QHBoxLayout", "horizontalLayout_4", m_form.verticalLayout},
        {m_form.btOpenDestFolder, "QPushButton", "btOpenDestFolder", central},
        {m_form.btConvertir, "QPushButton", "btConvertir", central},
        {m_form.menuBar, "QMenuBar", "menuBar", m_window},
        {m_form.menuFichier, "QMenu", "menuFichier", m_form.menuBar},
        {m_form.menu, "QMenu", "menu", m_form.menuBar},
        {m_form.mainToolBar, "QToolBar", "mainToolBar", m_window},
        {m_form.statusBar, "QStatusBar", "statusBar", m_window},
    };
    for (const auto &item : expected) {
        QVERIFY2(item.object, item.name);
        QCOMPARE(item.object->metaObject()->className(), item.className);
        QCOMPARE(item.object->objectName(), QString(item.name));
        QVERIFY2(item.object->parent() == item.parent, item.name);
    }
    QVERIFY(m_form.horizontalSpacer);
    QCOMPARE(m_window->centralWidget(), central);
    QCOMPARE(m_window->menuBar(), m_form.menuBar);
    QCOMPARE(m_window->statusBar(), m_form.statusBar);
    QCOMPARE(m_window->toolBarArea(m_form.mainToolBar), Qt::TopToolBarArea);
    QCOMPARE(central->windowFlags() & Qt::WindowType_Mask, Qt::Widget);
}

void TestMainWindowForm::nestsTheLayouts()
{
    QCOMPARE(m_form.centralWidget->layout(), m_form.horizontalLayout_3);
    QCOMPARE(m_form.horizontalLayout_3->count(), 1);
    QCOMPARE(m_form.horizontalLayout_3->itemAt(0)->layout(), m_form.verticalLayout);

    QCOMPARE(m_form.verticalLayout->count(), 3);
    QCOMPARE(m_form.verticalLayout->itemAt(0)->layout(), m_form.horizontalLayout_2);
    QCOMPARE(m_form.verticalLayout->itemAt(1)->layout(), m_form.horizontalLayout);
    QCOMPARE(m_form.verticalLayout->itemAt(2)->layout(), m_form.horizontalLayout_4);
    QCOMPARE(m_form.verticalLayout->stretch(0), 0);
    QCOMPARE(m_form.verticalLayout->stretch(1), 1);
    QCOMPARE(m_form.verticalLayout->stretch(2), 0);

    const QList<QPair<QBoxLayout *, QList<QWidget *>>> rows = {
        {m_form.horizontalLayout_2, {m_form.label_3, m_form.dstPath, m_form.btParcourir}},
        {m_form.horizontalLayout, {m_form.imageSrc, m_form.imageDst}},
    };
    for (const auto &row : rows) {
        QCOMPARE(row.first->count(), row.second.size());
        for (int i = 0; i < row.second.size(); ++i) {
            QCOMPARE(row.first->itemAt(i)->widget(), row.second[i]);
            QCOMPARE(row.first->stretch(i), 0);
            QCOMPARE(row.first->itemAt(i)->alignment(), Qt::Alignment());
        }
    }
    QBoxLayout *buttons = m_form.horizontalLayout_4;
    QCOMPARE(buttons->count(), 3);
    QCOMPARE(buttons->itemAt(0)->widget(), m_form.btOpenDestFolder);
    QCOMPARE(buttons->itemAt(1)->spacerItem(), m_form.horizontalSpacer);
    QCOMPARE(buttons->itemAt(2)->widget(), m_form.btConvertir);

    QCOMPARE(m_form.horizontalSpacer->sizeHint(), QSize(40, 20));
    QCOMPARE(m_form.horizontalSpacer->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(m_form.horizontalSpacer->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);
    QCOMPARE(m_form.horizontalSpacer->sizePolicy().controlType(), QSizePolicy::DefaultType);

    const QList<QBoxLayout *> inner = {m_form.verticalLayout, m_form.horizontalLayout_2,
                                       m_form.horizontalLayout, m_form.horizontalLayout_4};
    for (QBoxLayout *layout : inner + QList<QBoxLayout *> {m_form.horizontalLayout_3})
        QCOMPARE(layout->spacing(), 6);
    QCOMPARE(m_form.horizontalLayout_3->contentsMargins(), QMargins(11, 11, 11, 11));
    const QMargins defaultMargins = QVBoxLayout().contentsMargins();
    for (QBoxLayout *layout : inner)
        QCOMPARE(layout->contentsMargins(), defaultMargins);
}

void TestMainWindowForm::setsTheProperties()
{
    QCOMPARE(m_window->size(), QSize(668, 396));
    QCOMPARE(m_form.label_3->minimumSize(), QSize(95, 0));
    QVERIFY(m_form.dstPath->isReadOnly());
    QCOMPARE(m_form.dstPath->text(), QString());

    for (QLabel *label : {m_form.imageSrc, m_form.imageDst}) {
        QCOMPARE(label->minimumSize(), QSize(320, 240));
        QCOMPARE(label->font().pointSize(), 10);
        QCOMPARE(label->font().weight(), int(QFont::Bold));
        QVERIFY(label->font().bold());
        QCOMPARE(label->font().style(), QFont::StyleItalic);
        QCOMPARE(label->layoutDirection(), Qt::LeftToRight);
        QVERIFY(!label->autoFillBackground());
        QCOMPARE(label->alignment(), Qt::AlignCenter);
        QVERIFY(!label->wordWrap());
    }
    QCOMPARE(m_form.imageSrc->contextMenuPolicy(), Qt::NoContextMenu);
    QVERIFY(m_form.imageSrc->acceptDrops());
    QCOMPARE(m_form.imageSrc->styleSheet(), QString("background-color:#808080; color:white;"));
    QCOMPARE(m_form.imageSrc->textFormat(), Qt::AutoText);
    QCOMPARE(m_form.imageDst->contextMenuPolicy(), Qt::DefaultContextMenu);
    QVERIFY(!m_form.imageDst->acceptDrops());
    QCOMPARE(m_form.imageDst->styleSheet(), QString("background-color:#808080; color:#FFFFFF;"));

    QCOMPARE(m_form.menuBar->geometry(), QRect(0, 0, 668, 20));
    QCOMPARE(m_form.mainToolBar->contextMenuPolicy(), Qt::NoContextMenu);
    QVERIFY(!m_form.mainToolBar->isMovable());
    QVERIFY(!m_form.mainToolBar->isFloatable());
    QCOMPARE(m_form.mainToolBar->iconSize(), QSize(18, 18));

    QVERIFY(!m_form.actionOuvrir->icon().isNull());
    QVERIFY(!m_form.actionA_propos->icon().isNull());
    QVERIFY(m_form.actionQuitter->icon().isNull());
    QVERIFY(m_window->windowIcon().cacheKey() == QApplication::windowIcon().cacheKey());

    // The form enables everything; the window disables "Convertir" afterwards.
    for (QWidget *widget : m_window->findChildren<QWidget *>())
        QVERIFY2(widget->isEnabled(), qPrintable(widget->objectName()));
    for (QAction *action : {m_form.actionOuvrir, m_form.actionQuitter, m_form.actionA_propos}) {
        QVERIFY(action->isEnabled());
        QVERIFY(action->shortcut().isEmpty());
        QVERIFY(action->statusTip().isEmpty());
    }
}

void TestMainWindowForm::setsTheTexts()
{
    QCOMPARE(m_window->windowTitle(), QString("Quillon"));
    QCOMPARE(m_form.actionOuvrir->text(), QString("Ouvrir"));
    QCOMPARE(m_form.actionQuitter->text(), QString("Quitter"));
    QCOMPARE(m_form.actionA_propos->text(), QString("A propos..."));
    QCOMPARE(m_form.label_3->text(), QString("Dossier destination :"));
    QCOMPARE(m_form.btParcourir->text(), QString("Parcourir..."));
    QCOMPARE(m_form.imageSrc->text(), QString("Image source"));
    QCOMPARE(m_form.imageDst->text(), QString("Image convertie en 16 bits"));
    QCOMPARE(m_form.btOpenDestFolder->toolTip(),
             QString("Ouvre le dossier de destination dans l'explorateur"));
    QCOMPARE(m_form.btOpenDestFolder->text(), QString("Ouvrir le dossier de destination"));
    QCOMPARE(m_form.btConvertir->text(), QString("Convertir"));
    QCOMPARE(m_form.menuFichier->title(), QString("Fichier"));
    QCOMPARE(m_form.menu->title(), QString("?"));

    // No other tool tip on the form's widgets.
    const QList<QWidget *> others = {m_form.label_3,  m_form.dstPath,  m_form.btParcourir,
                                     m_form.imageSrc, m_form.imageDst, m_form.btConvertir};
    for (QWidget *widget : others)
        QVERIFY2(widget->toolTip().isEmpty(), qPrintable(widget->objectName()));
}

void TestMainWindowForm::fillsMenusAndToolbar()
{
    const QList<QAction *> menus = m_form.menuBar->actions();
    QCOMPARE(menus.size(), 2);
    QCOMPARE(menus[0], m_form.menuFichier->menuAction());
    QCOMPARE(menus[1], m_form.menu->menuAction());
    QCOMPARE(m_form.menuFichier->actions(), (QList<QAction *> {m_form.actionOuvrir, m_form.actionQuitter}));
    QCOMPARE(m_form.menu->actions(), QList<QAction *> {m_form.actionA_propos});

    const QList<QAction *> tools = m_form.mainToolBar->actions();
    QCOMPARE(tools.size(), 3);
    QCOMPARE(tools[0], m_form.actionOuvrir);
    QVERIFY(tools[1]->isSeparator());
    QCOMPARE(tools[2], m_form.actionA_propos);
}

void TestMainWindowForm::connectsTheSlotsByName()
{
    m_form.btConvertir->click();
    m_form.btParcourir->click();
    m_form.btOpenDestFolder->click();
    m_form.actionQuitter->trigger();
    // One action serves the menu and the toolbar: triggering it runs the slot once.
    m_form.actionOuvrir->trigger();
    m_form.actionA_propos->trigger();

    const QMap<QString, int> once = {{"btConvertir", 1},   {"btParcourir", 1},  {"btOpenDestFolder", 1},
                                     {"actionQuitter", 1}, {"actionOuvrir", 1}, {"actionA_propos", 1}};
    QCOMPARE(m_window->calls, once);

    QSignalSpy clicked(m_form.btConvertir, &QPushButton::clicked);
    m_form.dstPath->setFocus();
    QTest::keyClicks(m_form.dstPath, "typed");
    QCOMPARE(m_form.dstPath->text(), QString()); // read-only
    QCOMPARE(clicked.count(), 0);
}

void TestMainWindowForm::growsOnlyTheImageRow()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    const int destinationHeight = m_form.dstPath->height();
    const int buttonHeight = m_form.btConvertir->height();
    const int imageHeight = m_form.imageSrc->height();
    const int windowHeight = m_window->height();

    m_window->resize(900, windowHeight + 300);
    QTRY_COMPARE(m_form.imageSrc->height(), imageHeight + 300);
    QCOMPARE(m_form.dstPath->height(), destinationHeight);
    QCOMPARE(m_form.btConvertir->height(), buttonHeight);
    // The spacer pushes the two buttons to the ends of their row.
    QCOMPARE(m_form.btOpenDestFolder->x(), m_form.imageSrc->x());
    QCOMPARE(m_form.btConvertir->geometry().right(), m_form.imageDst->geometry().right());

    m_window->resize(200, 200);
    QTRY_VERIFY(m_form.imageSrc->width() >= 320);
    QVERIFY(m_form.imageSrc->height() >= 240);
    QVERIFY(m_form.label_3->width() >= 95);
}

QTEST_MAIN(TestMainWindowForm)
#include "tst_mainwindowform.moc"
