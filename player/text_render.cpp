#include "player/text_render.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <tuple>

namespace player {

namespace {

// Device fonts are measured at this size, so that FreeType's 26.6 metrics keep their precision;
// every measure is scaled from it.
constexpr double kMeasureSize = 1024;

std::string LowerAscii(const std::string& s) {
    std::string out = s;
    for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool Contains(const std::string& s, const char* part) {
    return s.find(part) != std::string::npos;
}

double Unit(std::uint8_t v) {
    return v / 255.0;
}

void SetColor(cairo_t* cr, const ColorMix& color, Rgba c, bool mask) {
    const Rgba shown = mask ? Rgba{0, 0, 0, 255} : color.Apply(c);
    cairo_set_source_rgba(cr, Unit(shown.r), Unit(shown.g), Unit(shown.b), Unit(shown.a));
}

// The nearest pixel edge, halves rounded down.
double PixelEdge(double v) {
    return std::ceil(v - 0.5);
}

bool Invertible(const cairo_matrix_t& m) {
    const double det = m.xx * m.yy - m.xy * m.yx;
    return std::isfinite(det) && std::abs(det) > 1e-12 && std::isfinite(m.x0) &&
           std::isfinite(m.y0);
}

// Device glyphs larger than this many pixels are filled as outlines rather than rendered into
// coverage masks of their full size (and kept in cairo's glyph cache).
constexpr double kMaxGlyphMaskSize = 512;

// The larger of the lengths the matrix gives the unit steps in x and y.
double LargestScale(const cairo_matrix_t& m) {
    return std::max(std::hypot(m.xx, m.yx), std::hypot(m.xy, m.yy));
}

// Fills the current path (in device space) when the frame's work allows it; the path is used up
// either way.
void FillCounted(cairo_t* cr, FrameWork& work) {
    if (work.Charge(PathPixels(cr))) cairo_fill(cr);
    cairo_new_path(cr);
}

// Device pixels the glyphs' ink box covers within the clip, under the current font and matrix.
std::int64_t GlyphPixels(cairo_t* cr, const std::vector<cairo_glyph_t>& glyphs) {
    cairo_text_extents_t ink;
    cairo_glyph_extents(cr, glyphs.data(), int(glyphs.size()), &ink);
    double xs[2] = {ink.x_bearing, ink.x_bearing + ink.width};
    double ys[2] = {ink.y_bearing, ink.y_bearing + ink.height};
    double x0 = HUGE_VAL, y0 = HUGE_VAL, x1 = -HUGE_VAL, y1 = -HUGE_VAL;
    for (double x : xs)
        for (double y : ys) {
            double px = x, py = y;
            cairo_user_to_device(cr, &px, &py);
            x0 = std::min(x0, px), y0 = std::min(y0, py);
            x1 = std::max(x1, px), y1 = std::max(y1, py);
        }
    return BoxPixels(cr, x0, y0, x1 + 1, y1 + 1);
}

void AppendOutline(cairo_t* cr, const ShapeGeometry& geometry) {
    for (const ShapeLayer& layer : geometry.layers) {
        for (const FillPath& fill : layer.fills) {
            if (!fill.path.Empty()) cairo_append_path(cr, fill.path.Get());
        }
    }
}

// Fonts searched by name for HTML faces: the one of the wanted style if there is one.
const Font* EmbeddedFontNamed(const Movie& movie, const std::string& name, bool bold, bool italic) {
    const std::string wanted = LowerAscii(name);
    const Font* any = nullptr;
    for (const auto& [id, character] : movie.dictionary) {
        const auto* font = std::get_if<Font>(character.get());
        if (!font || font->glyphs.empty() || LowerAscii(font->name) != wanted) continue;
        if (font->bold == bold && font->italic == italic) return font;
        if (!any) any = font;
    }
    return any;
}

}  // namespace

const char* DeviceFamily(const std::string& fontName) {
    const std::string n = LowerAscii(fontName);
    if (n == "_typewriter" || n == "_\xe7\xad\x89\xe5\xb9\x85" || Contains(n, "mono") ||
        Contains(n, "courier") || Contains(n, "typewriter") || Contains(n, "console") ||
        Contains(n, "fixed"))
        return "DejaVu Sans Mono";
    if (n == "_sans" || n == "_\xe3\x82\xb4\xe3\x82\xb7\xe3\x83\x83\xe3\x82\xaf" ||
        Contains(n, "sans"))
        return "DejaVu Sans";
    if (n == "_serif" || n == "_\xe6\x98\x8e\xe6\x9c\x9d" || Contains(n, "serif") ||
        Contains(n, "times") || Contains(n, "roman") || Contains(n, "georgia") ||
        Contains(n, "garamond") || Contains(n, "palatino") || Contains(n, "book"))
        return "DejaVu Serif";
    return "DejaVu Sans";
}

// The DejaVu faces standing in for device fonts, each measured once per character.
class TextRenderer::DeviceFonts {
  public:
    struct Glyph {
        unsigned long index = 0;
        double advance = 0;  // EMs
    };
    struct Face {
        cairo_font_face_t* face = nullptr;
        cairo_scaled_font_t* measure = nullptr;
        double ascent = 0.8, descent = 0.2;  // EMs
        std::unordered_map<char32_t, Glyph> glyphs;
    };

    DeviceFonts() {
        options_ = cairo_font_options_create();
        cairo_font_options_set_hint_style(options_, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_hint_metrics(options_, CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_antialias(options_, CAIRO_ANTIALIAS_GRAY);
        crisp_ = cairo_font_options_copy(options_);
        cairo_font_options_set_antialias(crisp_, CAIRO_ANTIALIAS_NONE);
    }
    ~DeviceFonts() {
        for (auto& [key, face] : faces_) {
            cairo_scaled_font_destroy(face.measure);
            cairo_font_face_destroy(face.face);
        }
        cairo_font_options_destroy(options_);
        cairo_font_options_destroy(crisp_);
    }
    DeviceFonts(const DeviceFonts&) = delete;
    DeviceFonts& operator=(const DeviceFonts&) = delete;

    // Glyphs follow the context: none anti-aliased where its edges are not (low quality).
    const cairo_font_options_t* Options(cairo_t* cr) const {
        return cairo_get_antialias(cr) == CAIRO_ANTIALIAS_NONE ? crisp_ : options_;
    }
    // A face cairo could not load is not handed to a context, which it would put in error.
    static bool Usable(const Face& face) {
        return cairo_font_face_status(face.face) == CAIRO_STATUS_SUCCESS &&
               cairo_scaled_font_status(face.measure) == CAIRO_STATUS_SUCCESS;
    }

    Face& For(const TextStyle& style) {
        const std::string family = DeviceFamily(style.face);
        auto key = std::make_tuple(family, style.bold, style.italic);
        auto it = faces_.find(key);
        if (it != faces_.end()) return it->second;
        Face face;
        face.face = cairo_toy_font_face_create(
            family.c_str(), style.italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
            style.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
        cairo_matrix_t size, identity;
        cairo_matrix_init_scale(&size, kMeasureSize, kMeasureSize);
        cairo_matrix_init_identity(&identity);
        face.measure = cairo_scaled_font_create(face.face, &size, &identity, options_);
        if (cairo_scaled_font_status(face.measure) == CAIRO_STATUS_SUCCESS) {
            cairo_font_extents_t extents;
            cairo_scaled_font_extents(face.measure, &extents);
            face.ascent = extents.ascent / kMeasureSize;
            face.descent = extents.descent / kMeasureSize;
        }
        return faces_.emplace(key, std::move(face)).first->second;
    }

    const Glyph& GlyphOf(Face& face, char32_t c) {
        auto it = face.glyphs.find(c);
        if (it != face.glyphs.end()) return it->second;
        Glyph glyph;
        const std::string utf8 = EncodeUtf8(c);
        cairo_glyph_t* glyphs = nullptr;
        int count = 0;
        if (cairo_scaled_font_status(face.measure) == CAIRO_STATUS_SUCCESS &&
            cairo_scaled_font_text_to_glyphs(face.measure, 0, 0, utf8.data(), int(utf8.size()),
                                             &glyphs, &count, nullptr, nullptr,
                                             nullptr) == CAIRO_STATUS_SUCCESS &&
            count > 0) {
            cairo_text_extents_t extents;
            cairo_scaled_font_glyph_extents(face.measure, glyphs, 1, &extents);
            glyph.index = glyphs[0].index;
            glyph.advance = extents.x_advance / kMeasureSize;
        }
        cairo_glyph_free(glyphs);
        return face.glyphs.emplace(c, glyph).first->second;
    }

  private:
    cairo_font_options_t* options_ = nullptr;
    cairo_font_options_t* crisp_ = nullptr;
    std::map<std::tuple<std::string, bool, bool>, Face> faces_;
};

// Measures for layout: embedded fonts by their layout tables, device fonts through cairo.
class TextRenderer::Metrics : public TextMetrics {
  public:
    explicit Metrics(TextRenderer& renderer) : renderer_(renderer) {}

    double Ascent(const TextStyle& style) override {
        if (const Font* font = style.embedded) {
            const double em = font->hasLayout ? font->ascent / font->EmSquare() : 0.8;
            return em * style.size;
        }
        return renderer_.device_->For(style).ascent * style.size;
    }
    double Descent(const TextStyle& style) override {
        if (const Font* font = style.embedded) {
            const double em = font->hasLayout ? font->descent / font->EmSquare() : 0.2;
            return em * style.size;
        }
        return renderer_.device_->For(style).descent * style.size;
    }
    double Advance(const TextStyle& style, char32_t c) override {
        if (const Font* font = style.embedded) {
            const FontGlyphs& glyphs = renderer_.Glyphs(*font);
            auto it = glyphs.byCode.find(c);
            if (it == glyphs.byCode.end()) return 0;  // not in the font: nothing to show
            const std::uint32_t index = it->second;
            if (index < font->advances.size())
                return font->advances[index] / font->EmSquare() * style.size;
            const Rect& b = index < font->glyphBounds.size() ? font->glyphBounds[index] : Rect{};
            return std::max(0, b.xMax) / font->EmSquare() * style.size;
        }
        DeviceFonts& device = *renderer_.device_;
        return device.GlyphOf(device.For(style), c).advance * style.size;
    }
    double Kerning(const TextStyle& style, char32_t left, char32_t right) override {
        const Font* font = style.embedded;
        if (!font || left > 0xFFFF || right > 0xFFFF) return 0;
        const FontGlyphs& glyphs = renderer_.Glyphs(*font);
        auto it = glyphs.kerning.find(std::uint32_t(left) << 16 | std::uint32_t(right));
        return it == glyphs.kerning.end() ? 0 : it->second / font->EmSquare() * style.size;
    }

  private:
    TextRenderer& renderer_;
};

TextRenderer::TextRenderer() : device_(std::make_unique<DeviceFonts>()) {}
TextRenderer::~TextRenderer() = default;

TextRenderer::FontGlyphs& TextRenderer::Glyphs(const Font& font) {
    auto& slot = fonts_[&font];
    if (!slot) {
        slot = std::make_unique<FontGlyphs>();
        slot->outlines.resize(font.glyphs.size());
        // The first glyph of a code wins, as a font with a code twice shows the first.
        for (std::size_t i = 0; i < font.codes.size() && i < font.glyphs.size(); ++i)
            slot->byCode.emplace(font.codes[i], static_cast<std::uint32_t>(i));
        for (const KerningPair& k : font.kerning)
            slot->kerning.emplace(std::uint32_t(k.left) << 16 | k.right, k.adjustment);
    }
    return *slot;
}

const TextRenderer::GlyphOutline& TextRenderer::Outline(const Font& font, std::uint32_t index) {
    auto& slot = Glyphs(font).outlines[index];
    if (!slot) {
        slot = std::make_unique<GlyphOutline>();
        slot->shape.styles.fills.push_back(FillStyle{});
        slot->shape.records = font.glyphs[index];
        slot->geometry = BuildGeometry(slot->shape);
    }
    return *slot;
}

void TextRenderer::AppendGlyph(cairo_t* cr, const Font& font, std::uint32_t index,
                               const cairo_matrix_t& m, double x, double y, double size) {
    if (index >= font.glyphs.size() || font.glyphs[index].empty()) return;
    cairo_matrix_t glyph;
    const double scale = size / font.EmSquare();
    cairo_matrix_init(&glyph, scale, 0, 0, scale, x, y);
    cairo_matrix_multiply(&glyph, &glyph, &m);
    if (!Invertible(glyph)) return;
    cairo_set_matrix(cr, &glyph);
    AppendOutline(cr, Outline(font, index).geometry);
}

void TextRenderer::DrawStaticText(cairo_t* cr, const Movie& movie, const StaticText& text,
                                  const cairo_matrix_t& toDevice, const ColorMix& color, bool mask,
                                  FrameWork& work) {
    cairo_matrix_t m = ToCairo(text.matrix);
    cairo_matrix_multiply(&m, &m, &toDevice);
    if (!Invertible(m)) return;
    cairo_save(cr);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    const Font* font = nullptr;
    Rgba ink;
    double x = 0, y = 0, height = 0;
    for (const TextRecord& record : text.records) {
        if (record.fontId) {
            font = std::get_if<Font>(movie.Find(*record.fontId));
            height = record.height;
        }
        if (record.color) ink = *record.color;
        if (record.xOffset) x = *record.xOffset;
        if (record.yOffset) y = *record.yOffset;
        cairo_new_path(cr);
        for (const GlyphEntry& g : record.glyphs) {
            if (font && height > 0) AppendGlyph(cr, *font, g.index, m, x, y, height);
            x += g.advance;
        }
        cairo_identity_matrix(cr);
        SetColor(cr, color, ink, mask);
        FillCounted(cr, work);
    }
    cairo_restore(cr);
}

const TextLayout& TextRenderer::Layout(const Movie& movie, const EditText& field) {
    // Fields changed by scripts come and go; their layouts are not kept without bound.
    if (layouts_.size() >= movie.limits.maxCachedTextLayouts && !layouts_.count(&field))
        layouts_.clear();
    auto& slot = layouts_[&field];
    if (slot.layout && slot.revision == field.revision) return *slot.layout;
    slot.revision = field.revision;
    slot.layout = std::make_unique<TextLayout>(BuildLayout(movie, field));
    return *slot.layout;
}

TextRenderer::Extent TextRenderer::Measure(const Movie& movie, const EditText& field) {
    const TextLayout layout = BuildLayout(movie, field);
    Metrics metrics(*this);
    Extent extent;
    if (layout.glyphs.empty()) return extent;
    const double left = field.bounds.xMin + 40.0 + field.leftMargin;
    const double top = field.bounds.yMin + 40.0;
    const TextStyle& first = layout.styles[std::size_t(layout.glyphs[0].style) < layout.styles.size() ? layout.glyphs[0].style : 0];
    extent.ascent = metrics.Ascent(first);
    extent.descent = metrics.Descent(first);
    for (const PlacedGlyph& g : layout.glyphs) {
        const TextStyle& style = layout.styles[std::size_t(g.style) < layout.styles.size() ? g.style : 0];
        extent.width = std::max(extent.width, g.x + metrics.Advance(style, g.c) - left);
        extent.height = std::max(extent.height, g.y + metrics.Descent(style) - top);
    }
    return extent;
}

TextLayout TextRenderer::BuildLayout(const Movie& movie, const EditText& field) {
    TextStyle base;
    const Font* font = field.fontId ? std::get_if<Font>(movie.Find(*field.fontId)) : nullptr;
    base.face = font ? font->name : !field.fontClass.empty() ? field.fontClass : "Times New Roman";
    base.size = field.fontHeight;
    base.color = field.color.value_or(Rgba{0, 0, 0, 255});
    base.bold = font && font->bold;
    base.italic = font && font->italic;
    const bool outlines = field.useOutlines;
    const std::u32string text = DecodeText(field.initialText, movie.version >= 6);
    StyledText styled = field.html ? ParseHtml(text, base, field.align, movie.limits)
                                   : PlainText(text, base, field.align, movie.limits);
    // Faces are found by name, as a player registers embedded fonts by name (the first font of
    // a name wins); the field's own font serves when no font of its name has the style.
    for (TextStyle& style : styled.styles) {
        if (!outlines) continue;
        style.embedded = EmbeddedFontNamed(movie, style.face, style.bold, style.italic);
        if (!style.embedded && font && !font->glyphs.empty() && style.face == base.face)
            style.embedded = font;
    }
    Metrics metrics(*this);
    return LayOutText(std::move(styled), field, metrics, movie.limits);
}

void TextRenderer::DrawFieldFrame(cairo_t* cr, const EditText& field,
                                  const cairo_matrix_t& toDevice, const ColorMix& color, bool mask,
                                  FrameWork& work) {
    const Rect& b = field.bounds;
    const bool axisAligned = toDevice.xy == 0 && toDevice.yx == 0;
    const bool fill = field.background || mask;
    const bool border = field.border && !mask;
    if (axisAligned) {
        // Whole pixels: the background covers [x0, x1) x [y0, y1); the border runs on the
        // pixels of its top-left edges and on x1 and y1.
        double ax = b.xMin, ay = b.yMin, bx = b.xMax, by = b.yMax;
        cairo_matrix_transform_point(&toDevice, &ax, &ay);
        cairo_matrix_transform_point(&toDevice, &bx, &by);
        const double x0 = PixelEdge(std::min(ax, bx)), x1 = PixelEdge(std::max(ax, bx));
        const double y0 = PixelEdge(std::min(ay, by)), y1 = PixelEdge(std::max(ay, by));
        cairo_identity_matrix(cr);
        if (fill) {
            SetColor(cr, color, field.backgroundColor, mask);
            cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
            FillCounted(cr, work);
        }
        if (!border) return;
        SetColor(cr, color, field.borderColor, mask);
        cairo_rectangle(cr, x0, y0, x1 - x0 + 1, 1);
        cairo_rectangle(cr, x0, y0 + 1, 1, y1 - y0);
        cairo_rectangle(cr, x1, y0 + 1, 1, y1 - y0 - 1);
        cairo_rectangle(cr, x0 + 1, y1, x1 - x0 - 1, 1);
        FillCounted(cr, work);
        return;
    }
    cairo_set_matrix(cr, &toDevice);
    cairo_rectangle(cr, b.xMin, b.yMin, double(b.xMax) - b.xMin, double(b.yMax) - b.yMin);
    cairo_identity_matrix(cr);
    if (!work.Charge(2 * PathPixels(cr, 1))) {
        cairo_new_path(cr);
        return;
    }
    if (fill) {
        SetColor(cr, color, field.backgroundColor, mask);
        cairo_fill_preserve(cr);
    }
    if (border) {
        SetColor(cr, color, field.borderColor, mask);
        cairo_set_line_width(cr, 1);
        cairo_stroke_preserve(cr);
    }
    cairo_new_path(cr);
}

void TextRenderer::DrawFieldText(cairo_t* cr, const TextLayout& layout,
                                 const cairo_matrix_t& toDevice, const ColorMix& color, bool mask,
                                 FrameWork& work) {
    std::vector<cairo_glyph_t> run;
    for (std::size_t i = 0; i < layout.glyphs.size();) {
        const int styleIndex = layout.glyphs[i].style;
        const TextStyle& style = layout.styles[styleIndex];
        std::size_t end = i;
        while (end < layout.glyphs.size() && layout.glyphs[end].style == styleIndex) ++end;
        cairo_new_path(cr);
        if (const Font* font = style.embedded) {
            const FontGlyphs& glyphs = Glyphs(*font);
            for (std::size_t k = i; k < end; ++k) {
                const PlacedGlyph& g = layout.glyphs[k];
                auto it = glyphs.byCode.find(g.c);
                if (it != glyphs.byCode.end())
                    AppendGlyph(cr, *font, it->second, toDevice, g.x, g.y, style.size);
            }
            cairo_identity_matrix(cr);
            SetColor(cr, color, style.color, mask);
            FillCounted(cr, work);
        } else if (style.size > 0 && device_->Usable(device_->For(style))) {
            DeviceFonts::Face& face = device_->For(style);
            run.clear();
            for (std::size_t k = i; k < end; ++k) {
                const PlacedGlyph& g = layout.glyphs[k];
                const DeviceFonts::Glyph& glyph = device_->GlyphOf(face, g.c);
                if (glyph.index != 0) run.push_back({glyph.index, g.x, g.y});
            }
            cairo_set_matrix(cr, &toDevice);
            cairo_set_font_face(cr, face.face);
            cairo_set_font_size(cr, style.size);
            cairo_set_font_options(cr, device_->Options(cr));
            SetColor(cr, color, style.color, mask);
            // Large glyphs are filled as outlines: cairo would otherwise render each one into
            // a coverage mask of its full size, however little of it shows.
            if (mask || style.size * LargestScale(toDevice) > kMaxGlyphMaskSize) {
                cairo_glyph_path(cr, run.data(), int(run.size()));
                cairo_identity_matrix(cr);
                FillCounted(cr, work);
            } else if (work.Charge(GlyphPixels(cr, run))) {
                cairo_show_glyphs(cr, run.data(), int(run.size()));
            }
            cairo_identity_matrix(cr);
        }
        i = end;
    }
}

void TextRenderer::DrawUnderlines(cairo_t* cr, const TextLayout& layout,
                                  const cairo_matrix_t& toDevice, const ColorMix& color, bool mask,
                                  FrameWork& work) {
    // A line a sixteenth of the size thick (one pixel at least), a tenth of the size below the
    // baseline.
    const double pixel =
        1 / std::sqrt(std::abs(toDevice.xx * toDevice.yy - toDevice.xy * toDevice.yx));
    for (const Underline& u : layout.underlines) {
        const TextStyle& style = layout.styles[u.style];
        const double thickness = std::max(style.size / 16, pixel);
        cairo_set_matrix(cr, &toDevice);
        cairo_rectangle(cr, u.x0, u.y + style.size / 10, u.x1 - u.x0, thickness);
        cairo_identity_matrix(cr);
        SetColor(cr, color, style.color, mask);
        FillCounted(cr, work);
    }
}

void TextRenderer::DrawEditText(cairo_t* cr, const Movie& movie, const EditText& field,
                                const cairo_matrix_t& toDevice, const ColorMix& color, bool mask,
                                FrameWork& work) {
    if (!Invertible(toDevice)) return;
    const Rect& b = field.bounds;
    if (b.xMax <= b.xMin || b.yMax <= b.yMin) return;
    const TextLayout& layout = Layout(movie, field);
    cairo_save(cr);
    if (field.border || field.background) DrawFieldFrame(cr, field, toDevice, color, mask, work);
    cairo_set_matrix(cr, &toDevice);
    cairo_rectangle(cr, b.xMin, b.yMin, double(b.xMax) - b.xMin, double(b.yMax) - b.yMin);
    cairo_identity_matrix(cr);
    cairo_clip(cr);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    DrawFieldText(cr, layout, toDevice, color, mask, work);
    DrawUnderlines(cr, layout, toDevice, color, mask, work);
    cairo_restore(cr);
}

}  // namespace player
