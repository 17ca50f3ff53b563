#include "platform/gdiplus.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <new>
#include <set>
#include <unordered_map>

#include "platform/freeimagehandle.h"
#include "platform/surface.h"

namespace gdiplus {

struct Bitmap::Frame {
    int width = 0;
    int height = 0;
    PixelFormat format = PixelFormatUndefined;
    int stride = 0;
    std::vector<std::uint8_t> pixels;  // top row first
    ColorPalette palette;

    std::uint8_t* Row(int y) { return pixels.data() + std::size_t(y) * stride; }
    const std::uint8_t* Row(int y) const { return pixels.data() + std::size_t(y) * stride; }
};

struct Bitmap::Lock {
    Rect rect;
    unsigned flags = 0;
    std::vector<std::uint8_t> ownBuffer;
};

namespace {

const PixelFormat kKnownFormats[] = {
    PixelFormat1bppIndexed, PixelFormat4bppIndexed, PixelFormat8bppIndexed,
    PixelFormat16bppRGB555, PixelFormat16bppRGB565, PixelFormat16bppARGB1555,
    PixelFormat24bppRGB,    PixelFormat32bppRGB,    PixelFormat32bppARGB,
    PixelFormat32bppPARGB,  PixelFormat48bppRGB,    PixelFormat64bppARGB,
    PixelFormat64bppPARGB};

bool IsKnownFormat(PixelFormat format) {
    return std::find(std::begin(kKnownFormats), std::end(kKnownFormats), format) !=
           std::end(kKnownFormats);
}

int StrideFor(int width, int bpp) {
    return int((std::int64_t(width) * bpp + 31) / 32 * 4);
}

bool SizeIsAcceptable(int width, int height) {
    return width > 0 && height > 0 && width <= kMaxBitmapSide && height <= kMaxBitmapSide &&
           std::int64_t(width) * height <= kMaxBitmapPixels;
}

std::vector<ARGB> GreyRamp(int bpp) {
    const int count = 1 << bpp;
    const int step = 255 / (count - 1);
    std::vector<ARGB> entries(count);
    for (int i = 0; i < count; ++i) {
        const ARGB v = ARGB(i * step);
        entries[i] = 0xFF000000u | v << 16 | v << 8 | v;
    }
    return entries;
}

Status MakeFrame(int width, int height, PixelFormat format, Bitmap::Frame* frame) {
    if (!IsKnownFormat(format)) return Status::InvalidParameter;
    if (!SizeIsAcceptable(width, height)) return Status::InvalidParameter;
    const int bpp = GetPixelFormatSize(format);
    frame->width = width;
    frame->height = height;
    frame->format = format;
    frame->stride = StrideFor(width, bpp);
    try {
        frame->pixels.assign(std::size_t(frame->stride) * height, 0);
        frame->palette = {};
        if (IsIndexedPixelFormat(format)) frame->palette.Entries = GreyRamp(bpp);
    } catch (const std::bad_alloc&) {
        return Status::OutOfMemory;
    }
    return Status::Ok;
}

// ---- FreeImage conversions ----

constexpr unsigned kMask555[3] = {0x7C00, 0x03E0, 0x001F};
constexpr unsigned kMask565[3] = {0xF800, 0x07E0, 0x001F};

std::uint8_t Unpremultiply(std::uint8_t c, std::uint8_t a) {
    return a == 0 ? 0 : std::uint8_t(std::min(255, (c * 255 + a / 2) / a));
}
std::uint8_t Premultiply(std::uint8_t c, std::uint8_t a) {
    return std::uint8_t((c * a + 127) / 255);
}

void CopyRowsIntoFreeImage(const Bitmap::Frame& frame, FIBITMAP* dib) {
    const std::size_t rowBytes = std::min<std::size_t>(frame.stride, FreeImage_GetPitch(dib));
    for (int y = 0; y < frame.height; ++y)
        std::memcpy(FreeImage_GetScanLine(dib, frame.height - 1 - y), frame.Row(y), rowBytes);
}

// A FreeImage copy of a frame: indexed with its palette, 16-bit with the frame's masks,
// 24-bit, or 32-bit straight BGRA (no-alpha formats get opaque alpha).
FiBitmap ToFreeImage(const Bitmap::Frame& frame) {
    const int bpp = GetPixelFormatSize(frame.format);
    FiBitmap dib;
    switch (frame.format) {
        case PixelFormat16bppRGB565:
            dib.reset(FreeImage_AllocateT(FIT_BITMAP, frame.width, frame.height, 16, kMask565[0],
                                          kMask565[1], kMask565[2]));
            break;
        case PixelFormat16bppRGB555:
        case PixelFormat16bppARGB1555:
            dib.reset(FreeImage_AllocateT(FIT_BITMAP, frame.width, frame.height, 16, kMask555[0],
                                          kMask555[1], kMask555[2]));
            break;
        case PixelFormat48bppRGB:
        case PixelFormat64bppARGB:
        case PixelFormat64bppPARGB:
            return nullptr;
        default:
            dib.reset(FreeImage_Allocate(frame.width, frame.height, bpp, FI_RGBA_RED_MASK,
                                         FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK));
    }
    if (!dib) return nullptr;
    CopyRowsIntoFreeImage(frame, dib.get());
    if (IsIndexedPixelFormat(frame.format)) {
        RGBQUAD* palette = FreeImage_GetPalette(dib.get());
        const auto& entries = frame.palette.Entries;
        std::vector<BYTE> alpha(FreeImage_GetColorsUsed(dib.get()), 255);
        bool anyAlpha = false;
        for (std::size_t i = 0; i < alpha.size() && i < entries.size(); ++i) {
            palette[i].rgbBlue = BYTE(entries[i]);
            palette[i].rgbGreen = BYTE(entries[i] >> 8);
            palette[i].rgbRed = BYTE(entries[i] >> 16);
            alpha[i] = BYTE(entries[i] >> 24);
            anyAlpha |= alpha[i] != 255;
        }
        if (anyAlpha) FreeImage_SetTransparencyTable(dib.get(), alpha.data(), int(alpha.size()));
    } else if (frame.format == PixelFormat32bppRGB || frame.format == PixelFormat32bppPARGB) {
        const bool premultiplied = frame.format == PixelFormat32bppPARGB;
        for (int y = 0; y < frame.height; ++y) {
            BYTE* p = FreeImage_GetScanLine(dib.get(), y);
            for (int x = 0; x < frame.width; ++x, p += 4) {
                if (premultiplied) {
                    for (int c = 0; c < 3; ++c) p[c] = Unpremultiply(p[c], p[3]);
                } else {
                    p[3] = 255;
                }
            }
        }
    }
    return dib;
}

PixelFormat FormatOfFreeImage(FIBITMAP* dib) {
    switch (FreeImage_GetBPP(dib)) {
        case 1:
            return PixelFormat1bppIndexed;
        case 4:
            return PixelFormat4bppIndexed;
        case 8:
            return PixelFormat8bppIndexed;
        case 16:
            return FreeImage_GetGreenMask(dib) == kMask565[1] ? PixelFormat16bppRGB565
                                                              : PixelFormat16bppRGB555;
        case 24:
            return PixelFormat24bppRGB;
        case 32:
            return PixelFormat32bppARGB;
        default:
            return PixelFormatUndefined;
    }
}

Status FrameFromFreeImage(FIBITMAP* source, Bitmap::Frame* frame) {
    FiBitmap converted;
    FIBITMAP* dib = source;
    if (FreeImage_GetImageType(dib) != FIT_BITMAP) {
        converted.reset(FreeImage_ConvertToType(dib, FIT_BITMAP, TRUE));
        dib = converted.get();
    }
    if (dib && FormatOfFreeImage(dib) == PixelFormatUndefined) {
        converted.reset(FreeImage_ConvertTo32Bits(dib));
        dib = converted.get();
    }
    if (!dib) return Status::UnknownImageFormat;
    const int width = int(FreeImage_GetWidth(dib));
    const int height = int(FreeImage_GetHeight(dib));
    const PixelFormat format = FormatOfFreeImage(dib);
    if (Status s = MakeFrame(width, height, format, frame); s != Status::Ok) return s;
    const std::size_t rowBytes = std::min<std::size_t>(frame->stride, FreeImage_GetPitch(dib));
    for (int y = 0; y < height; ++y)
        std::memcpy(frame->Row(y), FreeImage_GetScanLine(dib, height - 1 - y), rowBytes);
    if (IsIndexedPixelFormat(format)) {
        const RGBQUAD* palette = FreeImage_GetPalette(dib);
        const BYTE* alpha =
            FreeImage_IsTransparent(dib) ? FreeImage_GetTransparencyTable(dib) : nullptr;
        const unsigned alphaCount = alpha ? FreeImage_GetTransparencyCount(dib) : 0;
        auto& entries = frame->palette.Entries;
        const unsigned count = std::min<unsigned>(FreeImage_GetColorsUsed(dib), entries.size());
        for (unsigned i = 0; palette && i < count; ++i) {
            const ARGB a = i < alphaCount ? alpha[i] : 255;
            entries[i] = a << 24 | ARGB(palette[i].rgbRed) << 16 | ARGB(palette[i].rgbGreen) << 8 |
                         palette[i].rgbBlue;
        }
        if (alphaCount) frame->palette.Flags |= PaletteFlagsHasAlpha;
    }
    return Status::Ok;
}

// ---- encoders ----

struct EncoderEntry {
    ImageCodecInfo info;
    FREE_IMAGE_FORMAT fif;
};

constexpr CLSID EncoderClsid(std::uint32_t last) {
    return CLSID{
        0x557CF400u | last, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
}

const std::vector<EncoderEntry>& Encoders() {
    static const std::vector<EncoderEntry> encoders = {
        {{EncoderClsid(0), "Built-in BMP Codec", "*.BMP;*.DIB;*.RLE", "image/bmp"}, FIF_BMP},
        {{EncoderClsid(1), "Built-in JPEG Codec", "*.JPG;*.JPEG;*.JPE;*.JFIF", "image/jpeg"},
         FIF_JPEG},
        {{EncoderClsid(2), "Built-in GIF Codec", "*.GIF", "image/gif"}, FIF_GIF},
        {{EncoderClsid(5), "Built-in TIFF Codec", "*.TIF;*.TIFF", "image/tiff"}, FIF_TIFF},
        {{EncoderClsid(6), "Built-in PNG Codec", "*.PNG", "image/png"}, FIF_PNG},
    };
    return encoders;
}

int JpegQuality(const EncoderParameters* parameters) {
    if (!parameters) return 75;
    for (const EncoderParameter& p : parameters->Parameter) {
        if (p.Id == EncoderQuality && p.Type == EncoderParameterValueTypeLong &&
            p.NumberOfValues >= 1 && p.Value) {
            std::int32_t quality;
            std::memcpy(&quality, p.Value, sizeof quality);
            return std::clamp(quality, 1, 100);
        }
    }
    return 75;
}

// A 24- or 32-bit picture of at most 256 colours as an 8-bit one with exactly those colours
// (alpha is left out, as the quantizer leaves it out); null when it holds more.
FiBitmap ExactPalette(FIBITMAP* dib) {
    const unsigned width = FreeImage_GetWidth(dib), height = FreeImage_GetHeight(dib);
    const unsigned bytesPerPixel = FreeImage_GetBPP(dib) / 8;
    std::unordered_map<std::uint32_t, BYTE> index;
    FiBitmap out(FreeImage_Allocate(static_cast<int>(width), static_cast<int>(height), 8));
    if (!out) return nullptr;
    RGBQUAD* palette = FreeImage_GetPalette(out.get());
    for (unsigned y = 0; y < height; ++y) {
        const BYTE* in = FreeImage_GetScanLine(dib, static_cast<int>(y));
        BYTE* row = FreeImage_GetScanLine(out.get(), static_cast<int>(y));
        for (unsigned x = 0; x < width; ++x, in += bytesPerPixel) {
            const std::uint32_t rgb = std::uint32_t(in[FI_RGBA_RED]) << 16 |
                                      std::uint32_t(in[FI_RGBA_GREEN]) << 8 | in[FI_RGBA_BLUE];
            auto [it, added] = index.try_emplace(rgb, static_cast<BYTE>(index.size()));
            if (added) {
                if (index.size() > 256) return nullptr;
                palette[it->second] = {in[FI_RGBA_BLUE], in[FI_RGBA_GREEN], in[FI_RGBA_RED], 0};
            }
            row[x] = it->second;
        }
    }
    return out;
}

// Brings a bitmap into a depth the format's writer takes: GIF keeps the exact colours of a
// picture that has at most 256 (Wu's quantizer gives up on some of those) and is otherwise
// reduced to 256 colours with Wu's quantizer (no dithering); JPEG gets 24 bits, PNG and TIFF
// get 24 bits instead of 16.
FiBitmap PrepareForFormat(FiBitmap dib, FREE_IMAGE_FORMAT fif) {
    const unsigned bpp = FreeImage_GetBPP(dib.get());
    if (fif == FIF_GIF && bpp > 8) {
        if (bpp == 16) dib.reset(FreeImage_ConvertTo24Bits(dib.get()));
        if (!dib) return nullptr;
        const bool plainRgb =
            FreeImage_GetImageType(dib.get()) == FIT_BITMAP &&
            (FreeImage_GetBPP(dib.get()) == 24 || FreeImage_GetBPP(dib.get()) == 32);
        if (FiBitmap exact = plainRgb ? ExactPalette(dib.get()) : nullptr) return exact;
        return FiBitmap(FreeImage_ColorQuantizeEx(dib.get(), FIQ_WUQUANT, 256));
    }
    const bool greyscale = bpp == 8 && FreeImage_GetColorType(dib.get()) == FIC_MINISBLACK;
    if (fif == FIF_JPEG && bpp != 24 && !greyscale)
        return FiBitmap(FreeImage_ConvertTo24Bits(dib.get()));
    if ((fif == FIF_PNG || fif == FIF_TIFF) && bpp == 16)
        return FiBitmap(FreeImage_ConvertTo24Bits(dib.get()));
    return dib;
}

// Removes what a failed write left at path: a regular file only, never a device or a folder.
void RemovePartialFile(const std::string& path) {
    struct stat info;
    if (lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) std::remove(path.c_str());
}

// FreeImage writes straight into the file through these; a short write is remembered.
struct OutputFile {
    std::FILE* file = nullptr;
    bool failed = false;
    int error = 0;  // errno of the first short write
};

unsigned DLL_CALLCONV ReadOutput(void* buffer, unsigned size, unsigned count, fi_handle handle) {
    return unsigned(std::fread(buffer, size, count, static_cast<OutputFile*>(handle)->file));
}
unsigned DLL_CALLCONV WriteOutput(void* buffer, unsigned size, unsigned count, fi_handle handle) {
    auto* out = static_cast<OutputFile*>(handle);
    // The GIF writer hands over empty blocks (size 0) at times; fwrite counts them as unwritten.
    if (size == 0 || count == 0) return count;
    const std::size_t written = std::fwrite(buffer, size, count, out->file);
    if (written != count && !out->failed) {
        out->failed = true;
        out->error = errno;
    }
    return unsigned(written);
}
// A seek writes out what is buffered first, so a full disk can show here rather than in a write.
int DLL_CALLCONV SeekOutput(fi_handle handle, long offset, int origin) {
    auto* out = static_cast<OutputFile*>(handle);
    const int result = std::fseek(out->file, offset, origin);
    if (result != 0 && !out->failed) {
        out->failed = true;
        out->error = errno;
    }
    return result;
}
long DLL_CALLCONV TellOutput(fi_handle handle) {
    return std::ftell(static_cast<OutputFile*>(handle)->file);
}

// Encodes dib into a new file at path; on any failure the partial file is removed. A file that
// cannot be opened, written or closed is a Win32Error with errno left as the system set it.
Status EncodeToFile(FREE_IMAGE_FORMAT fif, FIBITMAP* dib, const std::string& path, int flags) {
    OutputFile out;
    out.file = std::fopen(path.c_str(), "w+b");
    if (!out.file) return Status::Win32Error;
    FreeImageIO io{ReadOutput, WriteOutput, SeekOutput, TellOutput};
    const bool encoded = FreeImage_SaveToHandle(fif, dib, &io, &out, flags) == TRUE;
    const bool closed = std::fclose(out.file) == 0;
    if (encoded && closed && !out.failed) return Status::Ok;
    const int reason = out.failed ? out.error : errno;
    RemovePartialFile(path);
    errno = reason;
    return out.failed || !closed ? Status::Win32Error : Status::GenericError;
}

// ---- decoding ----

std::uint32_t FrameTimeOf(FIBITMAP* page) {
    FITAG* tag = nullptr;
    if (!FreeImage_GetMetadata(FIMD_ANIMATION, page, "FrameTime", &tag) || !tag) return 0;
    if (FreeImage_GetTagType(tag) != FIDT_LONG || FreeImage_GetTagCount(tag) < 1) return 0;
    std::uint32_t ms;
    std::memcpy(&ms, FreeImage_GetTagValue(tag), sizeof ms);
    return ms;
}

PropertyItem LongsItem(std::uint32_t id, const std::vector<std::uint32_t>& values) {
    PropertyItem item{id, PropertyTagTypeLong, {}};
    item.Value.resize(values.size() * 4);
    if (!values.empty()) std::memcpy(item.Value.data(), values.data(), item.Value.size());
    return item;
}

// Every page of a multi-page file. GIF pages are played (composited over the earlier ones at
// the full screen size) when there is more than one; their delays become a FrameDelay item.
Status DecodePages(FIMEMORY* memory, FREE_IMAGE_FORMAT fif, std::vector<Bitmap::Frame>* frames,
                   std::vector<PropertyItem>* properties) {
    FiMultiBitmap raw(FreeImage_LoadMultiBitmapFromMemory(fif, memory, 0));
    if (!raw) return Status::UnknownImageFormat;
    const int pages = FreeImage_GetPageCount(raw.get());
    if (pages <= 0) return Status::UnknownImageFormat;
    FiMultiBitmap played;
    if (fif == FIF_GIF && pages > 1)
        played.reset(FreeImage_LoadMultiBitmapFromMemory(fif, memory, GIF_PLAYBACK));
    std::vector<std::uint32_t> delays;
    for (int i = 0; i < pages; ++i) {
        FiLockedPage page(raw.get(), i);
        if (!page.get()) return Status::UnknownImageFormat;
        delays.push_back(FrameTimeOf(page.get()) / 10);
        Bitmap::Frame frame;
        Status status;
        if (played) {
            FiLockedPage composed(played.get(), i);
            if (!composed.get()) return Status::UnknownImageFormat;
            status = FrameFromFreeImage(composed.get(), &frame);
        } else {
            status = FrameFromFreeImage(page.get(), &frame);
        }
        if (status != Status::Ok) return status;
        frames->push_back(std::move(frame));
    }
    if (fif == FIF_GIF) properties->push_back(LongsItem(PropertyTagFrameDelay, delays));
    return Status::Ok;
}

// The tokens handed out and not yet returned. Never destroyed, so that guards that live
// until process exit (the codec factory's) can still return theirs.
struct StartupRegistry {
    std::mutex mutex;
    std::set<StartupToken> live;
    StartupToken next = 1;
};

StartupRegistry& Registry() {
    static StartupRegistry* registry = new StartupRegistry;
    return *registry;
}

// The file formats the stand-in decodes: those the library's own decoders read. Others that
// FreeImage would recognise are refused rather than handed to less-used decoders.
bool IsDecodedFormat(FREE_IMAGE_FORMAT fif) {
    switch (fif) {
        case FIF_BMP:
        case FIF_GIF:
        case FIF_JPEG:
        case FIF_PNG:
        case FIF_TIFF:
        case FIF_ICO:
            return true;
        default:
            return false;
    }
}

}  // namespace

const char* StatusName(Status status) {
    switch (status) {
        case Status::Ok:
            return "Ok";
        case Status::GenericError:
            return "GenericError";
        case Status::InvalidParameter:
            return "InvalidParameter";
        case Status::OutOfMemory:
            return "OutOfMemory";
        case Status::NotImplemented:
            return "NotImplemented";
        case Status::Win32Error:
            return "Win32Error";
        case Status::WrongState:
            return "WrongState";
        case Status::FileNotFound:
            return "FileNotFound";
        case Status::ValueOverflow:
            return "ValueOverflow";
        case Status::UnknownImageFormat:
            return "UnknownImageFormat";
        case Status::PropertyNotFound:
            return "PropertyNotFound";
    }
    return "unknown status";
}

int GetPixelFormatSize(PixelFormat format) {
    return IsKnownFormat(format) ? (format >> 8) & 0xFF : 0;
}

bool IsIndexedPixelFormat(PixelFormat format) {
    return (format & 0x10000) != 0;
}

std::vector<ImageCodecInfo> GetImageEncoders() {
    std::vector<ImageCodecInfo> infos;
    for (const EncoderEntry& e : Encoders()) infos.push_back(e.info);
    return infos;
}

Status GdiplusStartup(StartupToken* token) {
    if (!token) return Status::InvalidParameter;
    StartupRegistry& registry = Registry();
    std::lock_guard lock(registry.mutex);
    *token = registry.next++;
    registry.live.insert(*token);
    return Status::Ok;
}

void GdiplusShutdown(StartupToken token) {
    StartupRegistry& registry = Registry();
    std::lock_guard lock(registry.mutex);
    registry.live.erase(token);
}

int GdiplusStartupCount() {
    StartupRegistry& registry = Registry();
    std::lock_guard lock(registry.mutex);
    return int(registry.live.size());
}

// ---- Bitmap ----

Bitmap::Bitmap() = default;
Bitmap::~Bitmap() = default;

Bitmap::Frame& Bitmap::Active() {
    return frames_[active_];
}
const Bitmap::Frame& Bitmap::Active() const {
    return frames_[active_];
}

Status Bitmap::CreateFromScan0(int width, int height, PixelFormat format,
                               std::unique_ptr<Bitmap>* out) {
    if (!out) return Status::InvalidParameter;
    std::unique_ptr<Bitmap> bitmap(new (std::nothrow) Bitmap);
    if (!bitmap) return Status::OutOfMemory;
    Frame frame;
    if (Status s = MakeFrame(width, height, format, &frame); s != Status::Ok) return s;
    bitmap->frames_.push_back(std::move(frame));
    *out = std::move(bitmap);
    return Status::Ok;
}

Status Bitmap::CreateFromSurface(const CSurface& surface, std::unique_ptr<Bitmap>* out) {
    if (!surface.IsValid()) return Status::InvalidParameter;
    std::unique_ptr<Bitmap> bitmap;
    Status s = CreateFromScan0(surface.Width(), surface.Height(), PixelFormat32bppRGB, &bitmap);
    if (s != Status::Ok) return s;
    Frame& frame = bitmap->Active();
    for (int y = 0; y < frame.height; ++y)
        std::memcpy(frame.Row(y), surface.Row(y), std::size_t(frame.width) * 4);
    *out = std::move(bitmap);
    return Status::Ok;
}

Status Bitmap::CreateFromFile(const std::string& path, std::unique_ptr<Bitmap>* out) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return Status::FileNotFound;
    const std::streamoff size = in.tellg();
    if (size <= 0 || std::uint64_t(size) > kMaxImageFileBytes) return Status::UnknownImageFormat;
    std::vector<std::uint8_t> bytes;
    try {
        bytes.resize(std::size_t(size));
    } catch (const std::bad_alloc&) {
        return Status::OutOfMemory;
    }
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) return Status::Win32Error;
    return CreateFromMemory(bytes, out);
}

Status Bitmap::CreateFromMemory(std::span<const std::uint8_t> bytes, std::unique_ptr<Bitmap>* out) {
    if (!out || bytes.empty()) return Status::InvalidParameter;
    if (bytes.size() > kMaxImageFileBytes) return Status::UnknownImageFormat;
    FiMemory memory(FreeImage_OpenMemory(const_cast<BYTE*>(bytes.data()), DWORD(bytes.size())));
    if (!memory) return Status::OutOfMemory;
    const FREE_IMAGE_FORMAT fif = FreeImage_GetFileTypeFromMemory(memory.get(), 0);
    if (!IsDecodedFormat(fif)) return Status::UnknownImageFormat;
    std::unique_ptr<Bitmap> bitmap(new (std::nothrow) Bitmap);
    if (!bitmap) return Status::OutOfMemory;
    Status status;
    if (fif == FIF_GIF || fif == FIF_TIFF || fif == FIF_ICO) {
        status = DecodePages(memory.get(), fif, &bitmap->frames_, &bitmap->properties_);
        if (fif == FIF_GIF) bitmap->dimension_ = FrameDimensionTime;
    } else {
        FiBitmap dib(FreeImage_LoadFromMemory(fif, memory.get(), 0));
        if (!dib) return Status::UnknownImageFormat;
        Frame frame;
        status = FrameFromFreeImage(dib.get(), &frame);
        bitmap->frames_.push_back(std::move(frame));
    }
    if (status != Status::Ok) return status;
    *out = std::move(bitmap);
    return Status::Ok;
}

int Bitmap::GetWidth() const {
    return Active().width;
}
int Bitmap::GetHeight() const {
    return Active().height;
}
PixelFormat Bitmap::GetPixelFormat() const {
    return Active().format;
}

Status Bitmap::LockBits(const Rect& rect, unsigned flags, PixelFormat format, BitmapData* data) {
    if (lock_) return Status::WrongState;
    const Frame& frame = Active();
    if (!data || rect.X < 0 || rect.Y < 0 || rect.Width <= 0 || rect.Height <= 0 ||
        rect.X > frame.width - rect.Width || rect.Y > frame.height - rect.Height)
        return Status::InvalidParameter;
    if ((flags & (ImageLockModeRead | ImageLockModeWrite)) == 0) return Status::InvalidParameter;
    if (format != frame.format) return Status::InvalidParameter;
    const int bpp = GetPixelFormatSize(format);
    if ((std::int64_t(rect.X) * bpp) % 8 != 0) return Status::NotImplemented;
    const std::size_t rowBytes = (std::size_t(rect.Width) * bpp + 7) / 8;
    const std::size_t firstByte = std::size_t(rect.X) * bpp / 8;

    auto lock = std::make_unique<Lock>();
    lock->rect = rect;
    lock->flags = flags;
    if (flags & ImageLockModeUserInputBuf) {
        if (!data->Scan0 || std::size_t(std::abs(std::int64_t(data->Stride))) < rowBytes)
            return Status::InvalidParameter;
    } else {
        const int ownStride = StrideFor(rect.Width, bpp);
        try {
            lock->ownBuffer.resize(std::size_t(ownStride) * rect.Height);
        } catch (const std::bad_alloc&) {
            return Status::OutOfMemory;
        }
        data->Scan0 = lock->ownBuffer.data();
        data->Stride = ownStride;
    }
    data->Width = unsigned(rect.Width);
    data->Height = unsigned(rect.Height);
    data->Format = format;
    if (flags & ImageLockModeRead) {
        auto* target = static_cast<std::uint8_t*>(data->Scan0);
        for (int r = 0; r < rect.Height; ++r)
            std::memcpy(target + std::ptrdiff_t(r) * data->Stride,
                        frame.Row(rect.Y + r) + firstByte, rowBytes);
    }
    lock_ = std::move(lock);
    return Status::Ok;
}

Status Bitmap::UnlockBits(BitmapData* data) {
    if (!lock_) return Status::WrongState;
    if (!data || !data->Scan0) return Status::InvalidParameter;
    std::unique_ptr<Lock> lock = std::move(lock_);
    if (lock->flags & ImageLockModeWrite) {
        Frame& frame = Active();
        const int bpp = GetPixelFormatSize(frame.format);
        const Rect& rect = lock->rect;
        const std::size_t rowBytes = (std::size_t(rect.Width) * bpp + 7) / 8;
        const std::size_t firstByte = std::size_t(rect.X) * bpp / 8;
        const auto* source = static_cast<const std::uint8_t*>(data->Scan0);
        for (int r = 0; r < rect.Height; ++r)
            std::memcpy(frame.Row(rect.Y + r) + firstByte,
                        source + std::ptrdiff_t(r) * data->Stride, rowBytes);
    }
    return Status::Ok;
}

Status Bitmap::GetPalette(ColorPalette* palette) const {
    if (!palette) return Status::InvalidParameter;
    *palette = Active().palette;
    return Status::Ok;
}

Status Bitmap::SetPalette(const ColorPalette& palette) {
    Frame& frame = Active();
    if (!IsIndexedPixelFormat(frame.format)) return Status::InvalidParameter;
    if (palette.Entries.empty() || palette.Entries.size() > 256) return Status::InvalidParameter;
    frame.palette = palette;
    return Status::Ok;
}

Status Bitmap::SetPropertyItem(const PropertyItem& item) {
    auto same = [&](const PropertyItem& p) { return p.Id == item.Id; };
    auto it = std::find_if(properties_.begin(), properties_.end(), same);
    if (it != properties_.end())
        *it = item;
    else
        properties_.push_back(item);
    return Status::Ok;
}

std::vector<Guid> Bitmap::GetFrameDimensionsList() const {
    return {dimension_};
}

unsigned Bitmap::GetFrameCount(const Guid& dimension) const {
    return dimension == dimension_ ? unsigned(frames_.size()) : 0;
}

Status Bitmap::SelectActiveFrame(const Guid& dimension, unsigned index) {
    if (lock_) return Status::WrongState;
    if (!(dimension == dimension_) || index >= frames_.size()) return Status::InvalidParameter;
    active_ = index;
    return Status::Ok;
}

Status Bitmap::Save(const std::string& path, const CLSID& encoder,
                    const EncoderParameters* parameters) const {
    const auto& encoders = Encoders();
    auto it = std::find_if(encoders.begin(), encoders.end(),
                           [&](const EncoderEntry& e) { return e.info.Clsid == encoder; });
    if (it == encoders.end()) return Status::FileNotFound;
    if (path.empty()) return Status::InvalidParameter;
    FiBitmap dib = ToFreeImage(Active());
    if (!dib) return Status::NotImplemented;
    dib = PrepareForFormat(std::move(dib), it->fif);
    if (!dib) return Status::OutOfMemory;
    const int flags = it->fif == FIF_JPEG ? JpegQuality(parameters) : 0;
    return EncodeToFile(it->fif, dib.get(), path, flags);
}

// ---- Graphics ----

Status Graphics::FromImage(Bitmap* image, std::unique_ptr<Graphics>* out) {
    if (!image || !out) return Status::InvalidParameter;
    const PixelFormat format = image->GetPixelFormat();
    if (IsIndexedPixelFormat(format)) return Status::OutOfMemory;
    if (GetPixelFormatSize(format) > 32) return Status::NotImplemented;
    out->reset(new (std::nothrow) Graphics(image));
    return *out ? Status::Ok : Status::OutOfMemory;
}

Status Graphics::SetInterpolationMode(InterpolationMode mode) {
    if (mode < InterpolationModeDefault || mode > InterpolationModeHighQualityBicubic)
        return Status::InvalidParameter;
    mode_ = mode;
    return Status::Ok;
}

namespace {

FREE_IMAGE_FILTER FilterFor(InterpolationMode mode) {
    switch (mode) {
        case InterpolationModeHighQuality:
        case InterpolationModeBicubic:
        case InterpolationModeHighQualityBicubic:
            return FILTER_CATMULLROM;
        case InterpolationModeNearestNeighbor:
            return FILTER_BOX;
        default:
            return FILTER_BILINEAR;
    }
}

// Converts a scaled picture (24 or 32 bits) to the layout of a target format.
FiBitmap ConvertForTarget(FIBITMAP* scaled, PixelFormat format) {
    switch (format) {
        case PixelFormat16bppRGB565:
            return FiBitmap(FreeImage_ConvertTo16Bits565(scaled));
        case PixelFormat16bppRGB555:
        case PixelFormat16bppARGB1555:
            return FiBitmap(FreeImage_ConvertTo16Bits555(scaled));
        case PixelFormat24bppRGB:
            return FiBitmap(FreeImage_ConvertTo24Bits(scaled));
        default:
            return FiBitmap(FreeImage_ConvertTo32Bits(scaled));
    }
}

}  // namespace

Status Graphics::DrawImage(const Bitmap& image, const Rect& destination, const Rect& source,
                           Unit unit) {
    if (unit != UnitPixel) return Status::NotImplemented;
    const Bitmap::Frame& from = image.Active();
    if (source.X < 0 || source.Y < 0 || source.Width <= 0 || source.Height <= 0 ||
        source.X > from.width - source.Width || source.Y > from.height - source.Height)
        return Status::InvalidParameter;
    if (!SizeIsAcceptable(destination.Width, destination.Height)) return Status::InvalidParameter;
    if (target_->lock_) return Status::WrongState;

    FiBitmap dib = ToFreeImage(from);
    if (!dib) return Status::NotImplemented;
    FiBitmap scaled(FreeImage_RescaleRect(dib.get(), destination.Width, destination.Height,
                                          source.X, source.Y, source.X + source.Width,
                                          source.Y + source.Height, FilterFor(mode_)));
    if (!scaled) return Status::OutOfMemory;
    Bitmap::Frame& to = target_->Active();
    FiBitmap converted = ConvertForTarget(scaled.get(), to.format);
    if (!converted) return Status::OutOfMemory;

    const int bytesPerPixel = GetPixelFormatSize(to.format) / 8;
    const int left = std::max(0, destination.X);
    const int right =
        int(std::min<std::int64_t>(to.width, std::int64_t(destination.X) + destination.Width));
    const int top = std::max(0, destination.Y);
    const int bottom =
        int(std::min<std::int64_t>(to.height, std::int64_t(destination.Y) + destination.Height));
    if (left >= right || top >= bottom) return Status::Ok;
    const bool premultiply = to.format == PixelFormat32bppPARGB;
    for (int y = top; y < bottom; ++y) {
        const BYTE* src =
            FreeImage_GetScanLine(converted.get(), destination.Height - 1 - (y - destination.Y)) +
            std::size_t(left - destination.X) * bytesPerPixel;
        std::uint8_t* dst = to.Row(y) + std::size_t(left) * bytesPerPixel;
        std::memcpy(dst, src, std::size_t(right - left) * bytesPerPixel);
        if (premultiply)
            for (int x = 0; x < right - left; ++x, dst += 4)
                for (int c = 0; c < 3; ++c) dst[c] = Premultiply(dst[c], dst[3]);
    }
    return Status::Ok;
}

}  // namespace gdiplus
