// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app/ORBClipExportController.h"

#include "core/clip/CombinedClip.h"
#include "core/util/HelperProgram.h"
#include "platform/PathText.h"
#include "ui/app/BackgroundResult.h"
#include "ui/strings/InfoPlist.h"
#include "ui/views/TKSliderMarks.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cmath>

struct ORBClipExportController::Job {
    std::atomic<bool> cancel{false};
    std::atomic<double> done{0.0};
    QElapsedTimer clock;
};

namespace {

struct Outcome {
    QString output;
    QString message;
    bool ok = false;
};

// Runs on a worker; `cancel` and `done` are the job's, which outlives the run.
Outcome work(const ORBClipRequest& r, const std::atomic<bool>& cancel, std::atomic<double>& done) {
    const std::string input = nura::pathBytes(r.input);
    const std::string output = nura::pathBytes(r.output);
    if (r.lossless) {
        nura::ClipOptions o;
        o.input = input;
        o.output = output;
        o.start = r.start;
        o.end = r.end;
        o.force = true; // the save dialog has asked about an existing file
        o.cancelled = [&cancel] { return cancel.load(); };
        o.progress = [&done](uint64_t d, uint64_t total) {
            done.store(total == 0 ? 1.0 : static_cast<double>(d) / static_cast<double>(total));
        };
        const auto result = nura::LosslessClip::cut(o);
        return {r.output, QString::fromStdString(result.message), result.status == nura::ClipStatus::Done};
    }
    const auto helper = nura::findMediaHelper();
    if (!helper) {
        return {r.output, L("clip.no_helper"), false};
    }
    nura::CombinedClipOptions o;
    o.input = input;
    o.output = output;
    o.start = r.start;
    o.end = r.end;
    o.force = true;
    o.look.layout = nura::clipLayoutNamed(r.layout.toStdString()).value_or(o.look.layout);
    o.look.corner = nura::clipCornerNamed(r.corner.toStdString()).value_or(o.look.corner);
    o.look.sound = nura::clipSoundNamed(r.audio.toStdString()).value_or(o.look.sound);
    o.look.overlay = r.overlay;
    o.look.quality = r.quality;
    o.cancelled = [&cancel] { return cancel.load(); };
    o.progress = [&done](double f) { done.store(f); };
    const auto result = nura::CombinedClip::make(o, *helper);
    return {r.output, QString::fromStdString(result.message), result.status == nura::ClipStatus::Done};
}

// The clip's file name as the command line would choose it, else one from the recording's name.
QString suggestedName(const QString& recording, double start, bool lossless) {
    const std::string input = nura::pathBytes(recording);
    const auto name = lossless ? nura::LosslessClip::recordingName(input, start)
                               : nura::CombinedClip::defaultName(input, start);
    return name ? nura::pathText(*name)
                : QFileInfo(recording).completeBaseName() + QStringLiteral("_clip.mp4");
}

} // namespace

ORBClipExportController::ORBClipExportController(std::vector<TKSliderMarks*> sliders, QWidget* window,
                                                 QLabel* status, QObject* parent)
    : QObject(parent), m_sliders(std::move(sliders)), m_window(window), m_status(status) {
    if (m_status) {
        connect(m_status, &QLabel::linkActivated, this,
                [](const QString& link) { QDesktopServices::openUrl(QUrl(link)); });
    }
}

ORBClipExportController::~ORBClipExportController() {
    if (m_job) {
        m_job->cancel = true;
    }
}

void ORBClipExportController::setIn(double seconds, double length) {
    m_length = length;
    m_in = std::max(0.0, seconds);
    if (m_out && *m_out <= *m_in) {
        m_out.reset();
    }
    updateSpan();
}

void ORBClipExportController::setOut(double seconds, double length) {
    m_length = length;
    m_out = std::max(0.0, seconds);
    if (m_in && *m_in >= *m_out) {
        m_in.reset();
    }
    updateSpan();
}

void ORBClipExportController::clearMarks() {
    m_in.reset();
    m_out.reset();
    updateSpan();
}

void ORBClipExportController::setMarks(std::optional<double> in, std::optional<double> out, double length) {
    m_in = in;
    m_out = out;
    m_length = length;
    updateSpan();
}

void ORBClipExportController::refuse(const QString& why) {
    if (m_status) {
        m_status->setText(why);
    }
}

void ORBClipExportController::updateSpan() {
    const auto at = [this](const std::optional<double>& s) -> std::optional<double> {
        if (!s || m_length <= 0) {
            return std::nullopt;
        }
        return std::clamp(*s / m_length, 0.0, 1.0);
    };
    for (TKSliderMarks* slider : m_sliders) {
        slider->setSpan(at(m_in), at(m_out));
    }
}

std::pair<double, double> ORBClipExportController::defaultSpan(std::optional<double> in,
                                                               std::optional<double> out,
                                                               const std::vector<double>& markers,
                                                               double position, double length) {
    if (in || out) {
        return {in.value_or(0.0), out.value_or(length)};
    }
    if (!markers.empty()) {
        const double nearest = *std::min_element(markers.begin(), markers.end(), [&](double a, double b) {
            return std::abs(a - position) < std::abs(b - position);
        });
        // The span may run past the recording's end: the clip then goes on into the next one.
        return {std::max(0.0, nearest - 10.0), nearest + 10.0};
    }
    return {0.0, length};
}

QAction* ORBClipExportController::addAction(QWidget* view) {
    auto* action = new QAction(L("clip.export_menu"), view);
    action->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    action->setShortcutContext(Qt::WindowShortcut);
    view->addAction(action);
    view->setContextMenuPolicy(Qt::ActionsContextMenu);
    return action;
}

void ORBClipExportController::exportClip(const QString& recording, std::pair<double, double> span,
                                         double length) {
    if (isRunning() || recording.isEmpty()) {
        return;
    }
    QDialog dialog(m_window);
    dialog.setWindowTitle(L("clip.title"));
    auto* form = new QFormLayout(&dialog);
    auto* layout = new QComboBox(&dialog);
    layout->addItem(L("clip.layout_pip"), QStringLiteral("pip"));
    layout->addItem(L("clip.layout_side"), QStringLiteral("side"));
    layout->addItem(L("clip.layout_front"), QStringLiteral("front"));
    layout->addItem(L("clip.layout_rear"), QStringLiteral("rear"));
    auto* corner = new QComboBox(&dialog);
    corner->addItem(L("clip.corner_br"), QStringLiteral("br"));
    corner->addItem(L("clip.corner_bl"), QStringLiteral("bl"));
    corner->addItem(L("clip.corner_tr"), QStringLiteral("tr"));
    corner->addItem(L("clip.corner_tl"), QStringLiteral("tl"));
    auto* overlay = new QCheckBox(L("clip.overlay"), &dialog);
    overlay->setChecked(true);
    auto* audio = new QComboBox(&dialog);
    audio->addItem(L("clip.audio_auto"), QString());
    audio->addItem(L("clip.audio_front"), QStringLiteral("front"));
    audio->addItem(L("clip.audio_rear"), QStringLiteral("rear"));
    audio->addItem(L("clip.audio_none"), QStringLiteral("none"));
    auto* lossless = new QCheckBox(L("clip.lossless"), &dialog);
    auto* quality = new QSpinBox(&dialog);
    quality->setRange(0, 51);
    quality->setValue(20);
    quality->setToolTip(L("clip.quality_tip"));
    auto* start = new QDoubleSpinBox(&dialog);
    auto* end = new QDoubleSpinBox(&dialog);
    for (auto* box : {start, end}) {
        box->setDecimals(1);
        box->setRange(0, std::max(length, span.second) + 3600);
        box->setSuffix(QStringLiteral(" s"));
    }
    start->setValue(span.first);
    end->setValue(span.second);
    auto* target = new QLineEdit(&dialog);
    const QString folder = QFileInfo(recording).absolutePath();
    target->setText(QDir(folder).filePath(suggestedName(recording, span.first, false)));
    auto* browse = new QPushButton(L("clip.browse"), &dialog);
    auto* targetRow = new QHBoxLayout;
    targetRow->addWidget(target, 1);
    targetRow->addWidget(browse);
    form->addRow(L("clip.layout"), layout);
    form->addRow(L("clip.corner"), corner);
    form->addRow(QString(), overlay);
    form->addRow(L("clip.audio"), audio);
    form->addRow(QString(), lossless);
    form->addRow(L("clip.quality"), quality);
    form->addRow(L("clip.start"), start);
    form->addRow(L("clip.end"), end);
    form->addRow(L("clip.target"), targetRow);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(L("clip.export"));
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    // A lossless cut is one camera's own stream: the picture choices do not apply to it.
    const auto refresh = [=] {
        const bool copy = lossless->isChecked();
        for (QWidget* w : std::initializer_list<QWidget*>{layout, corner, overlay, audio, quality}) {
            w->setEnabled(!copy);
        }
        corner->setEnabled(!copy && layout->currentData().toString() == QStringLiteral("pip"));
        target->setText(QDir(QFileInfo(target->text()).absolutePath())
                            .filePath(suggestedName(recording, start->value(), copy)));
    };
    connect(lossless, &QCheckBox::toggled, &dialog, refresh);
    connect(layout, &QComboBox::currentIndexChanged, &dialog, refresh);
    connect(browse, &QPushButton::clicked, &dialog, [&dialog, target] {
        const QString chosen = QFileDialog::getSaveFileName(&dialog, L("clip.title"), target->text());
        if (!chosen.isEmpty()) {
            target->setText(chosen);
        }
    });
    dialog.setObjectName(QStringLiteral("clipExportDialog"));
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    ORBClipRequest r;
    r.input = recording;
    r.output = target->text();
    r.start = start->value();
    r.end = end->value();
    r.lossless = lossless->isChecked();
    r.layout = layout->currentData().toString();
    r.corner = corner->currentData().toString();
    r.overlay = overlay->isChecked();
    r.audio = audio->currentData().toString();
    r.quality = quality->value();
    run(r);
}

void ORBClipExportController::run(const ORBClipRequest& request) {
    if (isRunning()) {
        return;
    }
    m_job = std::make_shared<Job>();
    m_job->clock.start();
    m_progress = new QProgressDialog(L("clip.exporting"), L("clip.cancel"), 0, 1000, m_window);
    m_progress->setObjectName(QStringLiteral("clipExportProgress"));
    m_progress->setWindowModality(Qt::WindowModal);
    m_progress->setMinimumDuration(300);
    m_progress->setAutoClose(false);
    m_progress->setAutoReset(false);
    m_progressTimer = new QTimer(this);
    auto job = m_job;
    connect(m_progressTimer, &QTimer::timeout, this, [this, job] {
        if (!m_progress) {
            return;
        }
        const double f = std::clamp(job->done.load(), 0.0, 1.0);
        m_progress->setValue(static_cast<int>(f * 1000));
        const double spent = job->clock.elapsed() / 1000.0;
        if (f > 0.02 && spent > 1.0) {
            m_progress->setLabelText(L("clip.exporting_left")
                                         .arg(static_cast<int>(f * 100))
                                         .arg(std::lround(spent / f * (1 - f))));
        }
    });
    connect(m_progress, &QProgressDialog::canceled, this, [job] { job->cancel = true; });
    m_progressTimer->start(200);
    nura::runWithResult(
        this, [request, job] { return work(request, job->cancel, job->done); },
        [this](Outcome o) { finish(o.ok ? o.output : QString(), o.message); });
}

void ORBClipExportController::finish(const QString& output, const QString& message) {
    const bool cancelled = m_job && m_job->cancel;
    m_job.reset();
    delete m_progressTimer;
    m_progressTimer = nullptr;
    delete m_progress;
    m_progress = nullptr;
    QString line;
    if (!output.isEmpty()) {
        const QString folder = QUrl::fromLocalFile(QFileInfo(output).absolutePath()).toString();
        line = L("clip.done").arg(QFileInfo(output).fileName().toHtmlEscaped(), folder);
    } else {
        line = cancelled ? L("clip.cancelled") : L("clip.failed").arg(message.toHtmlEscaped());
    }
    if (m_status) {
        m_status->setTextFormat(Qt::RichText);
        m_status->setText(line);
    }
    emit exportFinished(output, cancelled ? L("clip.cancelled") : message);
}
