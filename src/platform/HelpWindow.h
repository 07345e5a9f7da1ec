#pragma once

// A page of the "&Hilfe" menu (the operating help, the about page) in a window of its own
// beside the main window: headings, paragraphs and two-column tables, read-only, closed with
// its button or Escape.

#include "MainUnit/HelpPage.h"

#include <QDialog>

class QTextBrowser;

namespace schauplatz {

class HelpWindow : public QDialog {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);

    void showPage(const HelpPage& page);
    // The page as the window shows it (HTML), for tests.
    QString html() const;

    // The page laid out as HTML: every text escaped, tables of two columns.
    static QString pageHtml(const HelpPage& page);

private:
    QTextBrowser* m_text;
};

} // namespace schauplatz
