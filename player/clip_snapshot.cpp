// A script's BitmapData.draw of a movie clip: the clip's content drawn by the movie's renderer
// into the script's pixels, with the drawing work of one tick's draws shared by one budget.
#include <cairo.h>

#include <cmath>
#include <memory>

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

}  // namespace player
