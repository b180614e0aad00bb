// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/EcoSliderAxisView.h"
#include "ui/views/SMDoubleSlider.h"

#include <QAccessible>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QSpinBox>
#include <QtTest>

#include <cmath>

using namespace nura;

class DoubleSliderTest : public QObject {
    Q_OBJECT

private slots:
    void valuesStayInOrderWithinTheLimits() {
        SMDoubleSliderCell cell;
        cell.setMaxValue(100);
        cell.setDoubleHiValue(80);
        cell.setDoubleLoValue(20);
        cell.setDoubleLoValue(95);
        QCOMPARE(cell.doubleLoValue(), 80.0);
        cell.setDoubleLoValue(20);
        cell.setDoubleHiValue(10);
        QCOMPARE(cell.doubleHiValue(), 20.0);
        cell.setDoubleHiValue(150);
        cell.setDoubleHiValue(std::nan(""));
        QCOMPARE(cell.doubleHiValue(), 100.0);
    }

    void dragPartsKnobsStackedAtTheMinimum() {
        SMDoubleSlider slider;
        slider.resize(220, slider.sizeHint().height());
        slider.setAltIncrementValue(1);
        // Models the knobs are bound to, each value with its change signal.
        QSpinBox low, high;
        slider.bind("objectLoValue", &low, "value");
        slider.bind("objectHiValue", &high, "value");
        QCOMPARE(slider.loKnobRect(), slider.hiKnobRect());

        const QPoint knob = slider.loKnobRect().center();
        QTest::mousePress(&slider, Qt::LeftButton, {}, knob);
        QTest::mouseMove(&slider, QPoint(slider.width() / 2, knob.y()));
        QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(slider.width() / 2, knob.y()));
        QCOMPARE(slider.doubleLoValue(), 0.0);
        QVERIFY2(slider.doubleHiValue() > 30 && slider.doubleHiValue() < 70,
                 qPrintable(slider.stringHiValue()));
        QCOMPARE(high.value(), slider.integerHiValue());

        // The low knob, now apart, is dragged by itself and stops at the high one.
        low.setValue(10);
        const QPoint lowKnob = slider.loKnobRect().center();
        QTest::mousePress(&slider, Qt::LeftButton, {}, lowKnob);
        QTest::mouseMove(&slider, QPoint(slider.width() - 2, lowKnob.y()));
        QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(slider.width() - 2, lowKnob.y()));
        QCOMPARE(slider.doubleLoValue(), slider.doubleHiValue());
        QCOMPARE(low.value(), slider.integerLoValue());

        // Nothing selected in the model disables the slider and leaves its values.
        slider.setObjectHiValue(QVariant());
        QVERIFY(!slider.isEnabled());
        QCOMPARE(high.value(), slider.integerHiValue());
        QVERIFY(!slider.bind("value", &low, "value"));
    }

    void keyboardMovesTheCurrentKnobAndTabLeavesFromTheHighOne() {
        QWidget window;
        auto* layout = new QHBoxLayout(&window);
        auto* before = new QLineEdit(&window);
        auto* slider = new SMDoubleSlider(Qt::Horizontal, &window);
        auto* after = new QLineEdit(&window);
        layout->addWidget(before);
        layout->addWidget(slider);
        layout->addWidget(after);
        slider->setAltIncrementValue(1);
        slider->setDoubleHiValue(80);
        slider->setDoubleLoValue(20);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        before->setFocus();

        QTest::keyClick(&window, Qt::Key_Tab);
        QVERIFY(slider->trackingLoKnob());
        QTest::keyClick(slider, Qt::Key_Right);
        QCOMPARE(slider->doubleLoValue(), 21.0);
        QTest::keyClick(slider, Qt::Key_Tab);
        QVERIFY(slider->hasFocus());
        QTest::keyClick(slider, Qt::Key_Left);
        QTest::keyClick(slider, Qt::Key_PageUp);
        QCOMPARE(slider->doubleHiValue(), 89.0);
        QTest::keyClick(slider, Qt::Key_Tab);
        QVERIFY(after->hasFocus());
        QVERIFY(slider->trackingLoKnob());
    }

    void screenReadersSeeBothValues() {
        SMDoubleSlider slider;
        slider.setAltIncrementValue(1);
        slider.setDoubleHiValue(80);
        slider.setDoubleLoValue(20);
        slider.setTrackingLoKnob(true);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&slider);
        QVERIFY(accessible);
        QCOMPARE(accessible->text(QAccessible::Value), QString("20 – 80"));
        QAccessibleValueInterface* value = accessible->valueInterface();
        QVERIFY(value);
        QCOMPARE(value->currentValue().toDouble(), 20.0);
        value->setCurrentValue(90);
        QCOMPARE(slider.doubleLoValue(), 80.0);
    }

    void axisTicksStayInsideTheView() {
        const auto ticks = EcoSliderAxisView::tickRects(216);
        QCOMPARE(ticks.front().x(), 8.0);
        QCOMPARE(ticks.back().x(), 208.0);
    }
};

QTEST_MAIN(DoubleSliderTest)
#include "DoubleSliderTest.moc"
