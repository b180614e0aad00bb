// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Prints a saved video frame: the print panel on the main window, then the picture scaled to fit
// one page of the chosen printer. The printer settings live for the whole process, so the choices
// made in one print panel are there in the next.

#include <QImage>
#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class SnapshotPrinter {
public:
    enum class Result {
        Printed,
        Cancelled,         // the print panel was closed without printing
        NotAPrinter,       // a file or preview was chosen instead of a printer
        NoPrinter,         // the chosen printer is unknown to the print system
        PictureUnreadable, // the picture file cannot be read as a JPEG picture
        PrintFailed,       // the printer refused the page
    };
    using Done = std::function<void(Result)>;

    virtual ~SnapshotPrinter() = default;
    // Shows the print panel window-modal on `window` and reports the outcome to `done` on the UI
    // thread once the panel has ended.
    virtual void print(QWidget* window, const QString& picturePath, Done done) = 0;
};

// The print panel and printers of Qt Print Support.
std::unique_ptr<SnapshotPrinter> createSnapshotPrinter();

// A printer for tests: keeps each picture it was given (read when asked to print, since the file
// is overwritten by the next capture) and answers with `result` at once.
class RecordingSnapshotPrinter : public SnapshotPrinter {
public:
    void print(QWidget* window, const QString& picturePath, Done done) override {
        windows << QPointer<QWidget>(window);
        paths << picturePath;
        pictures << QImage(picturePath);
        if (done) {
            done(result);
        }
    }

    Result result = Result::Printed;
    QList<QPointer<QWidget>> windows;
    QStringList paths;
    QList<QImage> pictures;
};
