// The codec for the formats the graphics library encodes and decodes (JPEG, GIF, TIFF, PNG,
// BMP): quality and metadata from the property bag on save, every frame and the metadata
// into a new property bag on load.
#pragma once

#include <vector>

#include "imaging/gdiplusbridge.h"
#include "imaging/imagecodec.h"

// GDI+ property tag of the JPEG quality, read when PROP_QUALITY is empty.
constexpr std::int32_t kJpegQualityTag = 0x5010;

class CSystemCodec : public CImageCodec {
  public:
    bool LoadFile(const char* fileName, CImageList& images,
                  std::unique_ptr<CPropertyBag>& properties) override;
    bool LoadMemory(const BYTE* data, std::size_t length, CImageList& images,
                    std::unique_ptr<CPropertyBag>& properties) override;
    bool SaveFile(const char* fileName, const CImageList& images,
                  const CPropertyBag* properties) override;

  private:
    CGdiplusGuard m_gdiplus;
};

// The save quality: PROP_QUALITY, else the JPEG-quality tag; 80 when empty or "-1"; text that
// is not a number counts as 0; clamped to 1...100.
int SaveQualityFromProperties(const CPropertyBag* properties);

// The bag's metadata keys as property items (ASCII, rational, signed rational, short),
// in the bag's order; other keys and unreadable texts are skipped.
std::vector<gdiplus::PropertyItem> PropertyItemsFromBag(const CPropertyBag& properties);

// The property items read from a file as a bag: texts, numbers, rationals, and the frame
// delays collected under PROP_FRAME_DELAYS.
std::unique_ptr<CPropertyBag> PropertyBagFromItems(const std::vector<gdiplus::PropertyItem>& items);
