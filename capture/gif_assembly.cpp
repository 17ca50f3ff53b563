#include "capture/gif_assembly.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/freeimagehandle.h"

namespace capture {

namespace {

constexpr const char* kFrameTimeKey = "FrameTime";

void RemoveFile(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

FiTag MakeFrameTimeTag(int frameTimeMs) {
    FiTag tag(FreeImage_CreateTag());
    if (!tag) return tag;
    // FreeImage's GIF writer reads the delay only from an unsigned 32-bit tag.
    const std::uint32_t value = static_cast<std::uint32_t>(frameTimeMs);
    FreeImage_SetTagKey(tag.get(), kFrameTimeKey);
    FreeImage_SetTagType(tag.get(), FIDT_LONG);
    FreeImage_SetTagCount(tag.get(), 1);
    FreeImage_SetTagLength(tag.get(), sizeof value);
    FreeImage_SetTagValue(tag.get(), &value);
    return tag;
}

// FreeImage drops pages that are not 8-bit without a word, so anything else is reduced first.
FiBitmap AsEightBit(FiBitmap image) {
    if (!image || FreeImage_GetBPP(image.get()) == 8) return image;
    FiBitmap rgb(FreeImage_ConvertTo24Bits(image.get()));
    if (!rgb) return {};
    return FiBitmap(FreeImage_ColorQuantize(rgb.get(), FIQ_WUQUANT));
}

// "cannot write PATH", with the system's reason when it gave one.
std::string WriteFailure(const std::string& path, int error) {
    if (error == 0) return "cannot write " + path;
    return "cannot write " + path + ": " + std::strerror(error);
}

}  // namespace

int FrameTimeMs(int frameRate) {
    if (frameRate <= 0) return 100;
    return static_cast<int>(1000.0f / static_cast<float>(frameRate) + 0.5f);
}

struct GifAssembly::Handles {
    FiMultiBitmap multi;
    FiTag frameTime;
};

GifAssembly::GifAssembly() : handles_(std::make_unique<Handles>()) {}

GifAssembly::~GifAssembly() {
    Abandon();
}

bool GifAssembly::Begin(const std::string& outputPath, int frameRate) {
    Abandon();
    lastError_.clear();
    outputPath_ = outputPath;
    frameTimeMs_ = FrameTimeMs(frameRate);
    pages_ = 0;
    RemoveFile(outputPath_);
    errno = 0;
    handles_->multi.reset(
        FreeImage_OpenMultiBitmap(FIF_GIF, outputPath_.c_str(), TRUE, FALSE, TRUE, 0));
    if (!handles_->multi) {
        lastError_ = "cannot create the GIF " + outputPath_;
        if (errno != 0) lastError_ += std::string(": ") + std::strerror(errno);
        return false;
    }
    handles_->frameTime = MakeFrameTimeTag(frameTimeMs_);
    return true;
}

bool GifAssembly::IsBegun() const {
    return handles_->multi != nullptr;
}

bool GifAssembly::AppendFrameFile(const std::string& frameFile) {
    if (!handles_->multi) return false;
    FiBitmap image = AsEightBit(FiBitmap(FreeImage_Load(FIF_GIF, frameFile.c_str(), 0)));
    if (!image) return false;
    if (handles_->frameTime) {
        FreeImage_SetMetadata(FIMD_ANIMATION, image.get(), kFrameTimeKey,
                              handles_->frameTime.get());
    }
    FreeImage_AppendPage(handles_->multi.get(), image.get());
    const int pages = FreeImage_GetPageCount(handles_->multi.get());
    const bool appended = pages > pages_;
    pages_ = pages;
    return appended;
}

int GifAssembly::PageCount() const {
    return pages_;
}

bool GifAssembly::Finish() {
    if (!handles_->multi) {
        lastError_ = "no GIF was begun";
        return false;
    }
    handles_->frameTime.reset();
    errno = 0;
    const bool closed = FreeImage_CloseMultiBitmap(handles_->multi.release(), 0) != FALSE;
    const int closeErrno = errno;
    if (pages_ == 0 || !closed) {
        // FreeImage reports success for a GIF without pages; never leave an empty file behind.
        RemoveFile(outputPath_);
        lastError_ = pages_ == 0 ? "no frame could be added to the GIF"
                                 : WriteFailure(outputPath_, closeErrno);
        return false;
    }
    std::error_code error;
    if (!std::filesystem::is_regular_file(outputPath_, error)) {
        lastError_ = "cannot write " + outputPath_;
        return false;
    }
    return true;
}

void GifAssembly::Abandon() {
    if (!handles_->multi) return;
    handles_->frameTime.reset();
    FreeImage_CloseMultiBitmap(handles_->multi.release(), 0);
    RemoveFile(outputPath_);
}

}  // namespace capture
