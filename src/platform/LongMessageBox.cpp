#include "platform/LongMessageBox.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

namespace schauplatz {

namespace {

LongMessageBox::Presenter& presenter() {
    static LongMessageBox::Presenter instance;
    return instance;
}

// A line cut to at most `limit` characters, saying how long it was.
QString cut(const QString& line, int limit) {
    if (line.size() <= limit) return line;
    return line.left(limit) + QString("… (%1 Zeichen)").arg(line.size());
}

bool isShort(const QStringList& lines) {
    if (lines.size() > LongMessageBox::kSummaryLines) return false;
    for (const QString& line : lines)
        if (line.size() > LongMessageBox::kMaxSummaryLineChars) return false;
    return true;
}

} // namespace

LongMessageBox::LongMessageBox(const QString& title, const QString& text, QWidget* parent)
    : QDialog(parent) {
    setObjectName("LongMessageBox");
    setWindowTitle(title);
    setModal(true);
    const QStringList lines = text.split('\n');

    auto* icon = new QLabel(this);
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()
                        ->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this)
                        .pixmap(iconSize, iconSize));
    icon->setAlignment(Qt::AlignTop);

    QStringList summary;
    for (int i = 0; i < std::min<int>(lines.size(), kSummaryLines); ++i)
        summary << cut(lines[i], kMaxSummaryLineChars);
    const bool complete = isShort(lines);
    if (!complete)
        summary
            << QString("… insgesamt %1 Zeilen, vollständig im Feld darunter.").arg(lines.size());
    m_summary = new QLabel(summary.join('\n'), this);
    m_summary->setObjectName("MessageSummary");
    m_summary->setWordWrap(true);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addWidget(m_summary, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);

    if (!complete) {
        QStringList all;
        all.reserve(lines.size());
        for (const QString& line : lines)
            all << cut(line, kMaxDetailLineChars);
        m_details = new QPlainTextEdit(all.join('\n'), this);
        m_details->setObjectName("MessageDetails");
        m_details->setReadOnly(true);
        m_details->setLineWrapMode(QPlainTextEdit::NoWrap);
        m_details->setMinimumSize(200, 120);
        layout->addWidget(m_details, 1);
    }

    m_ok = new QPushButton("OK", this);
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    layout->addLayout(buttons);
    fitToScreen();
}

QString LongMessageBox::shortened(const QString& text, int maxLines, int maxChars) {
    const QStringList lines = text.split('\n');
    QStringList kept;
    for (int i = 0; i < std::min<int>(lines.size(), maxLines); ++i)
        kept << cut(lines[i], maxChars);
    if (lines.size() > maxLines) kept << QString("… (insgesamt %1 Zeilen)").arg(lines.size());
    return kept.join('\n');
}

QSize LongMessageBox::screenLimit(const QWidget* widget) {
    const QScreen* screen = widget ? widget->screen() : QApplication::primaryScreen();
    const QSize available = screen ? screen->availableGeometry().size() : QSize(800, 600);
    return {available.width() * 9 / 10, available.height() * 9 / 10};
}

// At most nine tenths of the screen's available area, and no smaller than the contents need
// below that.
void LongMessageBox::fitToScreen() {
    const QSize limit = screenLimit(parentWidget());
    // A long unbroken summary line must wrap inside the limit, not widen the dialog.
    m_summary->setMaximumWidth(limit.width() - 80);
    setMaximumSize(limit);
    const QSize wanted = m_details ? QSize(limit.width() * 3 / 4, limit.height() * 3 / 4)
                                   : sizeHint().boundedTo(limit);
    resize(wanted.expandedTo(minimumSizeHint().boundedTo(limit)));
}

void LongMessageBox::warn(QWidget* parent, const QString& title, const QString& text) {
    LongMessageBox box(title, text, parent);
    if (presenter()) {
        presenter()(box);
        return;
    }
    box.exec();
}

void LongMessageBox::setPresenter(Presenter value) {
    presenter() = std::move(value);
}

} // namespace schauplatz
