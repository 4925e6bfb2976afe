#include "studio_window.h"

#include "option_controls.h"
#include "options.h"
#include "output_paths.h"
#include "panel_view.h"
#include "settings_list.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

constexpr int settingsRole = Qt::UserRole + 1;
constexpr int sourceSide = 240; // the source's largest side on screen

QString fileNames(const QStringList &paths)
{
    QStringList names;
    for (const QString &path : paths)
        names << QFileInfo(path).fileName();
    return names.join(QStringLiteral(", "));
}

} // namespace

StudioWindow::StudioWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_renderer(new PanelRenderer(this))
{
    buildWindow();
    setAcceptDrops(true);
    connect(m_renderer, &PanelRenderer::viewReady, this, &StudioWindow::showView);
    connect(m_renderer, &PanelRenderer::headerReady, this, &StudioWindow::showHeader);
    updateActions();
}

StudioWindow::~StudioWindow() = default;

void StudioWindow::buildWindow()
{
    setWindowTitle(tr("Quillon Studio"));
    QMenu *file = menuBar()->addMenu(tr("&Fichier"));
    QAction *open = file->addAction(tr("&Ouvrir..."), this, &StudioWindow::openPictures, QKeySequence::Open);
    open->setObjectName(QStringLiteral("actionOpen"));
    m_save = file->addAction(
        tr("&Enregistrer"), this, [this] { save(false); }, QKeySequence::Save);
    m_save->setObjectName(QStringLiteral("actionSave"));
    m_saveAll = file->addAction(
        tr("Enregistrer &tout"), this, [this] { save(true); },
        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    m_saveAll->setObjectName(QStringLiteral("actionSaveAll"));
    file->addSeparator();
    QAction *quit = file->addAction(tr("&Quitter"), this, &QWidget::close, QKeySequence::Quit);
    quit->setObjectName(QStringLiteral("actionQuit"));
    QToolBar *tools = addToolBar(tr("Outils"));
    tools->setObjectName(QStringLiteral("toolBar"));
    tools->addAction(open);
    tools->addAction(m_save);
    tools->addAction(m_saveAll);

    m_pictures = new QListWidget;
    m_pictures->setObjectName(QStringLiteral("pictureList"));
    connect(m_pictures, &QListWidget::currentRowChanged, this, &StudioWindow::selectPicture);

    // The source, what the display shows at 1 x, and zoomed.
    m_source = new QLabel;
    m_source->setObjectName(QStringLiteral("sourceView"));
    m_source->setAlignment(Qt::AlignCenter);
    m_source->setMinimumSize(sourceSide / 2, sourceSide / 2);
    m_actualSize = new PanelView;
    m_actualSize->setObjectName(QStringLiteral("panelActualSize"));
    m_zoomed = new PanelView;
    m_zoomed->setObjectName(QStringLiteral("panelView"));
    m_zoom = new QSpinBox;
    m_zoom->setObjectName(QStringLiteral("zoom"));
    m_zoom->setRange(1, PanelView::maximumZoom);
    m_zoom->setSuffix(QStringLiteral(" x"));
    m_zoom->setValue(2);
    m_zoomed->setZoom(2);
    connect(m_zoom, qOverload<int>(&QSpinBox::valueChanged), m_zoomed, &PanelView::setZoom);
    auto *zoomed = new QScrollArea;
    zoomed->setObjectName(QStringLiteral("panelScroll"));
    zoomed->setWidget(m_zoomed);
    zoomed->setAlignment(Qt::AlignCenter);
    zoomed->setMinimumSize(340, 260);

    m_problem = new QLabel;
    m_problem->setObjectName(QStringLiteral("problem"));
    m_problem->setWordWrap(true);
    m_problem->setStyleSheet(QStringLiteral("color: #b00020"));
    m_problem->hide();
    m_warnings = new QWidget;
    m_warnings->setObjectName(QStringLiteral("warnings"));
    new QVBoxLayout(m_warnings);
    m_warnings->layout()->setContentsMargins(0, 0, 0, 0);

    auto *pictures = new QWidget;
    auto *picturesLayout = new QGridLayout(pictures);
    picturesLayout->addWidget(new QLabel(tr("Source")), 0, 0);
    picturesLayout->addWidget(new QLabel(tr("L'écran, 1 x")), 0, 1);
    auto *zoomRow = new QHBoxLayout;
    zoomRow->addWidget(new QLabel(tr("L'écran, agrandi")));
    zoomRow->addWidget(m_zoom);
    zoomRow->addStretch();
    picturesLayout->addLayout(zoomRow, 0, 2);
    picturesLayout->addWidget(m_source, 1, 0, Qt::AlignTop);
    picturesLayout->addWidget(m_actualSize, 1, 1, Qt::AlignTop);
    picturesLayout->addWidget(zoomed, 1, 2);
    picturesLayout->setColumnStretch(2, 1);

    // What to paste.
    m_header = new QPlainTextEdit;
    m_header->setObjectName(QStringLiteral("headerText"));
    m_header->setReadOnly(true);
    m_header->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_header->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto *copyArray = new QPushButton(tr("Copier le tableau"));
    copyArray->setObjectName(QStringLiteral("copyArray"));
    connect(copyArray, &QPushButton::clicked, this, &StudioWindow::copyArray);
    m_arraySize = new QLabel;
    m_arraySize->setObjectName(QStringLiteral("arraySize"));
    auto *pasteRow = new QHBoxLayout;
    pasteRow->addWidget(copyArray);
    pasteRow->addWidget(m_arraySize, 1);
    auto *paste = new QWidget;
    auto *pasteLayout = new QVBoxLayout(paste);
    pasteLayout->setContentsMargins(0, 0, 0, 0);
    pasteLayout->addLayout(pasteRow);
    pasteLayout->addWidget(m_header, 1);

    auto *centre = new QWidget;
    auto *centreLayout = new QVBoxLayout(centre);
    centreLayout->addWidget(m_problem);
    centreLayout->addWidget(m_warnings);
    centreLayout->addWidget(pictures, 3);
    centreLayout->addWidget(paste, 2);

    m_controls = new OptionControls;
    m_controls->setObjectName(QStringLiteral("optionControls"));
    connect(m_controls, &OptionControls::argumentsEdited, this, &StudioWindow::settingsEdited);
    auto *settings = new QScrollArea;
    settings->setObjectName(QStringLiteral("settingsScroll"));
    settings->setWidget(m_controls);
    settings->setWidgetResizable(true);
    settings->setMinimumWidth(300);

    auto *splitter = new QSplitter;
    splitter->addWidget(m_pictures);
    splitter->addWidget(centre);
    splitter->addWidget(settings);
    splitter->setStretchFactor(1, 1);
    setCentralWidget(splitter);
    statusBar()->showMessage(tr("Ouvrez ou déposez une image"));
    resize(1280, 800);
    m_pictures->setFocus();
}

void StudioWindow::setStartSettings(const QStringList &settings)
{
    m_startSettings = SettingsList::canonical(settings);
}

void StudioWindow::setOutputFolder(const QString &folder)
{
    m_outputFolder = folder;
}

void StudioWindow::setReplaceWithoutAsking(bool force)
{
    m_force = force;
}

bool StudioWindow::addPictures(const QStringList &paths)
{
    const int first = m_pictures->count();
    QStringList missing;
    for (const QString &path : paths) {
        const QFileInfo file(path);
        if (!file.isFile()) {
            missing << path;
            continue;
        }
        auto *item = new QListWidgetItem(file.fileName(), m_pictures);
        item->setData(Qt::UserRole, file.absoluteFilePath());
        item->setData(settingsRole, m_startSettings);
        item->setToolTip(file.absoluteFilePath());
    }
    if (!missing.isEmpty())
        statusBar()->showMessage(tr("Introuvable : %1").arg(missing.join(QStringLiteral(", "))));
    if (m_pictures->count() == first)
        return false;
    m_pictures->setCurrentRow(first);
    updateActions();
    return true;
}

QString StudioWindow::currentPicture() const
{
    const QListWidgetItem *item = m_pictures->currentItem();
    return item ? item->data(Qt::UserRole).toString() : QString();
}

QStringList StudioWindow::settings() const
{
    const QListWidgetItem *item = m_pictures->currentItem();
    return item ? item->data(settingsRole).toStringList() : m_startSettings;
}

void StudioWindow::setSettings(const QStringList &arguments)
{
    m_controls->setArguments(arguments);
    settingsEdited(m_controls->arguments());
}

void StudioWindow::openPictures()
{
    const QStringList paths = QFileDialog::getOpenFileNames(this, tr("Ouvrir des images"), QString(),
                                                            tr("Images (*.png *.jpg *.jpeg *.gif *.bmp *.svg "
                                                               "*.svgz *.webp *.tif *.tiff *.tga *.ppm);;"
                                                               "Tous les fichiers (*)"));
    if (!paths.isEmpty())
        addPictures(paths);
}

void StudioWindow::selectPicture(int row)
{
    if (row < 0)
        return;
    m_controls->setArguments(m_pictures->item(row)->data(settingsRole).toStringList());
    showSource(currentPicture());
    requestView();
}

void StudioWindow::settingsEdited(const QStringList &arguments)
{
    if (QListWidgetItem *item = m_pictures->currentItem())
        item->setData(settingsRole, arguments);
    else
        m_startSettings = arguments;
    requestView();
}

void StudioWindow::requestView()
{
    if (!currentPicture().isEmpty())
        m_renderer->request(currentPicture(), settings());
}

void StudioWindow::showView(const RenderedView &view)
{
    m_problem->setText(view.problem);
    m_problem->setVisible(!view.problem.isEmpty());
    if (view.usageError)
        return; // the view stays as it was, the settings told wrong in words
    m_view = view;
    m_actualSize->setPicture(view.shown, view.throughPixels);
    m_zoomed->setPicture(view.shown, view.throughPixels);
    qint64 bytes = 0;
    if (view.encoded) {
        for (const CArray &array : view.encoded->header.arrays)
            bytes += arrayBytes(array);
    }
    m_arraySize->setText(view.encoded && view.job.format ? tr("%1 x %2 pixels, %3 octets de tableaux")
                                                               .arg(view.shown.width())
                                                               .arg(view.shown.height())
                                                               .arg(bytes)
                                                         : QString());
}

void StudioWindow::showHeader(const RenderedHeader &header)
{
    m_headerText = header.text;
    m_header->setPlainText(QString::fromUtf8(header.text));
}

void StudioWindow::showSource(const QString &path)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QImage source = reader.read();
    if (source.isNull()) {
        m_source->setPixmap(QPixmap());
        m_source->setText(tr("(source non affichable)"));
        return;
    }
    m_source->setPixmap(QPixmap::fromImage(
        source.width() > sourceSide || source.height() > sourceSide
            ? source.scaled(sourceSide, sourceSide, Qt::KeepAspectRatio, Qt::SmoothTransformation)
            : source));
}

// The picture's array as the header defines it, from its declaration to its closing brace; LVGL's
// map with the descriptor that draws it.
void StudioWindow::copyArray()
{
    if (!m_view.encoded)
        return;
    const QString text = QString::fromUtf8(m_headerText);
    const QString name = QString::fromLatin1(m_view.encoded->header.name);
    const QRegularExpression declared(QStringLiteral("\\b%1(_map)?\\[").arg(name));
    const QRegularExpressionMatch found = declared.match(text);
    if (!found.hasMatch())
        return;
    const int start = text.lastIndexOf(QLatin1Char('\n'), found.capturedStart()) + 1;
    const int descriptor
        = found.capturedLength(1) ? text.indexOf(QStringLiteral(" %1 = {").arg(name), start) : start;
    const int end = text.indexOf(QStringLiteral("};"), qMax(start, descriptor));
    QApplication::clipboard()->setText(text.mid(start, end < 0 ? -1 : end + 2 - start) + QLatin1Char('\n'));
    statusBar()->showMessage(tr("Tableau copié"));
}

QString StudioWindow::chosenFolder()
{
    if (m_outputFolder.isEmpty()) {
        m_outputFolder = QFileDialog::getExistingDirectory(this, tr("Dossier où écrire les fichiers"),
                                                           QFileInfo(currentPicture()).path());
    }
    return m_outputFolder;
}

bool StudioWindow::save(bool every)
{
    if (!m_pictures->currentItem())
        return false;
    const QString folder = chosenFolder();
    if (folder.isEmpty())
        return false;
    if (!QDir().mkpath(folder)) {
        statusBar()->showMessage(tr("Impossible de créer le dossier %1").arg(folder));
        return false;
    }
    bool saved = true;
    const int first = every ? 0 : m_pictures->currentRow();
    const int last = every ? m_pictures->count() - 1 : first;
    for (int row = first; row <= last && saved; ++row)
        saved = savePicture(row, folder);
    return saved;
}

// The files of the picture of that row, written as quillon-convert -o FOLDER writes them.
bool StudioWindow::savePicture(int row, const QString &folder)
{
    const QString picture = m_pictures->item(row)->data(Qt::UserRole).toString();
    const QStringList settings = m_pictures->item(row)->data(settingsRole).toStringList();
    const Options options
        = parseOptions(QStringList {QStringLiteral("quillon-studio"), QStringLiteral("-o"), folder} + settings
                       + QStringList {QStringLiteral("--"), picture});
    if (options.action != Options::Convert) {
        statusBar()->showMessage(tr("%1 : %2").arg(QFileInfo(picture).fileName(), options.error));
        return false;
    }
    PictureJob job = pictureJobOf(options, 0);
    QStringList standing;
    for (const QString &path : plannedOutputs(job, outputPaths(folder, QFileInfo(picture).fileName()))) {
        if (QFileInfo(path).exists() || QFileInfo(path).isSymLink())
            standing << path;
    }
    if (!standing.isEmpty() && !m_force) {
        const auto answer
            = QMessageBox::question(this, tr("Remplacer les fichiers ?"),
                                    tr("Ces fichiers existent déjà dans %1 :\n%2\n\nLes remplacer ?")
                                        .arg(folder, fileNames(standing)),
                                    QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) {
            statusBar()->showMessage(tr("%1 : rien n'a été écrit").arg(QFileInfo(picture).fileName()));
            return false;
        }
    }
    job.force = true;
    const PictureOutcome outcome = convertPicture(job);
    if (outcome.status != PictureOutcome::Converted) {
        statusBar()->showMessage(tr("%1 : %2").arg(QFileInfo(picture).fileName(), outcome.message));
        return false;
    }
    statusBar()->showMessage(
        tr("Écrit dans %1 : %2").arg(folder, fileNames(outcome.written + outcome.unchanged)));
    return true;
}

void StudioWindow::updateActions()
{
    const bool any = m_pictures->count() > 0;
    m_save->setEnabled(any);
    m_saveAll->setEnabled(m_pictures->count() > 1);
}

void StudioWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void StudioWindow::dropEvent(QDropEvent *event)
{
    QStringList paths;
    for (const QUrl &url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            paths << url.toLocalFile();
    }
    if (!paths.isEmpty() && addPictures(paths))
        event->acceptProposedAction();
}
