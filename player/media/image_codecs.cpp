#include "player/media/image_codecs.h"

#include <gif_lib.h>
#include <jerror.h>
#include <png.h>
#include <setjmp.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

namespace media {
namespace {

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

bool StartsWith(std::span<const std::uint8_t> data, std::initializer_list<std::uint8_t> bytes) {
    if (data.size() < bytes.size()) return false;
    return std::equal(bytes.begin(), bytes.end(), data.begin());
}

bool HasErroneousJpegPrefix(std::span<const std::uint8_t> data) {
    return StartsWith(data, {0xFF, 0xD9, 0xFF, 0xD8});
}

std::span<const std::uint8_t> StripErroneousJpegPrefixes(std::span<const std::uint8_t> data) {
    while (HasErroneousJpegPrefix(data)) data = data.subspan(4);
    return data;
}

bool IsStandaloneMarker(std::uint8_t marker) {
    return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7);
}

// Offset of the first marker after entropy-coded data starting at `pos`.
std::size_t SkipEntropyData(std::span<const std::uint8_t> data, std::size_t pos) {
    while (pos + 1 < data.size()) {
        if (data[pos] == 0xFF && data[pos + 1] != 0x00 && data[pos + 1] != 0xFF &&
            !(data[pos + 1] >= 0xD0 && data[pos + 1] <= 0xD7))
            return pos;
        ++pos;
    }
    return data.size();
}

// ---- JPEG ----------------------------------------------------------------------------------

struct JpegErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
    int dataEndedAtRow;  // output row at which the scan data ran out, or -1
    int maxScans;        // a progressive JPEG may declare any number of scans
    char message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    longjmp(err->jump, 1);
}

// Notes where the data ran out: the end of the buffer, or a marker (such as the end-of-image
// marker the joiner supplies) inside a scan. libjpeg fills the rest with grey.
void JpegEmitMessage(j_common_ptr cinfo, int level) {
    auto* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    const int code = cinfo->err->msg_code;
    if (level < 0 && err->dataEndedAtRow < 0 && (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER))
        err->dataEndedAtRow =
            static_cast<int>(reinterpret_cast<j_decompress_ptr>(cinfo)->output_scanline);
}

// Data that runs out within the last row of MCUs loses at most a few pixels at the bottom
// (real movies hold JPEGs cut a few bytes short); earlier it is a truncated image.
bool JpegEndedEarly(const jpeg_decompress_struct& cinfo, int dataEndedAtRow) {
    if (dataEndedAtRow < 0) return false;
    const int mcuRows = cinfo.max_v_samp_factor * DCTSIZE;
    return static_cast<int>(cinfo.output_height) - dataEndedAtRow > mcuRows;
}

void JpegProgress(j_common_ptr cinfo) {
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    auto* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    if (d->input_scan_number > err->maxScans) {
        std::snprintf(err->message, sizeof err->message, "more than %d scans", err->maxScans);
        longjmp(err->jump, 1);
    }
}

// State the setjmp-guarded decode works on; it lives in the caller's frame so nothing with a
// destructor sits in a frame that longjmp leaves.
struct JpegJob {
    jpeg_decompress_struct cinfo;
    JpegErrorManager err;
    jpeg_progress_mgr progress;
    Image* image;
    const player::Limits* limits;
    std::vector<std::uint8_t> row;
    std::string reason;
};

void StoreJpegRow(JpegJob& job, int y, bool cmyk, bool adobeInverted) {
    std::uint32_t* out = job.image->Row(y);
    const std::uint8_t* in = job.row.data();
    const int width = job.image->width;
    if (!cmyk) {
        for (int x = 0; x < width; ++x, in += 3) out[x] = PackArgb(255, in[0], in[1], in[2]);
        return;
    }
    for (int x = 0; x < width; ++x, in += 4) {
        std::uint32_t c = in[0], m = in[1], ye = in[2], k = in[3];
        if (!adobeInverted) c = 255 - c, m = 255 - m, ye = 255 - ye, k = 255 - k;
        out[x] = PackArgb(255, MulDiv255(c, k), MulDiv255(m, k), MulDiv255(ye, k));
    }
}

bool RunJpegDecode(JpegJob& job, std::span<const std::uint8_t> data) {
    jpeg_decompress_struct& cinfo = job.cinfo;
    cinfo.err = jpeg_std_error(&job.err.pub);
    job.err.pub.error_exit = JpegErrorExit;
    job.err.pub.emit_message = JpegEmitMessage;
    job.err.dataEndedAtRow = -1;
    job.err.maxScans = job.limits->maxJpegScans;
    if (setjmp(job.err.jump)) {
        job.reason = job.err.message;
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    // A progressive JPEG keeps all its coefficients in this memory.
    cinfo.mem->max_memory_to_use = job.limits->maxJpegMemoryBytes;
    job.progress.progress_monitor = JpegProgress;
    cinfo.progress = &job.progress;
    jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK || job.err.dataEndedAtRow >= 0) {
        job.reason = "no JPEG image in the data";
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    const std::int64_t maxPixels = job.limits->maxImagePixels;
    if (!IsAllowedImageSize(cinfo.image_width, cinfo.image_height, maxPixels)) {
        job.reason = "JPEG size " + std::to_string(cinfo.image_width) + "x" +
                     std::to_string(cinfo.image_height) + " not allowed";
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&cinfo);
    AllocateImage(*job.image, static_cast<int>(cinfo.output_width),
                  static_cast<int>(cinfo.output_height), maxPixels);
    job.row.assign(static_cast<std::size_t>(cinfo.output_width) * cinfo.output_components, 0);
    while (cinfo.output_scanline < cinfo.output_height &&
           !JpegEndedEarly(cinfo, job.err.dataEndedAtRow)) {
        JSAMPROW rows[1] = {job.row.data()};
        const int y = static_cast<int>(cinfo.output_scanline);
        if (jpeg_read_scanlines(&cinfo, rows, 1) != 1) break;
        StoreJpegRow(job, y, cmyk, cinfo.saw_Adobe_marker);
    }
    if (JpegEndedEarly(cinfo, job.err.dataEndedAtRow)) {
        job.reason = "JPEG data ends before the image is complete";
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_destroy_decompress(&cinfo);
    return true;
}

// ---- PNG -----------------------------------------------------------------------------------

struct PngReader {
    std::span<const std::uint8_t> data;
    std::size_t pos = 0;
};

struct PngJob {
    png_structp png = nullptr;
    png_infop info = nullptr;
    PngReader reader;
    std::vector<std::uint8_t> pixels;
    std::vector<png_bytep> rows;
    Image* image = nullptr;
    const player::Limits* limits = nullptr;
    std::string reason;
};

void PngError(png_structp png, png_const_charp message) {
    auto* job = static_cast<PngJob*>(png_get_error_ptr(png));
    job->reason = message;
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

void PngRead(png_structp png, png_bytep out, png_size_t length) {
    auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
    PngReader& r = job->reader;
    if (length > r.data.size() - r.pos) png_error(png, "PNG data ends early");
    std::memcpy(out, r.data.data() + r.pos, length);
    r.pos += length;
}

void ConfigurePngToRgba(png_structp png, png_infop info) {
    const int colorType = png_get_color_type(png, info);
    const int bitDepth = png_get_bit_depth(png, info);
    const bool hasTrns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (hasTrns) png_set_tRNS_to_alpha(png);
    if (bitDepth == 16) png_set_strip_16(png);
    if (!(colorType & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
    if (!(colorType & PNG_COLOR_MASK_ALPHA) && !hasTrns)
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
}

bool RunPngDecode(PngJob& job) {
    if (setjmp(png_jmpbuf(job.png))) return false;
    const std::int64_t maxPixels = job.limits->maxImagePixels;
    const auto maxSide =
        static_cast<png_uint_32>(std::min<std::int64_t>(maxPixels, PNG_UINT_31_MAX));
    png_set_user_limits(job.png, maxSide, maxSide);
    // Ancillary chunks, which a hostile file can make huge or numerous.
    png_set_chunk_malloc_max(job.png, job.limits->maxPngChunkBytes);
    png_set_chunk_cache_max(job.png, job.limits->maxPngCachedChunks);
    png_set_read_fn(job.png, &job, PngRead);
    png_read_info(job.png, job.info);
    const png_uint_32 width = png_get_image_width(job.png, job.info);
    const png_uint_32 height = png_get_image_height(job.png, job.info);
    if (!IsAllowedImageSize(width, height, maxPixels)) {
        job.reason = "PNG size not allowed";
        return false;
    }
    ConfigurePngToRgba(job.png, job.info);
    if (png_get_channels(job.png, job.info) != 4 ||
        png_get_rowbytes(job.png, job.info) != width * 4) {
        job.reason = "unsupported PNG layout";
        return false;
    }
    job.pixels.assign(static_cast<std::size_t>(width) * height * 4, 0);
    job.rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y)
        job.rows[y] = job.pixels.data() + static_cast<std::size_t>(y) * width * 4;
    png_read_image(job.png, job.rows.data());
    png_read_end(job.png, nullptr);
    AllocateImage(*job.image, static_cast<int>(width), static_cast<int>(height), maxPixels);
    const std::uint8_t* in = job.pixels.data();
    for (std::uint32_t& p : job.image->argb) {
        p = Premultiply(PackArgb(in[3], in[0], in[1], in[2]));
        in += 4;
    }
    return true;
}

// ---- GIF -----------------------------------------------------------------------------------

struct GifReader {
    std::span<const std::uint8_t> data;
    std::size_t pos = 0;
};

int GifRead(GifFileType* gif, GifByteType* out, int length) {
    auto* r = static_cast<GifReader*>(gif->UserData);
    if (length <= 0) return 0;
    const std::size_t n = std::min<std::size_t>(length, r->data.size() - r->pos);
    std::memcpy(out, r->data.data() + r->pos, n);
    r->pos += n;
    return static_cast<int>(n);
}

// Owns a giflib decoder handle.
class GifHandle {
  public:
    explicit GifHandle(GifReader& reader) { gif_ = DGifOpen(&reader, GifRead, &error_); }
    ~GifHandle() {
        int ignored = 0;
        if (gif_) DGifCloseFile(gif_, &ignored);
    }
    GifHandle(const GifHandle&) = delete;
    GifHandle& operator=(const GifHandle&) = delete;

    GifFileType* get() const { return gif_; }
    std::string Reason() const {
        const char* text = GifErrorString(gif_ ? gif_->Error : error_);
        return text ? text : "GIF error";
    }

  private:
    GifFileType* gif_ = nullptr;
    int error_ = 0;
};

// Transparent colour index from a graphic control extension, or -1.
int TransparentIndexFrom(const GifByteType* ext) {
    if (ext[0] >= 4 && (ext[1] & 1)) return ext[4];
    return -1;
}

bool ReadGifExtensions(GifFileType* gif, int& transparent) {
    int code = 0;
    GifByteType* ext = nullptr;
    if (DGifGetExtension(gif, &code, &ext) == GIF_ERROR) return false;
    if (code == GRAPHICS_EXT_FUNC_CODE && ext) transparent = TransparentIndexFrom(ext);
    while (ext) {
        if (DGifGetExtensionNext(gif, &ext) == GIF_ERROR) return false;
    }
    return true;
}

// Reads the first frame's indices into rows of `indices` (image-sized), de-interlacing.
bool ReadGifFrame(GifFileType* gif, std::vector<GifByteType>& indices) {
    const int width = gif->Image.Width;
    const int height = gif->Image.Height;
    auto readRow = [&](int y) {
        return DGifGetLine(gif, indices.data() + static_cast<std::size_t>(y) * width, width) !=
               GIF_ERROR;
    };
    if (!gif->Image.Interlace) {
        for (int y = 0; y < height; ++y)
            if (!readRow(y)) return false;
        return true;
    }
    constexpr int kStart[4] = {0, 4, 2, 1};
    constexpr int kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int y = kStart[pass]; y < height; y += kStep[pass])
            if (!readRow(y)) return false;
    return true;
}

void PaintGifFrame(const GifFileType* gif, const std::vector<GifByteType>& indices, int transparent,
                   Image& image) {
    const ColorMapObject* map = gif->Image.ColorMap ? gif->Image.ColorMap : gif->SColorMap;
    const int left = gif->Image.Left, top = gif->Image.Top;
    const int width = gif->Image.Width, height = gif->Image.Height;
    for (int y = 0; y < height; ++y) {
        const int cy = top + y;
        if (cy < 0 || cy >= image.height) continue;
        for (int x = 0; x < width; ++x) {
            const int cx = left + x;
            if (cx < 0 || cx >= image.width) continue;
            const int index = indices[static_cast<std::size_t>(y) * width + x];
            if (index == transparent || index >= map->ColorCount) continue;
            const GifColorType& c = map->Colors[index];
            image.At(cx, cy) = PackArgb(255, c.Red, c.Green, c.Blue);
        }
    }
}

}  // namespace

ImageDataKind DetectImageData(std::span<const std::uint8_t> data) {
    if (data.size() >= 8 &&
        std::equal(std::begin(kPngSignature), std::end(kPngSignature), data.begin()))
        return ImageDataKind::kPng;
    if (StartsWith(data, {'G', 'I', 'F', '8', '9', 'a'}) ||
        StartsWith(data, {'G', 'I', 'F', '8', '7', 'a'}))
        return ImageDataKind::kGif;
    if (StartsWith(StripErroneousJpegPrefixes(data), {0xFF, 0xD8})) return ImageDataKind::kJpeg;
    return ImageDataKind::kUnknown;
}

std::vector<std::uint8_t> JoinJpegStreams(std::span<const std::uint8_t> input) {
    const std::span<const std::uint8_t> data = StripErroneousJpegPrefixes(input);
    std::vector<std::uint8_t> out;
    out.reserve(data.size());
    if (!StartsWith(data, {0xFF, 0xD8})) return {data.begin(), data.end()};
    out.insert(out.end(), {0xFF, 0xD8});
    std::size_t pos = 2;
    while (pos + 1 < data.size()) {
        if (data[pos] != 0xFF) break;  // not at a marker: hand the rest over as it is
        const std::uint8_t marker = data[pos + 1];
        if (marker == 0xFF) {  // fill byte
            ++pos;
            continue;
        }
        if (marker == 0xD8) {  // stray start-of-image inside a joined stream
            pos += 2;
            continue;
        }
        if (marker == 0xD9) {
            std::size_t next = pos + 2;
            bool restarts = false;
            while (next + 1 < data.size() && data[next] == 0xFF &&
                   (data[next + 1] == 0xD8 || data[next + 1] == 0xD9)) {
                restarts = restarts || data[next + 1] == 0xD8;
                next += 2;
            }
            if (!restarts) {
                out.insert(out.end(), {0xFF, 0xD9});
                return out;
            }
            pos = next;
            continue;
        }
        if (IsStandaloneMarker(marker)) {
            out.insert(out.end(), data.begin() + pos, data.begin() + pos + 2);
            pos += 2;
            continue;
        }
        if (pos + 4 > data.size()) break;
        const std::size_t segment = 2 + ((std::size_t{data[pos + 2]} << 8) | data[pos + 3]);
        if (segment > data.size() - pos) break;
        std::size_t end = pos + segment;
        if (marker == 0xDA) end = SkipEntropyData(data, end);
        out.insert(out.end(), data.begin() + pos, data.begin() + end);
        pos = end;
    }
    out.insert(out.end(), data.begin() + std::min(pos, data.size()), data.end());
    if (out.size() < 2 || out[out.size() - 2] != 0xFF || out.back() != 0xD9)
        out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

bool DecodeJpeg(std::span<const std::uint8_t> data, const player::Limits& limits, Image& image,
                std::string& reason) {
    if (data.empty()) {
        reason = "empty JPEG data";
        return false;
    }
    auto job = std::make_unique<JpegJob>();
    job->image = &image;
    job->limits = &limits;
    if (RunJpegDecode(*job, data)) return true;
    reason = "JPEG: " + job->reason;
    return false;
}

bool DecodePng(std::span<const std::uint8_t> data, const player::Limits& limits, Image& image,
               std::string& reason) {
    PngJob job;
    job.reader.data = data;
    job.image = &image;
    job.limits = &limits;
    job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job, PngError, PngWarning);
    if (job.png) job.info = png_create_info_struct(job.png);
    bool ok = job.png && job.info && RunPngDecode(job);
    png_destroy_read_struct(&job.png, &job.info, nullptr);
    if (!ok)
        reason = "PNG: " + (job.reason.empty() ? std::string("cannot start decoder") : job.reason);
    return ok;
}

bool DecodeGif(std::span<const std::uint8_t> data, const player::Limits& limits, Image& image,
               std::string& reason) {
    GifReader reader{data, 0};
    GifHandle handle(reader);
    GifFileType* gif = handle.get();
    if (!gif) {
        reason = "GIF: " + handle.Reason();
        return false;
    }
    int transparent = -1;
    for (;;) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &record) == GIF_ERROR) break;
        if (record == EXTENSION_RECORD_TYPE) {
            if (!ReadGifExtensions(gif, transparent)) break;
            continue;
        }
        if (record != IMAGE_DESC_RECORD_TYPE) break;
        if (DGifGetImageDesc(gif) == GIF_ERROR) break;
        const int width = gif->Image.Width, height = gif->Image.Height;
        const int canvasW = gif->SWidth > 0 ? gif->SWidth : width;
        const int canvasH = gif->SHeight > 0 ? gif->SHeight : height;
        const std::int64_t maxPixels = limits.maxImagePixels;
        if (!IsAllowedImageSize(width, height, maxPixels) ||
            !IsAllowedImageSize(canvasW, canvasH, maxPixels)) {
            reason = "GIF: size not allowed";
            return false;
        }
        if (!gif->Image.ColorMap && !gif->SColorMap) {
            reason = "GIF: no colour map";
            return false;
        }
        std::vector<GifByteType> indices(static_cast<std::size_t>(width) * height);
        if (!ReadGifFrame(gif, indices)) break;
        AllocateImage(image, canvasW, canvasH, maxPixels);
        PaintGifFrame(gif, indices, transparent, image);
        return true;
    }
    reason = "GIF: " + handle.Reason();
    return false;
}

}  // namespace media
