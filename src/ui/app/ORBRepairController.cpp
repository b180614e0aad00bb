// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app/ORBRepairController.h"

#include "core/repair/RecordingShape.h"
#include "core/repair/TrialDecoder.h"
#include "platform/PathText.h"
#include "ui/app/BackgroundResult.h"
#include "ui/strings/InfoPlist.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

ORBRepairServices ORBRepairServices::real() {
    ORBRepairServices s;
    s.chooseFolder = [](QWidget* parent, const QString& prompt, const QString& start) {
        QMessageBox::information(parent, L("repair.title"), prompt);
        return QFileDialog::getExistingDirectory(parent, L("repair.title"), start);
    };
    s.showMessage = [](QWidget* parent, const QString& message) {
        QMessageBox::information(parent, L("repair.title"), message);
    };
    return s;
}

ORBRepairController::ORBRepairController(ORBRepairServices services, QWidget* window, QObject* parent)
    : QObject(parent), m_services(std::move(services)), m_window(window) {}

ORBRepairController::~ORBRepairController() = default;

bool ORBRepairController::isCutShort(const std::string& path) {
    const QString key = nura::pathText(path);
    const auto it = m_cut.constFind(key);
    if (it != m_cut.constEnd()) {
        return *it;
    }
    const bool cut = nura::RecordingShape::inspect(path).kind == nura::RecordingShape::Kind::Cut;
    m_cut.insert(key, cut);
    return cut;
}

void ORBRepairController::forget() {
    m_cut.clear();
}

QString ORBRepairController::playFailureText(const std::string& path) {
    return isCutShort(path) ? L("repair.play_failed") : QString();
}

QAction* ORBRepairController::addAction(QWidget* view) {
    auto* action = new QAction(L("repair.menu"), view);
    view->addAction(action);
    view->setContextMenuPolicy(Qt::ActionsContextMenu);
    return action;
}

void ORBRepairController::repairRecording(const ORBMediaList& list, size_t row) {
    const auto media = list.mediaAtIndex(row);
    if (!media) {
        return;
    }
    QStringList paths{nura::pathText(media->path)};
    if (const auto pair = list.findMediaPairWithFileName(media->fileName())) {
        for (const auto& m : {pair->frontMedia, pair->rearMedia}) {
            if (m && m->path != media->path) {
                paths << nura::pathText(m->path);
            }
        }
    }
    repair(paths);
}

void ORBRepairController::repair(const QStringList& paths) {
    if (m_running) {
        return;
    }
    QStringList cut;
    for (const auto& p : paths) {
        // Asked afresh: the file may have changed since it was first looked at.
        m_cut.remove(p);
        if (isCutShort(nura::pathBytes(p))) {
            cut << p;
        }
    }
    if (cut.isEmpty()) {
        if (m_services.showMessage) {
            m_services.showMessage(m_window, L("repair.nothing_cut"));
        }
        return;
    }
    m_written.clear();
    m_askedFolder = false;
    run(cut, {});
}

void ORBRepairController::run(const QStringList& paths, const QString& folder) {
    m_running = true;
    auto decode = m_services.trialDecode;
    // A thread of its own: a repair reads the card for long, and Qt's shared pool serves playback.
    nura::runWithResult(
        this,
        [paths, folder, decode] {
            // One helper process serves the whole job when no decoder was given.
            std::unique_ptr<nura::TrialDecoder> helper;
            if (!decode) {
                if (const auto found = nura::TrialDecoder::findHelper()) {
                    helper = std::make_unique<nura::TrialDecoder>(*found);
                }
            }
            QList<Outcome> outcomes;
            for (const auto& p : paths) {
                nura::RepairOptions o;
                o.input = nura::pathBytes(p);
                if (!folder.isEmpty()) {
                    o.output = nura::pathBytes(QDir(folder).filePath(QFileInfo(p).fileName()));
                }
                if (decode) {
                    o.trialDecode = decode;
                } else if (helper) {
                    o.trialDecode = [&](const std::string& f) { return helper->check(f); };
                    o.trialDecodeAhead = [&](const std::string& f) { helper->ahead(f); };
                } else {
                    o.trialDecode = [](const std::string&) { return nura::TrialDecode::Unavailable; };
                }
                outcomes.push_back({p, nura::RecordingRepair::repair(o)});
            }
            return outcomes;
        },
        [this](const QList<Outcome>& outcomes) { finished(outcomes); });
}

void ORBRepairController::finished(const QList<Outcome>& outcomes) {
    QStringList unwritable, failures;
    for (const auto& o : outcomes) {
        const auto& r = o.result;
        if (r.status == nura::RepairStatus::Repaired) {
            m_written << nura::pathText(r.output);
            m_cut.remove(o.input);
        } else if ((r.status == nura::RepairStatus::CannotWrite ||
                    r.status == nura::RepairStatus::OutputExists) &&
                   !m_askedFolder) {
            unwritable << o.input;
        } else {
            failures << L("repair.failed_fmt")
                            .arg(QFileInfo(o.input).fileName(), QString::fromStdString(r.message));
        }
    }
    // A card that is read-only or full: once, another folder for the files it could not take.
    if (!unwritable.isEmpty() && m_services.chooseFolder) {
        m_askedFolder = true;
        const QString reason =
            QString::fromStdString(std::find_if(outcomes.begin(), outcomes.end(), [&](const Outcome& o) {
                                       return o.input == unwritable[0];
                                   })->result.message);
        const QString folder =
            m_services.chooseFolder(m_window, L("repair.choose_folder_fmt").arg(reason), QDir::homePath());
        if (!folder.isEmpty()) {
            run(unwritable, folder);
            return;
        }
    }
    for (const auto& o : outcomes) {
        if (unwritable.contains(o.input)) {
            failures << L("repair.failed_fmt")
                            .arg(QFileInfo(o.input).fileName(), QString::fromStdString(o.result.message));
        }
    }
    m_running = false;
    QString message;
    if (!m_written.isEmpty()) {
        QStringList names;
        for (const auto& w : m_written) {
            names << QDir::toNativeSeparators(w);
        }
        message = L("repair.done_fmt").arg(names.join(", "));
    }
    if (!failures.isEmpty()) {
        message += (message.isEmpty() ? "" : "\n") + failures.join("\n");
    }
    if (m_services.showMessage && !failures.isEmpty()) {
        m_services.showMessage(m_window, message);
    }
    emit repairFinished(m_written, message);
}
