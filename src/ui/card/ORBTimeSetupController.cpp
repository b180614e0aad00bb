// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/card/ORBTimeSetupController.h"

#include "core/card/ClockFile.h"
#include "platform/VolumeService.h"
#include "ui/settings/ChoiceControls.h"
#include "ui/strings/InfoPlist.h"

#include <QCalendarWidget>
#include <QDateTime>
#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

ORBTimeSetupController::ORBTimeSetupController(CardToolServices services, QWidget* parent)
    : QDialog(parent), m_services(std::move(services)) {
    setWindowTitle(L("timesetup.title"));
    setObjectName(QStringLiteral("ORBTimeSetupController"));

    if (m_services.volumes) {
        if (const auto volume =
                m_services.volumes->findUSBVolumeContainingFile(QString::fromLatin1(nura::kClockFileName))) {
            m_SettingFilePath =
                QDir(volume->toLocalFile()).filePath(QString::fromLatin1(nura::kClockFileName));
        }
    }

    datePicker = new QCalendarWidget(this);
    timePicker = new QTimeEdit(this);
    timePicker->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    dateField = new QLabel(this);
    nowDaySettingChk = new QPushButton(this);
    saveButton = new QPushButton(L("save"), this);
    cancelButton = new QPushButton(L("cancel"), this);
    saveButton->setDefault(true);

    auto* timeRow = new QHBoxLayout;
    timeRow->addWidget(new QLabel(L("time.time"), this));
    timeRow->addWidget(timePicker, 1);
    auto* dateRow = new QHBoxLayout;
    dateRow->addWidget(dateField, 1);
    dateRow->addWidget(nowDaySettingChk);
    auto* buttons = new QHBoxLayout;
    auto* target = new QLabel(m_SettingFilePath.isEmpty() ? QString() : m_SettingFilePath, this);
    target->setObjectName(QStringLiteral("targetLabel"));
    buttons->addWidget(target, 1);
    buttons->addWidget(cancelButton);
    buttons->addWidget(saveButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(datePicker);
    layout->addLayout(dateRow);
    layout->addLayout(timeRow);
    layout->addLayout(buttons);

    const QDateTime now = QDateTime::currentDateTime();
    setSelectedDate(now.date());
    setSelectedTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    nowDaySettingChk->setText(
        QStringLiteral("%1 (%2)").arg(L("today"), QLocale().toString(now.date(), QLocale::ShortFormat)));

    connect(datePicker, &QCalendarWidget::selectionChanged, this,
            [this] { setSelectedDate(datePicker->selectedDate()); });
    connect(timePicker, &QTimeEdit::timeChanged, this, [this](QTime t) { setSelectedTime(t); });
    connect(nowDaySettingChk, &QPushButton::clicked, this, &ORBTimeSetupController::nowDayChecked);
    connect(saveButton, &QPushButton::clicked, this, &ORBTimeSetupController::onSaveConfigFile);
    connect(cancelButton, &QPushButton::clicked, this, &ORBTimeSetupController::reject);
}

void ORBTimeSetupController::setSelectedDate(QDate date) {
    m_selectedDate = date;
    if (datePicker->selectedDate() != date) {
        datePicker->setSelectedDate(date);
    }
    showDate();
}

void ORBTimeSetupController::setSelectedTime(QTime time) {
    m_selectedTime = time;
    if (timePicker->time() != time) {
        timePicker->setTime(time);
    }
}

void ORBTimeSetupController::showDate() {
    dateField->setText(QLocale().toString(m_selectedDate, QLocale::LongFormat));
}

void ORBTimeSetupController::nowDayChecked() {
    setSelectedDate(QDate::currentDate());
}

QString ORBTimeSetupController::doWriteConfigFile(const QString& path) {
    const nura::ClockTime t{m_selectedDate.year(), m_selectedDate.month(),  m_selectedDate.day(),
                            m_selectedTime.hour(), m_selectedTime.minute(), m_selectedTime.second()};
    return QString::fromStdString(nura::writeClockFile(path.toStdString(), t));
}

void ORBTimeSetupController::onSaveConfigFile() {
    QString target = m_SettingFilePath;
    if (target.isEmpty()) {
        target = m_services.chooseSaveFile
                     ? m_services.chooseSaveFile(this, QStringLiteral("timeset"), QStringLiteral("cfg"))
                     : QString();
        if (target.isEmpty()) {
            return;
        }
    }
    const QString failure = doWriteConfigFile(target);
    if (!failure.isEmpty()) {
        nura::ShowAlertSheet(this, L("time.filesave_fail"), QStringLiteral("%1\n%2").arg(target, failure));
        return;
    }
    emit saved(target);
    nura::ShowAlertSheet(this, QStringLiteral("NURA"), L("time.filesave"), [this] { accept(); });
}
