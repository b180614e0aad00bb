// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The settings window: finds the camera's card, reads its config.bin into the one record it owns, shows one
// pane at a time under the tab strip, and validates, seals and writes the record back on save.

#include "core/card/TKUSBDiskEntity.h"
#include "core/settings/FileData.h"
#include "ui/card/CardToolServices.h"
#include "ui/driverecords/ORBSettingForFlashDataViewController.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>

class QDialog;
class QLabel;
class PMProgressIndicator;
class QPushButton;
class Scheduler;

namespace nura {

class CommandRunner;
class ORBSettingControllerDelegate;
class TKSegmentedControl;
class VolumeService;

// Runs `work` off the UI thread, then `done` on the UI thread unless `context` is gone by then.
using BackgroundExecutor =
    std::function<void(QObject* context, std::function<void()> work, std::function<void()> done)>;
BackgroundExecutor threadPoolExecutor();

// The services the window uses, replaceable in tests.
struct ORBSettingServices {
    VolumeService* volumes = nullptr;
    CommandRunner* commands = nullptr;
    BackgroundExecutor runInBackground;
    Scheduler* scheduler = nullptr;
    // The file chosen in the save panel, starting in `directory`; empty when cancelled.
    std::function<QString(QWidget* parent, const QString& directory)> chooseSavePath;
    QString documentsDirectory;
    // The format window's services; without them the format button stays disabled.
    std::function<::CardToolServices()> cardTools;
    // The drive-record tab's file dialogs and map; without them it only shows the card's records.
    std::function<ORBFlashDataServices()> flashData;
    // Asks before a save replaces a file it should not replace lightly; true to go on. Without it the
    // answer is no.
    std::function<bool(QWidget* parent, const QString& title, const QString& text)> confirm;
};

// The save panel for a settings file: "Save Settings", proposing config.bin in `directory`.
QString saveSettingsPanel(QWidget* parent, const QString& directory);
// The user's Documents folder.
QString documentsDirectory();

class ORBSettingController : public QWidget {
    Q_OBJECT

public:
    enum Tab { Video, Basic, Gps, Aux, Park, Adas, Audio, Info, TabCount };

    // With `configFile`, the window edits that file alone: no card search, no rename, save writes it. The
    // path is the file name's own bytes, as the command line gave them: not every name is UTF-8.
    explicit ORBSettingController(ORBSettingServices services, QWidget* parent = nullptr,
                                  std::optional<std::string> configFile = std::nullopt);
    ~ORBSettingController() override;

    _FILEDATA* filedata() { return &m_FileData; }
    // The file the shown settings came from, for display.
    std::optional<QString> settingFilePath() const;
    const std::optional<TKUSBDiskEntity>& selectedUSBDisk() const { return m_selectedUSBDisk; }
    QWidget* targetController() const { return m_targetController; }
    int lastSelectedTabIndex() const { return m_lastSelectedTabIndex; }
    bool isLoading() const { return m_loading; }
    TKSegmentedControl* functionSegmentedControl() const { return m_tabs; }
    QPushButton* saveButton() const { return m_saveButton; }
    QPushButton* resetButton() const { return m_resetButton; }
    QDialog* progressPanel() const { return m_progressPanel; }
    QPushButton* formatButton() const { return m_formatButton; }
    // The format window opened from here, while it is open.
    QWidget* lastDialogController() const { return m_lastDialogController; }

    // Centres the window on its screen, shows it and starts reading the card (onInitDIalog).
    void open();
    // The tab strip's action and the tab switch: refused while the record is loading or the shown pane's
    // input is invalid.
    void changeViewController(int index);
    QString validateUserInput();
    bool populate();
    void onSave();
    void onSaveDefaultSetting();
    void onCloseCmd();
    void onDiskUtil();
    void onFormat();
    // The drive-record tab's viewer, made on first use and kept while the window lives.
    ORBSettingForFlashDataViewController* createDriveInfoController();

    void showLoading(const QString& title);
    void hideLoading();

signals:
    // The record has been read (or there was nothing to read) and tab 0 is shown.
    void loaded();
    // A save has written the file.
    void saved(const QString& path);

private:
    struct Found;
    static Found findUSBVolume(VolumeService* volumes);
    void loadSettingFile();
    void finishLoading(const Found& found, const _FILEDATA* read);
    void updateLoadingWindow(double seconds);
    void setEditable(bool editable);
    void updateTitle();
    QWidget* createPane(int index);
    std::string chooseSavePath(QString& question);
    QString replaceQuestion(const std::string& path) const;
    QString changedSinceRead(const std::string& path, const std::string& bytes, const std::string& serial,
                             std::string& bytesNow, std::string& serialNow) const;
    std::string currentSerial() const;

    ORBSettingServices m_services;
    std::optional<std::string> m_configFile;
    _FILEDATA m_FileData{};
    std::optional<std::string> m_SettingFilePath;
    std::optional<TKUSBDiskEntity> m_selectedUSBDisk;
    std::optional<std::string> m_unreadPath; // a config.bin found but not read: never replaced unasked
    // What the file and its card were when the settings were read (or last saved): a save over a file that
    // has changed since, or onto another card under the same name, asks first.
    std::string m_readBytes;
    std::string m_readSerial;
    QString m_strVersion;
    QPointer<QWidget> m_targetController;
    QPointer<ORBSettingForFlashDataViewController> m_driveInfoController;
    QPointer<QWidget> m_lastDialogController;
    ORBSettingControllerDelegate* m_targetDelegate = nullptr;
    QWidget* m_targetView = nullptr;
    TKSegmentedControl* m_tabs = nullptr;
    QPushButton* m_formatButton = nullptr;
    QPushButton* m_resetButton = nullptr;
    QPushButton* m_saveButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    int m_lastSelectedTabIndex = -1;
    bool m_loading = false;

    QDialog* m_progressPanel = nullptr;
    PMProgressIndicator* m_progressIndicator = nullptr;
    QLabel* m_progressTitleField = nullptr;
    QLabel* m_progressTextField = nullptr; // the estimate of the time left
    bool m_stopLoadingWindow = true;
    double m_progress = 0;
};

} // namespace nura
