#pragma once

#include "qimage16.h"

#include <QMainWindow>
#include <QPixmap>

class MainWindowForm;

// Quillon's only window. A source picture comes in through loadImage() (from the open dialog or a
// drop) and is kept whole in sourcePixmap; "Convertir" reduces it to 16 bits into
// convertedImage, shows it, and writes the BMP file and then, from that file, the C header into
// the destination folder shown in the read-only field dstPath. Outcomes go to the status bar;
// a file that does not decode brings up an error box.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Loads and shows the picture at the path; false when there is no such file or it cannot
    // be used (the user has then been told why).
    bool loadImage(const QString &filePath);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private slots:
    void on_btConvertir_clicked();
    void on_btParcourir_clicked();
    void on_actionOuvrir_triggered();
    void on_actionQuitter_triggered();
    void on_actionA_propos_triggered();
    void on_btOpenDestFolder_clicked();

private:
    void showStartingState();
    void refuseSource(const QString &reason);
    bool convertAndSave();

    MainWindowForm *ui;
    QPixmap sourcePixmap;
    QImage16 convertedImage;
    QString sourceFileName;
    QString sourceDir;
};
