// Draws text characters for the renderer: static text from embedded glyph outlines, and text
// fields laid out once from their initial text, drawn with embedded glyphs or with the DejaVu
// faces that stand in for device fonts. Glyph outlines are built once per font glyph.
#pragma once

#include <cairo.h>

#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "player/frame_work.h"
#include "player/geometry.h"
#include "player/model.h"
#include "player/renderer.h"
#include "player/text_layout.h"

namespace player {

// The DejaVu family that stands in for a device font name: "DejaVu Sans", "DejaVu Serif" or
// "DejaVu Sans Mono".
const char* DeviceFamily(const std::string& fontName);

class TextRenderer {
  public:
    TextRenderer();
    ~TextRenderer();
    TextRenderer(const TextRenderer&) = delete;
    TextRenderer& operator=(const TextRenderer&) = delete;

    // toDevice maps the character's twips to device pixels; mask draws coverage only. What is
    // drawn is charged to the frame's work, and left out once that is spent.
    void DrawStaticText(cairo_t* cr, const Movie& movie, const StaticText& text,
                        const cairo_matrix_t& toDevice, const ColorMix& color, bool mask,
                        FrameWork& work);
    void DrawEditText(cairo_t* cr, const Movie& movie, const EditText& field,
                      const cairo_matrix_t& toDevice, const ColorMix& color, bool mask,
                      FrameWork& work);

    // The size of a field's text as laid out (twips): the widest line and the lines' height,
    // without the gutter.
    struct Extent {
        double width = 0, height = 0;
        double ascent = 0, descent = 0;  // of the first character's style
    };
    Extent Measure(const Movie& movie, const EditText& field);

  private:
    struct GlyphOutline {
        Shape shape;  // the glyph's records under one solid fill
        ShapeGeometry geometry;
    };
    struct FontGlyphs {
        std::vector<std::unique_ptr<GlyphOutline>> outlines;  // built on first use
        std::unordered_map<std::uint32_t, std::uint32_t> byCode;
        std::unordered_map<std::uint32_t, std::int16_t> kerning;  // left << 16 | right
    };
    class Metrics;
    class DeviceFonts;

    FontGlyphs& Glyphs(const Font& font);
    const GlyphOutline& Outline(const Font& font, std::uint32_t index);
    // Appends a glyph's outline, scaled from EM units by size twips and moved to (x, y).
    void AppendGlyph(cairo_t* cr, const Font& font, std::uint32_t index, const cairo_matrix_t& m,
                     double x, double y, double size);
    const TextLayout& Layout(const Movie& movie, const EditText& field);
    TextLayout BuildLayout(const Movie& movie, const EditText& field);
    void DrawFieldFrame(cairo_t* cr, const EditText& field, const cairo_matrix_t& toDevice,
                        const ColorMix& color, bool mask, FrameWork& work);
    void DrawFieldText(cairo_t* cr, const TextLayout& layout, const cairo_matrix_t& toDevice,
                       const ColorMix& color, bool mask, FrameWork& work);
    void DrawUnderlines(cairo_t* cr, const TextLayout& layout, const cairo_matrix_t& toDevice,
                        const ColorMix& color, bool mask, FrameWork& work);

    std::unordered_map<const Font*, std::unique_ptr<FontGlyphs>> fonts_;
    struct CachedLayout {
        std::uint64_t revision = 0;
        std::unique_ptr<TextLayout> layout;
    };
    std::unordered_map<const EditText*, CachedLayout> layouts_;
    std::unique_ptr<DeviceFonts> device_;
};

}  // namespace player
