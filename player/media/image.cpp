#include "player/media/image.h"

namespace media {

bool IsAllowedImageSize(std::int64_t width, std::int64_t height, std::int64_t maxPixels) {
    return width > 0 && height > 0 && width <= maxPixels && height <= maxPixels &&
           width * height <= maxPixels;
}

bool AllocateImage(Image& image, int width, int height, std::int64_t maxPixels) {
    if (!IsAllowedImageSize(width, height, maxPixels)) return false;
    image.width = width;
    image.height = height;
    image.argb.assign(static_cast<std::size_t>(width) * height, 0);
    return true;
}

std::uint32_t Premultiply(std::uint32_t straight) {
    const std::uint32_t a = Alpha(straight);
    if (a == 255) return straight;
    if (a == 0) return 0;
    return PackArgb(a, MulDiv255(Red(straight), a), MulDiv255(Green(straight), a),
                    MulDiv255(Blue(straight), a));
}

std::uint32_t Unpremultiply(std::uint32_t premultiplied) {
    const std::uint32_t a = Alpha(premultiplied);
    if (a == 255) return premultiplied;
    if (a == 0) return 0;
    auto channel = [a](std::uint32_t c) {
        const std::uint32_t v = (c * 255 + a / 2) / a;
        return v > 255 ? 255u : v;
    };
    return PackArgb(a, channel(Red(premultiplied)), channel(Green(premultiplied)),
                    channel(Blue(premultiplied)));
}

}  // namespace media
