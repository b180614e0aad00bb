// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/QtSnapshotPrinter.h"

#include "core/log.h"

#include <QImageReader>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

std::unique_ptr<SnapshotPrinter> createSnapshotPrinter() {
    return std::make_unique<QtSnapshotPrinter>();
}

QtSnapshotPrinter::QtSnapshotPrinter() = default;
QtSnapshotPrinter::~QtSnapshotPrinter() = default;

QPrinter& QtSnapshotPrinter::loadPrintInfo() {
    if (!m_printInfo) {
        m_printInfo = std::make_unique<QPrinter>(QPrinter::HighResolution);
    }
    return *m_printInfo;
}

void QtSnapshotPrinter::print(QWidget* window, const QString& picturePath, Done done) {
    QPrinter& printer = loadPrintInfo();
    auto* panel = new QPrintDialog(&printer, window);
    panel->setWindowModality(Qt::WindowModal);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    // One picture: page ranges and copies of a selection mean nothing here.
    panel->setOption(QAbstractPrintDialog::PrintSelection, false);
    panel->setOption(QAbstractPrintDialog::PrintPageRange, false);
    QObject::connect(panel, &QDialog::finished, panel, [this, picturePath, done](int code) {
        const Result result =
            code == QDialog::Accepted ? sendToPrinter(loadPrintInfo(), picturePath) : Result::Cancelled;
        if (done) {
            done(result);
        }
    });
    panel->open();
}

SnapshotPrinter::Result QtSnapshotPrinter::sendToPrinter(QPrinter& printer, const QString& picturePath) {
    if (!printer.isValid() || printer.outputFormat() != QPrinter::NativeFormat) {
        nura::logLine("Either got an error from PMSessionGetDestinationType or the print destination "
                      "wasn't kPMDestinationPrinter");
        return Result::NotAPrinter;
    }
    if (QPrinterInfo::printerInfo(printer.printerName()).isNull()) {
        nura::logf("Got an error from PMSessionGetCurrentPrinter (%d)", -1);
        return Result::NoPrinter;
    }
    if (!QImageReader::supportedMimeTypes().contains("image/jpeg")) {
        nura::logf("MIME type %s isn't supported by the printer", "image/jpeg");
        return Result::PictureUnreadable;
    }
    QImageReader reader(picturePath, "jpeg");
    QImage picture;
    if (!reader.read(&picture)) {
        return Result::PictureUnreadable;
    }
    if (const int status = paintPicture(printer, picture); status != 0) {
        nura::logf("PMPrinterPrintWithFile returned error %d", status);
        return Result::PrintFailed;
    }
    return Result::Printed;
}

int QtSnapshotPrinter::paintPicture(QPrinter& printer, const QImage& picture) {
    printer.setFullPage(false);
    printer.setFromTo(0, 0);
    QPainter painter;
    if (picture.isNull() || !painter.begin(&printer)) {
        return -1;
    }
    const QRect area = printer.pageLayout().paintRectPixels(printer.resolution());
    const QSize size = picture.size().scaled(area.size(), Qt::KeepAspectRatio);
    // The painter's origin is the printable area's corner.
    const QRect target(QPoint((area.width() - size.width()) / 2, (area.height() - size.height()) / 2), size);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, picture);
    if (!painter.end() || printer.printerState() == QPrinter::Error ||
        printer.printerState() == QPrinter::Aborted) {
        return static_cast<int>(printer.printerState() == QPrinter::Idle ? QPrinter::Error
                                                                         : printer.printerState());
    }
    return 0;
}
