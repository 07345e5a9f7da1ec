#pragma once

// Text of metafiles drawn with FreeType from fonts that fontconfig finds by
// family name (DejaVu Sans when the family is not installed). Glyphs are
// rendered as one-bit masks: metafiles are drawn without anti-aliasing.

#include "elements/metafile/MetafileCanvas.h"

#include <map>
#include <memory>
#include <string>

struct FT_FaceRec_;

namespace schauplatz::metafile {

class TextRenderer {
public:
    TextRenderer();
    ~TextRenderer();
    TextRenderer(const TextRenderer&) = delete;
    TextRenderer& operator=(const TextRenderer&) = delete;

    // Draws Text on the canvas with its current font, colours and alignment.
    void draw(MetafileCanvas& canvas, FillPoint reference, const std::u32string& text,
              const std::vector<double>& dx, std::uint32_t options,
              const std::optional<TRect>& rectangle);

private:
    struct Impl;
    // The opaque box and the clipping a text record asks for with its rectangle.
    static void applyRectangle(MetafileCanvas& canvas, const Xform& x, std::uint32_t options,
                               const TRect& rectangle);
    // The glyphs as one-bit masks in the text colour, inside the clip, from the left end on
    // along Advances (picture pixels).
    static void renderGlyphs(MetafileCanvas& canvas, FT_FaceRec_* face, const std::u32string& text,
                             const std::vector<double>& advances, double left, double baseline);
    std::unique_ptr<Impl> m_impl;
};

} // namespace schauplatz::metafile
