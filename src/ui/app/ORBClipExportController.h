// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Clips in the viewer: I and O set the in and out marks of the playing recording, shown as a band on
// the position sliders, and "Export Clip…" (Ctrl+Shift+E, also in the list's context menu) asks for the
// layout, corner, band, sound, lossless or not, quality and span, then makes the clip off the UI thread
// behind a progress dialog with the time left and Cancel. The target is replaced only when the clip is
// whole; the status line then offers to show it in its folder.

#include "core/clip/LosslessClip.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QAction;
class QLabel;
class QProgressDialog;
class QTimer;
class QWidget;
class TKSliderMarks;

// What the export dialog asks for.
struct ORBClipRequest {
    QString input; // the recording the span is measured in
    QString output;
    double start = 0, end = 0;
    bool lossless = false;
    QString layout = QStringLiteral("pip");
    QString corner = QStringLiteral("br");
    bool overlay = true;
    QString audio; // empty: the camera that has sound
    int quality = 20;
};

class ORBClipExportController : public QObject {
    Q_OBJECT
public:
    ORBClipExportController(std::vector<TKSliderMarks*> sliders, QWidget* window, QLabel* status,
                            QObject* parent = nullptr);
    ~ORBClipExportController() override;

    // The marks, in seconds of the playing recording of `length` seconds.
    void setIn(double seconds, double length);
    void setOut(double seconds, double length);
    void clearMarks();
    // Both marks at once, in seconds of `length` (the slider came to be over the drive, or back).
    void setMarks(std::optional<double> in, std::optional<double> out, double length);
    std::optional<double> inMark() const { return m_in; }
    std::optional<double> outMark() const { return m_out; }

    // The span the dialog proposes: the marks if set; else 10 s either side of the event marker nearest
    // `position`; else the whole recording.
    static std::pair<double, double> defaultSpan(std::optional<double> in, std::optional<double> out,
                                                 const std::vector<double>& markers, double position,
                                                 double length);

    // "Export Clip…" (Ctrl+Shift+E) in the context menu of `view`, which lies in the main window.
    QAction* addAction(QWidget* view);
    // Shows the dialog for `recording` with the span proposed, then runs the export.
    void exportClip(const QString& recording, std::pair<double, double> span, double length);
    // A clip refused before it starts, said in the status line.
    void refuse(const QString& why);
    // Runs an export as asked, without the dialog (tests, and the dialog's OK).
    void run(const ORBClipRequest& request);
    bool isRunning() const { return m_job != nullptr; }

signals:
    // Once per export, on the UI thread: the file written (empty when none) and one line for the user.
    void exportFinished(const QString& output, const QString& message);

private:
    struct Job;
    void finish(const QString& output, const QString& message);
    void updateSpan();

    std::vector<TKSliderMarks*> m_sliders;
    QPointer<QWidget> m_window;
    QPointer<QLabel> m_status;
    std::optional<double> m_in, m_out;
    double m_length = 0;
    std::shared_ptr<Job> m_job;
    QPointer<QProgressDialog> m_progress;
    QTimer* m_progressTimer = nullptr;
};
