#include "mainwindow.h"

#include "about_text.h"
#include "mainwindow_form.h"
#include "output_files.h"
#include "output_journal.h"
#include "output_lock.h"
#include "picture_decoding.h"
#include "product.h"

#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QUrl>

namespace {

// A preview is the picture scaled, without smoothing, to the largest size that fits the label.
void setPreview(QLabel *label, const QPixmap &picture)
{
    label->setPixmap(picture.scaled(label->size(), Qt::KeepAspectRatio, Qt::FastTransformation));
}

void setPreview(QLabel *label, const QImage &picture)
{
    // Scaling first converts only the pixels shown, not the whole picture.
    label->setPixmap(
        QPixmap::fromImage(picture.scaled(label->size(), Qt::KeepAspectRatio, Qt::FastTransformation)));
}

QString defaultDestination()
{
    // The documents folder inside the home folder, or nothing when there is none.
    return QStandardPaths::locate(QStandardPaths::HomeLocation,
                                  QStandardPaths::displayName(QStandardPaths::DocumentsLocation),
                                  QStandardPaths::LocateDirectory);
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new MainWindowForm)
{
    ui->setupUi(this);
    setWindowTitle(windowTitle() + QLatin1Char(' ') + QLatin1String(Quillon::productVersion));
    setWindowIcon(QIcon(QStringLiteral(":/logo.png")));
    setAcceptDrops(true);
    // The two-line caption is wider than the label in wide fonts such as DejaVu Sans: wrapped
    // rather than cut off.
    ui->imageSrc->setWordWrap(true);
    ui->dstPath->setText(defaultDestination());
    showStartingState();
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::showStartingState()
{
    sourceDir.clear();
    sourceFileName.clear();
    sourcePixmap = QPixmap();
    convertedImage = QImage16();
    ui->imageSrc->setText(
        QString::fromUtf8("Image source<br/>Faire glisser une image ou cliquer sur \"Ouvrir\""));
    ui->imageDst->setText(QString::fromUtf8("Image convertie en 16 bits"));
    ui->btConvertir->setEnabled(false);
}

bool MainWindow::loadImage(const QString &filePath)
{
    if (!QFile::exists(filePath))
        return false;
    sourceFileName = filePath.section(QLatin1Char('/'), -1, -1);
    sourceDir = filePath.section(QLatin1Char('/'), 0, -2);

    DecodedPicture decoded = decodePicture(filePath);
    switch (decoded.status) {
    case DecodedPicture::TooLarge:
        refuseSource(QString::fromUtf8("Cette image est trop grande pour être convertie."));
        return false;
    case DecodedPicture::TooComplex:
        refuseSource(QString::fromUtf8("Cette image JPEG compte trop de passes pour être convertie."));
        return false;
    case DecodedPicture::Hostile:
        refuseSource(QString::fromUtf8("Cette image est illisible ou trop coûteuse à décoder."));
        return false;
    case DecodedPicture::Truncated:
        refuseSource(QString::fromUtf8("Image incomplète : le fichier s'arrête avant la fin de l'image."));
        return false;
    case DecodedPicture::NotAPicture:
    case DecodedPicture::Unreadable:
        refuseSource(QString::fromUtf8("Ce fichier ne sempble pas être une image."));
        return false;
    case DecodedPicture::Decoded:
        break;
    }
    sourcePixmap = QPixmap::fromImage(std::move(decoded.image));

    setPreview(ui->imageSrc, sourcePixmap);
    ui->imageDst->setPixmap(QPixmap());
    convertedImage = QImage16(); // an earlier conversion must not come back at the next resize
    ui->btConvertir->setEnabled(true);
    return true;
}

void MainWindow::refuseSource(const QString &reason)
{
    sourcePixmap = QPixmap();
    QMessageBox::critical(this, QString::fromUtf8("Erreur"), reason, QMessageBox::Ok, QMessageBox::NoButton);
    showStartingState();
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    // Whether a picture is held, rather than whether both names are set: a picture at the root
    // of the file system ("/photo.png") has an empty folder name.
    if (sourcePixmap.isNull())
        return;
    // Redrawn from the picture held, which is what "Convertir" converts, even if its file has
    // changed or gone since; decoding the file again would also make resizing sluggish.
    setPreview(ui->imageSrc, sourcePixmap);
    if (!convertedImage.isNull())
        setPreview(ui->imageDst, convertedImage);
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    const QMimeData *data = event->mimeData();
    if (!data->hasUrls())
        return;
    const QList<QUrl> urls = data->urls();
    if (urls.isEmpty())
        return;
    // A URL that is not a local file gives an empty path, which loadImage() ignores.
    loadImage(urls.first().toLocalFile());
}

void MainWindow::on_btConvertir_clicked()
{
    statusBar()->showMessage(QString::fromUtf8("Convertion en cours... Patientez..."), 0);
    statusBar()->repaint(); // the job does not return to the event loop before it ends
    setCursor(Qt::WaitCursor);
    const bool converted = convertAndSave();
    statusBar()->showMessage(converted ? QString::fromUtf8("Convertion terminée avec succès.")
                                       : QString::fromUtf8("Echec de la convertion."),
                             0);
    setCursor(Qt::ArrowCursor);
}

bool MainWindow::convertAndSave()
{
    if (sourcePixmap.isNull())
        return false;
    convertedImage.setImage(toRgb565(sourcePixmap.toImage()));
    setPreview(ui->imageDst, convertedImage); // shown whatever becomes of the files

    // With no destination chosen the paths would point into the file system's root folder.
    const QString destination = ui->dstPath->text();
    if (destination.isEmpty())
        return false;
    // The files' turn, as quillon-convert takes it: their lock, waited for a bounded time (even
    // while a run holds it), then what a run killed while it replaced them left completed.
    const OutputPaths paths = outputPaths(destination, sourceFileName);
    const OutputPlaces places = outputPlaces(paths);
    OutputLock lock(places.lock, "quillon");
    OutputLock::Waiting waiting;
    waiting.boundedWait = true;
    if (lock.take(waiting) != OutputLock::Taken
        || finishPendingReplacements(places, paths).status != PendingReplacements::Completed)
        return false;
    OutputRequest request;
    request.temporaryPrefix = places.temporaryPrefix;
    request.journal = places.journal;
    return writeOutputFiles(convertedImage, paths, request) == WriteOutcome::Written;
}

void MainWindow::on_btParcourir_clicked()
{
    const QString folder = QFileDialog::getExistingDirectory(
        this, QString::fromUtf8("Sélectionner le dossier de destination"), ui->dstPath->text(),
        QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (QFile::exists(folder))
        ui->dstPath->setText(folder);
}

void MainWindow::on_actionOuvrir_triggered()
{
    const QString filePath
        = QFileDialog::getOpenFileName(this, QString::fromUtf8("Ouvrir une image"), ui->dstPath->text(),
                                       QString::fromUtf8("Images (*.png *.bmp *.gif *.jpg)"));
    loadImage(filePath);
}

void MainWindow::on_actionQuitter_triggered()
{
    close();
}

void MainWindow::on_actionA_propos_triggered()
{
    // Modeless and owned by the window: it stays open beside it and dies with it.
    auto *box = new QMessageBox(this);
    box->setWindowModality(Qt::NonModal); // message boxes start application-modal
    box->setTextFormat(Qt::RichText);
    box->setText(QStringLiteral("<h1>") + windowTitle() + QStringLiteral("</h1>") + aboutText());
    box->setWindowTitle(windowTitle());
    box->setIconPixmap(QPixmap(QStringLiteral(":/logo.png"))
                           .scaled(100, 100, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    box->setWindowIcon(QIcon(QStringLiteral(":/logo.png")));
    box->show();
}

void MainWindow::on_btOpenDestFolder_clicked()
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(QDir::toNativeSeparators(ui->dstPath->text())));
}
