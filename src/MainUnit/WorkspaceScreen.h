#pragma once

// The workspace as the window shows it: the visible area of the workspace view at a view scale,
// scrolled, with the loupe.
//
// The workspace view (TWorkspaceImage32) composes in picture pixels: background, the workspace
// bitmap with the element, and, at 1/1, the marching frame, its handles and the border exactly
// as it always has. This screen maps that composition onto the visible area:
//
//   at 1/1    the view is as large as the picture or the visible area, whichever is larger,
//             and the screen shows the scrolled window of its buffer unchanged;
//   otherwise the view composes the picture alone (picture-sized), the screen reduces or
//             enlarges the changed parts of it into a buffer of its own (ScaledPresentation)
//             and draws the overlay stages over it in screen pixels, one screen pixel wide.
//
// Mouse events arrive in screen pixels and reach the view as the picture pixel under them; the
// position in screen pixels stays readable while they are handled, so that the grab zone of
// the corners is measured on screen. The middle button, or the left one with Space held,
// drags the view instead. Everything here is in device pixels.
//
// The screen starts detached: until it is given a size it leaves the view alone, so the view
// can be driven and painted on its own as before.

#include "MainUnit/FormWorkspaceView.h"
#include "raster/view/ViewScale.h"

#include <functional>
#include <optional>
#include <vector>

namespace schauplatz {

class TWorkspaceScreen {
public:
    static constexpr int kLoupeSize = 160;     // square, screen pixels
    static constexpr int kAutoScrollZone = 24; // from the visible area's edge inwards
    static constexpr int kAutoScrollMaxStep = 64;

    explicit TWorkspaceScreen(TWorkspaceImage32& Composition);
    ~TWorkspaceScreen();
    TWorkspaceScreen(const TWorkspaceScreen&) = delete;
    TWorkspaceScreen& operator=(const TWorkspaceScreen&) = delete;

    // --- what the host tells the screen -------------------------------------------------------
    // The visible area. The first size attaches the screen to the view.
    void Resize(int Width, int Height);
    // The area a picture must fit for "Ganzes Bild" (the visible area without scroll bars);
    // the visible area when never set.
    void SetFitArea(int Width, int Height);
    // The workspace bitmap's size (the picture in picture pixels).
    void SetPictureSize(int Width, int Height);
    bool Attached() const { return m_attached; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }

    // --- scale and scrolling --------------------------------------------------------------------
    TViewScale Scale() const { return m_scale; }
    // "Ganzes Bild": the largest scale up to 1/1 at which the picture fits, kept while the
    // visible area changes until another scale is chosen.
    void Fit();
    bool FitMode() const { return m_fitMode; }
    // Another scale; the picture point under (AnchorX, AnchorY) stays where it is (as far as
    // the scroll limits allow).
    void SetScale(const TViewScale& Scale, int AnchorX, int AnchorY);
    void SetScale(const TViewScale& Scale) { SetScale(Scale, m_width / 2, m_height / 2); }
    // Steps through the scale steps (positive: larger) around the anchor. Steps at the same
    // anchor one after the other keep the picture point that was under it at the first, also
    // where the scroll limits held it back in between.
    void ZoomSteps(int Steps, int AnchorX, int AnchorY);
    // The scroll position: the screen position of the picture's top left corner, negated.
    TPoint ScrollPosition() const { return TPoint{clampInt(-m_originX), clampInt(-m_originY)}; }
    TPoint MaxScroll() const;
    // Scrolls to (X, Y), clamped to 0 .. MaxScroll.
    void ScrollTo(std::int64_t X, std::int64_t Y);
    // The scaled picture's extent in screen pixels.
    TPoint ContentSize() const;
    TOverlayMapping Mapping() const { return TOverlayMapping{m_scale, m_originX, m_originY}; }
    TPoint ToPicture(int X, int Y) const;
    TPoint ToScreen(const TPoint& Picture) const; // the pixel with the picture pixel's centre

    // --- painting ---------------------------------------------------------------------------
    // Brings what is shown up to date (the view is painted first).
    void Paint();
    // What is shown: screen pixel (x, y) is pixel (x + OffsetX, y + OffsetY) of Image.
    struct Shown {
        const TBitmap32* Image = nullptr;
        int OffsetX = 0;
        int OffsetY = 0;
    };
    Shown ShownImage() const;
    // The loupe, when one is shown: its picture and its place in screen pixels.
    const TBitmap32* LoupeImage() const { return m_loupeRect ? &m_loupe : nullptr; }
    std::optional<TRect> LoupeRect() const { return m_loupeRect; }
    // The screen as painted, loupe included, into Dest (Width x Height).
    void Snapshot(TBitmap32& Dest) const;
    // The picture pixel the loupe is centred on, asked at every paint; none: no loupe.
    std::function<std::optional<TPoint>()> LoupeTarget;
    // The loupe may have come, gone or moved to another corner.
    void LoupeChanged();

    // --- the host ---------------------------------------------------------------------------
    std::function<void(const TRect&)> InvalidateRect; // repaint this part of the screen
    std::function<void()> InvalidateAll;
    // Scale, scroll position, content size or visible area changed (scroll bars, status).
    std::function<void()> GeometryChanged;

    // --- the mouse, in screen pixels ----------------------------------------------------------
    void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
    void MouseMove(TShiftState Shift, int X, int Y);
    void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
    // The second press of a double click (a press like the first, reported as a double click:
    // a double click on a placed element takes it up).
    void DblClick(TMouseButton Button, TShiftState Shift, int X, int Y);
    void MouseLeave();
    // While Space is held the left button drags the view.
    void SetSpaceHeld(bool Held) { m_spaceHeld = Held; }
    bool Panning() const { return m_panning; }
    // The screen position of the event being handled (none outside mouse events).
    std::optional<TPoint> EventPosition() const { return m_eventPosition; }
    // The pointer's last position over the screen (none after it left).
    std::optional<TPoint> Pointer() const { return m_pointer; }

    // --- scrolling while dragging at the edge ---------------------------------------------------
    // Whether the element is being dragged (asked by the auto-scroll).
    std::function<bool()> Dragging;
    // Whether the pointer is in or beyond the edge zone of a drag with room to scroll.
    bool WantsAutoScroll() const;
    // One step of the scroll: faster the farther out; the drag then goes on at the pointer's
    // new picture position. True when it scrolled.
    bool AutoScrollStep();

private:
    void attach();
    void applyMode();
    // The picture position (Px, Py), in picture pixels, to (AnchorX, AnchorY) at Scale.
    void zoomAbout(const TViewScale& Scale, int AnchorX, int AnchorY, long double Px,
                   long double Py);
    void clampOrigin();
    void setOrigin(std::int64_t X, std::int64_t Y);
    void refit();
    void changedEverything();
    void onCompositionInvalidated();
    void onCompositionArea(const TRect& Area);
    void onOverlayChanged(bool DashesOnly);
    void invalidateScreen(const TRect& R);
    void invalidateAreas(const TOverlayAreas& Areas, bool LinesOnly);
    void paintScaled();
    void restore(const TRect& R);
    void updateLoupe();
    void renderLoupe(const TPoint& Corner);
    void forwardMove(TShiftState Shift, int X, int Y);
    // Hands the view an event at device pixel (X, Y), at its picture pixel, with the device
    // position known for the event's length.
    void forwardAt(int X, int Y, const std::function<void(const TPoint& picture)>& call);
    TColor32 outsideColour() const;
    static std::int32_t clampInt(std::int64_t V);

    TWorkspaceImage32& m_view;
    bool m_attached = false;
    int m_width = 0;
    int m_height = 0;
    int m_fitWidth = -1;
    int m_fitHeight = -1;
    int m_pictureWidth = 0;
    int m_pictureHeight = 0;
    TViewScale m_scale;
    bool m_fitMode = true;
    std::int64_t m_originX = 0;
    std::int64_t m_originY = 0;
    struct ZoomAnchor {
        int x = 0, y = 0;
        long double px = 0, py = 0;
    };
    std::optional<ZoomAnchor> m_zoomAnchor;

    // Scaled presentation: the picture as presented, and the same with the overlay.
    TBitmap32 m_presented;
    TBitmap32 m_buffer;
    bool m_dirtyAll = true;
    std::vector<TRect> m_dirty;
    enum class OverlayChange { None, Dashes, Geometry };
    OverlayChange m_overlayChange = OverlayChange::None;
    TOverlayAreas m_lastOverlay;

    TBitmap32 m_loupe;
    TBitmap32 m_loupeSource;
    std::optional<TRect> m_loupeRect;

    std::optional<TPoint> m_eventPosition;
    std::optional<TPoint> m_pointer;
    bool m_spaceHeld = false;
    TShiftState m_moveShift = 0; // the keys held at the last move
    bool m_panning = false;
    TPoint m_panFrom;
    TPoint m_panScroll;
    bool m_forwardedPress = false;
};

// Where the loupe goes in a Width x Height screen so that it covers neither the corner nor the
// pointer (each with a margin): beside the corner if possible, else in a corner of the screen;
// none when no place is free.
std::optional<TRect> PlaceLoupe(int Width, int Height, const TPoint& Corner,
                                const std::optional<TPoint>& Pointer,
                                int Size = TWorkspaceScreen::kLoupeSize);

// Screen pixels per step of the auto-scroll at Distance pixels inside the visible area's edge
// (negative: beyond it); 0 outside the edge zone.
int AutoScrollSpeed(int Distance);

} // namespace schauplatz
