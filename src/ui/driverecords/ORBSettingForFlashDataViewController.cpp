// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/driverecords/ORBSettingForFlashDataViewController.h"

#include "core/driverecords/DriveRecordTable.h"
#include "core/log.h"
#include "core/telemetry/ConvertNmeaCoordinates.h"
#include "ui/app/BackgroundResult.h"
#include "ui/settings/ChoiceControls.h"
#include "ui/strings/InfoPlist.h"
#include "ui/views/ORBMapWindowController.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QThread>
#include <QVBoxLayout>

class DriveRecordModel : public QAbstractTableModel {
public:
    explicit DriveRecordModel(const std::vector<nura::_FLASH_SAVE_VALUE_STRUCT>& records, QObject* parent)
        : QAbstractTableModel(parent), m_records(records) {}

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_records.size());
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(nura::kDriveRecordColumnCount);
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || static_cast<size_t>(index.row()) >= m_records.size()) {
            return {};
        }
        if (role == Qt::DisplayRole) {
            return QString::fromStdString(nura::driveRecordCell(m_records[static_cast<size_t>(index.row())],
                                                                static_cast<size_t>(index.row()),
                                                                static_cast<size_t>(index.column())));
        }
        if (role == Qt::TextAlignmentRole) {
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        }
        return {};
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
            static_cast<size_t>(section) < nura::kDriveRecordColumnCount) {
            return QString::fromUtf8(nura::kDriveRecordColumns[static_cast<size_t>(section)].title);
        }
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    void beginReset() { beginResetModel(); }
    void endReset() { endResetModel(); }

private:
    const std::vector<nura::_FLASH_SAVE_VALUE_STRUCT>& m_records;
};

namespace {} // namespace

ORBFlashDataServices ORBFlashDataServices::real() {
    ORBFlashDataServices s;
    s.chooseOpenFile = [](QWidget* parent) {
        return QFileDialog::getOpenFileName(parent, QString(), QString(), QStringLiteral("*.drv"));
    };
    s.chooseSaveFile = [](QWidget* parent, const QString& name) {
        return QFileDialog::getSaveFileName(parent, QString(), QDir::home().filePath(name + ".csv"),
                                            QStringLiteral("*.csv"));
    };
    // One map window for the viewer, opened beside the window in front on the first record shown.
    auto map = std::make_shared<QPointer<ORBMapWindowController>>();
    s.showOnMap = [map](double latitude, double longitude) {
        if (!*map) {
            *map = new ORBMapWindowController();
            (*map)->windowDidLoad();
            if (const QWidget* opener = QApplication::activeWindow()) {
                (*map)->moveWindowRightBy(opener->frameGeometry());
            }
        }
        (*map)->showWindow();
        (*map)->showRecordPosition(latitude, longitude);
    };
    s.dropMap = [map] {
        if (*map) {
            (*map)->deleteLater();
        }
    };
    return s;
}

ORBSettingForFlashDataViewController::ORBSettingForFlashDataViewController(ORBFlashDataServices services,
                                                                           QWidget* parent)
    : QWidget(parent), m_services(std::move(services)) {
    setObjectName(QStringLiteral("ORBSettingForFlashDataViewController"));
    m_model = new DriveRecordModel(m_records, this);
    tableView = new QTableView(this);
    tableView->setModel(m_model);
    tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableView->verticalHeader()->hide();
    tableView->verticalHeader()->setDefaultSectionSize(20);
    for (size_t c = 0; c < nura::kDriveRecordColumnCount; ++c) {
        tableView->setColumnWidth(static_cast<int>(c), nura::kDriveRecordColumns[c].width);
    }
    tableView->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);

    openButton = new QPushButton(L("open"), this);
    exportButton = new QPushButton(L("export"), this);
    openButton->setShortcut(QKeySequence::Open);
    exportButton->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    statusLabel = new QLabel(this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(statusLabel, 1);
    buttons->addWidget(openButton);
    buttons->addWidget(exportButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tableView, 1);
    layout->addLayout(buttons);

    connect(tableView, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { doubleClickTableRow(index.row()); });
    connect(openButton, &QPushButton::clicked, this, &ORBSettingForFlashDataViewController::openFileDialog);
    connect(exportButton, &QPushButton::clicked, this, &ORBSettingForFlashDataViewController::onSaveCSVFile);
}

ORBSettingForFlashDataViewController::~ORBSettingForFlashDataViewController() {
    // The map window shows this viewer's record; it goes with the viewer.
    if (m_services.dropMap) {
        m_services.dropMap();
    }
}

void ORBSettingForFlashDataViewController::setBusy(bool busy, const QString& text) {
    m_busy = busy;
    openButton->setEnabled(!busy);
    exportButton->setEnabled(!busy);
    statusLabel->setText(text);
}

void ORBSettingForFlashDataViewController::displayFileData() {
    if (!m_firstLoad) {
        return;
    }
    m_firstLoad = false;
    if (!m_FlashDataFilePath.isEmpty() && QFileInfo::exists(m_FlashDataFilePath)) {
        loadFlashDataFile();
    }
}

void ORBSettingForFlashDataViewController::loadFlashDataFile() {
    if (m_FlashDataFilePath.isEmpty() || m_busy) {
        return;
    }
    setBusy(true, QStringLiteral("Loading..."));
    const std::string path = m_FlashDataFilePath.toStdString();
    nura::runWithResult(
        this, [path] { return nura::readDriveRecordFile(path); },
        [this](nura::DriveRecordFile file) {
            QString text;
            if (file.status == nura::DriveRecordReadStatus::Ok) {
                m_model->beginReset();
                m_records = std::move(file.records);
                m_model->endReset();
                // Widths from the texts as this font draws them (Qt measures the first rows only).
                tableView->resizeColumnsToContents();
                text = QStringLiteral("%1 records").arg(m_records.size());
            } else {
                text = file.status == nura::DriveRecordReadStatus::TooShort ||
                               file.status == nura::DriveRecordReadStatus::BadHeader
                           ? QStringLiteral("Not a drive-record file: %1").arg(m_FlashDataFilePath)
                       : file.status == nura::DriveRecordReadStatus::NotRegular
                           ? QStringLiteral("Not a regular file: %1").arg(m_FlashDataFilePath)
                           : L("msg.file_open_fail");
            }
            setBusy(false, text);
            emit loaded();
        });
}

void ORBSettingForFlashDataViewController::openFileDialog() {
    onHide();
    const QString path = m_services.chooseOpenFile ? m_services.chooseOpenFile(this) : QString();
    if (!path.isEmpty()) {
        m_FlashDataFilePath = path;
        loadFlashDataFile();
    }
}

void ORBSettingForFlashDataViewController::doubleClickTableRow(int row) {
    nura::logf("rowNum=%ld", static_cast<long>(row));
    if (row < 0 || static_cast<size_t>(row) >= m_records.size()) {
        return;
    }
    const auto& r = m_records[static_cast<size_t>(row)];
    // The position as the table shows it, read back as a number (always with a decimal point).
    const double latIn =
        QString::fromStdString(nura::driveRecordCell(r, static_cast<size_t>(row), 5)).toDouble();
    const double lonIn =
        QString::fromStdString(nura::driveRecordCell(r, static_cast<size_t>(row), 6)).toDouble();
    double lat = 0.0;
    double lon = 0.0;
    nura::ConvertNmeaCoordinates(&lat, &lon, latIn, lonIn);
    if (lat != 0.0 && lon != 0.0 && m_services.showOnMap) {
        m_services.showOnMap(lat, lon);
    }
}

void ORBSettingForFlashDataViewController::onSaveCSVFile() {
    onHide();
    if (m_records.empty() || m_busy) {
        return;
    }
    const QString path =
        m_services.chooseSaveFile ? m_services.chooseSaveFile(this, QStringLiteral("nura_000")) : QString();
    if (!path.isEmpty()) {
        doWriteCSVFile(path);
    }
}

void ORBSettingForFlashDataViewController::doWriteCSVFile(const QString& path) {
    setBusy(true, QStringLiteral("Saving..."));
    nura::runWithResult(
        this,
        [records = m_records, target = path.toStdString()] {
            return QString::fromStdString(nura::writeDriveRecordCsvFile(target, records));
        },
        [this, path](QString failure) {
            setBusy(false, QString());
            if (failure.isEmpty()) {
                nura::ShowAlertSheet(this, QStringLiteral("NURA"), L("msg.saved"));
            } else {
                nura::ShowAlertSheet(this, L("msg.export_fail"), QStringLiteral("%1\n%2").arg(path, failure));
            }
            emit exported(failure);
        });
}

void ORBSettingForFlashDataViewController::setFileData(nura::_FILEDATA* record) {
    m_fileData = record;
    displayFileData();
}

void ORBSettingForFlashDataViewController::onHide() {
    if (m_services.dropMap) {
        m_services.dropMap();
    }
}
