// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/ORBDrivesTableModel.h"

#include "ui/app/BackgroundResult.h"
#include "ui/strings/InfoPlist.h"

#include <QDateTime>
#include <QMetaObject>

#include <algorithm>
#include <cmath>

namespace {

QDateTime clockOf(int64_t ms) {
    // The camera's clock has no zone: its names are read as UTC, and shown as they were written.
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

QString durationText(int64_t ms) {
    const int64_t s = (ms + 500) / 1000;
    const QString minutesSeconds = QStringLiteral("%1:%2")
                                       .arg(s / 60 % 60, s >= 3600 ? 2 : 1, 10, QChar('0'))
                                       .arg(s % 60, 2, 10, QChar('0'));
    return s >= 3600 ? QStringLiteral("%1:%2").arg(s / 3600).arg(minutesSeconds) : minutesSeconds;
}

} // namespace

ORBDrivesTableModel::ORBDrivesTableModel(QObject* parent)
    : QAbstractTableModel(parent),
      m_reader([this](uint64_t listing, size_t file, const nura::RecordingLength& length) {
          QMetaObject::invokeMethod(
              this, [this, listing, file, length] { lengthArrived(listing, file, length); },
              Qt::QueuedConnection);
      }) {
    m_rebuild.setSingleShot(true);
    m_rebuild.setInterval(kRebuildDelayMs);
    connect(&m_rebuild, &QTimer::timeout, this, &ORBDrivesTableModel::rebuild);
}

ORBDrivesTableModel::~ORBDrivesTableModel() {
    m_reader.cancel();
    m_summaryCancel->store(true);
}

void ORBDrivesTableModel::setContents(const ORBMediaList::Contents& contents) {
    m_reader.cancel();
    m_rebuild.stop();
    m_summaryCancel->store(true);
    m_summaryCancel = std::make_shared<std::atomic<bool>>(false);
    ++m_summaryGeneration;
    m_summaries.clear();
    m_summaryTaken.clear();
    m_summarySource.reset();
    m_focusRow = 0;
    beginResetModel();
    m_recordings = nura::driveRecordings(contents);
    m_assumedMs.assign(m_recordings.size(), kAssumedMs);
    m_files.clear();
    std::vector<std::string> paths;
    const auto order = nura::driveOrder(m_recordings);
    // Until the headers say otherwise, a recording lasts until the next one of its kind begins.
    std::optional<size_t> previous[2];
    for (const size_t i : order) {
        auto& r = m_recordings[i];
        const int kind = r.media().isMotionMedia() ? 1 : 0;
        const int64_t start = *r.media().nameSeconds() * 1000;
        if (previous[kind]) {
            const int64_t before = *m_recordings[*previous[kind]].media().nameSeconds() * 1000;
            m_assumedMs[*previous[kind]] = std::clamp<int64_t>(start - before, 1000, kAssumedMs);
        }
        previous[kind] = i;
        for (const bool rear : {false, true}) {
            const auto& media = rear ? r.rear : r.front;
            if (media) {
                m_files.push_back({i, rear});
                paths.push_back(media->path);
            }
        }
    }
    for (size_t i = 0; i < m_recordings.size(); ++i) {
        auto& r = m_recordings[i];
        r.frontMs = r.front ? std::optional<int64_t>(m_assumedMs[i]) : std::nullopt;
        r.rearMs = r.rear ? std::optional<int64_t>(m_assumedMs[i]) : std::nullopt;
    }
    m_drives = nura::splitIntoDrives(m_recordings);
    m_unread = paths.size();
    endResetModel();
    m_listing = m_reader.start(std::move(paths));
    if (m_unread == 0) {
        rebuild();
    }
}

void ORBDrivesTableModel::clear() {
    setContents({});
}

void ORBDrivesTableModel::showRows(int first, int last) {
    if (first < 0 || first >= static_cast<int>(m_drives.size()) || last < first) {
        return;
    }
    m_focusRow = first;
    const auto& d = m_drives[static_cast<size_t>(first)];
    size_t recording = 0;
    if (!d.segments().empty()) {
        recording = d.segments().front().recording;
    } else if (!d.withoutLength().empty()) {
        recording = d.withoutLength().front();
    } else {
        return;
    }
    const auto file = std::find_if(m_files.begin(), m_files.end(),
                                   [recording](const File& f) { return f.recording == recording; });
    if (file != m_files.end()) {
        m_reader.setFocus(static_cast<size_t>(file - m_files.begin()));
    }
}

void ORBDrivesTableModel::lengthArrived(uint64_t listing, size_t file, const nura::RecordingLength& length) {
    if (listing != m_listing || file >= m_files.size()) {
        return;
    }
    const File& f = m_files[file];
    auto& r = m_recordings[f.recording];
    (f.rear ? r.rearMs : r.frontMs) =
        length.known() ? std::optional<int64_t>(length.milliseconds) : std::optional<int64_t>();
    --m_unread;
    if (m_unread == 0) {
        m_rebuild.stop();
        rebuild();
    } else if (!m_rebuild.isActive()) {
        m_rebuild.start();
    }
}

void ORBDrivesTableModel::rebuild() {
    beginResetModel();
    m_drives = nura::splitIntoDrives(m_recordings);
    if (m_unread == 0) {
        // The rows stand from now on: their telemetry can be read.
        m_summaries.assign(m_drives.size(), std::nullopt);
        m_summaryTaken.assign(m_drives.size(), false);
        m_summarySource = std::make_shared<const std::vector<nura::DriveRecording>>(m_recordings);
    }
    endResetModel();
    if (m_unread == 0) {
        emit lengthsComplete();
        readNextSummary();
    }
}

void ORBDrivesTableModel::readNextSummary() {
    if (m_summaryRunning || !m_summarySource) {
        return;
    }
    // The unread drive nearest the first row in view, ties going down the table.
    const int rows = static_cast<int>(m_drives.size());
    int row = -1;
    for (int distance = 0; row < 0 && distance < rows; ++distance) {
        for (const int candidate : {m_focusRow + distance, m_focusRow - distance}) {
            if (candidate >= 0 && candidate < rows && !m_summaryTaken[static_cast<size_t>(candidate)]) {
                row = candidate;
                break;
            }
        }
    }
    if (row < 0) {
        emit summariesComplete();
        return;
    }
    m_summaryTaken[static_cast<size_t>(row)] = true;
    m_summaryRunning = true;
    const uint64_t generation = m_summaryGeneration;
    nura::runWithResult(
        this,
        [timeline = m_drives[static_cast<size_t>(row)], source = m_summarySource, cancel = m_summaryCancel] {
            return nura::DriveListing::summarize(timeline, *source, [cancel] { return cancel->load(); });
        },
        [this, generation, row](std::optional<nura::DriveSummary> summary) {
            m_summaryRunning = false;
            if (generation == m_summaryGeneration && row < static_cast<int>(m_summaries.size())) {
                m_summaries[static_cast<size_t>(row)] = std::move(summary);
                emit dataChanged(index(row, DistanceColumn), index(row, EventsColumn));
            }
            readNextSummary();
        });
}

const nura::DriveSummary* ORBDrivesTableModel::summaryAt(int row) const {
    return row >= 0 && row < static_cast<int>(m_summaries.size()) && m_summaries[static_cast<size_t>(row)]
               ? &*m_summaries[static_cast<size_t>(row)]
               : nullptr;
}

const nura::DriveTimeline* ORBDrivesTableModel::driveAt(int row) const {
    return row >= 0 && row < static_cast<int>(m_drives.size()) ? &m_drives[static_cast<size_t>(row)]
                                                               : nullptr;
}

int ORBDrivesTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_drives.size());
}

int ORBDrivesTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ORBDrivesTableModel::data(const QModelIndex& index, int role) const {
    const nura::DriveTimeline* d = driveAt(index.row());
    if (!d || index.column() < 0 || index.column() >= ColumnCount) {
        return {};
    }
    if (role == Qt::TextAlignmentRole) {
        return index.column() >= DurationColumn ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    switch (index.column()) {
    case DateColumn:
        return clockOf(d->clockStartMs()).toString(QStringLiteral("yyyy-MM-dd"));
    case StartColumn:
        return clockOf(d->clockStartMs()).toString(QStringLiteral("HH:mm:ss"));
    case EndColumn:
        return clockOf(d->clockEndMs()).toString(QStringLiteral("HH:mm:ss"));
    case DurationColumn:
        return durationText(d->lengthMs());
    case RecordingsColumn:
        return static_cast<int>(d->segments().size());
    default:
        break;
    }
    // Distance and events come from the telemetry: blank until the drive's read has ended.
    const nura::DriveSummary* summary = summaryAt(index.row());
    if (!summary) {
        return QString();
    }
    if (index.column() == DistanceColumn) {
        const double metres =
            std::isfinite(summary->distanceMetres) ? std::round(summary->distanceMetres) : 0.0;
        return QStringLiteral("%1 km").arg(metres / 1000, 0, 'f', 2);
    }
    return static_cast<int>(summary->eventMarkers);
}

QVariant ORBDrivesTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount) {
        return {};
    }
    static const char* const keys[ColumnCount] = {"drives.date",     "drives.start",      "drives.end",
                                                  "drives.duration", "drives.recordings", "drives.distance",
                                                  "drives.events"};
    return L(keys[section]);
}
