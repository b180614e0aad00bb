// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/ORBSettingForAudioViewController.h"

#include "ui/settings/ChoiceControls.h"
#include "ui/settings/TKRadioMatrix.h"
#include "ui/settings/TKSegmentedControl.h"
#include "ui/strings/InfoPlist.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

namespace nura {

namespace {

const char* const kLanguageKeys[] = {"Korean",
                                     "English",
                                     "French",
                                     "Spanish.Europe",
                                     "Arabic",
                                     "Chinese",
                                     "Russian",
                                     "Japanese",
                                     "Thai",
                                     "BahasaIndonesia",
                                     "Vietnamese",
                                     "Mongolian",
                                     "Spanish.SouthAmerica",
                                     "German",
                                     "Turkish",
                                     "Italian",
                                     "Hindi",
                                     "Cantonese",
                                     "Czech",
                                     "Portuguese"};

} // namespace

ORBSettingForAudioViewController::ORBSettingForAudioViewController(QWidget* parent) : QWidget(parent) {
    setWindowTitle(L("setting.audio"));
    auto* layout = new QVBoxLayout(this);
    const QStringList levels = {L("unuse"), labelWith("1(%@)", "setting.aux.volume_low"), QStringLiteral("2"),
                                labelWith("3(%@)", "setting.aux.volume_up")};
    auto* mic = makeGroup("setting.aux.mic_volume", this);
    micSeg = makeSegments(levels, mic);
    (new QVBoxLayout(mic))->addWidget(micSeg);
    auto* speaker = makeGroup("setting.aux.speaker_volume", this);
    speakerSeg = makeSegments(levels, speaker);
    (new QVBoxLayout(speaker))->addWidget(speakerSeg);
    auto* row = new QHBoxLayout;
    row->addWidget(mic);
    row->addWidget(speaker);
    layout->addLayout(row);
    useEveryHourNoticeChk = new QCheckBox(L("setting.aux.enable_hourly_alarm"), this);
    layout->addWidget(useEveryHourNoticeChk);

    auto* voice = makeGroup("setting.aux.voice_guidance_lang_setting", this);
    auto* voiceLayout = new QVBoxLayout(voice);
    voiceLangRadio = new TKRadioMatrix(5, 4, voice);
    QStringList titles;
    for (const char* key : kLanguageKeys) {
        titles << L(key);
    }
    FillMatrixTitles(*voiceLangRadio, titles);
    malaysiaRadio = new QRadioButton(L("Malaysia"), voice);
    // Not in the matrix's group: the two exclude each other by hand.
    malaysiaRadio->setAutoExclusive(false);
    voiceLayout->addWidget(voiceLangRadio);
    voiceLayout->addWidget(malaysiaRadio);
    layout->addWidget(voice);
    layout->addStretch(1);

    connect(voiceLangRadio, &TKRadioMatrix::activated, this,
            [this](int cell) { voiceLangMatrixSelected(cell); });
    connect(malaysiaRadio, &QRadioButton::clicked, this, [this] { malaysiaRadioSelected(); });
}

void ORBSettingForAudioViewController::setFileData(_FILEDATA* record) {
    m_fileData = record;
    displayFileData();
}

void ORBSettingForAudioViewController::displayFileData() {
    const _FILEDATA* d = m_fileData;
    if (!d) {
        return;
    }
    selectSegmentFor(*micSeg, d->aud_input_vol);
    useEveryHourNoticeChk->setChecked(d->alarm_ontime_flag != 0);
    selectSegmentFor(*speakerSeg, d->aud_output_vol);
    const bool malaysia = d->Brightness1 == kMalaysiaLanguage;
    malaysiaRadio->setChecked(malaysia);
    // A code of neither kind selects nothing and stays as it is.
    voiceLangRadio->setSelectedCell(!malaysia && d->Brightness1 <
                                                     static_cast<uint32_t>(voiceLangRadio->cellCount())
                                        ? static_cast<int>(d->Brightness1)
                                        : -1);
}

void ORBSettingForAudioViewController::voiceLangMatrixSelected(int cell) {
    if (cell < 0) {
        return;
    }
    malaysiaRadio->setChecked(false);
    if (m_fileData) {
        m_fileData->Brightness1 = static_cast<uint32_t>(cell);
    }
}

void ORBSettingForAudioViewController::malaysiaRadioSelected() {
    if (!malaysiaRadio->isChecked()) {
        // The radio button cannot be turned off by clicking it again; choosing a cell does that.
        malaysiaRadio->setChecked(true);
    }
    voiceLangRadio->setSelectedCell(-1);
    if (m_fileData) {
        m_fileData->Brightness1 = kMalaysiaLanguage;
    }
}

bool ORBSettingForAudioViewController::populate() {
    _FILEDATA* d = m_fileData;
    if (!d) {
        return false;
    }
    d->aud_input_vol = segmentValue(*micSeg, d->aud_input_vol);
    d->alarm_ontime_flag = useEveryHourNoticeChk->isChecked() ? 1 : 0;
    d->aud_output_vol = segmentValue(*speakerSeg, d->aud_output_vol);
    if (d->Brightness1 != kMalaysiaLanguage && voiceLangRadio->selectedCell() >= 0) {
        d->Brightness1 = static_cast<uint32_t>(voiceLangRadio->selectedCell());
    }
    return true;
}

} // namespace nura
