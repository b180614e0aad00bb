// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application's composition root and the main window's controller: it owns the players, the
// media list and the playback state, builds the window, and answers the recordings list.

#include "core/media/ORBMediaList.h"
#include "platform/MediaPlayer.h"
#include "ui/app/ORBMapSideView.h"
#include "ui/app/ORBPlaybackController.h"
#include "ui/app/ORBRepairController.h"
#include "ui/app/ORBSnapshotController.h"
#include "ui/app/ORBTripExportController.h"
#include "ui/card/CardToolServices.h"
#include "ui/settings/ORBSettingController.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>

#include <functional>
#include <memory>
#include <vector>

class CustomWindow;
class MprisPlayerTarget;
class MprisService;
class ORBDriveReadAhead;
class ORBMprisBridge;
class ORBMainWindowView;
class ORBPlayInfo;
class ORBDrivesTableModel;
class ORBRecordingsModel;
class ORBTelemetryPresenter;
class ORBViewingTools;
class Scheduler;
class TileSource;
class TKMapView;
class TKSliderMarks;
class VideoView;

// The services the delegate uses, replaceable in tests.
struct ORBAppServices {
    std::function<std::unique_ptr<MediaPlayer>(VideoView*)> makePlayer;
    Scheduler* scheduler = nullptr;
    // The folder chosen in the open panel; empty when cancelled.
    std::function<QString(QWidget* parent)> chooseDirectory;
    // The disk, command and dialog services of the format and clock windows; none in tests that leave it.
    std::function<CardToolServices()> cardTools;
    // The settings window's services.
    nura::VolumeService* volumeService = nullptr;
    nura::CommandRunner* commandRunner = nullptr;
    nura::BackgroundExecutor runInBackground;
    std::function<QString(QWidget* parent, const QString& directory)> chooseSavePath;
    // The telemetry read at each start; a background task unless a test gives its own.
    ORBTelemetryReader readTelemetry;
    // Where the map side view's tiles come from; none draws the map's grid only.
    std::shared_ptr<TileSource> mapTiles;
    // Saving and printing the current frame.
    ORBSnapshotServices snapshots;
    // "Export Trip…": its save dialog and error message.
    ORBTripExportServices tripExport;
    // Media keys and the desktop's media widgets (the session bus); none in tests that leave it.
    std::function<std::unique_ptr<MprisService>(MprisPlayerTarget& target)> makeMediaKeys;

    static ORBAppServices real();
    // The settings window's share of these, as the main window and `--settings` both open it.
    nura::ORBSettingServices settingServices() const;
};

// What one scale step does to the window.
struct ORBScaleStep {
    enum Action { Nothing, Resize, EnterFullscreen, LeaveFullscreen } action = Nothing;
    QRect frame; // for Resize
};

class ORBAppDelegate : public QObject, public ORBMediaListDelegate {
    Q_OBJECT
public:
    explicit ORBAppDelegate(ORBAppServices services, QObject* parent = nullptr);
    ~ORBAppDelegate() override;

    // Start-up in the camera viewer's order: views, players and models, wiring, then the window.
    void awakeFromNib();
    void setupInitialValues();
    void initMediaListTableView();
    void applicationDidFinishLaunching();
    // All of start-up, then the window shown: what the program and every test of the window do.
    void launch();

    static QSize minWindowSize() { return {1020, 640}; }
    // The minimum size centred in the visible area of the window's screen.
    QRect minWindowFrame() const;

    void layoutWindow();
    void layoutBodyBox() { layoutWindow(); }
    void layoutMapContainer();

    // Asks for a folder and lists it; cancelling changes nothing.
    void openMediaDirectoryDialog();
    // Stops both players and scans `path` (what the open panel does once a folder is chosen).
    void openMediaDirectory(const QString& path);
    // Called by the media list when a scan is complete, on any thread: the work runs on the
    // UI thread while the caller waits.
    void mediaListChanged(ORBMediaList& list) override;

    void clickMediaListViewButton();
    void clickMapViewButton();
    void clickDrivesViewButton();
    void updateSideViewButton();

    void showSettingPanel();
    void showTimeSetupPanel();
    void showFormatPanel();
    // Exports the trip of the selected recording (Ctrl+E).
    void exportTrip();
    void changeAndPlay();
    void closeWindow();
    void windowWillClose();
    void applicationWillTerminate();
    void stopPlay();
    // Row of the recording at `path` (relative to the working folder or absolute), or -1.
    int64_t rowOfFile(const QString& path) const;
    // Lists the folder of the recording at `path` (unless it is listed already) and plays it, as
    // `nura-viewer FILE` does; false, with nothing changed, for a file that is not a recording.
    bool openRecording(const QString& path);
    // A scale step of the window: +1 larger (into full screen), -1 smaller (out of it), 0 reset.
    void setVideoScaleIndex(int step);
    // What a scale step does to a window of `window` on a screen of `screen` (available area).
    static ORBScaleStep scaleStep(const QRect& window, const QRect& screen, bool fullScreen, int step);
    void sizeUp();
    void sizeDown();
    void toggleFullScreen();
    // The current frame of the main player saved as a picture (while playing) or printed.
    void captureVideo() { m_snapshots->captureVideo(); }
    void print() { m_snapshots->print(); }

    // Accessors for the window's owner and for tests.
    CustomWindow* window() const { return m_window; }
    ORBMainWindowView& view() const { return *m_view; }
    ORBMediaList& mediaList() const { return *m_mediaList; }
    ORBPlayInfo& playInfo() const { return *m_playInfo; }
    ORBRecordingsModel& recordingsModel() const { return *m_recordingsModel; }
    // The main and the sub picture's players.
    MediaPlayer* player1() const { return m_recording ? &m_recording->main() : nullptr; }
    MediaPlayer* player2() const { return m_recording ? &m_recording->sub() : nullptr; }
    ORBRecordingPlayer& recording() const { return *m_recording; }
    VideoView* video1View() const { return m_video1View; }
    VideoView* video2View() const { return m_video2View; }
    QWidget* lastDialogController() const { return m_lastDialogController; }
    ORBPlaybackController& playback() const { return *m_playback; }
    ORBTelemetryPresenter& telemetryPresenter() const { return *m_presenter; }
    ORBDriveReadAhead& driveReadAhead() const { return *m_readAhead; }
    ORBViewingTools& viewingTools() const { return *m_viewingTools; }
    ORBTripExportController& tripExport() const { return *m_tripExport; }
    MprisService* mediaKeys() const { return m_mpris.get(); }
    TKMapView* mapView() const { return m_mapSide->mapView(); }
    // Cut recordings: tooltips, "Repair…", and playFailureText() for the status line of a failed play.
    ORBRepairController& repair() const { return *m_repair; }
    const QStringList& columnNames() const { return m_columnNames; }

    unsigned rightViewMode = 0;

    // The drives of the listing, their lengths read in the background.
    ORBDrivesTableModel& drivesModel() const { return *m_drivesModel; }
    // The D key and the drive button: the slider over the drive or the recording, remembered.
    void toggleDriveMode();
    static constexpr const char* kDriveModeKey = "driveMode";

signals:
    // After each completed scan has been shown (tests and the screenshot mode wait on it).
    void mediaListReloaded();

private:
    void reloadMediaList();
    void installShortcuts();
    void updateStatus();
    // The row, the cameras' labels and the sub view of the recording now shown.
    void showRecording(int64_t row, bool mainIsRear, bool partner);
    // A video view shows only while its player plays or holds a halted picture.
    void updateVideoViewVisibility();
    void playersReported();
    void wirePlayback();
    void wireMediaKeys();
    void updatePlayInfoScale();
    // Whether the file at `path` is cut short, as far as known yet. Its header is read off the UI
    // thread the first time (a slow card would freeze the window), then `known` runs on the UI thread.
    bool knownCutShort(const QString& path, std::function<void(bool cut)> known = {});
    void setLogos(bool mainIsRear);
    void showDriveMode(bool active);
    void animateSwap();
    bool eventFilter(QObject* watched, QEvent* event) override;

    ORBAppServices m_services;
    CustomWindow* m_window = nullptr;
    std::unique_ptr<ORBMainWindowView> m_view;
    std::unique_ptr<ORBMediaList> m_mediaList;
    ORBPlayInfo* m_playInfo = nullptr;
    ORBRecordingsModel* m_recordingsModel = nullptr;
    ORBDrivesTableModel* m_drivesModel = nullptr;
    // The joins of the drive, as ticks over the position sliders.
    std::vector<TKSliderMarks*> m_joinTicks;
    VideoView* m_video1View = nullptr;
    VideoView* m_video2View = nullptr;
    std::unique_ptr<ORBRecordingPlayer> m_recording;
    std::unique_ptr<ORBPlaybackController> m_playback;
    std::unique_ptr<ORBSnapshotController> m_snapshots;
    ORBTelemetryPresenter* m_presenter = nullptr;
    ORBDriveReadAhead* m_readAhead = nullptr; // the drive's markers and route
    ORBViewingTools* m_viewingTools = nullptr;
    std::unique_ptr<ORBTripExportController> m_tripExport;
    std::unique_ptr<ORBRepairController> m_repair;
    std::unique_ptr<ORBMapSideView> m_mapSide;
    std::unique_ptr<ORBMprisBridge> m_mprisBridge;
    std::unique_ptr<MprisService> m_mpris;
    QPointer<QWidget> m_lastDialogController;
    QStringList m_columnNames;
    // Files whose header has been looked at: cut short or not; absent while the read runs.
    QHash<QString, bool> m_cutShort;
    QHash<QString, std::vector<std::function<void(bool)>>> m_cutShortAsked;
    bool m_terminating = false;
    bool m_scanning = false;
};
