// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/ORBCarNumberTextField.h"

#include "core/validation/CarNumber.h"

namespace nura {

ORBCarNumberTextField::ORBCarNumberTextField(QWidget* parent) : QLineEdit(parent) {
    connect(this, &QLineEdit::editingFinished, this, &ORBCarNumberTextField::filterText);
}

void ORBCarNumberTextField::filterText() {
    const QString filtered = QString::fromStdString(filterCarNumber(text().toStdString()));
    if (filtered != text()) {
        setText(filtered);
    }
}

} // namespace nura
