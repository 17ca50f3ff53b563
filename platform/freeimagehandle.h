// Owning wrappers for FreeImage's C handles: a bitmap, a memory stream, a multi-page bitmap,
// a page locked out of one, and a metadata tag. Every FreeImage call site holds its handles through these.
#pragma once

#include <FreeImage.h>

#include <memory>

struct FiBitmapDeleter {
    void operator()(FIBITMAP* dib) const { FreeImage_Unload(dib); }
};
using FiBitmap = std::unique_ptr<FIBITMAP, FiBitmapDeleter>;

struct FiMemoryDeleter {
    void operator()(FIMEMORY* memory) const { FreeImage_CloseMemory(memory); }
};
using FiMemory = std::unique_ptr<FIMEMORY, FiMemoryDeleter>;

struct FiMultiBitmapDeleter {
    void operator()(FIMULTIBITMAP* multi) const { FreeImage_CloseMultiBitmap(multi); }
};
using FiMultiBitmap = std::unique_ptr<FIMULTIBITMAP, FiMultiBitmapDeleter>;

struct FiTagDeleter {
    void operator()(FITAG* tag) const { FreeImage_DeleteTag(tag); }
};
using FiTag = std::unique_ptr<FITAG, FiTagDeleter>;

// A page locked with FreeImage_LockPage; unlocked unchanged when the wrapper goes.
class FiLockedPage {
  public:
    FiLockedPage(FIMULTIBITMAP* multi, int page)
        : multi_(multi), page_(FreeImage_LockPage(multi, page)) {}
    ~FiLockedPage() {
        if (page_) FreeImage_UnlockPage(multi_, page_, FALSE);
    }
    FiLockedPage(const FiLockedPage&) = delete;
    FiLockedPage& operator=(const FiLockedPage&) = delete;

    FIBITMAP* get() const { return page_; }

  private:
    FIMULTIBITMAP* multi_;
    FIBITMAP* page_;
};
