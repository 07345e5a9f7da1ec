// "Ecken eingeben…": the element quad's eight coordinates as whole-number fields, in the order
// x0, y0, x1, y1, x2, y2, x3, y3 (the focus starts in x0, Tab goes on to the next). Return
// ("OK") takes them, Escape cancels.
#pragma once

#include <QDialog>

#include <array>
#include <cstdint>
#include <optional>

class QSpinBox;

namespace schauplatz {

class CornerDialog : public QDialog {
    Q_OBJECT
public:
    using Corners = std::array<std::int32_t, 8>;

    explicit CornerDialog(const Corners& corners, QWidget* parent = nullptr);

    Corners corners() const;
    QSpinBox* field(int index) const { return m_fields[static_cast<std::size_t>(index)]; }

    // Shows the dialog modally; the entered corners, or none when cancelled.
    static std::optional<Corners> ask(const Corners& corners, QWidget* parent);

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::array<QSpinBox*, 8> m_fields{};
};

} // namespace schauplatz
