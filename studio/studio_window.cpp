#include "studio_window.h"

#include "option_controls.h"
#include "options.h"
#include "output_paths.h"
#include "panel_presets.h"
#include "panel_view.h"
#include "paste_panel.h"
#include "result_warnings.h"
#include "settings_list.h"
#include "warnings_bar.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

constexpr int settingsRole = Qt::UserRole + 1;
constexpr int presetRole = Qt::UserRole + 2; // the id of the preset chosen for the picture
constexpr char noPreset[] = "-"; // none chosen from the list
constexpr int sourceSide = 240; // the source's largest side on screen

QString fileNames(const QStringList &paths)
{
    QStringList names;
    for (const QString &path : paths)
        names << QFileInfo(path).fileName();
    return names.join(QStringLiteral(", "));
}

// Whether `arguments` give every option of the preset with the preset's values.
bool holdsPreset(const QStringList &arguments, const PanelPreset &preset)
{
    const QStringList wanted = SettingsList::canonical(preset.arguments);
    for (const QString &option : SettingsList::optionNames(wanted)) {
        if (!SettingsList::has(arguments, option)
            || SettingsList::value(arguments, option) != SettingsList::value(wanted, option))
            return false;
    }
    return true;
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
    m_warnings = new WarningsBar;
    m_warnings->setObjectName(QStringLiteral("warnings"));
    connect(m_warnings, &WarningsBar::mendingChosen, this, [this](const QStringList &arguments) {
        setSettings(SettingsList::applied(settings(), arguments));
    });

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
    m_paste = new PastePanel;
    m_paste->setObjectName(QStringLiteral("pastePanel"));
    connect(m_paste, &PastePanel::copied, this,
            [this](const QString &what) { statusBar()->showMessage(what); });

    auto *centre = new QWidget;
    auto *centreLayout = new QVBoxLayout(centre);
    centreLayout->addWidget(m_problem);
    centreLayout->addWidget(m_warnings);
    centreLayout->addWidget(pictures, 3);
    centreLayout->addWidget(m_paste, 2);

    m_controls = new OptionControls;
    m_controls->setObjectName(QStringLiteral("optionControls"));
    connect(m_controls, &OptionControls::argumentsEdited, this, &StudioWindow::settingsEdited);
    auto *controls = new QScrollArea;
    controls->setObjectName(QStringLiteral("settingsScroll"));
    controls->setWidget(m_controls);
    controls->setWidgetResizable(true);
    // The panel presets above the options they set.
    m_preset = new QComboBox;
    m_preset->setObjectName(QStringLiteral("preset"));
    m_preset->addItem(tr("(aucun écran choisi)"), QString());
    for (const PanelPreset &preset : panelPresets()) {
        m_preset->addItem(preset.name, preset.id);
        m_preset->setItemData(m_preset->count() - 1, preset.help, Qt::ToolTipRole);
    }
    connect(m_preset, qOverload<int>(&QComboBox::activated), this,
            [this] { choosePreset(m_preset->currentData().toString()); });
    auto *settings = new QWidget;
    auto *settingsLayout = new QVBoxLayout(settings);
    settingsLayout->setContentsMargins(0, 0, 0, 0);
    auto *presetRow = new QHBoxLayout;
    presetRow->addWidget(new QLabel(tr("Écran :")));
    presetRow->addWidget(m_preset, 1);
    settingsLayout->addLayout(presetRow);
    settingsLayout->addWidget(controls, 1);
    settings->setMinimumWidth(320);

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
    statusBar()->clearMessage();
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
    showPreset();
    showSource(currentPicture());
    requestView();
}

void StudioWindow::settingsEdited(const QStringList &arguments)
{
    if (QListWidgetItem *item = m_pictures->currentItem())
        item->setData(settingsRole, arguments);
    else
        m_startSettings = arguments;
    showPreset();
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
    const PanelPreset *preset = findPanelPreset(m_preset->currentData().toString());
    m_warnings->setWarnings(
        view.encoded ? resultWarnings(settings(), view.job, *view.encoded, preset ? preset->size : QSize())
                     : QVector<ResultWarning>());
}

void StudioWindow::showHeader(const RenderedHeader &header)
{
    m_headerText = header.text;
    const QSize shown = m_view.shown.size();
    // The window's BMP file: a 54-byte header, then rows of 2 bytes a pixel padded to 4 bytes.
    const qint64 bmpFileBytes = 54 + qint64((shown.width() * 2 + 3) / 4 * 4) * shown.height();
    m_paste->setConversion(currentPicture(), settings(), m_outputFolder);
    m_paste->setHeader(header.text, m_view.arrayName,
                       m_view.encoded && m_view.job.format ? &m_view.encoded->header : nullptr, bmpFileBytes);
}

// The preset of that id chosen for the selected picture (none: the presets' options stay as they
// are): its options set, its library's line highlighted, its round panel drawn.
void StudioWindow::choosePreset(const QString &id)
{
    const PanelPreset *preset = findPanelPreset(id);
    if (QListWidgetItem *item = m_pictures->currentItem())
        item->setData(presetRole, preset ? id : QString::fromLatin1(noPreset));
    showPreset();
    if (preset)
        setSettings(withPreset(settings(), *preset));
}

// The preset of the selected picture: the one chosen while its settings hold it, none when none
// was chosen from the list, else the first whose options its settings hold (a command line's).
void StudioWindow::showPreset()
{
    const QString chosen
        = m_pictures->currentItem() ? m_pictures->currentItem()->data(presetRole).toString() : QString();
    const PanelPreset *preset = findPanelPreset(chosen);
    if (chosen == QLatin1String(noPreset)) {
        preset = nullptr;
    } else if (!preset || !holdsPreset(settings(), *preset)) {
        preset = nullptr;
        for (const PanelPreset &candidate : panelPresets()) {
            if (holdsPreset(settings(), candidate)) {
                preset = &candidate;
                break;
            }
        }
    }
    m_preset->setCurrentIndex(preset ? m_preset->findData(preset->id) : 0);
    m_actualSize->setRound(preset && preset->round);
    m_zoomed->setRound(preset && preset->round);
    if (preset)
        m_paste->setLibrary(preset->library, preset->drawing);
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
    const QPixmap shown = QPixmap::fromImage(
        source.width() > sourceSide || source.height() > sourceSide
            ? source.scaled(sourceSide, sourceSide, Qt::KeepAspectRatio, Qt::SmoothTransformation)
            : source);
    m_source->setPixmap(shown);
    m_source->setMinimumSize(shown.size().expandedTo(QSize(sourceSide / 2, sourceSide / 2)));
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
