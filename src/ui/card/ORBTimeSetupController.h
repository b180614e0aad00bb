// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Clock setup: the user picks a date and a time of day (independently) and the window writes them as the
// camera's clock file, onto the card when it holds "timeset.cfg", else where the user saves it.

#include "ui/card/CardToolServices.h"

#include <QDate>
#include <QDialog>
#include <QTime>

class QCalendarWidget;
class QLabel;
class QPushButton;
class QTimeEdit;

class ORBTimeSetupController : public QDialog {
    Q_OBJECT
public:
    explicit ORBTimeSetupController(CardToolServices services, QWidget* parent = nullptr);

    // The card's "timeset.cfg", or empty when no USB volume holds one.
    const QString& settingFilePath() const { return m_SettingFilePath; }
    QDate selectedDate() const { return m_selectedDate; }
    QTime selectedTime() const { return m_selectedTime; }

    void setSelectedDate(QDate date);
    void setSelectedTime(QTime time);
    // "Today": replaces the date only.
    void nowDayChecked();
    void onSaveConfigFile();
    // Writes the file; empty on success, otherwise why not.
    QString doWriteConfigFile(const QString& path);

    QCalendarWidget* datePicker = nullptr;
    QTimeEdit* timePicker = nullptr;
    QLabel* dateField = nullptr;
    QPushButton* nowDaySettingChk = nullptr;
    QPushButton* saveButton = nullptr;
    QPushButton* cancelButton = nullptr;

signals:
    void saved(const QString& path);

private:
    void showDate();

    CardToolServices m_services;
    QString m_SettingFilePath;
    QDate m_selectedDate;
    QTime m_selectedTime;
};
