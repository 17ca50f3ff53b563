// Truevision TGA files written from and read into CPixelImage without the system codecs.
#pragma once

#include "imaging/imagecodec.h"

class CTgaCodec : public CImageCodec {
  public:
    bool LoadMemory(const BYTE* data, std::size_t length, CImageList& images,
                    std::unique_ptr<CPropertyBag>& properties) override;
    bool SaveFile(const char* fileName, const CImageList& images,
                  const CPropertyBag* properties) override;
};
