// SPDX-License-Identifier: GPL-3.0-or-later
// The window's lists: the card's folder opened and listed, the recordings and drives tables, whether
// a recording was cut short, and the right column's tabs.
#include "ui/app/ORBAppDelegate.h"

#include "core/log.h"
#include "core/repair/RecordingShape.h"
#include "platform/MprisService.h"
#include "platform/PathText.h"
#include "platform/ProcessCommandRunner.h"
#include "platform/Scheduler.h"
#include "platform/VideoView.h"
#include "platform/VolumeService.h"
#include "ui/app/BackgroundResult.h"
#include "ui/app/CustomWindow.h"
#include "ui/app/ORBDriveReadAhead.h"
#include "ui/app/ORBMainWindowView.h"
#include "ui/app/ORBMprisBridge.h"
#include "ui/app/ORBPlayInfo.h"
#include "ui/app/ORBRecordingsModel.h"
#include "ui/app/ORBTelemetryPresenter.h"
#include "ui/app/ORBViewingTools.h"
#include "ui/app/Resources.h"
#include "ui/card/ORBFormatWindowController.h"
#include "ui/card/ORBTimeSetupController.h"
#include "ui/strings/InfoPlist.h"
#include "ui/views/GraphView.h"
#include "ui/views/ORBDrivesTableModel.h"
#include "ui/views/TKSliderMarks.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QShortcut>
#include <QSlider>
#include <QTableView>
#include <QThread>
#include <QToolButton>
#include <QVBoxLayout>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

// The file a name leads to, links followed, by the name's own bytes; none when there is no such file.
std::optional<std::string> canonicalName(const std::string& name) {
    char* resolved = ::realpath(name.c_str(), nullptr);
    if (!resolved) {
        return std::nullopt;
    }
    std::string out(resolved);
    std::free(resolved);
    return out;
}

} // namespace

void ORBAppDelegate::initMediaListTableView() {
    m_columnNames = {L("filelist.mode"), L("filelist.date"), L("filelist.time"), L("filelist.file")};
    m_recordingsModel = new ORBRecordingsModel(*m_mediaList, this);
    m_drivesModel = new ORBDrivesTableModel(this);
    // Drive mode needs every recording's length: the rows' guesses from the names are not enough.
    connect(m_drivesModel, &ORBDrivesTableModel::lengthsComplete, this, [this] {
        std::vector<nura::DriveTimeline> drives;
        for (int row = 0; row < m_drivesModel->rowCount(); ++row) {
            drives.push_back(*m_drivesModel->driveAt(row));
        }
        m_readAhead->setRecordings(m_drivesModel->recordings());
        m_playback->setDrives(m_drivesModel->recordings(), std::move(drives));
    });
    auto* drives = m_view->drivesTableView;
    drives->setModel(m_drivesModel);
    drives->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    // Seven columns are wider than the right column: it scrolls sideways, smoothly, rather than
    // cutting off the distance and events.
    drives->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    drives->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // The rows in view are read first.
    const auto showRows = [this, drives] {
        const int first = std::max(drives->rowAt(0), 0);
        const int last = drives->rowAt(drives->viewport()->height() - 1);
        m_drivesModel->showRows(first, last < 0 ? m_drivesModel->rowCount() - 1 : last);
    };
    connect(drives->verticalScrollBar(), &QScrollBar::valueChanged, this, showRows);
    // A double-click plays the drive from its first recording, the slider over the whole drive.
    connect(drives, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        const nura::DriveTimeline* drive = m_drivesModel->driveAt(index.row());
        if (!drive || drive->segments().empty()) {
            return;
        }
        const auto& first = m_drivesModel->recordings()[drive->segments().front().recording];
        const int64_t row = rowOfFile(nura::pathText(first.media().path));
        if (row >= 0) {
            m_playback->playDriveFrom(row);
            showDriveMode(m_playback->driveModeActive());
        }
    });
    m_recordingsModel->setColumnNames(m_columnNames);
    m_recordingsModel->setCutShortTest(
        [this](const std::string& path) { return knownCutShort(nura::pathText(path)); });
    auto* table = m_view->mediaListTableView;
    table->setModel(m_recordingsModel);
    auto* header = table->horizontalHeader();
    header->setSectionResizeMode(ORBRecordingsModel::SaveMode, QHeaderView::Fixed);
    header->setSectionResizeMode(ORBRecordingsModel::File, QHeaderView::Stretch);
    table->setTextElideMode(Qt::ElideMiddle);
    table->setColumnWidth(ORBRecordingsModel::SaveMode, 92);
    table->setColumnWidth(ORBRecordingsModel::Date, 72);
    table->setColumnWidth(ORBRecordingsModel::Time, 58);
}

bool ORBAppDelegate::knownCutShort(const QString& path, std::function<void(bool cut)> known) {
    if (const auto it = m_cutShort.constFind(path); it != m_cutShort.constEnd()) {
        if (known) {
            known(*it);
        }
        return *it;
    }
    const bool underWay = m_cutShortAsked.contains(path);
    auto& waiting = m_cutShortAsked[path];
    if (known) {
        waiting.push_back(std::move(known));
    }
    if (!underWay) {
        nura::runWithResult(
            this,
            [file = nura::pathBytes(path)] {
                return nura::RecordingShape::inspect(file).kind == nura::RecordingShape::Kind::Cut;
            },
            [this, path](bool cut) {
                m_cutShort.insert(path, cut);
                const auto callbacks = m_cutShortAsked.take(path);
                for (const auto& callback : callbacks) {
                    callback(cut);
                }
                // A tooltip asked before the answer was there is right the next time it is shown.
                if (cut && m_recordingsModel->rowCount() > 0) {
                    emit m_recordingsModel->dataChanged(
                        m_recordingsModel->index(0, 0),
                        m_recordingsModel->index(m_recordingsModel->rowCount() - 1,
                                                 m_recordingsModel->columnCount() - 1),
                        {Qt::ToolTipRole});
                }
            });
    }
    return false;
}

int64_t ORBAppDelegate::rowOfFile(const QString& path) const {
    const std::optional<std::string> canonical = canonicalName(nura::pathBytes(path));
    if (!canonical) {
        return -1;
    }
    const size_t count = m_mediaList->count();
    for (size_t i = 0; i < count; ++i) {
        const auto media = m_mediaList->mediaAtIndex(i);
        if (media && canonicalName(media->path) == canonical) {
            return static_cast<int64_t>(i);
        }
    }
    return -1;
}

void ORBAppDelegate::openMediaDirectoryDialog() {
    const QString path = m_services.chooseDirectory ? m_services.chooseDirectory(m_window) : QString();
    if (!path.isEmpty()) {
        openMediaDirectory(path);
    }
}

void ORBAppDelegate::openMediaDirectory(const QString& path) {
    // Playback stops through its own logic: no recording is loaded until one is chosen.
    m_playback->stopPlay();
    m_readAhead->clear();      // the reads of this card's drive stop now, not once the next card is listed
    m_presenter->resetTexts(); // the values of the recording that played are not this card's
    setLogos(false);           // both labels, as before any recording
    m_video2View->setPlaceholder(QString());
    m_scanning = true;
    updateStatus();
    m_mediaList->setDirectoryPath(nura::pathBytes(path));
}

void ORBAppDelegate::mediaListChanged(ORBMediaList&) {
    if (QThread::currentThread() == thread()) {
        reloadMediaList();
        return;
    }
    // The scan waits here until the table shows the new list; the UI thread never waits for the
    // scan while it holds the list, so this cannot deadlock.
    QMetaObject::invokeMethod(this, &ORBAppDelegate::reloadMediaList, Qt::BlockingQueuedConnection);
}

void ORBAppDelegate::reloadMediaList() {
    if (m_terminating) {
        return;
    }
    rightViewMode = 0;
    updateSideViewButton();
    m_recordingsModel->reload();
    m_readAhead->clear();
    m_playback->setDrives({}, {});
    m_drivesModel->setContents({m_mediaList->medias(), m_mediaList->mediaPairDic()});
    m_playback->mediaListReloaded();
    m_scanning = false;
    updateStatus();
    emit mediaListReloaded();
}

void ORBAppDelegate::updateStatus() {
    auto* label = m_view->statusLabel;
    const QString folder = QString::fromStdString(m_mediaList->directoryPath());
    if (m_scanning) {
        label->setText(L("main.scanning"));
    } else if (folder.isEmpty()) {
        label->setText(L("main.no_folder"));
    } else if (m_mediaList->count() == 0) {
        label->setText(L("main.no_recordings") + QStringLiteral("  ") + folder);
    } else {
        label->setText(InfoPlist::localizedCount("main.count_fmt", static_cast<int>(m_mediaList->count())) +
                       QStringLiteral("  ") + folder);
    }
    label->setToolTip(folder);
}

void ORBAppDelegate::clickMediaListViewButton() {
    if (rightViewMode != 0) {
        rightViewMode = 0;
        updateSideViewButton();
    }
}

void ORBAppDelegate::clickMapViewButton() {
    if (rightViewMode != 1) {
        rightViewMode = 1;
        updateSideViewButton();
    }
}

void ORBAppDelegate::clickDrivesViewButton() {
    if (rightViewMode != 2) {
        rightViewMode = 2;
        updateSideViewButton();
    }
}

void ORBAppDelegate::updateSideViewButton() {
    auto& v = *m_view;
    const bool list = rightViewMode == 0, map = rightViewMode == 1;
    v.selectSideButton(rightViewMode);
    if (map) {
        m_mapSide->show();
    }
    v.mapContainerView->setVisible(map);
    v.mediaListTableView->setVisible(list);
    v.drivesTableView->setVisible(rightViewMode == 2);
    layoutMapContainer();
}
