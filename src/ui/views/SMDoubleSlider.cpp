// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/SMDoubleSlider.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMetaProperty>
#include <QMouseEvent>
#include <QPainter>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>

#include <algorithm>
#include <cmath>

namespace nura {

namespace {

// The style draws knobs on an integer scale; this one is fine enough for any range.
constexpr int kScale = 10000;

const char* const kBindingNames[] = {"objectLoValue", "objectHiValue"};

// Screen readers see one slider whose value is the current knob's, and whose text gives both.
class SMDoubleSliderAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit SMDoubleSliderAccessible(SMDoubleSlider* slider)
        : QAccessibleWidget(slider, QAccessible::Slider) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ValueInterface ? static_cast<QAccessibleValueInterface*>(this)
                                                   : QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) {
            return QStringLiteral("%1 – %2").arg(slider()->stringLoValue(), slider()->stringHiValue());
        }
        return QAccessibleWidget::text(t);
    }
    QVariant currentValue() const override { return slider()->cell().doubleValue(); }
    void setCurrentValue(const QVariant& value) override {
        if (slider()->trackingLoKnob()) {
            slider()->setDoubleLoValue(value.toDouble());
        } else {
            slider()->setDoubleHiValue(value.toDouble());
        }
    }
    QVariant maximumValue() const override { return slider()->maxValue(); }
    QVariant minimumValue() const override { return slider()->minValue(); }
    QVariant minimumStepSize() const override { return slider()->altIncrementValue(); }

private:
    SMDoubleSlider* slider() const { return static_cast<SMDoubleSlider*>(widget()); }
};

QAccessibleInterface* accessibleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("nura::SMDoubleSlider") && object && object->isWidgetType()) {
        return new SMDoubleSliderAccessible(static_cast<SMDoubleSlider*>(object));
    }
    return nullptr;
}

} // namespace

SMDoubleSlider::SMDoubleSlider(Qt::Orientation orientation, QWidget* parent)
    : QWidget(parent), m_orientation(orientation) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(accessibleFactory);
        return true;
    }();
    (void)factoryInstalled;
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(orientation == Qt::Horizontal ? QSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed)
                                                : QSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding));
}

SMDoubleSlider::~SMDoubleSlider() {
    unbindAll();
}

void SMDoubleSlider::emitChanges(double oldLo, double oldHi) {
    const bool loChanged = oldLo != m_cell.doubleLoValue();
    const bool hiChanged = oldHi != m_cell.doubleHiValue();
    if (!loChanged && !hiChanged) {
        return;
    }
    update();
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent change(this, m_cell.doubleValue());
        QAccessible::updateAccessibility(&change);
    }
    if (loChanged) {
        emit loValueChanged(m_cell.doubleLoValue());
    }
    if (hiChanged) {
        emit hiValueChanged(m_cell.doubleHiValue());
    }
}

void SMDoubleSlider::setMinValue(double minimum) {
    const double lo = doubleLoValue(), hi = doubleHiValue();
    m_cell.setMinValue(minimum);
    emitChanges(lo, hi);
    update();
}

void SMDoubleSlider::setMaxValue(double maximum) {
    const double lo = doubleLoValue(), hi = doubleHiValue();
    m_cell.setMaxValue(maximum);
    emitChanges(lo, hi);
    update();
}

void SMDoubleSlider::setDoubleLoValue(double value) {
    const double lo = doubleLoValue(), hi = doubleHiValue();
    m_cell.setDoubleLoValue(value);
    emitChanges(lo, hi);
}

void SMDoubleSlider::setDoubleHiValue(double value) {
    const double lo = doubleLoValue(), hi = doubleHiValue();
    m_cell.setDoubleHiValue(value);
    emitChanges(lo, hi);
}

void SMDoubleSlider::setObjectLoValue(const QVariant& value) {
    bool ok = false;
    const double number = value.toDouble(&ok);
    setEnabled(ok);
    if (ok) {
        setDoubleLoValue(number);
    }
}

void SMDoubleSlider::setObjectHiValue(const QVariant& value) {
    bool ok = false;
    const double number = value.toDouble(&ok);
    setEnabled(ok);
    if (ok) {
        setDoubleHiValue(number);
    }
}

void SMDoubleSlider::setLockedSliders(bool locked) {
    const double lo = doubleLoValue(), hi = doubleHiValue();
    m_cell.setLockedSliders(locked);
    emitChanges(lo, hi);
}

void SMDoubleSlider::setTrackingLoKnob(bool lo) {
    m_cell.setTrackingLoKnob(lo);
    update();
}

int SMDoubleSlider::bindingNameToIndex(const QString& name) {
    for (int i = 0; i < 2; ++i) {
        if (name == QLatin1String(kBindingNames[i])) {
            return i;
        }
    }
    return -1;
}

QString SMDoubleSlider::bindingIndexToName(int index) {
    return index == 0 || index == 1 ? QString::fromLatin1(kBindingNames[index]) : QString();
}

bool SMDoubleSlider::bind(const QString& binding, QObject* model, const QByteArray& property) {
    const int index = bindingNameToIndex(binding);
    if (index < 0 || !model) {
        return false;
    }
    const QMetaObject* meta = model->metaObject();
    const int propertyIndex = meta->indexOfProperty(property.constData());
    if (propertyIndex < 0) {
        return false;
    }
    const QMetaProperty metaProperty = meta->property(propertyIndex);
    if (m_bindings[index].model) {
        disconnect(m_bindings[index].model.data(), nullptr, this, nullptr);
    }
    m_bindings[index] = {model, property};
    if (metaProperty.hasNotifySignal()) {
        connect(model, metaProperty.notifySignal(), this,
                metaObject()->method(metaObject()->indexOfSlot("boundModelChanged()")));
    }
    boundModelChanged();
    return true;
}

void SMDoubleSlider::unbindAll() {
    for (Binding& binding : m_bindings) {
        if (binding.model) {
            disconnect(binding.model.data(), nullptr, this, nullptr);
        }
        binding = {};
    }
}

void SMDoubleSlider::boundModelChanged() {
    if (m_bindings[0].model) {
        setObjectLoValue(m_bindings[0].model->property(m_bindings[0].property.constData()));
    }
    if (m_bindings[1].model) {
        setObjectHiValue(m_bindings[1].model->property(m_bindings[1].property.constData()));
    }
}

void SMDoubleSlider::updateBoundControllerLoValue(double value) {
    if (m_bindings[0].model) {
        m_bindings[0].model->setProperty(m_bindings[0].property.constData(), value);
    }
}

void SMDoubleSlider::updateBoundControllerHiValue(double value) {
    if (m_bindings[1].model) {
        m_bindings[1].model->setProperty(m_bindings[1].property.constData(), value);
    }
}

void SMDoubleSlider::moveCurrentKnob(double value) {
    if (trackingLoKnob()) {
        setDoubleLoValue(value);
        updateBoundControllerLoValue(doubleLoValue());
    } else {
        setDoubleHiValue(value);
        updateBoundControllerHiValue(doubleHiValue());
    }
}

void SMDoubleSlider::initStyleOption(QStyleOptionSlider* option, double value) const {
    option->initFrom(this);
    option->orientation = m_orientation;
    option->minimum = 0;
    option->maximum = kScale;
    const double span = maxValue() - minValue();
    const int position = span > 0 ? static_cast<int>(std::lround((value - minValue()) / span * kScale)) : 0;
    option->sliderPosition = position;
    option->sliderValue = position;
    option->singleStep = 1;
    option->pageStep = kScale / 10;
    option->tickPosition = QSlider::NoTicks;
    option->upsideDown = m_orientation == Qt::Horizontal ? layoutDirection() == Qt::RightToLeft : true;
    option->direction = layoutDirection();
    option->subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
}

QRect SMDoubleSlider::loKnobRect() const {
    QStyleOptionSlider option;
    initStyleOption(&option, doubleLoValue());
    return style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
}

QRect SMDoubleSlider::hiKnobRect() const {
    QStyleOptionSlider option;
    initStyleOption(&option, doubleHiValue());
    return style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
}

double SMDoubleSlider::valueAt(QPoint position) const {
    QStyleOptionSlider option;
    initStyleOption(&option, minValue());
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect knob = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    int length, start, end, at;
    if (m_orientation == Qt::Horizontal) {
        length = knob.width();
        start = groove.x();
        end = groove.right() - length + 1;
        at = position.x() - length / 2;
    } else {
        length = knob.height();
        start = groove.y();
        end = groove.bottom() - length + 1;
        at = position.y() - length / 2;
    }
    const int scaled =
        QStyle::sliderValueFromPosition(0, kScale, at - start, std::max(end - start, 1), option.upsideDown);
    return minValue() + (maxValue() - minValue()) * scaled / kScale;
}

double SMDoubleSlider::snapped(double value) const {
    if (m_altIncrement <= 0) {
        return value;
    }
    return minValue() + std::round((value - minValue()) / m_altIncrement) * m_altIncrement;
}

QSize SMDoubleSlider::sizeHint() const {
    QStyleOptionSlider option;
    initStyleOption(&option, minValue());
    const int thickness = style()->pixelMetric(QStyle::PM_SliderThickness, &option, this);
    const QSize size = m_orientation == Qt::Horizontal ? QSize(160, thickness) : QSize(thickness, 160);
    return style()->sizeFromContents(QStyle::CT_Slider, &option, size, this);
}

void SMDoubleSlider::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const bool focused = hasFocus();
    // The bare track: drawn as at the minimum, so that the style fills none of it.
    QStyleOptionSlider track;
    initStyleOption(&track, minValue());
    track.subControls = QStyle::SC_SliderGroove;
    track.state &= ~QStyle::State_HasFocus;
    style()->drawComplexControl(QStyle::CC_Slider, &track, &painter, this);

    // The range between the knobs, in the selection colour.
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &track, QStyle::SC_SliderGroove, this);
    const QRect loKnob = loKnobRect();
    const QRect hiKnob = hiKnobRect();
    QRect range;
    if (m_orientation == Qt::Horizontal) {
        const int thickness = std::max(groove.height() / 3, 2);
        range = QRect(QPoint(loKnob.center().x(), groove.center().y() - thickness / 2),
                      QPoint(hiKnob.center().x(), groove.center().y() + thickness / 2));
    } else {
        const int thickness = std::max(groove.width() / 3, 2);
        range = QRect(QPoint(groove.center().x() - thickness / 2, hiKnob.center().y()),
                      QPoint(groove.center().x() + thickness / 2, loKnob.center().y()));
    }
    painter.fillRect(range.normalized(), palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                                         QPalette::Highlight));

    // The low knob first, then the high one on top; the current knob carries the focus.
    for (const bool lo : {true, false}) {
        QStyleOptionSlider knob;
        initStyleOption(&knob, lo ? doubleLoValue() : doubleHiValue());
        knob.subControls = QStyle::SC_SliderHandle;
        knob.state &= ~QStyle::State_HasFocus;
        if (focused && lo == trackingLoKnob()) {
            knob.state |= QStyle::State_HasFocus;
        }
        style()->drawComplexControl(QStyle::CC_Slider, &knob, &painter, this);
    }
}

void SMDoubleSlider::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const QPoint at = event->position().toPoint();
    const QRect loKnob = loKnobRect();
    const QRect hiKnob = hiKnobRect();
    bool lo = m_orientation == Qt::Horizontal ? at.x() < loKnob.x() + loKnob.width() : at.y() > loKnob.y();
    // Two knobs stacked at the minimum can only be parted by the high one.
    if (lo && loKnob == hiKnob && doubleLoValue() <= minValue()) {
        lo = false;
    }
    m_cell.setMouseTrackingSwapped(lo);
    m_cell.setTrackingLoKnob(lo);
    m_dragging = true;
    const QRect knob = lo ? loKnob : hiKnob;
    // A knob taken off-centre keeps the spot where it was taken; a click on the track brings the knob there.
    m_dragOffset = 0;
    if (knob.contains(at)) {
        m_dragOffset =
            m_orientation == Qt::Horizontal ? at.x() - knob.center().x() : at.y() - knob.center().y();
    } else {
        moveCurrentKnob(snapped(valueAt(at)));
    }
    update();
}

void SMDoubleSlider::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragging) {
        event->ignore();
        return;
    }
    QPoint at = event->position().toPoint();
    if (m_orientation == Qt::Horizontal) {
        at.rx() -= m_dragOffset;
    } else {
        at.ry() -= m_dragOffset;
    }
    moveCurrentKnob(snapped(valueAt(at)));
}

void SMDoubleSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (!m_dragging) {
        event->ignore();
        return;
    }
    m_dragging = false;
    if (m_cell.mouseTrackingSwapped()) {
        updateBoundControllerLoValue(doubleLoValue());
    } else {
        updateBoundControllerHiValue(doubleHiValue());
    }
    m_cell.setMouseTrackingSwapped(false);
    update();
}

bool SMDoubleSlider::event(QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool modified =
            key->modifiers().testAnyFlags(Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
        if (key->key() == Qt::Key_Tab && !modified) {
            if (trackingLoKnob()) {
                setTrackingLoKnob(false);
                return true;
            }
            // From the high knob focus moves on, and the next visit starts at the low knob.
            setTrackingLoKnob(true);
        } else if (key->key() == Qt::Key_Backtab && !modified) {
            if (!trackingLoKnob()) {
                setTrackingLoKnob(true);
                return true;
            }
        }
    }
    return QWidget::event(event);
}

void SMDoubleSlider::focusInEvent(QFocusEvent* event) {
    if (event->reason() == Qt::TabFocusReason) {
        setTrackingLoKnob(true);
    } else if (event->reason() == Qt::BacktabFocusReason) {
        setTrackingLoKnob(false);
    }
    QWidget::focusInEvent(event);
}

void SMDoubleSlider::keyPressEvent(QKeyEvent* event) {
    const double step = m_altIncrement > 0 ? m_altIncrement : (maxValue() - minValue()) / 100;
    const double current = m_cell.doubleValue();
    const bool reversed = m_orientation == Qt::Horizontal && layoutDirection() == Qt::RightToLeft;
    switch (event->key()) {
    case Qt::Key_Left:
        moveCurrentKnob(current + (reversed ? step : -step));
        break;
    case Qt::Key_Right:
        moveCurrentKnob(current + (reversed ? -step : step));
        break;
    case Qt::Key_Down:
        moveCurrentKnob(current - step);
        break;
    case Qt::Key_Up:
        moveCurrentKnob(current + step);
        break;
    case Qt::Key_PageDown:
        moveCurrentKnob(current - 10 * step);
        break;
    case Qt::Key_PageUp:
        moveCurrentKnob(current + 10 * step);
        break;
    case Qt::Key_Home:
        moveCurrentKnob(minValue());
        break;
    case Qt::Key_End:
        moveCurrentKnob(maxValue());
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

} // namespace nura
