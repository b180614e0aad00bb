// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app/ORBSnapshotController.h"

#include "platform/MediaPlayer.h"
#include "platform/SnapshotFiles.h"
#include "ui/app/ORBRecordingPlayer.h"
#include "ui/strings/InfoPlist.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QStandardPaths>
#include <QUrl>

namespace {

const QLatin1String kSnapshotFileName("nura_capture.jpg");
const QLatin1String kProposedName("nura_capture.png");

} // namespace

ORBSnapshotServices ORBSnapshotServices::real() {
    static const std::unique_ptr<SnapshotPrinter> printer = createSnapshotPrinter();
    ORBSnapshotServices s;
    s.chooseSnapshotPath = &snapshotSavePanel;
    s.openInViewer = [](const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };
    s.printer = printer.get();
    s.temporaryFolder = &nura::applicationTemporaryFolder;
    return s;
}

QString snapshotSavePanel(QWidget* parent, const QString& directory, const QString& name) {
    QFileDialog panel(parent, QStringLiteral("Save Settings"), directory);
    panel.setAcceptMode(QFileDialog::AcceptSave);
    panel.setFileMode(QFileDialog::AnyFile);
    panel.setFilter(panel.filter() | QDir::Hidden);
    panel.selectFile(name);
    if (panel.exec() != QDialog::Accepted || panel.selectedFiles().isEmpty()) {
        return {};
    }
    return panel.selectedFiles().first();
}

QString snapshotStartDirectory() {
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    return !desktop.isEmpty() && QDir(desktop).exists() ? desktop : QDir::homePath();
}

ORBSnapshotController::ORBSnapshotController(const ORBRecordingPlayer& recording, QWidget* window,
                                             ORBSnapshotServices services, QObject* parent)
    : QObject(parent), m_recording(recording), m_window(window), m_services(std::move(services)) {}

QString ORBSnapshotController::temporarySnapshotPath() const {
    const QString folder =
        m_services.temporaryFolder ? m_services.temporaryFolder() : nura::applicationTemporaryFolder();
    return folder.isEmpty() ? QString() : QDir(folder).filePath(kSnapshotFileName);
}

QString ORBSnapshotController::takeSnapshot() {
    const QString path = temporarySnapshotPath();
    if (path.isEmpty()) {
        emit statusMessage(L("snapshot.no_folder"));
        return {};
    }
    // A failed snapshot leaves an older picture behind: it must not be saved or printed as this one.
    QFile::remove(path);
    if (!m_recording.lead().saveVideoSnapshotAt(path, 0, 0)) {
        emit statusMessage(L("snapshot.capture_failed"));
        return {};
    }
    return path;
}

void ORBSnapshotController::captureVideo() {
    if (!m_recording.lead().isPlaying()) {
        return;
    }
    const QString snapshot = takeSnapshot();
    if (snapshot.isEmpty() || !m_services.chooseSnapshotPath) {
        return;
    }
    const QString target = m_services.chooseSnapshotPath(m_window, snapshotStartDirectory(), kProposedName);
    if (target.isEmpty()) {
        return;
    }
    if (const QString error = nura::saveSnapshotAs(snapshot, target); !error.isEmpty()) {
        emit statusMessage(L("snapshot.save_failed_fmt").arg(QDir::toNativeSeparators(target), error));
        return;
    }
    emit statusMessage(L("snapshot.saved_fmt").arg(QDir::toNativeSeparators(target)));
    if (m_services.openInViewer) {
        m_services.openInViewer(target);
    }
}

void ORBSnapshotController::print() {
    if (!m_recording.lead().hasMedia() || !m_services.printer) {
        return;
    }
    const QString snapshot = takeSnapshot();
    if (snapshot.isEmpty()) {
        return;
    }
    QPointer<ORBSnapshotController> self(this);
    m_services.printer->print(m_window, snapshot, [self](SnapshotPrinter::Result result) {
        if (self) {
            self->printFinished(result);
        }
    });
}

void ORBSnapshotController::printFinished(SnapshotPrinter::Result result) {
    switch (result) {
    case SnapshotPrinter::Result::Printed:
        emit statusMessage(L("snapshot.printed"));
        break;
    case SnapshotPrinter::Result::Cancelled:
        break;
    case SnapshotPrinter::Result::NotAPrinter:
        emit statusMessage(L("snapshot.not_a_printer"));
        break;
    case SnapshotPrinter::Result::NoPrinter:
    case SnapshotPrinter::Result::PictureUnreadable:
    case SnapshotPrinter::Result::PrintFailed:
        emit statusMessage(L("snapshot.print_failed"));
        break;
    }
}
