#include "ui/app/ORBMapSideView.h"

#include <QLabel>
#include <QLayout>
#include <QWidget>

#include <utility>

ORBMapSideView::ORBMapSideView(Factory make, QWidget* container)
    : m_make(std::move(make)), m_container(container) {}

void ORBMapSideView::evaluateScript(const QString& script) {
    if (m_page) {
        m_page->evaluateScript(script);
        return;
    }
    if (!m_make) {
        return;
    }
    // A restarted trail makes what came before it moot; a repeated call (the position between two
    // GPS fixes) adds nothing.
    if (script == QLatin1String("ORBRestartTrail()")) {
        m_kept.clear();
    } else if (!m_kept.isEmpty() && m_kept.last() == script) {
        return;
    }
    if (m_kept.size() >= kMaxKept) {
        m_kept.removeFirst();
    }
    m_kept.append(script);
}

void ORBMapSideView::show() {
    if (m_page || !m_make) {
        return;
    }
    m_page = m_make(m_container);
    if (!m_page) {
        return;
    }
    if (QWidget* map = m_page->widget(); map && m_container && m_container->layout()) {
        // The web view takes the place of the container's placeholder text.
        auto* layout = m_container->layout();
        layout->setContentsMargins(0, 0, 0, 0);
        for (auto* label : m_container->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
            label->hide();
        }
        layout->addWidget(map);
    }
    m_page->load(mapPageUrl());
    if (!m_kept.isEmpty()) {
        // One script, run once the page has defined its functions.
        m_page->evaluateScript(std::exchange(m_kept, {}).join(QStringLiteral(";\n")));
    }
}
