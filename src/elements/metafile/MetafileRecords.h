#pragma once

// The record types the two players act on, named as the formats name them, and the table
// that finds a record type's handler. Types not listed are skipped by the players.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

namespace schauplatz::metafile {

// Enhanced metafile records (the record's first 32-bit field).
enum class EmfRecord : std::uint32_t {
    Header = 1,
    PolyBezier = 2,
    Polygon = 3,
    Polyline = 4,
    PolyBezierTo = 5,
    PolylineTo = 6,
    PolyPolyline = 7,
    PolyPolygon = 8,
    SetWindowExtEx = 9,
    SetWindowOrgEx = 10,
    SetViewportExtEx = 11,
    SetViewportOrgEx = 12,
    Eof = 14,
    SetPixelV = 15,
    SetMapMode = 17,
    SetBkMode = 18,
    SetPolyFillMode = 19,
    SetTextAlign = 22,
    SetTextColor = 24,
    SetBkColor = 25,
    MoveToEx = 27,
    IntersectClipRect = 30,
    SaveDC = 33,
    RestoreDC = 34,
    SetWorldTransform = 35,
    ModifyWorldTransform = 36,
    SelectObject = 37,
    CreatePen = 38,
    CreateBrushIndirect = 39,
    DeleteObject = 40,
    Ellipse = 42,
    Rectangle = 43,
    RoundRect = 44,
    Arc = 45,
    Chord = 46,
    Pie = 47,
    CreatePalette = 49,
    LineTo = 54,
    SetArcDirection = 57,
    BeginPath = 59,
    EndPath = 60,
    CloseFigure = 61,
    FillPath = 62,
    StrokeAndFillPath = 63,
    StrokePath = 64,
    SelectClipPath = 67,
    AbortPath = 68,
    ExtSelectClipRgn = 75,
    BitBlt = 76,
    StretchBlt = 77,
    StretchDIBits = 81,
    ExtCreateFontIndirectW = 82,
    ExtTextOutA = 83,
    ExtTextOutW = 84,
    PolyBezier16 = 85,
    Polygon16 = 86,
    Polyline16 = 87,
    PolyBezierTo16 = 88,
    PolylineTo16 = 89,
    PolyPolyline16 = 90,
    PolyPolygon16 = 91,
    CreateMonoBrush = 93,
    CreateDIBPatternBrushPt = 94,
    ExtCreatePen = 95,
};

// Windows metafile records (the record's 16-bit function number: the low byte names the
// function, the high byte counts its parameter words).
enum class WmfRecord : std::uint16_t {
    Eof = 0x0000,
    SaveDC = 0x001E,
    CreatePalette = 0x00F7,
    SetBkMode = 0x0102,
    SetMapMode = 0x0103,
    SetPolyFillMode = 0x0106,
    RestoreDC = 0x0127,
    SelectClipRegion = 0x012C,
    SelectObject = 0x012D,
    SetTextAlign = 0x012E,
    DIBCreatePatternBrush = 0x0142,
    DeleteObject = 0x01F0,
    CreatePatternBrush = 0x01F9,
    SetBkColor = 0x0201,
    SetTextColor = 0x0209,
    SetWindowOrg = 0x020B,
    SetWindowExt = 0x020C,
    SetViewportOrg = 0x020D,
    SetViewportExt = 0x020E,
    OffsetWindowOrg = 0x020F,
    OffsetViewportOrg = 0x0211,
    LineTo = 0x0213,
    MoveTo = 0x0214,
    CreatePenIndirect = 0x02FA,
    CreateFontIndirect = 0x02FB,
    CreateBrushIndirect = 0x02FC,
    Polygon = 0x0324,
    Polyline = 0x0325,
    IntersectClipRect = 0x0416,
    Ellipse = 0x0418,
    Rectangle = 0x041B,
    SetPixel = 0x041F,
    TextOut = 0x0521,
    PolyPolygon = 0x0538,
    RoundRect = 0x061C,
    CreateRegion = 0x06FF,
    Arc = 0x0817,
    Pie = 0x081A,
    Chord = 0x0830,
    DIBBitBlt = 0x0940,
    ExtTextOut = 0x0A32,
    DIBStretchBlt = 0x0B41,
    StretchDIB = 0x0F43,
};

// One handler of a player's table.
template <class Record, class Handler>
struct RecordEntry {
    Record type;
    Handler handler;
};

// A player's handlers by record type, kept sorted so that a record finds its handler in a few
// steps whatever order the table is written in.
template <class Record, class Handler, std::size_t N>
class RecordTable {
public:
    using Entry = RecordEntry<Record, Handler>;

    constexpr explicit RecordTable(const std::array<Entry, N>& entries) : m_entries(entries) {
        std::sort(m_entries.begin(), m_entries.end(),
                  [](const Entry& a, const Entry& b) { return a.type < b.type; });
    }

    // True when no type has two handlers (checked at compile time by the players).
    constexpr bool unique() const {
        return std::adjacent_find(m_entries.begin(), m_entries.end(),
                                  [](const Entry& a, const Entry& b) {
                                      return a.type == b.type;
                                  }) == m_entries.end();
    }

    // The handler of record number Type; null for a type the table does not list.
    constexpr Handler find(std::uint32_t type) const {
        const auto it = std::lower_bound(
            m_entries.begin(), m_entries.end(), type,
            [](const Entry& e, std::uint32_t t) { return static_cast<std::uint32_t>(e.type) < t; });
        if (it == m_entries.end() || static_cast<std::uint32_t>(it->type) != type) return nullptr;
        return it->handler;
    }

private:
    std::array<Entry, N> m_entries;
};

template <class Record, class Handler, std::size_t N>
constexpr RecordTable<Record, Handler, N>
makeRecordTable(const RecordEntry<Record, Handler> (&entries)[N]) {
    std::array<RecordEntry<Record, Handler>, N> all{};
    std::copy(entries, entries + N, all.begin());
    return RecordTable<Record, Handler, N>(all);
}

} // namespace schauplatz::metafile
