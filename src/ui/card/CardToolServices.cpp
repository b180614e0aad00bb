// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/card/CardToolServices.h"

#include "core/util/HelperProgram.h"
#include "platform/ProcessCommandRunner.h"
#include "platform/VolumeService.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

CardToolServices CardToolServices::real() {
    static const std::unique_ptr<nura::VolumeService> volumes = nura::createVolumeService();
    static nura::ProcessCommandRunner commands;
    CardToolServices s;
    s.volumes = volumes.get();
    s.commands = &commands;
    s.formatHelper = nura::findHelperProgram("nura-format-card").value_or("");
    s.confirm = [](QWidget* parent, const QString& title, const QString& text) {
        QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Cancel, parent);
        QPushButton* go = box.addButton(title, QMessageBox::DestructiveRole);
        box.setDefaultButton(QMessageBox::Cancel);
        box.exec();
        return box.clickedButton() == go;
    };
    s.chooseSaveFile = [](QWidget* parent, const QString& name, const QString& type) {
        return QFileDialog::getSaveFileName(parent, QString(), QDir::home().filePath(name + "." + type),
                                            QStringLiteral("*.%1").arg(type));
    };
    return s;
}
