#include "platform/WorkspaceStatusBar.h"

#include <QLabel>

namespace schauplatz {

namespace {

constexpr int kPointerWidth = 150;
constexpr int kScaleWidth = 150;

void setIfChanged(QLabel* label, const std::string& text) {
    const QString value = QString::fromStdString(text);
    if (label->text() != value) label->setText(value);
}

} // namespace

WorkspaceStatusBar::WorkspaceStatusBar(QWidget* parent) : QStatusBar(parent) {
    setObjectName("StatusBar1");
    setSizeGripEnabled(false);
    m_corners = new QLabel(this);
    m_corners->setObjectName("StatusCorners");
    m_pointer = new QLabel(this);
    m_pointer->setObjectName("StatusPointer");
    m_pointer->setMinimumWidth(kPointerWidth);
    m_scale = new QLabel(this);
    m_scale->setObjectName("StatusScale");
    m_scale->setMinimumWidth(kScaleWidth);
    addWidget(m_corners, 1);
    addPermanentWidget(m_pointer);
    addPermanentWidget(m_scale);
}

void WorkspaceStatusBar::showStatus(const TViewStatus& status) {
    setIfChanged(m_scale, status.Scale);
    setIfChanged(m_pointer, status.Pointer);
    setIfChanged(m_corners, status.Corners);
}

QString WorkspaceStatusBar::scaleText() const {
    return m_scale->text();
}

QString WorkspaceStatusBar::pointerText() const {
    return m_pointer->text();
}

QString WorkspaceStatusBar::cornersText() const {
    return m_corners->text();
}

} // namespace schauplatz
