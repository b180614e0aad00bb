// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Recordings cut short by a power loss, in the viewer: whether a listed file is cut (found the first
// time someone asks, on hover or on play, never during the scan), "Repair…" in the list's context
// menu for both files of a recording, and the text that playback shows when a cut file fails to play.
// Repairs run off the UI thread; when the card cannot take the repaired files (read-only, full), the
// user is asked for another folder.

#include "core/media/ORBMediaList.h"
#include "core/repair/RecordingRepair.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <string>

class QAction;
class QWidget;

struct ORBRepairServices {
    // A folder chosen by the user, starting at `start`; empty when cancelled.
    std::function<QString(QWidget* parent, const QString& prompt, const QString& start)> chooseFolder;
    // Tells the user how a repair ended.
    std::function<void(QWidget* parent, const QString& message)> showMessage;
    // The trial decode; unset: the media helper beside the program.
    std::function<nura::TrialDecode(const std::string& path)> trialDecode;

    static ORBRepairServices real();
};

class ORBRepairController : public QObject {
    Q_OBJECT
public:
    ORBRepairController(ORBRepairServices services, QWidget* window, QObject* parent = nullptr);
    ~ORBRepairController() override;

    // A few header reads the first time a path is asked about; remembered until forget().
    bool isCutShort(const std::string& path);
    void forget();
    // For the status line when `path` fails to play: the offer to repair it, or empty when it is not cut.
    QString playFailureText(const std::string& path);

    // "Repair…" in the context menu of `view`, which lies in the main window.
    QAction* addAction(QWidget* view);
    // Repairs the cut files of the recording at `row` of `list` (front and rear).
    void repairRecording(const ORBMediaList& list, size_t row);
    // Repairs the cut files among `paths`, each into repaired/ beside it.
    void repair(const QStringList& paths);
    bool isRunning() const { return m_running; }

signals:
    // Once per repair started, on the UI thread: the files written and one line for the status.
    void repairFinished(const QStringList& written, const QString& message);

private:
    struct Outcome {
        QString input;
        nura::RepairResult result;
    };
    void run(const QStringList& paths, const QString& folder);
    void finished(const QList<Outcome>& outcomes);

    ORBRepairServices m_services;
    QPointer<QWidget> m_window;
    QHash<QString, bool> m_cut;
    QStringList m_written;
    bool m_running = false;
    bool m_askedFolder = false;
};
