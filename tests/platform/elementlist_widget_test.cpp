// The element list widget in the real window and on its own: thumbnails of
// the shipped samples, clicks, tooltips, and a long animated jump through 200
// camera-sized pictures. (The event loop's pauses while scrolling them are
// measured in bench/elementlist_scroll_bench.cpp.)

#include "QtTestApp.h"
#include "platform/MainWindow.h"
#include "platform/elementlist/ElementListWidget.h"
#include "testsupport/ScriptedDialogs.h"

#include <QHelpEvent>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace schauplatz {
namespace {

namespace fs = std::filesystem;
using testing::ScriptedDialogs;
using testing::TempFolder;
using testing::testApp;
using testing::waitUntil;

QPoint entryCentre(const TElementListBox& list, std::size_t index) {
    const ElementItemRect r = list.ItemRect(index);
    return {(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2};
}

bool visibleThumbnailsMade(const TElementListBox& list) {
    if (list.Count() == 0) return false;
    for (std::size_t i = list.FirstVisibleIndex(); i < list.Count() && list.IsVisible(i); ++i)
        if (list.ThumbnailStateOf(i) != TThumbnailState::Made) return false;
    return true;
}

// The window over a copy of the shipped sample folder.
class ElementListWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        testApp();
        const fs::path samples = fs::path(SCHAUPLATZ_PROGRAM_DIR) / "Muster";
        if (!fs::exists(samples / "Haustüren")) GTEST_SKIP() << "no sample pictures built";
        fs::copy(samples, fs::path(m_programFolder.path()) / "Muster", fs::copy_options::recursive);
        m_window = std::make_unique<MainWindow>(m_programFolder.path());
        m_window->resize(1113, 848);
        m_window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
        m_widget =
            qobject_cast<ElementListWidget*>(m_window->component(FormComponent::ElementListBox1));
        ASSERT_NE(m_widget, nullptr);
    }
    void TearDown() override { m_window.reset(); }
    TElementListBox& list() { return m_window->form().ElementListBox1; }

    TempFolder m_programFolder;
    std::unique_ptr<MainWindow> m_window;
    ElementListWidget* m_widget = nullptr;
};

TEST_F(ElementListWindowTest, SampleDoorsShowAsThumbnailsAndTheFirstIsTheElement) {
    TForm_Schauplatz& form = m_window->form();
    ASSERT_GT(list().Count(), 0u);
    EXPECT_EQ(form.ElementFile, form.PatternFolder + list().Item(0).FileName);
    EXPECT_FALSE(form.ImageSelectedDoor.Bitmap().IsEmpty());
    ASSERT_TRUE(waitUntil([&] { return visibleThumbnailsMade(list()); }, 60000));

    // The thumbnail is painted in the middle of the entry's picture area above the name
    // strip: at its own size, or reduced to fit, keeping its proportions.
    testing::spinEventLoop(50);
    const QImage shown =
        m_widget->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const ThumbnailPicture thumbnail = list().ThumbnailOf(0);
    ASSERT_FALSE(thumbnail.Empty());
    const ElementItemRect box = list().ItemRect(0);
    const QRect area(box.Left + 3, box.Top + 3, 114, 194 - ElementListWidget::kCaptionHeight);
    const QRect target = m_widget->thumbnailRect(0);
    EXPECT_TRUE(area.contains(target))
        << target.x() << "," << target.y() << " " << target.width() << "x" << target.height();
    EXPECT_TRUE(target.width() == area.width() || target.height() == area.height() ||
                target.size() == QSize(thumbnail.Width, thumbnail.Height));
    EXPECT_LE(std::abs(target.center().x() - area.center().x()), 1);
    EXPECT_LE(std::abs(target.center().y() - area.center().y()), 1);
    // Proportions kept to the pixel.
    EXPECT_LE(std::abs(target.width() * thumbnail.Height - target.height() * thumbnail.Width),
              std::max(thumbnail.Width, thumbnail.Height));
    const QImage source(reinterpret_cast<const uchar*>(thumbnail.Pixels.data()), thumbnail.Width,
                        thumbnail.Height, thumbnail.Width * 4, QImage::Format_ARGB32);
    const QImage expected =
        target.size() == source.size()
            ? source
            : source.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    int compared = 0;
    for (int y = 0; y < expected.height(); y += 7)
        for (int x = 0; x < expected.width(); x += 5) {
            const QRgb pixel = expected.pixel(x, y);
            if (qAlpha(pixel) != 255) continue; // blended over the gradient
            ++compared;
            ASSERT_EQ(shown.pixel(target.left() + x, target.top() + y) & 0xFFFFFFu,
                      pixel & 0xFFFFFFu)
                << "thumbnail pixel " << x << ", " << y;
        }
    EXPECT_GT(compared, 0);

    // The name strip under it holds the file name in dark letters.
    int dark = 0;
    for (int y = area.bottom() + 1; y < area.bottom() + 1 + ElementListWidget::kCaptionHeight; ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(shown.pixel(x, y)) < 100) ++dark;
    EXPECT_GT(dark, 20);
    const QString name = QString::fromStdString(list().Item(0).FileName);
    if (m_widget->fontMetrics().horizontalAdvance(name) <= 114)
        EXPECT_EQ(m_widget->caption(0), name);
    else
        EXPECT_TRUE(m_widget->caption(0).contains(QChar(0x2026)));
}

TEST_F(ElementListWindowTest, ClickSelectsDoubleClickLoadsTooltipNamesTheFile) {
    ASSERT_GE(list().Count(), 2u);
    QWidget* viewport = m_widget->viewport();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, entryCentre(list(), 1));
    EXPECT_EQ(list().ItemIndex, 1);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, entryCentre(list(), 1));
    TForm_Schauplatz& form = m_window->form();
    EXPECT_EQ(form.ElementFile, form.PatternFolder + list().Item(1).FileName);

    // Between the entries nothing is selected.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(list().ItemIndex, 1);

    QHelpEvent help(QEvent::ToolTip, entryCentre(list(), 0),
                    viewport->mapToGlobal(entryCentre(list(), 0)));
    QCoreApplication::sendEvent(viewport, &help);
    EXPECT_EQ(QToolTip::text().toStdString(), list().Item(0).FileName);
    QToolTip::hideText();
}

TEST_F(ElementListWindowTest, ASingleClickOnlySelectsAndReturnOrEnterLoads) {
    ASSERT_GE(list().Count(), 3u);
    TForm_Schauplatz& form = m_window->form();
    const std::string first = form.ElementFile;
    QWidget* viewport = m_widget->viewport();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, entryCentre(list(), 1));
    EXPECT_EQ(list().ItemIndex, 1);
    EXPECT_EQ(form.ElementFile, first) << "a single click made the entry the element";
    EXPECT_TRUE(m_widget->hasFocus());

    QTest::keyClick(m_widget, Qt::Key_Return);
    EXPECT_EQ(form.ElementFile, form.PatternFolder + list().Item(1).FileName);
    // The arrow keys move the selection; Enter on the keypad loads as Return does.
    QTest::keyClick(m_widget, Qt::Key_Down);
    EXPECT_EQ(list().ItemIndex, 2);
    EXPECT_EQ(form.ElementFile, form.PatternFolder + list().Item(1).FileName);
    QTest::keyClick(m_widget, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(form.ElementFile, form.PatternFolder + list().Item(2).FileName);
    QTest::keyClick(m_widget, Qt::Key_Home);
    EXPECT_EQ(list().ItemIndex, 0);
    QTest::keyClick(m_widget, Qt::Key_Up);
    EXPECT_EQ(list().ItemIndex, 0);
    QTest::keyClick(m_widget, Qt::Key_End);
    EXPECT_EQ(list().ItemIndex, static_cast<int>(list().Count()) - 1);
    // The selected entry was scrolled into view.
    EXPECT_TRUE(list().IsVisible(list().Count() - 1));
}

TEST_F(ElementListWindowTest, LongNamesAreElidedToTheEntrysWidth) {
    TempFolder other;
    const std::string longName =
        "Haustür Modell Sonderanfertigung mit Seitenteil links und Oberlicht.png";
    QImage picture(30, 60, QImage::Format_RGB32);
    picture.fill(QColor(10, 20, 200));
    ASSERT_TRUE(picture.save(QString::fromStdString(other.path() + longName)));
    ASSERT_TRUE(picture.save(QString::fromStdString(other.path() + "kurz.png")));
    m_window->setDialogAnswer(
        ScriptedDialogs().forTitle("Verzeichnis auswählen", other.path()).answerer());
    m_window->action("Muster1")->trigger();
    ASSERT_EQ(list().Count(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        const QString caption = m_widget->caption(i);
        EXPECT_LE(m_widget->fontMetrics().horizontalAdvance(caption), 114);
        if (list().Item(i).FileName == longName) {
            EXPECT_TRUE(caption.contains(QChar(0x2026))) << caption.toStdString();
            EXPECT_TRUE(caption.endsWith(".png")) << caption.toStdString();
        } else {
            EXPECT_EQ(caption, "kurz.png");
        }
    }
}

TEST_F(ElementListWindowTest, MenuChoosesAnotherFolder) {
    TempFolder other;
    QImage picture(30, 60, QImage::Format_RGB32);
    picture.fill(QColor(10, 200, 30));
    ASSERT_TRUE(picture.save(QString::fromStdString(other.path() + "Tür grün.png")));
    m_window->setDialogAnswer(
        ScriptedDialogs().forTitle("Verzeichnis auswählen", other.path()).answerer());
    m_window->action("Muster1")->trigger();
    EXPECT_EQ(m_window->form().PatternFolder, other.path());
    ASSERT_EQ(list().Count(), 1u);
    EXPECT_EQ(m_window->form().ElementFile, other.path() + "Tür grün.png");
    EXPECT_EQ(m_widget->verticalScrollBar()->maximum(), list().MaxScrollPosition());
}

// --- 200 camera pictures ------------------------------------------------------------------

TEST(ElementListScroll, AJumpThroughTwoHundredPhotosMakesOnlyTheEntriesWhereItStops) {
    testApp();
    TempFolder folder;
    // One 4000 x 3000 photo-like JPEG, linked under 200 names.
    QImage photo(4000, 3000, QImage::Format_RGB32);
    for (int y = 0; y < photo.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(photo.scanLine(y));
        for (int x = 0; x < photo.width(); ++x)
            row[x] = qRgb((x * 7 + y) & 0xFF, (y * 3 + (x >> 3)) & 0xFF, ((x ^ y) * 5) & 0xFF);
    }
    const std::string original = folder.path() + "original.JPG";
    ASSERT_TRUE(photo.save(QString::fromStdString(original), "JPG", 85));
    for (int i = 0; i < 200; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "foto %03d.jpg", i);
        std::error_code error;
        fs::create_hard_link(original, folder.path() + name, error);
        if (error) fs::copy_file(original, folder.path() + name);
    }
    fs::remove(original);

    TElementListBox list;
    list.AddImagesFromFolder(folder.path() + "*.jpg");
    ASSERT_EQ(list.Count(), 200u);
    ElementListWidget widget(list);
    widget.resize(193, 760);
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    ASSERT_TRUE(waitUntil([&] { return visibleThumbnailsMade(list); }, 60000));

    // One long jump to the end: entries passed on the way were never at rest
    // in view and get no thumbnail; the ones where the list stops do. (What the
    // worker made before the jump counts as it was: between the widget's creation
    // and its first size, a busy machine may let it start on a wider first layout.)
    ASSERT_TRUE(waitUntil([&] { return list.WorkerResting(); }, 60000));
    const std::size_t before = list.FirstVisibleIndex();
    std::vector<TThumbnailState> statesBefore;
    for (std::size_t i = 0; i < list.Count(); ++i)
        statesBefore.push_back(list.ThumbnailStateOf(i));
    widget.scrollTo(list.MaxScrollPosition(), true);
    EXPECT_TRUE(widget.scrollAnimationRunning());
    ASSERT_TRUE(waitUntil([&] { return !widget.scrollAnimationRunning(); }));
    const std::size_t after = list.FirstVisibleIndex();
    ASSERT_GT(after, before + 20);
    ASSERT_TRUE(waitUntil([&] { return visibleThumbnailsMade(list); }, 60000));
    for (std::size_t i = before; i < after; ++i)
        EXPECT_EQ(list.ThumbnailStateOf(i), statesBefore[i]) << "entry " << i;
    EXPECT_EQ(std::count(statesBefore.begin() + static_cast<std::ptrdiff_t>(after),
                         statesBefore.end(), TThumbnailState::Made),
              0)
        << "the end of the list was made before the jump";
    const ThumbnailPicture last = list.ThumbnailOf(199);
    EXPECT_EQ(last.Width, 114);
    EXPECT_EQ(last.Height, 86);
}

} // namespace
} // namespace schauplatz
