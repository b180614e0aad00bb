// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/TKSegmentedControl.h"

#include <QHBoxLayout>
#include <QToolButton>

namespace nura {

TKSegmentedControl::TKSegmentedControl(QWidget* parent) : QWidget(parent), m_layout(new QHBoxLayout(this)) {
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    m_group.setExclusive(true);
    connect(&m_group, &QButtonGroup::idClicked, this, &TKSegmentedControl::selectedSegmentChanged);
    connect(&m_group, &QButtonGroup::idClicked, this, &TKSegmentedControl::activated);
}

void TKSegmentedControl::setSegmentCount(int count) {
    count = std::max(count, 0);
    const int selectedBefore = selectedSegment();
    while (segmentCount() > count) {
        QAbstractButton* button = m_buttons.takeLast();
        m_group.removeButton(button);
        delete button;
    }
    while (segmentCount() < count) {
        auto* button = new QToolButton(this);
        button->setCheckable(true);
        button->setAutoRaise(false);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        m_group.addButton(button, segmentCount());
        m_layout->addWidget(button);
        m_buttons.append(button);
    }
    if (selectedSegment() != selectedBefore) {
        emit selectedSegmentChanged(selectedSegment());
    }
}

void TKSegmentedControl::setLabel(int segment, const QString& label) {
    if (segment >= 0 && segment < segmentCount()) {
        m_buttons[segment]->setText(label);
    }
}

QString TKSegmentedControl::label(int segment) const {
    return segment >= 0 && segment < segmentCount() ? m_buttons[segment]->text() : QString();
}

int TKSegmentedControl::selectedSegment() const {
    return m_group.checkedId();
}

void TKSegmentedControl::setSelectedSegment(int segment) {
    if (segment == selectedSegment()) {
        return;
    }
    if (segment >= 0 && segment < segmentCount()) {
        m_buttons[segment]->setChecked(true);
    } else if (QAbstractButton* checked = m_group.checkedButton()) {
        // An exclusive group keeps one button checked; lift that for the moment of clearing.
        m_group.setExclusive(false);
        checked->setChecked(false);
        m_group.setExclusive(true);
    }
    emit selectedSegmentChanged(selectedSegment());
}

} // namespace nura
