// The codec registry: which codec reads or writes a file, decided by the file name's
// extension, through one replaceable process-wide factory.
#pragma once

#include <memory>

#include "imaging/gdiplusbridge.h"
#include "imaging/imagecodec.h"

// The extension after the last "." of the whole name, looked up case-insensitively.
ImageType ImageTypeFromExtension(const char* fileName);

class CCodecFactory {
  public:
    virtual ImageType ImageTypeFromFileName(const char* fileName) {
        return ImageTypeFromExtension(fileName);
    }
    // A new codec for the type, or null when the factory has none.
    virtual std::unique_ptr<CImageCodec> CreateCodec(ImageType type) = 0;
    virtual ~CCodecFactory() = default;
};

// BMP and TGA by our own codecs, JPEG, GIF, TIFF, PNG and ICO by the system codec.
class CDefaultCodecFactory : public CCodecFactory {
  public:
    std::unique_ptr<CImageCodec> CreateCodec(ImageType type) override;

  private:
    CGdiplusGuard m_gdiplus;
};

// The conversion run's factory: as the default one, without ICO.
class CAppCodecFactory : public CCodecFactory {
  public:
    std::unique_ptr<CImageCodec> CreateCodec(ImageType type) override;
};

// Saves the image by the file name's extension through `factory` (not the current one), so a
// thread that must not touch the process-wide factory can save too. False, with the reason in
// imaging::LastImageFailure(), when no codec writes that type or the codec fails.
bool SaveImageFile(CCodecFactory& factory, CPixelImage& image, const char* fileName,
                   const CPropertyBag* properties);

// The current factory; the first call makes a CDefaultCodecFactory current.
CCodecFactory* GetCodecFactory();
// Makes factory current and takes ownership of it, deleting the previous one, unless it is
// null or already current. Returns the current factory.
CCodecFactory* SetCodecFactory(CCodecFactory* factory);
