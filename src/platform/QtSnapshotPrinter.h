// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The snapshot printer over Qt Print Support. The print session's steps map to Qt as follows:
// the destination type is the printer's output format (a PDF file is not a printer), the current
// printer is the print system's entry for the chosen name, the accepted file type is a JPEG picture
// that Qt's image readers decode, and printing the file is painting it on one page.

#include "platform/SnapshotPrinter.h"

#include <QImage>

#include <memory>

class QPrinter;

class QtSnapshotPrinter : public SnapshotPrinter {
public:
    QtSnapshotPrinter();
    ~QtSnapshotPrinter() override;

    void print(QWidget* window, const QString& picturePath, Done done) override;

    // The print settings of the process, made with default settings on first use.
    QPrinter& loadPrintInfo();
    QPrinter* printInfo() const { return m_printInfo.get(); }

    // What follows a confirmed print panel: checks the destination and the picture, logging each
    // failure, then prints the picture on one page.
    static Result sendToPrinter(QPrinter& printer, const QString& picturePath);
    // Paints `picture` on one page of `printer`, as large as fits the printable area, centred and
    // keeping its proportions. Returns 0, or the failing status (-1 when no page could be started).
    static int paintPicture(QPrinter& printer, const QImage& picture);

private:
    std::unique_ptr<QPrinter> m_printInfo;
};
