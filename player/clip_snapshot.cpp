// The pictures scripts take of the movie: BitmapData.draw of a clip, its content drawn by a
// renderer kept for these into the script's pixels with the drawing work of one tick's draws
// sharing one budget; and BitmapData.loadBitmap, a library bitmap decoded by that renderer.
#include <cairo.h>

#include <cmath>
#include <memory>
#include <variant>

#include "player/renderer.h"
#include "player/timeline.h"

namespace player {

bool SpriteInstance::DrawInto(media::Image& target, const std::array<double, 6>& matrix,
                              const script::ColorNumbers& color, bool /*smoothing*/) {
    return state && state->DrawClip(*this, target, matrix, color);
}

bool MovieState::DrawClip(const SpriteInstance& clip, media::Image& target,
                          const std::array<double, 6>& matrix, const script::ColorNumbers& color) {
    if (!target.IsValid() || target.width > Caps().maxLayerPixels / target.height) return false;
    for (const double v : matrix)
        if (!std::isfinite(v)) return false;
    if (!snapshotRenderer_) snapshotRenderer_ = std::make_unique<Renderer>(Caps());
    const bool newFrame = snapshotTick_ != tick_ + 1;
    snapshotTick_ = tick_ + 1;
    ColorMix mix;
    for (int i = 0; i < 4; ++i) {
        mix.mult[i] = std::isfinite(color.mult[i]) ? color.mult[i] : 0;
        mix.add[i] = std::isfinite(color.add[i]) ? color.add[i] : 0;
    }
    cairo_matrix_t m;
    cairo_matrix_init(&m, matrix[0], matrix[1], matrix[2], matrix[3], matrix[4], matrix[5]);
    const BufferView view{reinterpret_cast<std::uint8_t*>(target.argb.data()), target.width,
                          target.height, target.width * 4};
    snapshotRenderer_->RenderClip(clip, clip.movie ? *clip.movie : GetMovie(), m, mix, view,
                                  newFrame);
    return true;
}

std::shared_ptr<const media::Image> MovieState::LibraryBitmap(std::string_view exportName) {
    const Movie* from = nullptr;
    std::uint16_t id = 0;
    const Character* character = FindExport(GetMovie(), exportName, &from, &id);
    const Bitmap* bitmap = character ? std::get_if<Bitmap>(character) : nullptr;
    if (!bitmap || !from) return nullptr;
    // Decoded once by the renderer the draws use, so a movie loading the same bitmap again and
    // again does not decode it again.
    if (!snapshotRenderer_) snapshotRenderer_ = std::make_unique<Renderer>(Caps());
    const media::Image* pixels = snapshotRenderer_->BitmapPixels(*bitmap, *from);
    if (!pixels) {
        Problem("BitmapData.loadBitmap: bitmap " + std::string(exportName) + " cannot be decoded");
        return nullptr;
    }
    return std::make_shared<const media::Image>(*pixels);
}

}  // namespace player
