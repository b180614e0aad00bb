// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A row of checkable buttons of which exactly one is selected once the user has chosen.

#include <QButtonGroup>
#include <QList>
#include <QWidget>

class QAbstractButton;
class QHBoxLayout;

namespace nura {

class TKSegmentedControl : public QWidget {
    Q_OBJECT
    Q_PROPERTY(
        int selectedSegment READ selectedSegment WRITE setSelectedSegment NOTIFY selectedSegmentChanged)

public:
    explicit TKSegmentedControl(QWidget* parent = nullptr);

    int segmentCount() const { return static_cast<int>(m_buttons.size()); }
    // Adds or removes segments at the end; a removed selected segment leaves nothing selected.
    void setSegmentCount(int count);
    void setLabel(int segment, const QString& label);
    QString label(int segment) const;

    // -1 when nothing is selected.
    int selectedSegment() const;
    // An index outside the segments clears the selection.
    void setSelectedSegment(int segment);

signals:
    void selectedSegmentChanged(int segment);
    // Only when the user clicks a segment, never when the selection is set by code.
    void activated(int segment);

private:
    QHBoxLayout* m_layout;
    QButtonGroup m_group;
    QList<QAbstractButton*> m_buttons;
};

} // namespace nura
