#include "imaging/codecfactory.h"

#include <cstring>
#include <string>

#include "imaging/bmpcodec.h"
#include "imaging/imageerror.h"
#include "imaging/systemcodec.h"
#include "imaging/tgacodec.h"

namespace {

struct ExtensionEntry {
    const char* extension;
    ImageType type;
};

// Searched in this order; the first equal extension wins.
constexpr ExtensionEntry kExtensions[] = {
    {"jpg", IMG_JPEG}, {"jpeg", IMG_JPEG}, {"gif", IMG_GIF},   {"png", IMG_PNG}, {"bmp", IMG_BMP},
    {"pcx", IMG_PCX},  {"tif", IMG_TIFF},  {"tiff", IMG_TIFF}, {"tga", IMG_TGA}, {"ico", IMG_ICO},
    {"psd", IMG_PSD},  {"xpm", IMG_XPM},   {"ntu", IMG_NTU},
};

std::string LowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

std::unique_ptr<CImageCodec> CreateCommonCodec(ImageType type) {
    switch (type) {
        case IMG_BMP:
            return std::make_unique<CBmpCodec>();
        case IMG_TGA:
            return std::make_unique<CTgaCodec>();
        case IMG_JPEG:
        case IMG_GIF:
        case IMG_TIFF:
        case IMG_PNG:
            return std::make_unique<CSystemCodec>();
        default:
            return nullptr;
    }
}

std::unique_ptr<CCodecFactory>& CurrentFactory() {
    static std::unique_ptr<CCodecFactory> current;
    return current;
}

}  // namespace

ImageType ImageTypeFromExtension(const char* fileName) {
    if (!fileName) return IMG_UNKNOWN;
    const char* dot = std::strrchr(fileName, '.');
    const std::string extension = LowerAscii(dot ? dot + 1 : "");
    for (const ExtensionEntry& e : kExtensions)
        if (extension == e.extension) return e.type;
    return IMG_UNKNOWN;
}

std::unique_ptr<CImageCodec> CDefaultCodecFactory::CreateCodec(ImageType type) {
    if (type == IMG_ICO) return std::make_unique<CSystemCodec>();
    return CreateCommonCodec(type);
}

std::unique_ptr<CImageCodec> CAppCodecFactory::CreateCodec(ImageType type) {
    return CreateCommonCodec(type);
}

CCodecFactory* GetCodecFactory() {
    std::unique_ptr<CCodecFactory>& current = CurrentFactory();
    if (!current) current = std::make_unique<CDefaultCodecFactory>();
    return current.get();
}

CCodecFactory* SetCodecFactory(CCodecFactory* factory) {
    CCodecFactory* current = GetCodecFactory();
    if (factory && factory != current) CurrentFactory().reset(factory);
    return GetCodecFactory();
}

bool CPixelImage::SaveToFile(const char* fileName, int quality) {
    CPropertyBag properties;
    properties.Set(PROP_QUALITY, std::to_string(quality));
    return SaveWithProperties(fileName, &properties);
}

bool SaveImageFile(CCodecFactory& factory, CPixelImage& image, const char* fileName,
                   const CPropertyBag* properties) {
    using imaging::ImageError;
    imaging::ClearImageFailure();
    if (!image.IsValid() || !fileName) {
        imaging::SetImageFailure(ImageError::kNoImage);
        return false;
    }
    std::unique_ptr<CImageCodec> codec =
        factory.CreateCodec(factory.ImageTypeFromFileName(fileName));
    if (!codec) {
        imaging::SetImageFailure(ImageError::kNoCodec);
        return false;
    }
    const CImageList images{&image};
    if (codec->SaveFile(fileName, images, properties)) return true;
    if (imaging::LastImageFailure().error == ImageError::kNone)
        imaging::SetImageFailure(ImageError::kEncoderFailed);
    return false;
}

bool CPixelImage::SaveWithProperties(const char* fileName, const CPropertyBag* properties) {
    return SaveImageFile(*GetCodecFactory(), *this, fileName, properties);
}
