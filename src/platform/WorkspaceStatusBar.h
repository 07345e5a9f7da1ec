// The status bar at the bottom of the main window: the view scale, the picture pixel under the
// pointer and the four corners of the element quad (the selected one in brackets).
#pragma once

#include "MainUnit/FormViewState.h"

#include <QStatusBar>

class QLabel;

namespace schauplatz {

class WorkspaceStatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit WorkspaceStatusBar(QWidget* parent = nullptr);

    // Shows the texts; unchanged texts cost nothing.
    void showStatus(const TViewStatus& status);
    QString scaleText() const;
    QString pointerText() const;
    QString cornersText() const;

private:
    QLabel* m_scale = nullptr;
    QLabel* m_pointer = nullptr;
    QLabel* m_corners = nullptr;
};

} // namespace schauplatz
