#include "platform/CornerDialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <limits>

namespace schauplatz {

namespace {

const char* const kCornerNames[4] = {"Ecke 0 (oben links)", "Ecke 1 (oben rechts)",
                                     "Ecke 2 (unten rechts)", "Ecke 3 (unten links)"};

} // namespace

CornerDialog::CornerDialog(const Corners& corners, QWidget* parent) : QDialog(parent) {
    setObjectName("CornerDialog");
    setWindowTitle(QString::fromUtf8("Ecken eingeben"));
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("x", this), 0, 1);
    grid->addWidget(new QLabel("y", this), 0, 2);
    for (int corner = 0; corner < 4; ++corner) {
        grid->addWidget(new QLabel(QString::fromUtf8(kCornerNames[corner]), this), corner + 1, 0);
        for (int axis = 0; axis < 2; ++axis) {
            const int index = 2 * corner + axis;
            auto* field = new QSpinBox(this);
            field->setObjectName(QString(axis == 0 ? "x%1" : "y%1").arg(corner));
            field->setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
            field->setValue(corners[static_cast<std::size_t>(index)]);
            field->setAccelerated(true);
            grid->addWidget(field, corner + 1, axis + 1);
            m_fields[static_cast<std::size_t>(index)] = field;
        }
    }
    // Tab runs x0, y0, x1, y1, ... whatever the grid's order.
    for (std::size_t i = 0; i + 1 < m_fields.size(); ++i)
        setTabOrder(m_fields[i], m_fields[i + 1]);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText("OK");
    buttons->button(QDialogButtonBox::Cancel)->setText("Abbrechen");
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    setTabOrder(m_fields.back(), buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(buttons);
}

void CornerDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Typing replaces x0 at once.
    m_fields.front()->setFocus(Qt::OtherFocusReason);
    m_fields.front()->selectAll();
}

CornerDialog::Corners CornerDialog::corners() const {
    Corners values{};
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        m_fields[i]->interpretText(); // a value typed but not yet taken counts
        values[i] = m_fields[i]->value();
    }
    return values;
}

std::optional<CornerDialog::Corners> CornerDialog::ask(const Corners& corners, QWidget* parent) {
    CornerDialog dialog(corners, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.corners();
}

} // namespace schauplatz
