// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What every settings pane does for the settings window: show the window's record, check and write back
// its controls, and say whether its input can be accepted.

#include "core/settings/FileData.h"
#include "core/validation/ORBValidator.h"

#include <QString>
#include <QStringList>

#include <cstdint>

class QGroupBox;
class QWidget;

namespace nura {

class ORBSettingController;
class TKSegmentedControl;

class ORBSettingControllerDelegate {
public:
    virtual ~ORBSettingControllerDelegate() = default;

    // Keeps the record's address (the pane edits it in place) and shows its values at once.
    virtual void setFileData(_FILEDATA* record) = 0;
    // Writes the controls into the record; false when the input was refused (the user has been told why).
    virtual bool populate() = 0;
    // The first invalid input as a message for the user, or an empty text. Changes nothing.
    virtual QString validateUserInput() { return {}; }
    virtual void setMainController(ORBSettingController* controller) { m_mainController = controller; }
    ORBSettingController* mainController() const { return m_mainController; }
    // Called when another tab is about to replace the pane.
    virtual void onHide() {}

private:
    ORBSettingController* m_mainController = nullptr;
};

// A check's answer as the user reads it: the key's text, with the limits filled into a "_fmt" key.
QString validationText(const ValidationMessage& message);

// Building blocks of the panes' layouts.
QGroupBox* makeGroup(const char* titleKey, QWidget* parent);
TKSegmentedControl* makeSegments(const QStringList& labels, QWidget* parent);
// "1(%@)" style labels: the format's placeholder filled with a localized word.
QString labelWith(const char* format, const char* wordKey);

// A segment index stored as the field's value: the selected segment, or the stored value unchanged when
// nothing is selected (a value the control has no choice for).
uint32_t segmentValue(const TKSegmentedControl& control, uint32_t stored);
// Selects the segment of a stored value; a value without a segment selects nothing.
void selectSegmentFor(TKSegmentedControl& control, uint32_t value);

} // namespace nura
