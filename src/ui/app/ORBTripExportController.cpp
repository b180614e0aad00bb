// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app/ORBTripExportController.h"

#include "core/trip/TripExportWriter.h"
#include "core/trip/TripFilter.h"
#include "core/trip/TripRecordingReader.h"
#include "core/trip/TripRecordings.h"
#include "core/util/SafeFile.h"
#include "ui/app/BackgroundResult.h"
#include "ui/settings/ORBSettingController.h"
#include "ui/strings/InfoPlist.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QTimer>

#include <atomic>
#include <new>

// What the worker and the UI thread share while an export runs.
struct ORBTripExportController::Job {
    std::atomic<size_t> read{0};
    std::atomic<bool> cancel{false};
};

namespace {

struct Stop {};
// A recording the card refused to read: a trip without it would look whole.
struct Refused {
    size_t index;
};

nura::TripFormat formatOfFile(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("gpx")) {
        return nura::TripFormat::Gpx;
    }
    return suffix == QLatin1String("csv") ? nura::TripFormat::Csv : nura::TripFormat::GeoJson;
}

// Reads the card's recordings up to the end of the wanted trip and writes that trip; returns the message
// for the user, empty on success.
QString writeTrip(const std::vector<ORBMediaList::MediaPtr>& recordings, size_t wanted, const QString& target,
                  std::atomic<size_t>& progress, std::atomic<bool>& cancel) {
    // Beside the target and renamed over it: a failed or cancelled export keeps the old file whole.
    nura::SafeFileWriter file(QFile::encodeName(target).toStdString());
    auto failed = [&target](const nura::FileStatus& status) {
        return L("trip.write_failed_fmt")
            .arg(QDir::toNativeSeparators(target), QString::fromStdString(status.describe()));
    };
    if (const nura::FileStatus status = file.begin(); !status.ok()) {
        return failed(status);
    }
    const auto writer = nura::TripExportWriter::make(
        formatOfFile(target), [&file](std::string_view text) { file.write(text); },
        recordings[wanted]->fileName());
    nura::TripFilter filter(*writer, wanted);
    nura::TripJoiner joiner(filter);
    std::vector<std::string> paths;
    for (const auto& m : recordings) {
        paths.push_back(m->path);
    }
    writer->begin();
    try {
        nura::TripRecordingReader::readInOrder(
            paths, nura::TripRecordingReader::defaultWorkers(), [&](size_t i, nura::RecordingFixes&& read) {
                if (cancel) {
                    throw Stop{};
                }
                progress = i + 1;
                if (read.error == nura::ORBTelemetryError::ReadFailed) {
                    throw Refused{i};
                }
                if (read.error == nura::ORBTelemetryError::None) {
                    filter.setRecording(i);
                    joiner.addRecording(recordings[i]->fileName(), read.fixes);
                }
                // Past the wanted recording with its trip written, or with no trip holding it: done.
                if (filter.found() || (i >= wanted && !filter.holdsWanted())) {
                    throw Stop{};
                }
            });
        joiner.finish();
    } catch (const Stop&) {
    } catch (const Refused& refused) {
        file.cancel();
        return L("trip.read_refused_fmt").arg(QString::fromStdString(recordings[refused.index]->fileName()));
    } catch (const std::bad_alloc&) {
        file.cancel();
        return L("trip.no_memory");
    }
    if (cancel) {
        file.cancel();
        return L("trip.cancelled");
    }
    if (!filter.found()) {
        file.cancel();
        return L("trip.no_fixes_fmt").arg(QString::fromStdString(recordings[wanted]->fileName()));
    }
    writer->end();
    if (const nura::FileStatus status = file.commit(); !status.ok()) {
        return failed(status);
    }
    return {};
}

} // namespace

ORBTripExportServices ORBTripExportServices::real() {
    ORBTripExportServices s;
    s.chooseSavePath = [](QWidget* parent, const QString& suggested) {
        return QFileDialog::getSaveFileName(parent, L("trip.export_title"), suggested,
                                            QStringLiteral("GeoJSON (*.geojson);;GPX (*.gpx);;CSV (*.csv)"));
    };
    s.showError = [](QWidget* parent, const QString& message) {
        QMessageBox::warning(parent, L("trip.export_title"), message);
    };
    return s;
}

ORBTripExportController::ORBTripExportController(ORBTripExportServices services, QWidget* window,
                                                 QObject* parent)
    : QObject(parent), m_services(std::move(services)), m_window(window) {}

ORBTripExportController::~ORBTripExportController() {
    if (m_job) {
        m_job->cancel = true; // the worker stops at its next recording; its result goes nowhere
    }
}

QAction* ORBTripExportController::addAction(QWidget* view) {
    auto* action = new QAction(L("trip.export_menu"), view);
    action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    action->setShortcutContext(Qt::WindowShortcut);
    view->addAction(action);
    view->setContextMenuPolicy(Qt::ActionsContextMenu);
    return action;
}

void ORBTripExportController::exportTrip(const ORBMediaList::MediaPtr& selected,
                                         const std::vector<ORBMediaList::MediaPtr>& medias,
                                         const ORBMediaList::PairMap& pairs) {
    if (isRunning() || !m_services.chooseSavePath) {
        return;
    }
    if (!selected) {
        if (m_services.showError) {
            m_services.showError(m_window, L("trip.no_selection"));
        }
        return;
    }
    auto recordings = nura::tripRecordings(medias, pairs);
    // A rear file whose front file is there stands for the same moment as that front file.
    size_t wanted = recordings.size();
    for (size_t i = 0; i < recordings.size() && wanted == recordings.size(); ++i) {
        if (recordings[i] == selected || recordings[i]->mediaGroupName() == selected->mediaGroupName()) {
            wanted = i;
        }
    }
    if (wanted == recordings.size()) {
        return;
    }
    const QString suggested =
        QDir(nura::documentsDirectory())
            .filePath(QString::fromStdString(selected->mediaGroupName()) + QStringLiteral("_trip.geojson"));
    const QString target = m_services.chooseSavePath(m_window, suggested);
    if (target.isEmpty()) {
        return;
    }

    m_job = std::make_shared<Job>();
    m_progress = new QProgressDialog(L("trip.exporting"), L("trip.cancel"), 0,
                                     static_cast<int>(recordings.size()), m_window);
    m_progress->setWindowModality(Qt::WindowModal);
    m_progress->setMinimumDuration(300);
    m_progress->setAutoClose(false);
    m_progress->setAutoReset(false);
    m_progressTimer = new QTimer(this);
    auto job = m_job;
    connect(m_progressTimer, &QTimer::timeout, this, [this, job] {
        if (m_progress) {
            m_progress->setValue(static_cast<int>(job->read.load()));
        }
    });
    connect(m_progress, &QProgressDialog::canceled, this, [job] { job->cancel = true; });
    m_progressTimer->start(100);

    nura::runWithResult(
        this,
        [recordings = std::move(recordings), wanted, target, job] {
            return writeTrip(recordings, wanted, target, job->read, job->cancel);
        },
        [this](QString message) { finish(message); });
}

void ORBTripExportController::finish(const QString& message) {
    const bool cancelled = m_job && m_job->cancel;
    m_job.reset();
    delete m_progressTimer;
    m_progressTimer = nullptr;
    delete m_progress;
    m_progress = nullptr;
    if (!message.isEmpty() && !cancelled && m_services.showError) {
        m_services.showError(m_window, message);
    }
    emit exportFinished(message);
}
