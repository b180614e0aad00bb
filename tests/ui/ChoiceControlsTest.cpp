// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/ChoiceControls.h"
#include "ui/settings/ORBCarNumberTextField.h"
#include "ui/settings/TKRadioMatrix.h"
#include "ui/settings/TKSegmentedControl.h"

#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QtTest>

using namespace nura;

class ChoiceControlsTest : public QObject {
    Q_OBJECT

private slots:
    void segmentsFollowTheLabels() {
        TKSegmentedControl control;
        FillSegments(control, {"Off", "Low", "Middle", "High"});
        QCOMPARE(control.label(3), QString("High"));

        QSignalSpy changed(&control, &TKSegmentedControl::selectedSegmentChanged);
        control.setSelectedSegment(3);
        // Refilling with fewer labels drops the selected segment with it.
        FillSegments(control, {"km/h", "mph"});
        QCOMPARE(control.segmentCount(), 2);
        QCOMPARE(control.selectedSegment(), -1);
        control.setSelectedSegment(1);
        control.setSelectedSegment(7); // a value the pane does not know clears the choice
        QCOMPARE(control.selectedSegment(), -1);
        QCOMPARE(changed.size(), 4);
        QCOMPARE(changed.at(1).at(0).toInt(), -1);
    }

    // Panes warn on a user's choice only: showing a record must not look like one.
    void activatedOnlyByTheUser() {
        TKSegmentedControl control;
        FillSegments(control, {"Off", "On"});
        TKRadioMatrix matrix(2, 2);
        QSignalSpy segment(&control, &TKSegmentedControl::activated);
        QSignalSpy cell(&matrix, &TKRadioMatrix::activated);
        control.setSelectedSegment(1);
        matrix.setSelectedCell(3);
        QCOMPARE(segment.size(), 0);
        QCOMPARE(cell.size(), 0);
        control.findChildren<QAbstractButton*>().at(0)->click();
        matrix.cell(2)->click();
        QCOMPARE(segment.size(), 1);
        QCOMPARE(cell.value(0).value(0).toInt(), 2);
    }

    void matrixTitlesRowByRow() {
        TKRadioMatrix matrix(2, 3);
        matrix.setCellTitle(5, "kept");
        FillMatrixTitles(matrix, {"Mon", "Tue", "Wed", "Thu"});
        QCOMPARE(matrix.cellTitle(3), QString("Thu"));
        QCOMPARE(matrix.cellTitle(5), QString("kept"));
        FillMatrixTitles(matrix, {"1", "2", "3", "4", "5", "6", "7", "8"}); // more titles than cells
        QCOMPARE(matrix.cellTitle(5), QString("6"));
        QCOMPARE(matrix.cellTitle(6), QString());

        matrix.setSelectedCell(4);
        matrix.cell(1)->click();
        QCOMPARE(matrix.selectedCell(), 1);
        QVERIFY(!matrix.cell(4)->isChecked());
        matrix.setSelectedCell(-1);
        QCOMPARE(matrix.selectedCell(), -1);
    }

    void alertSheetHasOneButtonAndEndsItself() {
        QWidget window;
        window.show();
        int ended = 0;
        QMessageBox* alert = ShowAlertSheet(&window, "Saved.", "The card may be removed.", [&] { ++ended; });
        QCOMPARE(alert->buttons().size(), 1);
        QPointer<QMessageBox> guard(alert);
        alert->button(QMessageBox::Ok)->click();
        QCOMPARE(ended, 1);
        QTRY_VERIFY(guard.isNull()); // deletes itself
    }

    void carNumberFilteredWhenEditingEnds() {
        ORBCarNumberTextField field;
        field.setText(QString::fromUtf8("12 \xEA\xB0\x80 3456"));
        emit field.editingFinished();
        QCOMPARE(field.text(), QString("123456")); // what the filter keeps: the core tests
    }
};

QTEST_MAIN(ChoiceControlsTest)
#include "ChoiceControlsTest.moc"
