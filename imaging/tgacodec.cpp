#include "imaging/tgacodec.h"

#include <algorithm>
#include <cstring>

#include "imaging/filewriter.h"

namespace {

constexpr std::size_t kHeaderBytes = 18;
constexpr char kImageId[] = "Qentu -- TGA";
constexpr std::size_t kImageIdBytes = sizeof kImageId - 1;
constexpr int kColourMapEntries = 256;

std::uint16_t ReadU16(const BYTE* p) {
    return std::uint16_t(p[0] | p[1] << 8);
}

struct TgaHeader {
    std::uint8_t idLength;
    std::uint8_t colourMapType;
    std::uint8_t imageType;
    std::uint16_t colourMapFirst;
    std::uint16_t colourMapLength;
    std::uint8_t colourMapEntryBits;
    std::uint16_t width;
    std::uint16_t height;
    std::uint8_t pixelDepth;
    std::uint8_t descriptor;
};

TgaHeader ParseHeader(const BYTE* d) {
    return {
        d[0],  d[1], d[2], ReadU16(d + 3), ReadU16(d + 5), d[7], ReadU16(d + 12), ReadU16(d + 14),
        d[16], d[17]};
}

bool IsRunLength(std::uint8_t imageType) {
    return imageType >= 9 && imageType <= 11;
}

// Whether the file is long enough for the picture it claims (a run-length packet of 1 + p
// bytes gives at most 128 pixels), so that a short file cannot make a large image be built.
bool CanHoldPicture(const TgaHeader& h, int bpp, std::size_t length) {
    const std::uint64_t pixels = std::uint64_t(h.width) * h.height;
    const std::uint64_t pixelBytes = std::uint64_t(bpp) / 8;
    const std::uint64_t available = length - kHeaderBytes;
    if (IsRunLength(h.imageType)) return pixels <= available / (1 + pixelBytes) * 128 + 128;
    return pixels * pixelBytes <= available;
}

// Reads bytes from a buffer without ever passing its end.
class CByteReader {
  public:
    CByteReader(const BYTE* data, std::size_t length, std::size_t position)
        : m_data(data), m_length(length), m_position(position) {}

    bool Has(std::size_t count) const {
        return m_position <= m_length && count <= m_length - m_position;
    }
    const BYTE* Take(std::size_t count) {
        if (!Has(count)) return nullptr;
        const BYTE* p = m_data + m_position;
        m_position += count;
        return p;
    }

  private:
    const BYTE* m_data;
    std::size_t m_length;
    std::size_t m_position;
};

bool ReadColourMap(const TgaHeader& h, CByteReader& in, CPixelImage& image) {
    if (h.colourMapFirst + h.colourMapLength > kColourMapEntries) return false;
    if (h.colourMapEntryBits != 24 && h.colourMapEntryBits != 32) return false;
    const std::size_t entryBytes = h.colourMapEntryBits / 8;
    RGBQUAD palette[kColourMapEntries] = {};
    for (int i = 0; i < h.colourMapLength; ++i) {
        const BYTE* e = in.Take(entryBytes);
        if (!e) return false;
        palette[h.colourMapFirst + i] = RGBQUAD{e[0], e[1], e[2], entryBytes == 4 ? e[3] : BYTE(0)};
    }
    image.SetPaletteEntries(0, kColourMapEntries, palette);
    return true;
}

// One row of run-length packets; a packet that runs past the row's end is cut there.
bool DecodeRunLengthRow(CByteReader& in, BYTE* row, int width, std::size_t pixelBytes) {
    int remaining = width;
    while (remaining > 0) {
        const BYTE* packet = in.Take(1);
        if (!packet) return false;
        const int n = (*packet & 0x7F) + 1;
        const int kept = std::min(n, remaining);
        if (*packet & 0x80) {
            const BYTE* pixel = in.Take(pixelBytes);
            if (!pixel) return false;
            for (int i = 0; i < kept; ++i, row += pixelBytes) std::memcpy(row, pixel, pixelBytes);
        } else {
            const BYTE* pixels = in.Take(std::size_t(n) * pixelBytes);
            if (!pixels) return false;
            std::memcpy(row, pixels, std::size_t(kept) * pixelBytes);
            row += std::size_t(kept) * pixelBytes;
        }
        remaining -= kept;
    }
    return true;
}

}  // namespace

bool CTgaCodec::SaveFile(const char* fileName, const CImageList& images, const CPropertyBag*) {
    if (images.empty() || !images.front() || !images.front()->IsValid()) return false;
    const CPixelImage& image = *images.front();
    const int bpp = image.GetBitsPerPixel();
    if (bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
    CFileWriter file(fileName);
    if (!file.IsOpen()) return false;

    const bool mapped = bpp == 8;
    file.WriteU8(std::uint8_t(kImageIdBytes));
    file.WriteU8(mapped ? 1 : 0);
    file.WriteU8(mapped ? 1 : 2);
    file.WriteU16(0);
    file.WriteU16(kColourMapEntries);
    file.WriteU8(24);
    file.WriteU16(0);
    file.WriteU16(0);
    file.WriteU16(std::uint16_t(image.GetWidth()));
    file.WriteU16(std::uint16_t(image.GetHeight()));
    file.WriteU8(std::uint8_t(bpp));
    file.WriteU8(0x20);
    file.Write(kImageId, kImageIdBytes);
    if (mapped) {
        RGBQUAD palette[kColourMapEntries];
        image.GetPaletteEntries(0, kColourMapEntries, palette);
        for (const RGBQUAD& e : palette) {
            const BYTE bgr[3] = {e.rgbBlue, e.rgbGreen, e.rgbRed};
            file.Write(bgr, 3);
        }
    }
    const std::size_t rowBytes = std::size_t(image.GetWidth()) * bpp / 8;
    for (int y = 0; y < image.GetHeight(); ++y) file.Write(image.GetRow(y), rowBytes);
    return file.Finish();
}

bool CTgaCodec::LoadMemory(const BYTE* data, std::size_t length, CImageList& images,
                           std::unique_ptr<CPropertyBag>& properties) {
    if (!data || length <= kHeaderBytes) return false;
    const TgaHeader h = ParseHeader(data);
    if (h.colourMapEntryBits == 15 || h.colourMapEntryBits == 16) return false;
    const int bpp = h.pixelDepth == 15 ? 16 : h.pixelDepth;
    if (bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;

    if (!CanHoldPicture(h, bpp, length)) return false;
    auto image = std::make_unique<CPixelImage>();
    if (!image->CreateBlank(h.width, h.height, bpp)) return false;
    CByteReader in(data, length, kHeaderBytes + h.idLength);
    if (h.colourMapType == 1 && !ReadColourMap(h, in, *image)) return false;

    const std::size_t pixelBytes = std::size_t(bpp) / 8;
    const bool topDown = (h.descriptor & 0x20) != 0;
    for (int j = 0; j < h.height; ++j) {
        BYTE* row = image->GetRow(topDown ? j : h.height - 1 - j);
        if (IsRunLength(h.imageType)) {
            if (!DecodeRunLengthRow(in, row, h.width, pixelBytes)) return false;
        } else {
            const BYTE* source = in.Take(std::size_t(h.width) * pixelBytes);
            if (!source) return false;
            std::memcpy(row, source, std::size_t(h.width) * pixelBytes);
        }
    }

    auto bag = std::make_unique<CPropertyBag>();
    bag->Set(PROP_TGA_RLE, IsRunLength(h.imageType) ? "1" : "-1");
    properties = std::move(bag);
    images.push_back(image.release());
    return true;
}
