#pragma once

// A warning that fits the screen, whatever its text: a message of a few short lines shows as
// it is; a longer one (more lines, or lines too long to read in one) shows its first lines
// and, below them, the whole text in a scrollable, read-only detail area. The dialog is never
// wider or taller than the screen's available area, so its button stays reachable. Lines of
// the detail area are cut at kMaxDetailLineChars characters (a line of megabytes could
// not be read and would take the text area seconds to lay out).

#include <QDialog>
#include <QString>

#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace schauplatz {

class LongMessageBox : public QDialog {
    Q_OBJECT
public:
    static constexpr int kSummaryLines = 6;
    static constexpr int kMaxSummaryLineChars = 160;
    static constexpr int kMaxDetailLineChars = 2000;

    LongMessageBox(const QString& title, const QString& text, QWidget* parent = nullptr);

    QLabel* summary() const { return m_summary; }
    // The detail area; nullptr for a short message.
    QPlainTextEdit* details() const { return m_details; }
    QPushButton* okButton() const { return m_ok; }

    // Text with at most maxLines lines, each cut at maxChars characters (saying how long it
    // was); a text cut short ends in a line saying how many lines it has.
    static QString shortened(const QString& text, int maxLines, int maxChars);
    // The largest size a dialog on the screen of widget (or the primary screen) may take:
    // nine tenths of the available area.
    static QSize screenLimit(const QWidget* widget);

    // Shows a warning modally, or, when a presenter is set, hands the dialog to it instead
    // (tests inspect it without blocking).
    static void warn(QWidget* parent, const QString& title, const QString& text);
    using Presenter = std::function<void(LongMessageBox&)>;
    static void setPresenter(Presenter presenter);

private:
    void fitToScreen();

    QLabel* m_summary = nullptr;
    QPlainTextEdit* m_details = nullptr;
    QPushButton* m_ok = nullptr;
};

} // namespace schauplatz
