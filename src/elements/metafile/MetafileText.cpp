#include "elements/metafile/MetafileText.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <numeric>
#include <tuple>

namespace schauplatz::metafile {
namespace {

constexpr std::uint32_t kAlignRight = 2, kAlignCenter = 6, kAlignBottom = 8, kAlignBaseline = 24;
constexpr std::uint32_t kUpdatePosition = 1;
constexpr std::uint32_t kOptionOpaque = 2, kOptionClipped = 4;
constexpr double kMaxTextPixels = 4096.0;
constexpr std::size_t kMaxGlyphs = 16384;
// Drawing work (the canvas's units, about a nanosecond each) of loading a glyph's metrics
// and of rendering one, besides its pixels.
constexpr std::int64_t kGlyphLoadWork = 2000;
constexpr std::int64_t kGlyphRenderWork = 4000;
constexpr std::int64_t kGlyphPixelWork = 4;

std::string lower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

// The program's own fontconfig configuration, loaded once and released at exit
// (the library's implicit default one would stay allocated for good).
class FontConfiguration {
public:
    FontConfiguration() : m_config(FcInitLoadConfigAndFonts()) {}
    ~FontConfiguration() {
        if (m_config) FcConfigDestroy(m_config);
        FcFini();
    }
    FontConfiguration(const FontConfiguration&) = delete;
    FontConfiguration& operator=(const FontConfiguration&) = delete;
    FcConfig* get() const { return m_config; }

private:
    FcConfig* m_config;
};

FcConfig* fontConfiguration() {
    static FontConfiguration configuration;
    return configuration.get();
}

// The font file for a family, or DejaVu Sans when fontconfig has nothing of that name.
std::string findFontFile(const Font& font) {
    FcConfig* config = fontConfiguration();
    if (!config) return {};
    auto match = [&](const std::string& family, bool requireFamily) -> std::string {
        FcPattern* pattern = FcPatternCreate();
        if (!pattern) return {};
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
        FcPatternAddInteger(pattern, FC_WEIGHT,
                            font.weight >= 600 ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pattern, FC_SLANT, font.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcConfigSubstitute(config, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* found = FcFontMatch(config, pattern, &result);
        std::string file;
        if (found) {
            FcChar8* name = nullptr;
            FcChar8* foundFamily = nullptr;
            const bool familyOk =
                !requireFamily ||
                (FcPatternGetString(found, FC_FAMILY, 0, &foundFamily) == FcResultMatch &&
                 lower(reinterpret_cast<const char*>(foundFamily)) == lower(family));
            if (familyOk && FcPatternGetString(found, FC_FILE, 0, &name) == FcResultMatch) {
                file = reinterpret_cast<const char*>(name);
            }
            FcPatternDestroy(found);
        }
        FcPatternDestroy(pattern);
        return file;
    };
    std::string file;
    if (!font.family.empty()) file = match(font.family, true);
    if (file.empty()) file = match("DejaVu Sans", false);
    return file;
}

// A picture coordinate rounded to its pixel, kept in range.
std::int32_t pixel(double v) {
    return static_cast<std::int32_t>(std::clamp(std::floor(v + 0.5), -1e9, 1e9));
}

// Sets the face to the font's size: the em in pixels for the font's height (negative: the em
// itself, positive: the cell, which the face's ascender and descender divide). False when
// that size is out of range or the face refuses it.
bool setFaceSize(FT_Face face, const Font& font, double scaleY, FT_UInt& pixelSize) {
    double em = font.height == 0 ? 16.0 : std::abs(font.height) * scaleY;
    if (font.height > 0 && face->units_per_EM > 0 && face->ascender - face->descender > 0) {
        em = em * face->units_per_EM / (face->ascender - face->descender);
    }
    if (!std::isfinite(em) || em < 1.0 || em > kMaxTextPixels) return false;
    pixelSize = static_cast<FT_UInt>(std::lround(em));
    return FT_Set_Pixel_Sizes(face, 0, pixelSize) == 0;
}

// Puts back the device context's clip as it stood when made.
class ClipRestore {
public:
    explicit ClipRestore(MetafileCanvas& canvas) : m_canvas(canvas), m_clip(canvas.dc().clip) {}
    ~ClipRestore() { m_canvas.dc().clip = m_clip; }
    ClipRestore(const ClipRestore&) = delete;
    ClipRestore& operator=(const ClipRestore&) = delete;

private:
    MetafileCanvas& m_canvas;
    std::optional<TRect> m_clip;
};

// The left end and the baseline of text Total pixels wide at the reference point Origin.
struct TextPlacement {
    double left = 0;
    double baseline = 0;
};

TextPlacement placeText(FillPoint origin, double total, double ascent, double descent,
                        std::uint32_t textAlign) {
    TextPlacement at{origin.x, origin.y + ascent};
    const std::uint32_t horizontal = textAlign & kAlignCenter;
    if (horizontal == kAlignCenter)
        at.left -= total / 2;
    else if (horizontal == kAlignRight)
        at.left -= total;
    const std::uint32_t vertical = textAlign & kAlignBaseline;
    if (vertical == kAlignBaseline)
        at.baseline = origin.y;
    else if (vertical == kAlignBottom)
        at.baseline = origin.y - descent;
    return at;
}

} // namespace

struct TextRenderer::Impl {
    FT_Library library = nullptr;
    std::map<std::string, FT_Face> faces;
    // Advances already loaded, per face, pixel size and character: a record repeating a
    // character, or many records of the same font, load each glyph's metrics once.
    std::map<std::tuple<FT_Face, FT_UInt, char32_t>, double> advances;

    Impl() {
        if (FT_Init_FreeType(&library) != 0) library = nullptr;
    }
    ~Impl() {
        for (auto& entry : faces) {
            if (entry.second) FT_Done_Face(entry.second);
        }
        if (library) FT_Done_FreeType(library);
    }
    FT_Face face(const std::string& file) {
        auto it = faces.find(file);
        if (it != faces.end()) return it->second;
        FT_Face loaded = nullptr;
        if (!library || FT_New_Face(library, file.c_str(), 0, &loaded) != 0) loaded = nullptr;
        faces[file] = loaded;
        return loaded;
    }
    // Each character's advance in pixels: Dx (logical units) where given, else the glyph's.
    std::vector<double> advancesOf(MetafileCanvas& canvas, FT_Face face, FT_UInt pixelSize,
                                   const std::u32string& text, const std::vector<double>& dx,
                                   double scaleX) {
        std::vector<double> out;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (i < dx.size()) {
                out.push_back(dx[i] * scaleX);
                continue;
            }
            const auto key = std::make_tuple(face, pixelSize, text[i]);
            auto known = advances.find(key);
            if (known == advances.end()) {
                canvas.chargeWork(kGlyphLoadWork);
                const double advance = FT_Load_Char(face, text[i], FT_LOAD_DEFAULT) == 0
                                           ? face->glyph->advance.x / 64.0
                                           : 0.0;
                known = advances.emplace(key, advance).first;
            }
            out.push_back(known->second);
        }
        return out;
    }
};

TextRenderer::TextRenderer() : m_impl(std::make_unique<Impl>()) {}
TextRenderer::~TextRenderer() = default;

void TextRenderer::applyRectangle(MetafileCanvas& canvas, const Xform& x, std::uint32_t options,
                                  const TRect& rectangle) {
    const FillPoint a =
        x.apply({static_cast<double>(rectangle.Left), static_cast<double>(rectangle.Top)});
    const FillPoint b =
        x.apply({static_cast<double>(rectangle.Right), static_cast<double>(rectangle.Bottom)});
    const TRect area{pixel(std::min(a.x, b.x)), pixel(std::min(a.y, b.y)),
                     pixel(std::max(a.x, b.x)), pixel(std::max(a.y, b.y))};
    if (options & kOptionOpaque) canvas.fillRectPixels(area, canvas.m_dc.backColor);
    if (options & kOptionClipped) canvas.setClipPixels(area);
}

void TextRenderer::renderGlyphs(MetafileCanvas& canvas, FT_FaceRec_* face,
                                const std::u32string& text, const std::vector<double>& advances,
                                double left, double baseline) {
    const TRect clip = canvas.clipRect();
    const TColor32 color = canvas.m_dc.textColor;
    double pen = left;
    for (std::size_t i = 0; i < text.size(); ++i) {
        canvas.chargeWork(kGlyphRenderWork);
        if (FT_Load_Char(face, text[i],
                         FT_LOAD_RENDER | FT_LOAD_MONOCHROME | FT_LOAD_TARGET_MONO) == 0) {
            const FT_Bitmap& bitmap = face->glyph->bitmap;
            canvas.chargeWork(kGlyphPixelWork * std::int64_t{bitmap.rows} * bitmap.width);
            const auto gx =
                static_cast<std::int64_t>(std::floor(pen + 0.5)) + face->glyph->bitmap_left;
            const auto gy =
                static_cast<std::int64_t>(std::floor(baseline + 0.5)) - face->glyph->bitmap_top;
            for (unsigned row = 0; row < bitmap.rows; ++row) {
                const std::int64_t y = gy + row;
                if (y < clip.Top || y >= clip.Bottom) continue;
                const unsigned char* bits =
                    bitmap.buffer + static_cast<std::ptrdiff_t>(row) * bitmap.pitch;
                for (unsigned col = 0; col < bitmap.width; ++col) {
                    const bool on = bitmap.pixel_mode == FT_PIXEL_MODE_MONO
                                        ? (bits[col >> 3] & (0x80 >> (col & 7))) != 0
                                        : bits[col] >= 128;
                    const std::int64_t xx = gx + col;
                    if (on && xx >= clip.Left && xx < clip.Right) {
                        canvas.paintSpan(static_cast<std::int32_t>(y),
                                         static_cast<std::int32_t>(xx),
                                         static_cast<std::int32_t>(xx + 1), color);
                    }
                }
            }
        }
        pen += advances[i];
    }
}

void TextRenderer::draw(MetafileCanvas& canvas, FillPoint reference, const std::u32string& text,
                        const std::vector<double>& dx, std::uint32_t options,
                        const std::optional<TRect>& rectangle) {
    DeviceContext& dc = canvas.m_dc;
    const bool update = (dc.textAlign & kUpdatePosition) != 0;
    if (update) reference = dc.position;
    const Xform x = canvas.logicalToPicture();
    const FillPoint origin = x.apply(reference);
    canvas.note(origin);
    if (!std::isfinite(origin.x) || !std::isfinite(origin.y)) return;
    const double scaleX = std::hypot(x.m11, x.m12);
    const double scaleY = std::hypot(x.m21, x.m22);

    if (rectangle && (options & (kOptionOpaque | kOptionClipped))) {
        applyRectangle(canvas, x, options, *rectangle);
    }
    // The clip as it stands now, with the record's own clipping, is put back at the end.
    const ClipRestore restore(canvas);

    FT_Face face = m_impl->face(findFontFile(dc.font));
    if (!face || text.empty() || text.size() > kMaxGlyphs) return;
    FT_UInt pixelSize = 0;
    if (!setFaceSize(face, dc.font, scaleY, pixelSize)) return;
    const double ascent = face->size->metrics.ascender / 64.0;
    const double descent = -face->size->metrics.descender / 64.0;

    const std::vector<double> advances =
        m_impl->advancesOf(canvas, face, pixelSize, text, dx, scaleX);
    const double total = std::accumulate(advances.begin(), advances.end(), 0.0);
    if (!std::isfinite(total)) return;

    const TextPlacement at = placeText(origin, total, ascent, descent, dc.textAlign);
    canvas.note({at.left, at.baseline - ascent});
    canvas.note({at.left + total, at.baseline + descent});
    const std::uint32_t horizontal = dc.textAlign & kAlignCenter;
    if (update) {
        // The current position moves along the text, back into logical units.
        const double back = scaleX > 0 ? total / scaleX : 0;
        if (horizontal != kAlignRight && horizontal != kAlignCenter) dc.position.x += back;
    }
    if (canvas.width() == 0) return;
    if (dc.backOpaque) {
        canvas.fillRectPixels(TRect{pixel(at.left), pixel(at.baseline - ascent),
                                    pixel(at.left + total), pixel(at.baseline + descent)},
                              dc.backColor);
    }
    renderGlyphs(canvas, face, text, advances, at.left, at.baseline);
}

void MetafileCanvas::drawText(FillPoint reference, const std::u32string& text,
                              const std::vector<double>& dx, std::uint32_t options,
                              const std::optional<TRect>& rectangle) {
    if (!m_text) m_text = std::make_unique<TextRenderer>();
    m_text->draw(*this, reference, text, dx, options, rectangle);
}

} // namespace schauplatz::metafile
