// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/ORBSettingControllerDelegate.h"

#include "ui/settings/ChoiceControls.h"
#include "ui/settings/TKSegmentedControl.h"
#include "ui/strings/InfoPlist.h"

#include <QGroupBox>

namespace nura {

QString validationText(const ValidationMessage& message) {
    const QString text = L(message.key.c_str());
    if (QString::fromStdString(message.key).endsWith(QLatin1String("_fmt"))) {
        QString filled = text;
        filled.replace(QLatin1String("%.2f"), QStringLiteral("%1"));
        const int at = static_cast<int>(filled.indexOf(QLatin1String("%1")));
        if (at >= 0) {
            filled.replace(at, 2, QString::number(message.low, 'f', 2));
        }
        return filled.replace(QLatin1String("%1"), QString::number(message.high, 'f', 2));
    }
    return text;
}

QGroupBox* makeGroup(const char* titleKey, QWidget* parent) {
    auto* box = new QGroupBox(L(titleKey), parent);
    box->setObjectName(QString::fromLatin1(titleKey));
    return box;
}

TKSegmentedControl* makeSegments(const QStringList& labels, QWidget* parent) {
    auto* control = new TKSegmentedControl(parent);
    FillSegments(*control, labels);
    return control;
}

QString labelWith(const char* format, const char* wordKey) {
    return QString::fromLatin1(format).replace(QLatin1String("%@"), L(wordKey));
}

uint32_t segmentValue(const TKSegmentedControl& control, uint32_t stored) {
    const int selected = control.selectedSegment();
    return selected < 0 ? stored : static_cast<uint32_t>(selected);
}

void selectSegmentFor(TKSegmentedControl& control, uint32_t value) {
    control.setSelectedSegment(value < static_cast<uint32_t>(control.segmentCount()) ? static_cast<int>(value)
                                                                                     : -1);
}

} // namespace nura
