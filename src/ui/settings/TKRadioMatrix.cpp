// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/TKRadioMatrix.h"

#include <QGridLayout>
#include <QRadioButton>

namespace nura {

TKRadioMatrix::TKRadioMatrix(int rows, int columns, QWidget* parent)
    : QWidget(parent), m_rows(std::max(rows, 0)), m_columns(std::max(columns, 0)) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    m_group.setExclusive(true);
    for (int i = 0; i < m_rows * m_columns; ++i) {
        auto* button = new QRadioButton(this);
        m_group.addButton(button, i);
        grid->addWidget(button, i / m_columns, i % m_columns);
        m_cells.append(button);
    }
    connect(&m_group, &QButtonGroup::idClicked, this, &TKRadioMatrix::selectedCellChanged);
    connect(&m_group, &QButtonGroup::idClicked, this, &TKRadioMatrix::activated);
}

QRadioButton* TKRadioMatrix::cell(int index) const {
    return index >= 0 && index < cellCount() ? m_cells[index] : nullptr;
}

void TKRadioMatrix::setCellTitle(int index, const QString& title) {
    if (QRadioButton* button = cell(index)) {
        button->setText(title);
    }
}

QString TKRadioMatrix::cellTitle(int index) const {
    const QRadioButton* button = cell(index);
    return button ? button->text() : QString();
}

int TKRadioMatrix::selectedCell() const {
    return m_group.checkedId();
}

void TKRadioMatrix::setSelectedCell(int index) {
    if (index == selectedCell()) {
        return;
    }
    if (QRadioButton* button = cell(index)) {
        button->setChecked(true);
    } else if (QAbstractButton* checked = m_group.checkedButton()) {
        m_group.setExclusive(false);
        checked->setChecked(false);
        m_group.setExclusive(true);
    }
    emit selectedCellChanged(selectedCell());
}

} // namespace nura
