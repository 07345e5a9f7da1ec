#include "HostileFiles.h"

#include "elements/metafile_writer.h"

#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <stdexcept>
#include <zip.h>
#include <zlib.h>

namespace schauplatz::hostile {
namespace {

using testing_metafile::EmfWriter;
using testing_metafile::put16;
using testing_metafile::put32;
using testing_metafile::putF;

// The picture starts with a blue square and ends with a green one, so a playing that stops
// in between shows the first and not the second.
EmfWriter framedEmf(EmfSize size) {
    EmfWriter emf(size.width, size.height);
    emf.brush(7, 0, 0xFF0000).select(7).select(0x80000008).rectangle(0, 0, 9, 9);
    return emf;
}

Bytes finishFramed(EmfWriter& emf) {
    emf.brush(6, 0, 0x00FF00).select(6).select(0x80000008).rectangle(16, 0, 25, 9);
    return emf.finish();
}

Bytes encodeProgressive(int width, int height) {
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 80, TRUE);
    jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(static_cast<std::size_t>(width) * 3);
    while (info.next_scanline < info.image_height) {
        const unsigned y = info.next_scanline;
        for (int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<unsigned char>(x * 255 / std::max(1, width - 1));
            row[3 * x + 1] =
                static_cast<unsigned char>(y * 255 / std::max(1u, info.image_height - 1));
            row[3 * x + 2] = static_cast<unsigned char>((x + y) & 0xFF);
        }
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&info, &pointer, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

// Where each scan (SOS marker up to the next marker) and the end marker lie.
struct Layout {
    std::vector<std::pair<std::size_t, std::size_t>> scans;
    std::size_t end = 0; // offset of EOI
};

Layout layoutOf(const Bytes& jpeg) {
    Layout layout;
    std::size_t at = 2;
    while (at + 2 <= jpeg.size()) {
        if (jpeg[at] != 0xFF) throw std::runtime_error("not a marker");
        const std::uint8_t marker = jpeg[at + 1];
        if (marker == 0xD9) {
            layout.end = at;
            return layout;
        }
        if (at + 4 > jpeg.size()) break;
        const std::size_t length = (jpeg[at + 2] << 8) | jpeg[at + 3];
        std::size_t next = at + 2 + length;
        if (marker == 0xDA) {
            // Entropy-coded data runs to the next marker that is neither stuffing nor RSTn.
            while (next + 1 < jpeg.size() && !(jpeg[next] == 0xFF && jpeg[next + 1] != 0 &&
                                               (jpeg[next + 1] < 0xD0 || jpeg[next + 1] > 0xD7)))
                ++next;
            layout.scans.emplace_back(at, next);
        }
        at = next;
    }
    throw std::runtime_error("no end marker");
}

} // namespace

Bytes progressiveJpeg(int width, int height, int scans) {
    const Bytes plain = encodeProgressive(width, height);
    const Layout layout = layoutOf(plain);
    const auto [lastStart, lastEnd] = layout.scans.back();
    Bytes out(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(lastEnd));
    for (int i = static_cast<int>(layout.scans.size()); i < scans; ++i)
        out.insert(out.end(), plain.begin() + static_cast<std::ptrdiff_t>(lastStart),
                   plain.begin() + static_cast<std::ptrdiff_t>(lastEnd));
    out.push_back(0xFF);
    out.push_back(0xD9);
    return out;
}

Bytes withDeclaredSize(Bytes jpeg, int width, int height) {
    for (std::size_t at = 2; at + 9 < jpeg.size();) {
        const std::uint8_t marker = jpeg[at + 1];
        if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2) {
            jpeg[at + 5] = static_cast<std::uint8_t>(height >> 8);
            jpeg[at + 6] = static_cast<std::uint8_t>(height);
            jpeg[at + 7] = static_cast<std::uint8_t>(width >> 8);
            jpeg[at + 8] = static_cast<std::uint8_t>(width);
            return jpeg;
        }
        at += 2 + ((jpeg[at + 2] << 8) | jpeg[at + 3]);
    }
    throw std::runtime_error("no frame header");
}

Bytes firstScans(const Bytes& jpeg, int scans) {
    const Layout layout = layoutOf(jpeg);
    const std::size_t cut = layout.scans.at(static_cast<std::size_t>(scans - 1)).second;
    Bytes out(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(cut));
    out.push_back(0xFF);
    out.push_back(0xD9);
    return out;
}

int scanCount(const Bytes& jpeg) {
    return static_cast<int>(layoutOf(jpeg).scans.size());
}

Bytes emfHugeRleBlits(int count, EmfSize size) {
    const int kEmfWidth = size.width, kEmfHeight = size.height;
    EmfWriter emf = framedEmf(size);
    for (int i = 0; i < count; ++i) {
        Bytes body;
        for (int v : {0, 0, kEmfWidth - 1, kEmfHeight - 1}) // bounds
            put32(body, static_cast<std::uint32_t>(v));
        for (int v : {0, 32, 0, 0, 4096, 8192}) // xDest, yDest, xSrc, ySrc, cxSrc, cySrc
            put32(body, static_cast<std::uint32_t>(v));
        const std::uint32_t bmiOffset = 80, bmiSize = 40 + 256 * 4, bitsSize = 4;
        for (std::uint32_t v : {bmiOffset, bmiSize, bmiOffset + bmiSize, bitsSize, 0u, 0x00CC0020u})
            put32(body, v);
        put32(body, static_cast<std::uint32_t>(kEmfWidth)); // cxDest
        put32(body, static_cast<std::uint32_t>(kEmfHeight - 32));
        // The information header: 4096 x 8192 (2^25 pixels), 8 bits, RLE8.
        for (std::uint32_t v : {40u, 4096u, 8192u})
            put32(body, v);
        put16(body, 1);
        put16(body, 8);
        for (std::uint32_t v : {1u, bitsSize, 0u, 0u, 0u, 0u})
            put32(body, v);
        for (int c = 0; c < 256; ++c)
            put32(body, static_cast<std::uint32_t>(c * 0x010101));
        for (std::uint8_t b : {0, 1, 0, 1}) // end of bitmap
            body.push_back(b);
        emf.raw(81, body);
    }
    return finishFramed(emf);
}

Bytes emfHugeEllipses(int count, EmfSize size) {
    EmfWriter emf = framedEmf(size);
    emf.brush(1, 0, 0x3366CC).select(1);
    // Around the picture, so the squares in its corner stay visible.
    for (int i = 0; i < count; ++i)
        emf.record(42, {-size.width / 2 - i % 7, 40 - i % 5, size.width * 3 / 2 + i % 3,
                        size.height * 2 + i % 11});
    return finishFramed(emf);
}

Bytes emfLongText(int records, int glyphs, int pixels, EmfSize size) {
    const int kEmfWidth = size.width, kEmfHeight = size.height;
    EmfWriter emf = framedEmf(size);
    Bytes font;
    put32(font, 1);                                   // index
    put32(font, static_cast<std::uint32_t>(-pixels)); // height: the em size
    for (int i = 0; i < 3; ++i)
        put32(font, 0); // width, escapement, orientation
    put32(font, 400);   // weight
    put32(font, 0);     // italic, underline, strike out, char set
    put32(font, 0);     // precisions, quality, pitch
    for (char c : std::string("DejaVu Sans"))
        put16(font, static_cast<std::uint32_t>(c));
    while (font.size() < 100)
        put16(font, 0);
    emf.raw(82, font).select(1);
    for (int r = 0; r < records; ++r) {
        Bytes text;
        for (int v : {0, 0, kEmfWidth - 1, kEmfHeight - 1, 1})
            put32(text, static_cast<std::uint32_t>(v)); // bounds, graphics mode
        putF(text, 1.0f);
        putF(text, 1.0f);
        for (int v : {0, 40 + pixels * r / 2})
            put32(text, static_cast<std::uint32_t>(v)); // reference
        put32(text, static_cast<std::uint32_t>(glyphs));
        put32(text, 76); // string offset
        for (int v : {0, 0, 0, 0, 0, 0})
            put32(text, static_cast<std::uint32_t>(v)); // options, rectangle, dx offset
        for (int g = 0; g < glyphs; ++g)
            put16(text, static_cast<std::uint32_t>('W'));
        if (text.size() % 4 != 0) put16(text, 0);
        emf.raw(84, text);
    }
    (void)kEmfHeight;
    return finishFramed(emf);
}

Bytes emfWidePolyline(int points, int width, EmfSize size) {
    EmfWriter emf = framedEmf(size);
    emf.pen(1, 0, width, 0x00AA00).select(1);
    // Below the squares: the pen's half width away from the top.
    std::vector<std::int32_t> fields{points};
    for (int i = 0; i < points; ++i) {
        fields.push_back((i * 37) % size.width);
        fields.push_back(40 + width / 2 + (i % 2) * size.height);
    }
    emf.bounded(4, fields);
    emf.pen(2, 0, 0, 0).select(2);
    return finishFramed(emf);
}

namespace {

void putBig32(Bytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

Bytes pngChunk(const char* type, const Bytes& data) {
    Bytes out;
    putBig32(out, static_cast<std::uint32_t>(data.size()));
    Bytes body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    putBig32(out,
             static_cast<std::uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
    return out;
}

Bytes deflated(const Bytes& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    Bytes packed(size);
    if (compress2(packed.data(), &size, data.data(), static_cast<uLong>(data.size()), 9) != Z_OK)
        throw std::runtime_error("zlib");
    packed.resize(size);
    return packed;
}

} // namespace

Bytes pngWithoutPixels(std::uint32_t width, std::uint32_t height) {
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    putBig32(header, width);
    putBig32(header, height);
    for (std::uint8_t b : {8, 6, 0, 0, 0}) // 8-bit RGBA, no interlace
        header.push_back(b);
    const Bytes firstRow = deflated(Bytes(1 + std::size_t{width} * 4, 0));
    for (const Bytes& part :
         {pngChunk("IHDR", header), pngChunk("IDAT", firstRow), pngChunk("IEND", {})})
        png.insert(png.end(), part.begin(), part.end());
    return png;
}

Bytes iconOfFailingEntries(int entries) {
    const Bytes broken = pngWithoutPixels(4096, 4096);
    Bytes icon = {
        0, 0, 1, 0, static_cast<std::uint8_t>(entries), static_cast<std::uint8_t>(entries >> 8)};
    const std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(entries);
    for (int i = 0; i < entries; ++i) {
        Bytes entry(16, 0);
        entry[4] = 1;  // planes
        entry[6] = 32; // bits per pixel
        for (int b = 0; b < 4; ++b) {
            entry[8 + b] = static_cast<std::uint8_t>(broken.size() >> (8 * b));
            entry[12 + b] = static_cast<std::uint8_t>(offset >> (8 * b));
        }
        icon.insert(icon.end(), entry.begin(), entry.end());
    }
    icon.insert(icon.end(), broken.begin(), broken.end());
    return icon;
}

Bytes pngWithCompressedTexts(const Bytes& png, int texts) {
    Bytes text = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 0};
    const Bytes packed = deflated(Bytes(16 << 20, 0));
    text.insert(text.end(), packed.begin(), packed.end());
    const Bytes chunk = pngChunk("zTXt", text);
    Bytes out(png.begin(), png.begin() + 33); // signature and header chunk
    for (int i = 0; i < texts; ++i)
        out.insert(out.end(), chunk.begin(), chunk.end());
    out.insert(out.end(), png.begin() + 33, png.end());
    return out;
}

void writeArchive(const std::string& path,
                  const std::vector<std::pair<std::string, std::string>>& entries) {
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (archive == nullptr) throw std::runtime_error("cannot create " + path);
    for (const auto& [name, content] : entries) {
        zip_source_t* source = zip_source_buffer(archive, content.data(), content.size(), 0);
        const zip_int64_t index = zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0) throw std::runtime_error(zip_strerror(archive));
        zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 9);
    }
    if (zip_close(archive) != 0) throw std::runtime_error(zip_strerror(archive));
}

} // namespace schauplatz::hostile
