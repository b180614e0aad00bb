// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A grid of radio buttons in one group, filled row by row; cell i is row i / columns, column i % columns.

#include <QButtonGroup>
#include <QList>
#include <QWidget>

class QRadioButton;

namespace nura {

class TKRadioMatrix : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int selectedCell READ selectedCell WRITE setSelectedCell NOTIFY selectedCellChanged)

public:
    TKRadioMatrix(int rows, int columns, QWidget* parent = nullptr);

    int rows() const { return m_rows; }
    int columns() const { return m_columns; }
    int cellCount() const { return static_cast<int>(m_cells.size()); }
    QRadioButton* cell(int index) const;
    void setCellTitle(int index, const QString& title);
    QString cellTitle(int index) const;

    int selectedCell() const; // -1 when none
    void setSelectedCell(int index);

signals:
    void selectedCellChanged(int index);
    // Only when the user clicks a cell, never when the selection is set by code.
    void activated(int index);

private:
    int m_rows;
    int m_columns;
    QButtonGroup m_group;
    QList<QRadioButton*> m_cells;
};

} // namespace nura
