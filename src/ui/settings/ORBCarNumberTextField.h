// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The car-number field: when editing ends its text keeps only what the camera can print (ASCII letters and
// digits, at most eight).

#include <QLineEdit>

namespace nura {

class ORBCarNumberTextField : public QLineEdit {
    Q_OBJECT

public:
    explicit ORBCarNumberTextField(QWidget* parent = nullptr);

    void filterText();
};

} // namespace nura
