// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Filling the settings panes' choice controls from label lists, and the small window helpers every pane
// and tool window uses.

#include <QStringList>

#include <functional>

class QComboBox;
class QMessageBox;
class QWidget;

namespace nura {

class TKRadioMatrix;
class TKSegmentedControl;

// As many segments as labels, segment i labelled with label i.
void FillSegments(TKSegmentedControl& control, const QStringList& labels);
// Replaces every item with the given ones, in order.
void FillComboBox(QComboBox& comboBox, const QStringList& items);
// Cell i gets title i; titles beyond the last cell are dropped, cells beyond the last title keep theirs.
void FillMatrixTitles(TKRadioMatrix& matrix, const QStringList& titles);

// True for a missing (null) text or an empty one.
bool IsEmptyString(const QString& text);

// A warning with one "OK" button, modal to the window only; the end handler runs when it is closed.
// Returns the alert, which deletes itself once closed.
QMessageBox* ShowAlertSheet(QWidget* window, const QString& message, const QString& informative,
                            std::function<void()> endHandler = {});

// Moves the view so that its horizontal centre is the reference's; its y stays. Both in the same parent.
void CenterViewHorizontally(QWidget& view, const QWidget& reference);

} // namespace nura
