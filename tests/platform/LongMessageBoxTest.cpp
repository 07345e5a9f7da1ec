// Messages that would not fit the screen: 30,000 lines (an archive of that many encrypted
// entries) and one line of 10 MB (a damaged record line) show their first lines and a
// scrollable detail area, and neither the message nor the error dialog grows beyond the
// screen. Short messages stay as they are.

#include "platform/LongMessageBox.h"
#include "QtTestApp.h"
#include "platform/ErrorDialog.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextBlock>
#include <QTextDocument>

#include <gtest/gtest.h>

namespace schauplatz {
namespace {

using testing::testApp;

QSize screenSize() {
    return QApplication::primaryScreen()->availableGeometry().size();
}

void expectWithinScreen(QWidget& dialog) {
    dialog.show();
    QApplication::processEvents();
    EXPECT_LE(dialog.frameGeometry().width(), screenSize().width());
    EXPECT_LE(dialog.frameGeometry().height(), screenSize().height());
    dialog.hide();
}

TEST(LongMessageBox, AShortMessageShowsAsItIs) {
    testApp();
    LongMessageBox box("Projektarchiv", "Projektdatei nicht gefunden: \"/tmp/a.vbk\"");
    EXPECT_EQ(box.summary()->text(), "Projektdatei nicht gefunden: \"/tmp/a.vbk\"");
    EXPECT_EQ(box.details(), nullptr);
    EXPECT_EQ(box.windowTitle(), "Projektarchiv");
    expectWithinScreen(box);
}

TEST(LongMessageBox, ThirtyThousandLinesShowTheirFirstLinesAndScroll) {
    testApp();
    QStringList lines;
    for (int i = 0; i < 30000; ++i)
        lines << QString("Eintrag \"bild%1.png\" ist verschlüsselt und wird übersprungen").arg(i);
    LongMessageBox box("Projektarchiv", lines.join('\n'));
    const QStringList summary = box.summary()->text().split('\n');
    ASSERT_EQ(summary.size(), LongMessageBox::kSummaryLines + 1);
    EXPECT_EQ(summary.front(), lines.front());
    EXPECT_EQ(summary.back(), "… insgesamt 30000 Zeilen, vollständig im Feld darunter.");
    ASSERT_NE(box.details(), nullptr);
    EXPECT_EQ(box.details()->blockCount(), 30000);
    EXPECT_EQ(box.details()->document()->lastBlock().text(), lines.back());
    expectWithinScreen(box);
    EXPECT_TRUE(box.okButton()->isVisibleTo(&box));
}

TEST(LongMessageBox, ALineOfTenMegabytesIsCutAndFitsTheScreen) {
    testApp();
    const QString line = "Zeile 2 der Datei data.dat: " + QString(10'000'000, 'x');
    LongMessageBox box("Fehler", line);
    EXPECT_LE(box.summary()->text().size(), LongMessageBox::kMaxSummaryLineChars + 100);
    ASSERT_NE(box.details(), nullptr);
    EXPECT_TRUE(box.details()->toPlainText().endsWith("… (10000028 Zeichen)"));
    expectWithinScreen(box);
}

TEST(LongMessageBox, WarnHandsTheDialogToThePresenter) {
    testApp();
    QString seen;
    LongMessageBox::setPresenter([&](LongMessageBox& box) { seen = box.summary()->text(); });
    LongMessageBox::warn(nullptr, "Titel", "Text");
    LongMessageBox::setPresenter({});
    EXPECT_EQ(seen, "Text");
}

TEST(ErrorDialog, AHugeMessageKeepsTheDialogWithinTheScreen) {
    testApp();
    CrashReport report;
    report.message = "Zeile 2: " + std::string(10'000'000, 'y');
    report.exceptionType = "schauplatz::ERecordLineError";
    ErrorDialog dialog(report);
    EXPECT_EQ(dialog.reportText(), QString::fromStdString(report.text()))
        << "what is copied and saved stays whole";
    EXPECT_LT(dialog.findChild<QLabel*>("ErrorMessage")->text().size(), 1000);
    expectWithinScreen(dialog);
    EXPECT_TRUE(dialog.continueButton()->isVisibleTo(&dialog));
}

} // namespace
} // namespace schauplatz
