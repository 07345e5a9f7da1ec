#include "platform/HelpWindow.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace schauplatz {

namespace {

constexpr int kWidth = 620;
constexpr int kHeight = 560;

QString escaped(const std::string& text) {
    return QString::fromStdString(text).toHtmlEscaped();
}

} // namespace

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent), m_text(new QTextBrowser(this)) {
    setObjectName("HelpWindow");
    setModal(false);
    m_text->setObjectName("HelpText");
    m_text->setOpenLinks(false);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text, 1);
    layout->addWidget(buttons);
    resize(kWidth, kHeight);
}

void HelpWindow::showPage(const HelpPage& page) {
    setWindowTitle(QString::fromStdString(page.title));
    m_text->setHtml(pageHtml(page));
    show();
    raise();
    activateWindow();
}

QString HelpWindow::html() const {
    return m_text->toHtml();
}

QString HelpWindow::pageHtml(const HelpPage& page) {
    QString html;
    for (const HelpSection& section : page.sections) {
        if (!section.heading.empty()) html += "<h3>" + escaped(section.heading) + "</h3>";
        for (const std::string& paragraph : section.paragraphs)
            html += "<p>" + escaped(paragraph) + "</p>";
        if (section.rows.empty()) continue;
        html += "<table cellspacing=\"0\" cellpadding=\"3\">";
        for (const auto& [left, right] : section.rows)
            html += "<tr><td><b>" + escaped(left) + "</b></td><td>" + escaped(right) + "</td></tr>";
        html += "</table>";
    }
    return html;
}

} // namespace schauplatz
