// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Audio pane: microphone and speaker levels, the hourly notice and the voice-guidance language.

#include "ui/settings/ORBSettingControllerDelegate.h"

#include <QWidget>

class QCheckBox;
class QRadioButton;

namespace nura {

class TKRadioMatrix;
class TKSegmentedControl;

class ORBSettingForAudioViewController : public QWidget, public ORBSettingControllerDelegate {
    Q_OBJECT

public:
    // Languages 0 to 19 are the matrix's cells, row by row; 20 has a radio button of its own.
    static constexpr uint32_t kMalaysiaLanguage = 20;

    explicit ORBSettingForAudioViewController(QWidget* parent = nullptr);

    void setFileData(_FILEDATA* record) override;
    bool populate() override;
    void displayFileData();

    TKSegmentedControl* micSeg;
    TKSegmentedControl* speakerSeg;
    QCheckBox* useEveryHourNoticeChk;
    TKRadioMatrix* voiceLangRadio;
    QRadioButton* malaysiaRadio;

private:
    void voiceLangMatrixSelected(int cell);
    void malaysiaRadioSelected();

    _FILEDATA* m_fileData = nullptr;
};

} // namespace nura
