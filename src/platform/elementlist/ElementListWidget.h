#pragma once

// The element list on Qt (ElementListBox1): shows a TElementListBox as one
// column of entry boxes with their thumbnails and file names, scrolls smoothly,
// selects (focuses) the entry on a click and reports double clicks, and Return or
// Enter on the selected entry as one. The list keeps all state; this widget
// reports the viewport and the scroll position to it and paints it.

#include "elements/ElementListBox.h"

#include <QAbstractScrollArea>
#include <QRect>
#include <QString>

#include <functional>

class QPainter;
class QVariantAnimation;

namespace schauplatz {

class ElementListWidget : public QAbstractScrollArea, private ElementListWindow {
    Q_OBJECT
public:
    // Length of the smooth-scroll animation of a wheel step.
    static constexpr int kScrollAnimationMs = 160;

    explicit ElementListWidget(TElementListBox& list, QWidget* parent = nullptr);
    ~ElementListWidget() override;

    // Height of the file name strip at the bottom of each entry's picture area.
    static constexpr int kCaptionHeight = 14;

    // A double click, or Return or Enter, reports the selected entry's index.
    std::function<void(int index)> OnItemDblClick;

    // Where an entry's thumbnail is painted, in viewport pixels: the picture area above
    // the name strip, the thumbnail centred in it at its own size, or reduced to fit.
    QRect thumbnailRect(std::size_t index) const;
    // The entry's file name as painted under its thumbnail: elided to the entry's width.
    QString caption(std::size_t index) const;

    // Scrolls to a content position, animated like a wheel step or at once.
    void scrollTo(int position, bool animated);
    bool scrollAnimationRunning() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    // ElementListWindow
    void RequestRepaint() override;
    void ProcessEvents() override;
    void ContentChanged() override;
    void ListDestroyed() override;

    void updateScrollRange();
    void paintEntry(QPainter& painter, std::size_t index);
    void setHotIndex(int index);
    void selectEntry(int index); // selects and scrolls it into view

    TElementListBox* m_list;
    QVariantAnimation* m_animation;
    int m_scrollTarget = 0;
};

} // namespace schauplatz
