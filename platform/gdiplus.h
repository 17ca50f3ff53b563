// The GDI+ stand-in: bitmaps in the GDI+ pixel formats, row locking into caller buffers,
// palettes, property items, interpolated drawing of a source rectangle, and encoders chosen by
// MIME type. FreeImage does the file formats and the scaling; nothing here includes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

class CSurface;

namespace gdiplus {

enum class Status {
    Ok = 0,
    GenericError = 1,
    InvalidParameter = 2,
    OutOfMemory = 3,
    NotImplemented = 6,
    Win32Error = 7,
    WrongState = 8,
    FileNotFound = 10,
    ValueOverflow = 11,
    UnknownImageFormat = 13,
    PropertyNotFound = 19,
};
const char* StatusName(Status status);

using PixelFormat = std::int32_t;
constexpr PixelFormat PixelFormatUndefined = 0;
constexpr PixelFormat PixelFormat1bppIndexed = 0x30101;
constexpr PixelFormat PixelFormat4bppIndexed = 0x30402;
constexpr PixelFormat PixelFormat8bppIndexed = 0x30803;
constexpr PixelFormat PixelFormat16bppRGB555 = 0x21005;
constexpr PixelFormat PixelFormat16bppRGB565 = 0x21006;
constexpr PixelFormat PixelFormat16bppARGB1555 = 0x61007;
constexpr PixelFormat PixelFormat24bppRGB = 0x21808;
constexpr PixelFormat PixelFormat32bppRGB = 0x22009;
constexpr PixelFormat PixelFormat32bppARGB = 0x26200A;
constexpr PixelFormat PixelFormat32bppPARGB = 0xE200B;
constexpr PixelFormat PixelFormat48bppRGB = 0x10300C;
constexpr PixelFormat PixelFormat64bppARGB = 0x34400D;
constexpr PixelFormat PixelFormat64bppPARGB = 0x1A400E;

// Bits per pixel of a format (0 for an unknown one).
int GetPixelFormatSize(PixelFormat format);
bool IsIndexedPixelFormat(PixelFormat format);

using ARGB = std::uint32_t;

struct Rect {
    int X = 0;
    int Y = 0;
    int Width = 0;
    int Height = 0;
};

enum ImageLockMode : unsigned {
    ImageLockModeRead = 1,
    ImageLockModeWrite = 2,
    ImageLockModeUserInputBuf = 4,
};

// What LockBits fills in, or, with ImageLockModeUserInputBuf, what the caller supplies:
// Scan0 points at the first row of the locked rectangle, Stride bytes apart (may be negative).
struct BitmapData {
    unsigned Width = 0;
    unsigned Height = 0;
    int Stride = 0;
    PixelFormat Format = PixelFormatUndefined;
    void* Scan0 = nullptr;
};

enum PaletteFlags : unsigned { PaletteFlagsHasAlpha = 1, PaletteFlagsGrayScale = 2 };

struct ColorPalette {
    unsigned Flags = 0;
    std::vector<ARGB> Entries;  // Count is Entries.size()
};

enum PropertyTagType : std::uint16_t {
    PropertyTagTypeByte = 1,
    PropertyTagTypeASCII = 2,
    PropertyTagTypeShort = 3,
    PropertyTagTypeLong = 4,
    PropertyTagTypeRational = 5,
    PropertyTagTypeUndefined = 7,
    PropertyTagTypeSLONG = 9,
    PropertyTagTypeSRational = 10,
};
constexpr std::uint32_t PropertyTagFrameDelay = 0x5100;  // longs, hundredths of a second
constexpr std::uint32_t PropertyTagLoopCount = 0x5101;   // short

struct PropertyItem {
    std::uint32_t Id = 0;
    std::uint16_t Type = 0;
    std::vector<std::uint8_t> Value;  // Length is Value.size()
};

struct Guid {
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::uint8_t Data4[8] = {};
    friend bool operator==(const Guid&, const Guid&) = default;
};
using CLSID = Guid;

constexpr Guid FrameDimensionTime{
    0x6AEDBD6D, 0x3FB5, 0x418A, {0x83, 0xA6, 0x7F, 0x45, 0x22, 0x9D, 0xC8, 0x72}};
constexpr Guid FrameDimensionPage{
    0x7462DC86, 0x6180, 0x4C7E, {0x8E, 0x3F, 0xEE, 0x73, 0x33, 0xA7, 0xA4, 0x83}};
constexpr Guid EncoderQuality{
    0x1D5BE4B5, 0xFA4A, 0x452D, {0x9C, 0xDD, 0x5D, 0xB3, 0x51, 0x05, 0xE7, 0xEB}};

struct ImageCodecInfo {
    CLSID Clsid;
    std::string CodecName;
    std::string FilenameExtension;
    std::string MimeType;
};
// The installed encoders, in a fixed order: BMP, JPEG, GIF, TIFF, PNG.
std::vector<ImageCodecInfo> GetImageEncoders();

constexpr std::uint32_t EncoderParameterValueTypeLong = 4;

struct EncoderParameter {
    Guid Id;  // the parameter's GUID, e.g. EncoderQuality
    std::uint32_t NumberOfValues = 0;
    std::uint32_t Type = 0;
    const void* Value = nullptr;
};
struct EncoderParameters {
    std::vector<EncoderParameter> Parameter;
};

enum InterpolationMode {
    InterpolationModeDefault = 0,
    InterpolationModeLowQuality = 1,
    InterpolationModeHighQuality = 2,
    InterpolationModeBilinear = 3,
    InterpolationModeBicubic = 4,
    InterpolationModeNearestNeighbor = 5,
    InterpolationModeHighQualityBilinear = 6,
    InterpolationModeHighQualityBicubic = 7,
};

enum Unit { UnitPixel = 2 };

// The library's start-up token. The stand-in needs no start-up to work; the tokens only
// record who holds the library open, so start-up and shut-down can be checked in pairs.
using StartupToken = std::uintptr_t;
Status GdiplusStartup(StartupToken* token);
void GdiplusShutdown(StartupToken token);
int GdiplusStartupCount();

// Largest bitmap side and pixel count the stand-in creates or decodes.
constexpr int kMaxBitmapSide = 65535;
constexpr std::int64_t kMaxBitmapPixels = 16384LL * 16384LL;
// Largest file the stand-in decodes.
constexpr std::size_t kMaxImageFileBytes = 512u << 20;

class Bitmap {
  public:
    // A zeroed bitmap (the palette of an indexed one is the grey ramp, as GDI+ gives).
    static Status CreateFromScan0(int width, int height, PixelFormat format,
                                  std::unique_ptr<Bitmap>* out);
    // A copy of a 32-bit surface reported as PixelFormat32bppRGB: its alpha bytes do not count.
    static Status CreateFromSurface(const CSurface& surface, std::unique_ptr<Bitmap>* out);
    // Decodes a file (every frame of GIF and TIFF files; GIF frame delays become the
    // PropertyTagFrameDelay item).
    static Status CreateFromFile(const std::string& path, std::unique_ptr<Bitmap>* out);
    static Status CreateFromMemory(std::span<const std::uint8_t> bytes,
                                   std::unique_ptr<Bitmap>* out);

    ~Bitmap();
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    int GetWidth() const;
    int GetHeight() const;
    PixelFormat GetPixelFormat() const;

    // Copies the rectangle's rows in the bitmap's own format: with ImageLockModeUserInputBuf
    // into (read) or, at UnlockBits, out of (write) the caller's buffer; otherwise data
    // receives a buffer of the stand-in's own until UnlockBits. One lock at a time.
    Status LockBits(const Rect& rect, unsigned flags, PixelFormat format, BitmapData* data);
    Status UnlockBits(BitmapData* data);

    Status GetPalette(ColorPalette* palette) const;
    Status SetPalette(const ColorPalette& palette);

    Status SetPropertyItem(const PropertyItem& item);
    const std::vector<PropertyItem>& GetAllPropertyItems() const { return properties_; }

    std::vector<Guid> GetFrameDimensionsList() const;
    unsigned GetFrameCount(const Guid& dimension) const;
    Status SelectActiveFrame(const Guid& dimension, unsigned index);

    // Encodes the active frame with the encoder of that class identifier; the only parameter
    // understood is EncoderQuality (JPEG). A failed save leaves no file behind.
    Status Save(const std::string& path, const CLSID& encoder,
                const EncoderParameters* parameters) const;

    struct Frame;

  private:
    friend class Graphics;
    Bitmap();
    Frame& Active();
    const Frame& Active() const;

    std::vector<Frame> frames_;
    std::size_t active_ = 0;
    Guid dimension_ = FrameDimensionPage;
    std::vector<PropertyItem> properties_;
    struct Lock;
    std::unique_ptr<Lock> lock_;
};

// A drawing context on a bitmap of 16, 24 or 32 bits per pixel (indexed bitmaps have none).
class Graphics {
  public:
    static Status FromImage(Bitmap* image, std::unique_ptr<Graphics>* out);

    Status SetInterpolationMode(InterpolationMode mode);
    // Scales the source rectangle of image into the destination rectangle, replacing the
    // pixels there (the picture is clipped to the target bitmap). The bicubic modes are
    // Catmull-Rom, the bilinear and default modes bilinear, nearest neighbour a box filter.
    Status DrawImage(const Bitmap& image, const Rect& destination, const Rect& source, Unit unit);

  private:
    explicit Graphics(Bitmap* target) : target_(target) {}
    Bitmap* target_;
    InterpolationMode mode_ = InterpolationModeDefault;
};

}  // namespace gdiplus
