#include "cli/gif_writer.h"

#include <gif_lib.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace cli::gif {

namespace {

constexpr std::int64_t kMaxDelayCs = 65535;
constexpr char kLoopApplication[] = "NETSCAPE2.0";

struct ColorMapDeleter {
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};
using ColorMap = std::unique_ptr<ColorMapObject, ColorMapDeleter>;

// giflib wants a power of two of at least two entries; the rest are black.
ColorMap MakeColorMap(const Palette& palette) {
    int size = 2;
    while (size < int(palette.size())) size *= 2;
    std::vector<GifColorType> colors(size, GifColorType{0, 0, 0});
    for (std::size_t i = 0; i < palette.size(); ++i) {
        colors[i] = {GifByteType(palette[i] >> 16), GifByteType(palette[i] >> 8),
                     GifByteType(palette[i])};
    }
    return ColorMap(GifMakeMapObject(size, colors.data()));
}

}  // namespace

struct GifWriter::Handle {
    GifFileType* file = nullptr;
    ~Handle() {
        int ignored = 0;
        if (file) EGifCloseFile(file, &ignored);
    }
};

GifWriter::GifWriter() = default;
GifWriter::~GifWriter() = default;

bool GifWriter::Failed(const std::string& what, int code) {
    // giflib says only that a write failed; the system says why (a full disk, a size limit).
    const int system = errno;
    const bool writing = code == E_GIF_ERR_WRITE_FAILED || code == E_GIF_ERR_DISK_IS_FULL;
    const char* reason = writing && system != 0 ? std::strerror(system) : GifErrorString(code);
    error_ = what + " " + path_ + (reason ? std::string(": ") + reason : std::string());
    return false;
}

bool GifWriter::Open(const std::string& path, int width, int height, const Palette& global,
                     int plays) {
    gif_ = std::make_unique<Handle>();
    path_ = path;
    width_ = width;
    height_ = height;
    globalColors_ = int(global.size());
    error_.clear();
    if (width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF ||
        global.size() > std::size_t(kMaxColors) || plays < 0 || plays > kMaxPlays) {
        error_ = "cannot write a GIF of that size or loop count to " + path;
        return false;
    }
    // Made as any output is (giflib's own open would leave it readable by its owner only).
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        error_ = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    int code = 0;
    gif_->file = EGifOpenFileHandle(fd, &code);
    if (!gif_->file) {
        ::close(fd);
        return Failed("cannot create", code);
    }
    EGifSetGifVersion(gif_->file, true);
    ColorMap map = global.empty() ? nullptr : MakeColorMap(global);
    if (!global.empty() && !map) return Failed("out of memory for", D_GIF_ERR_NOT_ENOUGH_MEM);
    if (EGifPutScreenDesc(gif_->file, width, height, 8, 0, map.get()) != GIF_OK)
        return Failed("cannot write", gif_->file->Error);
    if (plays == 1) return true;
    const int count = plays == 0 ? 0 : plays - 1;
    const std::array<GifByteType, 3> loop = {1, GifByteType(count & 0xFF), GifByteType(count >> 8)};
    if (EGifPutExtensionLeader(gif_->file, APPLICATION_EXT_FUNC_CODE) != GIF_OK ||
        EGifPutExtensionBlock(gif_->file, 11, kLoopApplication) != GIF_OK ||
        EGifPutExtensionBlock(gif_->file, int(loop.size()), loop.data()) != GIF_OK ||
        EGifPutExtensionTrailer(gif_->file) != GIF_OK)
        return Failed("cannot write", gif_->file->Error);
    return true;
}

bool GifWriter::Write(const Picture& picture) {
    if (!gif_ || !gif_->file) {
        error_ = "no GIF is open";
        return false;
    }
    const int colors = picture.palette.empty() ? globalColors_ : int(picture.palette.size());
    const bool fits = picture.width > 0 && picture.height > 0 && picture.left >= 0 &&
                      picture.top >= 0 && picture.left + picture.width <= width_ &&
                      picture.top + picture.height <= height_;
    if (!fits || colors == 0 || colors > kMaxColors || picture.transparentIndex >= colors ||
        picture.indices.size() != std::size_t(picture.width) * picture.height) {
        error_ = "a picture does not fit the GIF " + path_;
        return false;
    }
    if (picture.delayCs <= kMaxDelayCs)
        return WriteOne(picture, int(std::max<std::int64_t>(picture.delayCs, 0)), picture.disposal);
    if (!WriteOne(picture, int(kMaxDelayCs), Disposal::kKeep)) return false;
    // The rest of the time in pictures of the same rectangle that change nothing; the last one
    // disposes of the rectangle as the picture would have.
    Picture rest;
    rest.left = picture.left;
    rest.top = picture.top;
    rest.width = picture.width;
    rest.height = picture.height;
    rest.palette = {0, 0};
    rest.transparentIndex = 0;
    rest.indices.assign(picture.indices.size(), 0);
    for (std::int64_t left = picture.delayCs - kMaxDelayCs; left > 0; left -= kMaxDelayCs) {
        const bool last = left <= kMaxDelayCs;
        if (!WriteOne(rest, int(std::min(left, kMaxDelayCs)),
                      last ? picture.disposal : Disposal::kKeep))
            return false;
    }
    return true;
}

bool GifWriter::WriteOne(const Picture& picture, int delayCs, Disposal disposal) {
    GraphicsControlBlock control{};
    control.DisposalMode = static_cast<int>(disposal);
    control.UserInputFlag = false;
    control.DelayTime = delayCs;
    control.TransparentColor = picture.transparentIndex >= 0 ? picture.transparentIndex
                                                             : NO_TRANSPARENT_COLOR;
    GifByteType extension[4];
    const std::size_t length = EGifGCBToExtension(&control, extension);
    if (EGifPutExtension(gif_->file, GRAPHICS_EXT_FUNC_CODE, int(length), extension) != GIF_OK)
        return Failed("cannot write", gif_->file->Error);
    ColorMap map = picture.palette.empty() ? nullptr : MakeColorMap(picture.palette);
    if (!picture.palette.empty() && !map) return Failed("out of memory for", D_GIF_ERR_NOT_ENOUGH_MEM);
    if (EGifPutImageDesc(gif_->file, picture.left, picture.top, picture.width, picture.height,
                         false, map.get()) != GIF_OK)
        return Failed("cannot write", gif_->file->Error);
    // giflib masks the indices in place, so it is handed a copy of each row.
    std::vector<GifPixelType> row(picture.width);
    for (int y = 0; y < picture.height; ++y) {
        const auto* from = picture.indices.data() + std::size_t(y) * picture.width;
        std::copy(from, from + picture.width, row.begin());
        if (EGifPutLine(gif_->file, row.data(), picture.width) != GIF_OK)
            return Failed("cannot write", gif_->file->Error);
    }
    return true;
}

bool GifWriter::Close() {
    if (!gif_ || !gif_->file) {
        error_ = "no GIF is open";
        return false;
    }
    int code = 0;
    const int result = EGifCloseFile(gif_->file, &code);
    gif_->file = nullptr;
    if (result != GIF_OK) return Failed("cannot write", code);
    return true;
}

}  // namespace cli::gif
