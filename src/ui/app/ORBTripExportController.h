// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Export Trip…" of the main window: writes the drive that holds the selected recording, joined from the
// card's recordings, to a file the user chooses (GeoJSON, GPX or CSV by its suffix). The recordings are
// read off the UI thread behind a progress dialog that can cancel, and the file is replaced only once the
// export is whole.

#include "core/media/ORBMediaList.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QAction;
class QProgressDialog;
class QTimer;
class QWidget;

struct ORBTripExportServices {
    // The file chosen in a save dialog that proposes `suggested`; empty when cancelled.
    std::function<QString(QWidget* parent, const QString& suggested)> chooseSavePath;
    // Tells the user why an export failed.
    std::function<void(QWidget* parent, const QString& message)> showError;

    static ORBTripExportServices real();
};

class ORBTripExportController : public QObject {
    Q_OBJECT
public:
    ORBTripExportController(ORBTripExportServices services, QWidget* window, QObject* parent = nullptr);
    ~ORBTripExportController() override;

    // Asks where to and exports the trip of `selected`, one of `medias`; nothing while an export runs.
    void exportTrip(const ORBMediaList::MediaPtr& selected, const std::vector<ORBMediaList::MediaPtr>& medias,
                    const ORBMediaList::PairMap& pairs);
    bool isRunning() const { return m_job != nullptr; }
    // "Export Trip…" (Ctrl+E) in the context menu of `view`, which lies in the main window.
    QAction* addAction(QWidget* view);

signals:
    // Once per export started, on the UI thread: an empty message when the file was written.
    void exportFinished(const QString& message);

private:
    struct Job;
    void finish(const QString& message);

    ORBTripExportServices m_services;
    QPointer<QWidget> m_window;
    std::shared_ptr<Job> m_job;
    QPointer<QProgressDialog> m_progress;
    QTimer* m_progressTimer = nullptr;
};
