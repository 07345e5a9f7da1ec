#include "platform/elementlist/ElementListWidget.h"

#include <QCoreApplication>
#include <QEasingCurve>
#include <QHelpEvent>
#include <QImage>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>
#include <QVariantAnimation>
#include <QWheelEvent>

#include <algorithm>

namespace schauplatz {

namespace {

// Two-part vertical gradients: the upper half runs from top to middleTop, the
// lower half from middleBottom to bottom, the classic glassy entry look.
struct EntryLook {
    QColor top, middleTop, middleBottom, bottom, border;
};
const EntryLook kNormalLook{QColor(0xFB, 0xFB, 0xFB), QColor(0xEF, 0xEF, 0xEF),
                            QColor(0xE3, 0xE3, 0xE3), QColor(0xF3, 0xF3, 0xF3),
                            QColor(0xC8, 0xC8, 0xC8)};
const EntryLook kHotLook{QColor(0xF2, 0xF8, 0xFE), QColor(0xDD, 0xEE, 0xFC),
                         QColor(0xC9, 0xE4, 0xFA), QColor(0xE3, 0xF1, 0xFD),
                         QColor(0x9C, 0xC8, 0xEE)};
const EntryLook kSelectedLook{QColor(0xD9, 0xEC, 0xFB), QColor(0xBD, 0xDD, 0xF8),
                              QColor(0x9F, 0xCC, 0xF3), QColor(0xC6, 0xE2, 0xF9),
                              QColor(0x5E, 0x9C, 0xD6)};
const QColor kListBackground(0xFF, 0xFF, 0xFF);

// One wheel notch (120 units) scrolls half an entry.
constexpr int kWheelStep = (kElementItemHeight + kElementItemSpacing) / 2;

// An entry box's picture area (less its margin) above the name strip, and the strip.
QRect pictureArea(const QRect& box) {
    return box.adjusted(kElementPictureMargin, kElementPictureMargin, -kElementPictureMargin,
                        -kElementPictureMargin - ElementListWidget::kCaptionHeight);
}
// Thumbnails are made to fit the whole picture area; the name strip takes its foot, so a
// tall one is reduced, keeping its proportions. Centred in the area.
QRect fittedRect(const QRect& area, QSize size) {
    if (size.width() > area.width() || size.height() > area.height())
        size.scale(area.size(), Qt::KeepAspectRatio);
    return {area.left() + (area.width() - size.width()) / 2,
            area.top() + (area.height() - size.height()) / 2, size.width(), size.height()};
}
QRect captionArea(const QRect& box) {
    const QRect area = box.adjusted(kElementPictureMargin, kElementPictureMargin,
                                    -kElementPictureMargin, -kElementPictureMargin);
    return {area.left(), area.bottom() + 1 - ElementListWidget::kCaptionHeight, area.width(),
            ElementListWidget::kCaptionHeight};
}

} // namespace

ElementListWidget::ElementListWidget(TElementListBox& list, QWidget* parent)
    : QAbstractScrollArea(parent), m_list(&list), m_animation(new QVariantAnimation(this)) {
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setMouseTracking(true);
    viewport()->setAutoFillBackground(false);
    verticalScrollBar()->setSingleStep(kWheelStep);

    m_animation->setDuration(kScrollAnimationMs);
    m_animation->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_animation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { verticalScrollBar()->setValue(value.toInt()); });
    connect(m_animation, &QVariantAnimation::finished, this, [this] {
        if (!m_list) return;
        m_list->SetScrollAnimating(false);
        m_list->RequestRestart(); // start over where the list came to rest
    });

    m_list->AttachWindow(*this);
    updateScrollRange();
}

ElementListWidget::~ElementListWidget() {
    m_animation->stop();
    if (m_list) m_list->DetachWindow();
}

bool ElementListWidget::scrollAnimationRunning() const {
    return m_animation->state() == QAbstractAnimation::Running;
}

void ElementListWidget::scrollTo(int position, bool animated) {
    if (!m_list) return;
    position = std::clamp(position, 0, m_list->MaxScrollPosition());
    m_scrollTarget = position;
    if (!animated) {
        m_animation->stop();
        m_list->SetScrollAnimating(false);
        verticalScrollBar()->setValue(position);
        return;
    }
    m_animation->stop();
    m_list->SetScrollAnimating(true);
    m_animation->setStartValue(verticalScrollBar()->value());
    m_animation->setEndValue(position);
    m_animation->start();
}

// --- ElementListWindow -----------------------------------------------------------

void ElementListWidget::RequestRepaint() {
    // Worker thread: the repaint itself happens on the user-interface thread.
    QMetaObject::invokeMethod(
        this, [this] { viewport()->update(); }, Qt::QueuedConnection);
}

void ElementListWidget::ProcessEvents() {
    QCoreApplication::processEvents();
}

void ElementListWidget::ContentChanged() {
    m_animation->stop();
    if (m_list) m_list->SetScrollAnimating(false);
    updateScrollRange();
    viewport()->update();
}

void ElementListWidget::ListDestroyed() {
    m_animation->stop();
    m_list = nullptr;
}

// --- Geometry and scrolling ---------------------------------------------------------

void ElementListWidget::updateScrollRange() {
    if (!m_list) return;
    QScrollBar* bar = verticalScrollBar();
    const QSignalBlocker quiet(bar);
    bar->setRange(0, m_list->MaxScrollPosition());
    bar->setPageStep(std::max(1, viewport()->height()));
    bar->setValue(m_list->ScrollPosition());
    m_scrollTarget = m_list->ScrollPosition();
}

void ElementListWidget::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    if (!m_list) return;
    m_list->SetViewportSize(viewport()->width(), viewport()->height());
    updateScrollRange();
}

void ElementListWidget::scrollContentsBy(int, int) {
    if (!m_list) return;
    m_list->SetScrollPosition(verticalScrollBar()->value());
    viewport()->update();
}

void ElementListWidget::wheelEvent(QWheelEvent* event) {
    if (!m_list) return;
    const int notches = event->angleDelta().y();
    if (notches == 0) return;
    const int base = scrollAnimationRunning() ? m_scrollTarget : verticalScrollBar()->value();
    scrollTo(base - notches * kWheelStep / 120, true);
    event->accept();
}

// --- Mouse ----------------------------------------------------------------------------

void ElementListWidget::setHotIndex(int index) {
    if (!m_list || m_list->HotIndex == index) return;
    m_list->HotIndex = index;
    viewport()->update();
}

// A single click selects the entry and gives the list the keyboard focus; only a double
// click (or Return) makes it the element.
void ElementListWidget::mousePressEvent(QMouseEvent* event) {
    if (!m_list || event->button() != Qt::LeftButton) return;
    setFocus(Qt::MouseFocusReason);
    const QPoint at = event->position().toPoint();
    const int index = m_list->IndexAt(at.x(), at.y());
    if (index >= 0 && index != m_list->ItemIndex) {
        m_list->ItemIndex = index;
        viewport()->update();
    }
}

void ElementListWidget::selectEntry(int index) {
    if (!m_list || m_list->Count() == 0) return;
    index = std::clamp(index, 0, static_cast<int>(m_list->Count()) - 1);
    m_list->ItemIndex = index;
    const ElementItemRect box = m_list->ItemRect(static_cast<std::size_t>(index));
    const int position = verticalScrollBar()->value();
    if (box.Top < kElementItemSpacing)
        scrollTo(position + box.Top - kElementItemSpacing, false);
    else if (box.Bottom > viewport()->height())
        scrollTo(position + box.Bottom - viewport()->height() + kElementItemSpacing, false);
    viewport()->update();
}

void ElementListWidget::keyPressEvent(QKeyEvent* event) {
    if (!m_list) return;
    const int current = m_list->ItemIndex;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (current >= 0 && static_cast<std::size_t>(current) < m_list->Count() && OnItemDblClick)
            OnItemDblClick(current);
        break;
    case Qt::Key_Up:
        selectEntry(current < 0 ? 0 : current - 1);
        break;
    case Qt::Key_Down:
        selectEntry(current + 1);
        break;
    case Qt::Key_Home:
        selectEntry(0);
        break;
    case Qt::Key_End:
        selectEntry(static_cast<int>(m_list->Count()) - 1);
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

void ElementListWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    if (!m_list || event->button() != Qt::LeftButton) return;
    const QPoint at = event->position().toPoint();
    const int index = m_list->IndexAt(at.x(), at.y());
    if (index < 0) return;
    m_list->ItemIndex = index;
    viewport()->update();
    if (OnItemDblClick) OnItemDblClick(m_list->ItemIndex);
}

void ElementListWidget::mouseMoveEvent(QMouseEvent* event) {
    if (!m_list) return;
    const QPoint at = event->position().toPoint();
    setHotIndex(m_list->IndexAt(at.x(), at.y()));
}

bool ElementListWidget::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Leave) setHotIndex(-1);
    if (event->type() == QEvent::ToolTip && m_list) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int index = m_list->IndexAt(help->pos().x(), help->pos().y());
        if (index < 0) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(
                help->globalPos(),
                QString::fromStdString(m_list->Item(static_cast<std::size_t>(index)).FileName),
                viewport());
        }
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

// --- Painting ---------------------------------------------------------------------------

void ElementListWidget::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), kListBackground);
    if (!m_list) return;
    for (std::size_t index = m_list->FirstVisibleIndex();
         index < m_list->Count() && m_list->IsVisible(index); ++index)
        paintEntry(painter, index);
}

void ElementListWidget::paintEntry(QPainter& painter, std::size_t index) {
    const ElementItemRect box = m_list->ItemRect(index);
    const QRect rect(box.Left, box.Top, box.Right - box.Left, box.Bottom - box.Top);
    const int signedIndex = static_cast<int>(index);
    const EntryLook& look = signedIndex == m_list->ItemIndex  ? kSelectedLook
                            : signedIndex == m_list->HotIndex ? kHotLook
                                                              : kNormalLook;
    QLinearGradient gradient(rect.topLeft(), rect.bottomLeft());
    gradient.setColorAt(0.0, look.top);
    gradient.setColorAt(0.5, look.middleTop);
    gradient.setColorAt(0.5001, look.middleBottom);
    gradient.setColorAt(1.0, look.bottom);
    painter.fillRect(rect, gradient);
    painter.setPen(look.border);
    painter.drawRect(rect.adjusted(0, 0, -1, -1));

    // The worker leaves this entry alone while it is painted; the lock keeps
    // the thumbnail from changing under the copy.
    const TElementListBox::PaintingEntry painting(*m_list, index);
    m_list->WithThumbnail(index, [&](const TElementListBoxItem& item) {
        const ThumbnailPicture& thumbnail = item.Thumbnail;
        if (thumbnail.Empty()) return;
        const QRect target =
            fittedRect(pictureArea(rect), QSize(thumbnail.Width, thumbnail.Height));
        const QImage image(reinterpret_cast<const uchar*>(thumbnail.Pixels.data()), thumbnail.Width,
                           thumbnail.Height, thumbnail.Width * 4, QImage::Format_ARGB32);
        if (target.size() == image.size())
            painter.drawImage(target.topLeft(), image);
        else
            painter.drawImage(target.topLeft(), image.scaled(target.size(), Qt::IgnoreAspectRatio,
                                                             Qt::SmoothTransformation));
    });

    painter.setPen(palette().color(QPalette::Active, QPalette::Text));
    painter.drawText(captionArea(rect), Qt::AlignHCenter | Qt::AlignVCenter, caption(index));
    if (signedIndex == m_list->ItemIndex && hasFocus()) {
        QPen focus(look.border);
        focus.setStyle(Qt::DotLine);
        painter.setPen(focus);
        painter.drawRect(rect.adjusted(2, 2, -3, -3));
    }
}

QRect ElementListWidget::thumbnailRect(std::size_t index) const {
    if (!m_list || index >= m_list->Count()) return {};
    const ElementItemRect box = m_list->ItemRect(index);
    QSize size;
    m_list->WithThumbnail(index, [&](const TElementListBoxItem& item) {
        if (!item.Thumbnail.Empty()) size = QSize(item.Thumbnail.Width, item.Thumbnail.Height);
    });
    if (size.isEmpty()) return {};
    return fittedRect(
        pictureArea(QRect(box.Left, box.Top, box.Right - box.Left, box.Bottom - box.Top)), size);
}

QString ElementListWidget::caption(std::size_t index) const {
    if (!m_list || index >= m_list->Count()) return {};
    const QString name = QString::fromStdString(m_list->Item(index).FileName);
    return fontMetrics().elidedText(name, Qt::ElideMiddle, kElementPictureArea.Width);
}

} // namespace schauplatz
