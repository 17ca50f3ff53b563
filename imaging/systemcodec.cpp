#include "imaging/systemcodec.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <string>

#include "imaging/codecfactory.h"
#include "imaging/imageerror.h"

using namespace gdiplus;

namespace {

constexpr int kDefaultQuality = 80;

// Leading decimal digits with an optional sign, as the C library reads them; 0 when there
// are none. Saturates at the 32-bit limits.
std::int32_t ParseDecimal(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min<std::int64_t>(value * 10 + (text[i] - '0'), std::int64_t(1) << 32);
    if (negative) value = -value;
    return std::int32_t(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
}

enum class TagKind { None, Ascii, Rational, SignedRational, Short };

TagKind KindOfTag(std::int32_t tag) {
    switch (tag) {
        case 0x010F:
        case 0x0110:
        case 0x9003:
            return TagKind::Ascii;
        case 0x829A:
        case 0x829D:
        case 0x920A:
        case 0x9205:
            return TagKind::Rational;
        case 0x9204:
            return TagKind::SignedRational;
        case 0x8827:
        case 0x9209:
        case 0x9207:
        case 0x8822:
            return TagKind::Short;
        default:
            return TagKind::None;
    }
}

void AppendU32(std::vector<std::uint8_t>& bytes, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(std::uint8_t(v >> (8 * i)));
}

std::optional<PropertyItem> ItemFromText(std::int32_t tag, const std::string& text) {
    PropertyItem item;
    item.Id = std::uint32_t(tag);
    switch (KindOfTag(tag)) {
        case TagKind::Ascii:
            item.Type = PropertyTagTypeASCII;
            item.Value.assign(text.begin(), text.end());
            item.Value.push_back(0);
            return item;
        case TagKind::Rational:
        case TagKind::SignedRational: {
            const std::size_t slash = text.find('/');
            if (slash == std::string::npos) return std::nullopt;
            item.Type = KindOfTag(tag) == TagKind::Rational ? PropertyTagTypeRational
                                                            : PropertyTagTypeSRational;
            AppendU32(item.Value, std::uint32_t(ParseDecimal(text.substr(0, slash))));
            AppendU32(item.Value, std::uint32_t(ParseDecimal(text.substr(slash + 1))));
            return item;
        }
        case TagKind::Short: {
            const auto v = std::uint16_t(ParseDecimal(text));
            item.Type = PropertyTagTypeShort;
            item.Value = {std::uint8_t(v), std::uint8_t(v >> 8)};
            return item;
        }
        case TagKind::None:
            break;
    }
    return std::nullopt;
}

std::uint32_t U32At(std::span<const std::uint8_t> bytes, std::size_t offset) {
    std::uint32_t v;
    std::memcpy(&v, bytes.data() + offset, 4);
    return v;
}

std::string SixteenDigits(std::uint64_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "%016llu", static_cast<unsigned long long>(value));
    return text;
}

// The text an item stands for in the bag, or nothing for an item the bag does not carry.
std::optional<std::string> TextOfItem(const PropertyItem& item) {
    const std::span<const std::uint8_t> v(item.Value);
    switch (item.Type) {
        case PropertyTagTypeASCII: {
            const auto end = std::find(v.begin(), v.end(), 0);
            return std::string(v.begin(), end);
        }
        case PropertyTagTypeShort:
            if (v.size() != 2) return std::nullopt;
            return std::to_string(v[0] | v[1] << 8);
        case PropertyTagTypeLong:
            if (v.size() != 4) return std::nullopt;
            return std::to_string(U32At(v, 0));
        case PropertyTagTypeRational:
            if (v.size() != 8) return std::nullopt;
            return std::to_string(U32At(v, 0)) + "/" + std::to_string(U32At(v, 4));
        case PropertyTagTypeSRational:
            if (v.size() != 8) return std::nullopt;
            return std::to_string(std::int32_t(U32At(v, 0))) + "/" +
                   std::to_string(std::int32_t(U32At(v, 4)));
        default:
            return std::nullopt;
    }
}

void AppendFrameDelays(const PropertyItem& item, CPropertyBag& bag) {
    std::string delays = bag.Get(PROP_FRAME_DELAYS);
    for (std::size_t offset = 0; offset + 4 <= item.Value.size(); offset += 4)
        delays += SixteenDigits(std::uint64_t(U32At(item.Value, offset)) * 10);
    bag.Set(PROP_FRAME_DELAYS, delays);
}

bool AppendFrames(const CGdiplusBitmap& source, CImageList& images) {
    Bitmap& bitmap = *source.m_pBitmap;
    CImageList loaded;
    for (const Guid& dimension : bitmap.GetFrameDimensionsList()) {
        const unsigned count = bitmap.GetFrameCount(dimension);
        for (unsigned i = 0; i < count; ++i) {
            if (bitmap.SelectActiveFrame(dimension, i) != Status::Ok) continue;
            auto image = std::make_unique<CPixelImage>();
            if (ImageFromGdiplusBitmap(source, *image) && image->IsValid())
                loaded.push_back(image.release());
        }
    }
    images.insert(images.end(), loaded.begin(), loaded.end());
    return !loaded.empty();
}

bool LoadBitmap(CGdiplusBitmap& bitmap, CImageList& images,
                std::unique_ptr<CPropertyBag>& properties) {
    if (!bitmap.m_pBitmap || bitmap.m_lastStatus != Status::Ok) return false;
    std::unique_ptr<CPropertyBag> bag =
        PropertyBagFromItems(bitmap.m_pBitmap->GetAllPropertyItems());
    if (!AppendFrames(bitmap, images)) return false;
    properties = std::move(bag);
    return true;
}

}  // namespace

int SaveQualityFromProperties(const CPropertyBag* properties) {
    std::string text = properties ? properties->Get(PROP_QUALITY) : std::string();
    if (text.empty() && properties) text = properties->Get(kJpegQualityTag);
    int quality = kDefaultQuality;
    if (!text.empty() && text != "-1") quality = ParseDecimal(text);
    return std::clamp(quality, 1, 100);
}

std::vector<PropertyItem> PropertyItemsFromBag(const CPropertyBag& properties) {
    std::vector<PropertyItem> items;
    for (std::size_t i = 0; i < properties.GetCount(); ++i)
        if (auto item = ItemFromText(properties.GetKeyAt(i), properties.GetValueAt(i)))
            items.push_back(std::move(*item));
    return items;
}

std::unique_ptr<CPropertyBag> PropertyBagFromItems(const std::vector<PropertyItem>& items) {
    auto bag = std::make_unique<CPropertyBag>();
    for (const PropertyItem& item : items) {
        if (item.Type == PropertyTagTypeLong && item.Id == PropertyTagFrameDelay) {
            AppendFrameDelays(item, *bag);
        } else if (auto text = TextOfItem(item)) {
            bag->Set(std::int32_t(item.Id), *text);
        }
    }
    return bag;
}

bool CSystemCodec::SaveFile(const char* fileName, const CImageList& images,
                            const CPropertyBag* properties) {
    if (!fileName || images.empty() || !images.front() || !images.front()->IsValid()) return false;
    const ImageType type = ImageTypeFromExtension(fileName);
    CLSID encoder;
    if (!FindEncoderClsid(type, &encoder)) return false;

    std::int32_t quality = SaveQualityFromProperties(properties);
    EncoderParameters parameters;
    if (type == IMG_JPEG)
        parameters.Parameter.push_back(
            {EncoderQuality, 1, EncoderParameterValueTypeLong, &quality});

    const std::unique_ptr<CGdiplusBitmap> bitmap = GdiplusBitmapFromImage(*images.front());
    if (!bitmap || !bitmap->m_pBitmap) return false;
    if (properties)
        for (const PropertyItem& item : PropertyItemsFromBag(*properties))
            bitmap->m_pBitmap->SetPropertyItem(item);
    const EncoderParameters* used = parameters.Parameter.empty() ? nullptr : &parameters;
    const Status status = bitmap->m_pBitmap->Save(fileName, encoder, used);
    if (status == Status::Win32Error)
        imaging::SetImageFailure(imaging::ImageError::kCannotWrite, errno);
    else if (status != Status::Ok)
        imaging::SetImageFailure(imaging::ImageError::kEncoderFailed);
    return status == Status::Ok;
}

bool CSystemCodec::LoadFile(const char* fileName, CImageList& images,
                            std::unique_ptr<CPropertyBag>& properties) {
    if (!fileName) return false;
    CGdiplusBitmap bitmap;
    bitmap.m_lastStatus = Bitmap::CreateFromFile(fileName, &bitmap.m_pBitmap);
    return LoadBitmap(bitmap, images, properties);
}

bool CSystemCodec::LoadMemory(const BYTE* data, std::size_t length, CImageList& images,
                              std::unique_ptr<CPropertyBag>& properties) {
    if (!data || length == 0) return false;
    CGdiplusBitmap bitmap;
    bitmap.m_lastStatus = Bitmap::CreateFromMemory({data, length}, &bitmap.m_pBitmap);
    return LoadBitmap(bitmap, images, properties);
}
