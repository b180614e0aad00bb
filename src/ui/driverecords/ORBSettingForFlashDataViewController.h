// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The drive-record viewer: the camera's drive records as a 17-column table, another ".drv" file opened on
// request, a record's position shown on the map on a double-click, and the table exported as CSV. A
// settings tab hosts it; reading and writing run on a worker.

#include "core/driverecords/DriveRecordFile.h"
#include "ui/settings/ORBSettingControllerDelegate.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class QLabel;
class QPushButton;
class QTableView;
class DriveRecordModel;

struct ORBFlashDataServices {
    // A ".drv" file to open, or a ".csv" file to write ("nura_000"); empty when cancelled.
    std::function<QString(QWidget* parent)> chooseOpenFile;
    std::function<QString(QWidget* parent, const QString& name)> chooseSaveFile;
    // Shows a position in decimal degrees on the map window (opening it when needed).
    std::function<void(double latitude, double longitude)> showOnMap;
    // Closes the map window: when the tab is left, and before opening or exporting a file.
    std::function<void()> dropMap;

    static ORBFlashDataServices real();
};

class ORBSettingForFlashDataViewController : public QWidget, public nura::ORBSettingControllerDelegate {
    Q_OBJECT
public:
    explicit ORBSettingForFlashDataViewController(ORBFlashDataServices services, QWidget* parent = nullptr);
    ~ORBSettingForFlashDataViewController() override;

    void setFlashDataFilePath(const QString& path) { m_FlashDataFilePath = path; }
    const QString& flashDataFilePath() const { return m_FlashDataFilePath; }
    // The tab's first showing: reads the file once, when it is there; a missing file leaves the table empty.
    void displayFileData();
    // Reads the file on a worker; the table keeps what it showed when the file cannot be opened.
    void loadFlashDataFile();
    qint64 flashDataNum() const { return static_cast<qint64>(m_records.size()); }
    const std::vector<nura::_FLASH_SAVE_VALUE_STRUCT>& records() const { return m_records; }

    void openFileDialog();
    void doubleClickTableRow(int row);
    void onSaveCSVFile();
    // Exports on a worker; reports success or failure when done.
    void doWriteCSVFile(const QString& path);
    // As a settings tab: the window's record is not edited here; the first showing reads the file.
    void setFileData(nura::_FILEDATA* record) override;
    bool populate() override { return m_fileData != nullptr; }
    void onHide() override;

    QTableView* tableView = nullptr;
    QPushButton* openButton = nullptr;
    QPushButton* exportButton = nullptr;
    QLabel* statusLabel = nullptr;

signals:
    void loaded();
    // Empty on success, otherwise why not.
    void exported(const QString& failure);

private:
    void setBusy(bool busy, const QString& text);

    ORBFlashDataServices m_services;
    QString m_FlashDataFilePath;
    std::vector<nura::_FLASH_SAVE_VALUE_STRUCT> m_records;
    DriveRecordModel* m_model = nullptr;
    bool m_busy = false;
    bool m_firstLoad = true;
    nura::_FILEDATA* m_fileData = nullptr;
};
