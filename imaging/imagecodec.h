// The interface every image codec of the registry implements, the image list it reads into
// and writes from, and the image types chosen by file-name extension.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>

#include "imaging/pixelimage.h"
#include "imaging/propertybag.h"

enum ImageType {
    IMG_UNKNOWN = 0,
    IMG_BMP = 1,
    IMG_PCX = 2,
    IMG_JPEG = 3,
    IMG_GIF = 4,
    IMG_TGA = 5,
    IMG_TIFF = 6,
    IMG_PNG = 7,
    IMG_PSD = 8,
    IMG_ICO = 9,
    IMG_XPM = 10,
    IMG_NTU = 11,
};

// Images handed to and from codecs. Loaders append images allocated with new, which the
// caller then owns; savers write the first entry only and delete nothing.
using CImageList = std::deque<CPixelImage*>;

// Largest file a codec reads into memory.
constexpr std::size_t kMaxCodecFileBytes = 512u << 20;

class CImageCodec {
  public:
    // Reads the whole file and calls LoadMemory.
    virtual bool LoadFile(const char* fileName, CImageList& images,
                          std::unique_ptr<CPropertyBag>& properties);
    virtual bool LoadMemory(const BYTE* data, std::size_t length, CImageList& images,
                            std::unique_ptr<CPropertyBag>& properties);
    virtual bool SaveFile(const char* fileName, const CImageList& images,
                          const CPropertyBag* properties);
    virtual ~CImageCodec() = default;
};
