// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The format window: lists the USB disks and formats the chosen card as FAT32 "NURA", keeping its
// config.bin (or giving it the factory-default record when it had none). The unmount, format and mount
// commands run on a worker; the window cannot be closed and no second job starts while one runs.

#include "core/card/TKUSBDiskEntity.h"
#include "ui/card/CardToolServices.h"
#include "ui/views/PMProgressIndicator.h"

#include <QDialog>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class ORBFormatWindowController : public QDialog {
    Q_OBJECT
public:
    explicit ORBFormatWindowController(CardToolServices services, QWidget* parent = nullptr);
    ~ORBFormatWindowController() override;

    // The one format window of the application: raised when it is open, else made (deleted on close) and
    // shown. Two windows would each hold their own list, and could start two jobs on one card.
    // `modality` applies to a window made now.
    static ORBFormatWindowController* showOne(CardToolServices services, QWidget* parent,
                                              Qt::WindowModality modality = Qt::NonModal);

    // Refreshes the disk list on a worker, then runs the completion on the UI thread.
    void loadUSBVolumes(std::function<void()> completion = {});
    std::optional<nura::TKUSBDiskEntity> selectedUSBDisk() const;
    std::optional<nura::TKUSBDiskEntity> selectUSBByDevFile(const std::string& device);
    void updateSelectedDiskInfo();
    void onFormat();
    bool isBusy() const { return m_jobs > 0; }
    const std::vector<nura::TKUSBDiskEntity>& usbDiskArray() const { return m_usbDiskArray; }

    QComboBox* usbDiskCombo = nullptr;
    QLineEdit* allocationUnitField = nullptr;
    QLineEdit* fileSystemField = nullptr;
    QLineEdit* pathField = nullptr;
    QPushButton* formatButton = nullptr;
    QPushButton* cancelButton = nullptr;
    PMProgressIndicator* progressBar = nullptr;
    QLabel* progressMessageField = nullptr;

signals:
    void usbVolumesLoaded();
    // A format job has ended, whatever its outcome (after its message is shown).
    void formatFinished(bool succeeded);

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private slots:
    void volumesChanged();

private:
    struct Listing;
    struct Outcome;
    void beginJob(const QString& text);
    void endJob();
    void setProgressText(const QString& text);
    void doFormat(const nura::TKUSBDiskEntity& disk);
    static Outcome runFormatJob(const CardToolServices& services, QPointer<ORBFormatWindowController> self,
                                const nura::TKUSBDiskEntity& disk);
    void formatJobEnded(const nura::TKUSBDiskEntity& disk, const Outcome& outcome);
    void formatDidFinished(const std::string& device, const QString& savedCopy, uint32_t newSerial);

    CardToolServices m_services;
    std::vector<nura::TKUSBDiskEntity> m_usbDiskArray;
    int m_jobs = 0;
    bool m_formatting = false;
    bool m_refreshAgain = false;
};
