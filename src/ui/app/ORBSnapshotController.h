// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Saving and printing the main player's current frame. Both go through one temporary snapshot
// ("nura_capture.jpg") in the user's private folder, written fresh by the player each time.

#include "platform/SnapshotPrinter.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class ORBRecordingPlayer;
class QWidget;

struct ORBSnapshotServices {
    // The path chosen in the save panel (which has asked before replacing a file); empty when cancelled.
    std::function<QString(QWidget* parent, const QString& directory, const QString& name)> chooseSnapshotPath;
    // Opens a saved picture in the desktop's picture viewer.
    std::function<void(const QString& path)> openInViewer;
    SnapshotPrinter* printer = nullptr;
    // The folder of the temporary snapshot; the user's private folder when not given.
    std::function<QString()> temporaryFolder;

    static ORBSnapshotServices real();
};

// The save panel of a capture: "Save Settings", hidden files shown, folders can be made.
QString snapshotSavePanel(QWidget* parent, const QString& directory, const QString& name);
// The desktop folder, or the home folder when there is none.
QString snapshotStartDirectory();

class ORBSnapshotController : public QObject {
    Q_OBJECT
public:
    // The picture taken is the recording's leading one: the main picture, or the other when that failed.
    ORBSnapshotController(const ORBRecordingPlayer& recording, QWidget* window, ORBSnapshotServices services,
                          QObject* parent = nullptr);

    // Only while the player plays: snapshot, save panel, save in the chosen format, open it.
    void captureVideo();
    // Whenever the player has a media, paused included: snapshot, print panel, print.
    void print();

    // The temporary snapshot's path; empty when no private folder could be made.
    QString temporarySnapshotPath() const;

signals:
    // What the user should know about a capture or print, for the window's status line.
    void statusMessage(const QString& text);

private:
    // Writes the current frame to the temporary snapshot; empty when that failed (already reported).
    QString takeSnapshot();
    void printFinished(SnapshotPrinter::Result result);

    const ORBRecordingPlayer& m_recording;
    QPointer<QWidget> m_window;
    ORBSnapshotServices m_services;
};
