// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A slider with two knobs on one track, drawn in the platform slider's style. The mouse drags the knob
// under it; the arrow keys move the current knob; Tab goes from the low knob to the high one and then on
// to the next control. Each knob's value can be bound to an integer or double property of a model object.

#include "ui/views/SMDoubleSliderCell.h"

#include <QByteArray>
#include <QPointer>
#include <QVariant>
#include <QWidget>

class QStyleOptionSlider;

namespace nura {

class SMDoubleSlider : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QVariant objectLoValue READ objectLoValue WRITE setObjectLoValue NOTIFY loValueChanged)
    Q_PROPERTY(QVariant objectHiValue READ objectHiValue WRITE setObjectHiValue NOTIFY hiValueChanged)

public:
    explicit SMDoubleSlider(Qt::Orientation orientation = Qt::Horizontal, QWidget* parent = nullptr);
    ~SMDoubleSlider() override;

    SMDoubleSliderCell& cell() { return m_cell; }
    const SMDoubleSliderCell& cell() const { return m_cell; }
    Qt::Orientation orientation() const { return m_orientation; }

    void setMinValue(double minimum);
    void setMaxValue(double maximum);
    double minValue() const { return m_cell.minValue(); }
    double maxValue() const { return m_cell.maxValue(); }
    double doubleLoValue() const { return m_cell.doubleLoValue(); }
    double doubleHiValue() const { return m_cell.doubleHiValue(); }
    void setDoubleLoValue(double value);
    void setDoubleHiValue(double value);
    int integerLoValue() const { return m_cell.integerLoValue(); }
    int integerHiValue() const { return m_cell.integerHiValue(); }
    void setIntegerLoValue(int value) { setDoubleLoValue(value); }
    void setIntegerHiValue(int value) { setDoubleHiValue(value); }
    QString stringLoValue() const { return QString::fromStdString(m_cell.stringLoValue()); }
    QString stringHiValue() const { return QString::fromStdString(m_cell.stringHiValue()); }

    // A number; an invalid value (a model with nothing selected) disables the control and sets nothing.
    QVariant objectLoValue() const { return m_cell.doubleLoValue(); }
    QVariant objectHiValue() const { return m_cell.doubleHiValue(); }
    void setObjectLoValue(const QVariant& value);
    void setObjectHiValue(const QVariant& value);

    bool lockedSliders() const { return m_cell.lockedSliders(); }
    void setLockedSliders(bool locked);
    bool trackingLoKnob() const { return m_cell.trackingLoKnob(); }
    void setTrackingLoKnob(bool lo);
    // The step of the arrow keys and of a drag; 0 moves by a hundredth of the range and drags freely.
    double altIncrementValue() const { return m_altIncrement; }
    void setAltIncrementValue(double step) { m_altIncrement = step; }

    // "objectLoValue" is binding 0, "objectHiValue" binding 1; any other name is -1 (and an empty name).
    static int bindingNameToIndex(const QString& name);
    static QString bindingIndexToName(int index);
    // Follows the model's property (through its notify signal) and writes the knob's value to it when the
    // user moves the knob. False for an unknown binding or property.
    bool bind(const QString& binding, QObject* model, const QByteArray& property);
    void unbindAll();

    // Where each knob is drawn, in the widget's coordinates.
    QRect loKnobRect() const;
    QRect hiKnobRect() const;

    QSize sizeHint() const override;

signals:
    void loValueChanged(double value);
    void hiValueChanged(double value);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private slots:
    void boundModelChanged();

private:
    struct Binding {
        QPointer<QObject> model;
        QByteArray property;
    };

    void initStyleOption(QStyleOptionSlider* option, double value) const;
    double valueAt(QPoint position) const;
    double snapped(double value) const;
    void emitChanges(double oldLo, double oldHi);
    void updateBoundControllerLoValue(double value);
    void updateBoundControllerHiValue(double value);
    // Moves the current knob by user action and tells the bound model.
    void moveCurrentKnob(double value);

    SMDoubleSliderCell m_cell;
    Qt::Orientation m_orientation;
    double m_altIncrement = 0;
    bool m_dragging = false;
    int m_dragOffset = 0;
    Binding m_bindings[2];
};

} // namespace nura
