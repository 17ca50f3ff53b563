#include "tests/media/encoders.h"

#include <gif_lib.h>
#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

namespace media::testing {

std::vector<std::uint8_t> EncodeJpeg(const RgbaPixels& pixels, int quality) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = pixels.width;
    cinfo.image_height = pixels.height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<std::uint8_t> row(pixels.width * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        const std::uint32_t* in = pixels.argb.data() + cinfo.next_scanline * pixels.width;
        for (int x = 0; x < pixels.width; ++x) {
            row[x * 3] = (in[x] >> 16) & 0xFF;
            row[x * 3 + 1] = (in[x] >> 8) & 0xFF;
            row[x * 3 + 2] = in[x] & 0xFF;
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<std::uint8_t> out(buffer, buffer + size);
    free(buffer);
    return out;
}

std::vector<std::uint8_t> EncodePng(const RgbaPixels& pixels) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = pixels.width;
    image.height = pixels.height;
    image.format = PNG_FORMAT_RGBA;
    std::vector<std::uint8_t> rgba;
    for (std::uint32_t p : pixels.argb)
        rgba.insert(rgba.end(), {std::uint8_t(p >> 16), std::uint8_t(p >> 8), std::uint8_t(p),
                                 std::uint8_t(p >> 24)});
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr);
    std::vector<std::uint8_t> out(size);
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, rgba.data(), 0, nullptr))
        throw std::runtime_error("png write failed");
    out.resize(size);
    return out;
}

namespace {
int GifWrite(GifFileType* gif, const GifByteType* data, int length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}
}  // namespace

std::vector<std::uint8_t> EncodeGif(const RgbaPixels& pixels) {
    std::map<std::uint32_t, int> colours;
    std::vector<GifColorType> palette(256, GifColorType{0, 0, 0});
    std::vector<GifByteType> indices;
    for (std::uint32_t p : pixels.argb) {
        if ((p >> 24) == 0) {
            indices.push_back(255);
            continue;
        }
        const std::uint32_t rgb = p & 0xFFFFFF;
        auto [it, added] = colours.emplace(rgb, static_cast<int>(colours.size()));
        if (it->second > 254) throw std::invalid_argument("more than 255 colours for a GIF");
        if (added)
            palette[it->second] =
                GifColorType{GifByteType(rgb >> 16), GifByteType(rgb >> 8), GifByteType(rgb)};
        indices.push_back(static_cast<GifByteType>(it->second));
    }
    std::vector<std::uint8_t> out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, GifWrite, &error);
    EGifSetGifVersion(gif, true);
    ColorMapObject* map = GifMakeMapObject(256, palette.data());
    EGifPutScreenDesc(gif, pixels.width, pixels.height, 8, 0, map);
    GraphicsControlBlock gcb{};
    gcb.TransparentColor = 255;
    GifByteType ext[4];
    const std::size_t extLength = EGifGCBToExtension(&gcb, ext);
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(extLength), ext);
    EGifPutImageDesc(gif, 0, 0, pixels.width, pixels.height, false, nullptr);
    for (int y = 0; y < pixels.height; ++y)
        EGifPutLine(gif, indices.data() + y * pixels.width, pixels.width);
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return out;
}

std::vector<std::uint8_t> Deflate(const std::vector<std::uint8_t>& bytes) {
    uLongf size = compressBound(bytes.size());
    std::vector<std::uint8_t> out(size);
    compress(out.data(), &size, bytes.data(), bytes.size());
    out.resize(size);
    return out;
}

void SplitJpegTables(const std::vector<std::uint8_t>& jpeg, std::vector<std::uint8_t>& tables,
                     std::vector<std::uint8_t>& image) {
    tables = {0xFF, 0xD8};
    image = {0xFF, 0xD8};
    std::size_t pos = 2;
    while (pos + 4 <= jpeg.size()) {
        const std::uint8_t marker = jpeg[pos + 1];
        const std::size_t length = 2 + ((jpeg[pos + 2] << 8) | jpeg[pos + 3]);
        if (marker == 0xDA) break;  // scan data and the rest belong to the image
        auto& target = (marker == 0xDB || marker == 0xC4) ? tables : image;
        target.insert(target.end(), jpeg.begin() + pos, jpeg.begin() + pos + length);
        pos += length;
    }
    image.insert(image.end(), jpeg.begin() + pos, jpeg.end());
    tables.insert(tables.end(), {0xFF, 0xD9});
}

}  // namespace media::testing
