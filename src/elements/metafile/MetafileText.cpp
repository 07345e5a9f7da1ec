#include "elements/metafile/MetafileText.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
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
};

TextRenderer::TextRenderer() : m_impl(std::make_unique<Impl>()) {}
TextRenderer::~TextRenderer() = default;

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

    const TRect savedClip = canvas.clipRect();
    if (rectangle && (options & (kOptionOpaque | kOptionClipped))) {
        const FillPoint a =
            x.apply({static_cast<double>(rectangle->Left), static_cast<double>(rectangle->Top)});
        const FillPoint b = x.apply(
            {static_cast<double>(rectangle->Right), static_cast<double>(rectangle->Bottom)});
        auto px = [](double v) {
            return static_cast<std::int32_t>(std::clamp(std::floor(v + 0.5), -1e9, 1e9));
        };
        const TRect area{px(std::min(a.x, b.x)), px(std::min(a.y, b.y)), px(std::max(a.x, b.x)),
                         px(std::max(a.y, b.y))};
        if (options & kOptionOpaque) canvas.fillRectPixels(area, dc.backColor);
        if (options & kOptionClipped) canvas.setClipPixels(area);
    }
    struct ClipRestore {
        MetafileCanvas& canvas;
        std::optional<TRect> clip;
        ~ClipRestore() { canvas.m_dc.clip = clip; }
    } restore{canvas, dc.clip};
    (void)savedClip;

    FT_Face face = m_impl->face(findFontFile(dc.font));
    if (!face || text.empty() || text.size() > kMaxGlyphs) return;
    double em = dc.font.height == 0 ? 16.0 : std::abs(dc.font.height) * scaleY;
    if (dc.font.height > 0 && face->units_per_EM > 0 && face->ascender - face->descender > 0) {
        em = em * face->units_per_EM / (face->ascender - face->descender);
    }
    if (!std::isfinite(em) || em < 1.0 || em > kMaxTextPixels) return;
    const auto pixelSize = static_cast<FT_UInt>(std::lround(em));
    if (FT_Set_Pixel_Sizes(face, 0, pixelSize) != 0) return;
    const double ascent = face->size->metrics.ascender / 64.0;
    const double descent = -face->size->metrics.descender / 64.0;

    std::vector<double> advances;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i < dx.size()) {
            advances.push_back(dx[i] * scaleX);
            continue;
        }
        const auto key = std::make_tuple(face, pixelSize, text[i]);
        auto known = m_impl->advances.find(key);
        if (known == m_impl->advances.end()) {
            canvas.chargeWork(kGlyphLoadWork);
            const double advance = FT_Load_Char(face, text[i], FT_LOAD_DEFAULT) == 0
                                       ? face->glyph->advance.x / 64.0
                                       : 0.0;
            known = m_impl->advances.emplace(key, advance).first;
        }
        advances.push_back(known->second);
    }
    double total = 0;
    for (double a : advances)
        total += a;
    if (!std::isfinite(total)) return;

    double left = origin.x;
    const std::uint32_t horizontal = dc.textAlign & kAlignCenter;
    if (horizontal == kAlignCenter)
        left -= total / 2;
    else if (horizontal == kAlignRight)
        left -= total;
    double baseline = origin.y + ascent;
    const std::uint32_t vertical = dc.textAlign & kAlignBaseline;
    if (vertical == kAlignBaseline)
        baseline = origin.y;
    else if (vertical == kAlignBottom)
        baseline = origin.y - descent;

    canvas.note({left, baseline - ascent});
    canvas.note({left + total, baseline + descent});
    if (update) {
        // The current position moves along the text, back into logical units.
        const double back = scaleX > 0 ? total / scaleX : 0;
        if (horizontal != kAlignRight && horizontal != kAlignCenter) dc.position.x += back;
    }
    if (canvas.width() == 0) return;
    const TRect clip = canvas.clipRect();
    if (dc.backOpaque) {
        auto px = [](double v) {
            return static_cast<std::int32_t>(std::clamp(std::floor(v + 0.5), -1e9, 1e9));
        };
        canvas.fillRectPixels(
            TRect{px(left), px(baseline - ascent), px(left + total), px(baseline + descent)},
            dc.backColor);
    }
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
                                         static_cast<std::int32_t>(xx + 1), dc.textColor);
                    }
                }
            }
        }
        pen += advances[i];
    }
}

void MetafileCanvas::drawText(FillPoint reference, const std::u32string& text,
                              const std::vector<double>& dx, std::uint32_t options,
                              const std::optional<TRect>& rectangle) {
    if (!m_text) m_text = std::make_unique<TextRenderer>();
    m_text->draw(*this, reference, text, dx, options, rectangle);
}

} // namespace schauplatz::metafile
