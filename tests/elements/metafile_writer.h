#pragma once

// A tiny writer of metafile records for the tests: enhanced records with
// 32-bit fields, old-format records with 16-bit words (parameters last to
// first, as the format stores them).

#include "elements/codecs/PixelTarget.h"
#include "elements/metafile/Metafile.h"

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

namespace schauplatz::testing_metafile {

using Bytes = std::vector<std::uint8_t>;

inline void put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void put32(Bytes& b, std::uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
inline void putF(Bytes& b, float v) {
    put32(b, std::bit_cast<std::uint32_t>(v));
}

// An enhanced metafile whose frame maps one reference pixel to one picture
// pixel: a 96-dpi reference device (960 pixels on 254 mm) and a frame of
// Width x Height pixels (both multiples of 24 so that the frame is whole
// hundredths of a millimetre).
class EmfWriter {
public:
    EmfWriter(int width, int height, int handles = 8)
        : m_width(width), m_height(height), m_handles(handles) {}

    EmfWriter& record(std::uint32_t type, const std::vector<std::int32_t>& fields) {
        Bytes body;
        for (std::int32_t f : fields)
            put32(body, static_cast<std::uint32_t>(f));
        return raw(type, body);
    }
    EmfWriter& raw(std::uint32_t type, const Bytes& body) {
        put32(m_records, type);
        put32(m_records, static_cast<std::uint32_t>(8 + body.size()));
        m_records.insert(m_records.end(), body.begin(), body.end());
        ++m_count;
        return *this;
    }
    // Bounds (16 bytes of zeros) then the fields: the layout of drawing records.
    EmfWriter& bounded(std::uint32_t type, const std::vector<std::int32_t>& fields) {
        std::vector<std::int32_t> all{0, 0, 0, 0};
        all.insert(all.end(), fields.begin(), fields.end());
        return record(type, all);
    }
    EmfWriter& pen(std::uint32_t index, std::uint32_t style, std::int32_t width,
                   std::uint32_t bgr) {
        return record(38, {static_cast<std::int32_t>(index), static_cast<std::int32_t>(style),
                           width, 0, static_cast<std::int32_t>(bgr)});
    }
    EmfWriter& brush(std::uint32_t index, std::uint32_t style, std::uint32_t bgr,
                     std::uint32_t hatch = 0) {
        return record(39, {static_cast<std::int32_t>(index), static_cast<std::int32_t>(style),
                           static_cast<std::int32_t>(bgr), static_cast<std::int32_t>(hatch)});
    }
    EmfWriter& select(std::uint32_t index) {
        return record(37, {static_cast<std::int32_t>(index)});
    }
    EmfWriter& rectangle(int l, int t, int r, int b) { return record(43, {l, t, r, b}); }
    EmfWriter& xform(std::uint32_t type, float m11, float m12, float m21, float m22, float dx,
                     float dy, std::int32_t mode = -1) {
        Bytes body;
        for (float f : {m11, m12, m21, m22, dx, dy})
            putF(body, f);
        if (mode >= 0) put32(body, static_cast<std::uint32_t>(mode));
        return raw(type, body);
    }

    Bytes finish() const {
        Bytes out;
        const std::uint32_t total = static_cast<std::uint32_t>(88 + m_records.size() + 20);
        put32(out, 1);
        put32(out, 88);
        for (int v : {0, 0, m_width - 1, m_height - 1})
            put32(out, static_cast<std::uint32_t>(v));
        for (int v : {0, 0, m_width * 2540 / 96, m_height * 2540 / 96})
            put32(out, static_cast<std::uint32_t>(v));
        put32(out, 0x464D4520);
        put32(out, 0x10000);
        put32(out, total);
        put32(out, m_count + 2);
        put16(out, static_cast<std::uint32_t>(m_handles));
        put16(out, 0);
        for (int i = 0; i < 3; ++i)
            put32(out, 0);
        for (int v : {960, 960, 254, 254})
            put32(out, static_cast<std::uint32_t>(v));
        out.insert(out.end(), m_records.begin(), m_records.end());
        for (std::uint32_t v : {14u, 20u, 0u, 16u, 20u})
            put32(out, v);
        return out;
    }

private:
    int m_width, m_height, m_handles;
    std::uint32_t m_count = 0;
    Bytes m_records;
};

// An old-format metafile, optionally with the placeable header.
class WmfWriter {
public:
    explicit WmfWriter(int objects = 8) : m_objects(objects) {}
    // Words in the order the file stores them.
    WmfWriter& record(std::uint16_t function, const std::vector<std::int32_t>& words) {
        put32(m_records, static_cast<std::uint32_t>(3 + words.size()));
        put16(m_records, function);
        for (std::int32_t w : words)
            put16(m_records, static_cast<std::uint32_t>(w) & 0xFFFF);
        return *this;
    }
    WmfWriter& raw(std::uint16_t function, const Bytes& body) {
        put32(m_records, static_cast<std::uint32_t>(3 + body.size() / 2));
        put16(m_records, function);
        m_records.insert(m_records.end(), body.begin(), body.end());
        return *this;
    }
    // Logical box and units per inch of a placeable header.
    Bytes finish(bool placeable, int l = 0, int t = 0, int r = 0, int b = 0, int inch = 96) const {
        Bytes out;
        if (placeable) {
            put32(out, 0x9AC6CDD7u);
            put16(out, 0);
            for (int v : {l, t, r, b})
                put16(out, static_cast<std::uint32_t>(v) & 0xFFFF);
            put16(out, static_cast<std::uint32_t>(inch));
            put32(out, 0);
            put16(out, 0);
        }
        put16(out, 1);
        put16(out, 9);
        put16(out, 0x300);
        put32(out, static_cast<std::uint32_t>((18 + m_records.size() + 6) / 2));
        put16(out, static_cast<std::uint32_t>(m_objects));
        put32(out, 0);
        put16(out, 0);
        out.insert(out.end(), m_records.begin(), m_records.end());
        put32(out, 3);
        put16(out, 0);
        return out;
    }

private:
    int m_objects;
    Bytes m_records;
};

// The body of an enhanced font record for object 1: the given height, weight 400, the face
// name in UTF-16 and the record padded to its full size.
inline Bytes emfFontBody(std::int32_t height, const std::string& face = "DejaVu Sans") {
    Bytes font(4, 0);
    font[0] = 1;
    for (std::int32_t v : {height, 0, 0, 0, 400})
        put32(font, static_cast<std::uint32_t>(v));
    for (int i = 0; i < 8; ++i)
        font.push_back(0);
    for (char c : face)
        put16(font, static_cast<std::uint8_t>(c));
    while (font.size() < 4 + 92)
        put16(font, 0);
    return font;
}

// The body of an old-format font record: the given height, weight 400, the face name in
// single bytes and the record padded to its full size.
inline Bytes wmfFontBody(int height, const std::string& face = "DejaVu Sans") {
    Bytes font;
    for (int v : {height, 0, 0, 0, 400})
        put16(font, static_cast<std::uint32_t>(v));
    for (int i = 0; i < 8; ++i)
        font.push_back(0);
    for (char c : face)
        font.push_back(static_cast<std::uint8_t>(c));
    while (font.size() < 18 + 32)
        font.push_back(0);
    return font;
}

// The played picture (background as given) or an empty one.
inline DecodedPicture play(const Bytes& file, MetafileKind kind,
                           TColor32 background = 0xFFFFFFFFu) {
    DecodedPicture picture;
    if (!playMetafile(file, kind, background, picture)) picture = DecodedPicture{};
    return picture;
}

} // namespace schauplatz::testing_metafile
