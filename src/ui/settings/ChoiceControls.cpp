// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/ChoiceControls.h"

#include "ui/settings/TKRadioMatrix.h"
#include "ui/settings/TKSegmentedControl.h"

#include <QComboBox>
#include <QMessageBox>

namespace nura {

void FillSegments(TKSegmentedControl& control, const QStringList& labels) {
    control.setSegmentCount(static_cast<int>(labels.size()));
    for (int i = 0; i < labels.size(); ++i) {
        control.setLabel(i, labels[i]);
    }
}

void FillComboBox(QComboBox& comboBox, const QStringList& items) {
    comboBox.clear();
    comboBox.addItems(items);
}

void FillMatrixTitles(TKRadioMatrix& matrix, const QStringList& titles) {
    const int n = std::min(static_cast<int>(titles.size()), matrix.cellCount());
    for (int i = 0; i < n; ++i) {
        matrix.setCellTitle(i, titles[i]);
    }
}

bool IsEmptyString(const QString& text) {
    return text.isEmpty();
}

QMessageBox* ShowAlertSheet(QWidget* window, const QString& message, const QString& informative,
                            std::function<void()> endHandler) {
    auto* alert = new QMessageBox(QMessageBox::Warning, QString(), message, QMessageBox::Ok, window);
    alert->setInformativeText(informative);
    alert->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(alert, &QMessageBox::finished, alert, [handler = std::move(endHandler)](int) {
        if (handler) {
            handler();
        }
    });
    alert->open();
    return alert;
}

void CenterViewHorizontally(QWidget& view, const QWidget& reference) {
    view.move(reference.x() + (reference.width() - view.width()) / 2, view.y());
}

} // namespace nura
