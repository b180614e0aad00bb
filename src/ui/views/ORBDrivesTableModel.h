// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Drives list as a table: one row per drive of the listing, earliest first, with its date, start
// and end on the camera's clock, duration and recordings. Rows appear at once from the names, each
// recording taken to last until the next one begins (at most kAssumedMs); the files' headers are then
// read in the background, nearest the rows in view first, and the rows follow. Once every length is
// known, each drive's telemetry is read for its distance and events, one drive at a time, nearest the
// rows in view first.

#include "core/media/DriveTimeline.h"
#include "core/media/RecordingLengthReader.h"
#include "core/trip/DriveListing.h"

#include <QAbstractTableModel>
#include <QTimer>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class ORBDrivesTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        DateColumn = 0,
        StartColumn,
        EndColumn,
        DurationColumn,
        RecordingsColumn,
        DistanceColumn,
        EventsColumn,
        ColumnCount
    };
    static constexpr int64_t kAssumedMs = 3 * 60 * 1000;
    // Lengths that arrive together are taken in at once, after this long.
    static constexpr int kRebuildDelayMs = 150;

    explicit ORBDrivesTableModel(QObject* parent = nullptr);
    ~ORBDrivesTableModel() override;

    // A new listing: its rows now, the headers' reads of the last one dropped and its own started.
    void setContents(const ORBMediaList::Contents& contents);
    // Drops the rows and the reads (another folder is being opened).
    void clear();
    // The rows in view: their files are read next.
    void showRows(int first, int last);

    const nura::DriveTimeline* driveAt(int row) const;
    const std::vector<nura::DriveRecording>& recordings() const { return m_recordings; }
    // Whether every file's header has been read for this listing.
    bool lengthsRead() const { return m_unread == 0; }
    // A drive's distance and events, once its telemetry has been read.
    const nura::DriveSummary* summaryAt(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    // Every file's header has been read and the rows show the drives as they are.
    void lengthsComplete();
    // Every drive's telemetry has been read.
    void summariesComplete();

private:
    struct File {
        size_t recording;
        bool rear;
    };
    void lengthArrived(uint64_t listing, size_t file, const nura::RecordingLength& length);
    void rebuild();
    void readNextSummary();

    std::vector<nura::DriveRecording> m_recordings; // lengths as known or assumed
    std::vector<int64_t> m_assumedMs;               // per recording, until its headers are read
    std::vector<File> m_files;                      // in drive order, front before rear
    std::vector<nura::DriveTimeline> m_drives;
    size_t m_unread = 0;
    uint64_t m_listing = 0;
    QTimer m_rebuild;
    // The telemetry reads: one drive at a time, of the rows as they stand once every length is known.
    std::vector<std::optional<nura::DriveSummary>> m_summaries;
    std::vector<bool> m_summaryTaken;
    std::shared_ptr<const std::vector<nura::DriveRecording>> m_summarySource;
    std::shared_ptr<std::atomic<bool>> m_summaryCancel = std::make_shared<std::atomic<bool>>(false);
    uint64_t m_summaryGeneration = 0;
    bool m_summaryRunning = false;
    int m_focusRow = 0;
    nura::RecordingLengthReader m_reader; // last: it stops handing on before the rest goes
};
