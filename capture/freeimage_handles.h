// Owning wrappers for the FreeImage handles of the GIF assembly: a loaded bitmap, a multi-page
// bitmap and a metadata tag, each released exactly once by its own FreeImage call.
#pragma once

#include <FreeImage.h>

#include <memory>

namespace capture {

struct BitmapUnloader {
    void operator()(FIBITMAP* bitmap) const { FreeImage_Unload(bitmap); }
};
using BitmapHandle = std::unique_ptr<FIBITMAP, BitmapUnloader>;

// Closing a multi-page bitmap writes it; callers that want to write call Close() themselves
// and look at its result, the destructor only makes sure the handle is never leaked.
struct MultiBitmapCloser {
    void operator()(FIMULTIBITMAP* multi) const { FreeImage_CloseMultiBitmap(multi, 0); }
};
using MultiBitmapHandle = std::unique_ptr<FIMULTIBITMAP, MultiBitmapCloser>;

struct TagDeleter {
    void operator()(FITAG* tag) const { FreeImage_DeleteTag(tag); }
};
using TagHandle = std::unique_ptr<FITAG, TagDeleter>;

}  // namespace capture
