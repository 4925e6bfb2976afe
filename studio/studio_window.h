#pragma once

#include "panel_rendering.h"

#include <QMainWindow>
#include <QStringList>

class OptionControls;
class PanelView;
class PastePanel;
class QComboBox;
class WarningsBar;
class QLabel;
class QListWidget;
class QSpinBox;

// Quillon Studio's window: the pictures in a list, each with its settings (an argument list of
// quillon-convert, settings_list.h); for the one selected, its source beside what the display
// shows, at 1 x and zoomed, computed by a PanelRenderer each time a setting changes; the settings
// as controls (OptionControls), a panel preset above them; the warnings of the result with their
// mendings (WarningsBar); the header that will be written, with what to copy (PastePanel); Ctrl+S
// writes the files quillon-convert would write, through its pipeline.
//
// A picture comes in through addPictures() (the open dialog, a drop, the command line); every
// view and header comes back from the renderer, the newest only.
class StudioWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit StudioWindow(QWidget *parent = nullptr);
    ~StudioWindow() override;

    // The settings new pictures take, where Ctrl+S writes (empty: asked at the first save) and
    // whether it replaces files without asking, as the command line gave them.
    void setStartSettings(const QStringList &settings);
    void setOutputFolder(const QString &folder);
    void setReplaceWithoutAsking(bool force);
    QString outputFolder() const { return m_outputFolder; }

    // Adds the pictures to the list, each with the settings new pictures take, and selects the
    // first; false when none could be added (the status bar tells why).
    bool addPictures(const QStringList &paths);
    QString currentPicture() const;
    // The selected picture's settings; setting them shows them and renders it again.
    QStringList settings() const;
    void setSettings(const QStringList &arguments);

    // Writes the files of the selected picture, or of every picture, into the output folder:
    // false when one was not written (the status bar tells why).
    bool save(bool every = false);

    PanelRenderer *renderer() const { return m_renderer; }
    // The last view and header shown, for the selected picture's current settings.
    const RenderedView &view() const { return m_view; }
    QByteArray headerText() const { return m_headerText; }

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void buildWindow();
    void openPictures();
    void selectPicture(int row);
    void settingsEdited(const QStringList &arguments);
    void requestView();
    void showView(const RenderedView &view);
    void showHeader(const RenderedHeader &header);
    void showSource(const QString &path);
    void choosePreset(const QString &id);
    void showPreset();
    bool savePicture(int row, const QString &folder);
    QString chosenFolder();
    void updateActions();

    PanelRenderer *m_renderer;
    QListWidget *m_pictures = nullptr;
    QLabel *m_source = nullptr;
    PanelView *m_actualSize = nullptr;
    PanelView *m_zoomed = nullptr;
    QSpinBox *m_zoom = nullptr;
    QLabel *m_problem = nullptr;
    WarningsBar *m_warnings = nullptr;
    QComboBox *m_preset = nullptr;
    OptionControls *m_controls = nullptr;
    PastePanel *m_paste = nullptr;
    QAction *m_save = nullptr;
    QAction *m_saveAll = nullptr;
    QStringList m_startSettings;
    QString m_outputFolder;
    bool m_force = false;
    RenderedView m_view;
    QByteArray m_headerText;
};
