// The movie header and body, and the zlib and LZMA packing of CWS and ZWS files.
#include <lzma.h>
#include <zlib.h>

#include <cmath>
#include <fstream>

#include "tests/support/swf_writer.h"

namespace swfw {

namespace {

class LzmaStream {
  public:
    LzmaStream() = default;
    LzmaStream(const LzmaStream&) = delete;
    LzmaStream& operator=(const LzmaStream&) = delete;
    ~LzmaStream() { lzma_end(&stream_); }
    lzma_stream* get() { return &stream_; }

  private:
    lzma_stream stream_ = LZMA_STREAM_INIT;
};

// The .lzma ("alone") form: 5 property bytes, 8 size bytes, the raw stream.
Buffer LzmaAlone(const Buffer& data) {
    lzma_options_lzma options;
    if (lzma_lzma_preset(&options, 6)) return {};
    LzmaStream stream;
    if (lzma_alone_encoder(stream.get(), &options) != LZMA_OK) return {};
    Buffer out(data.size() + data.size() / 2 + 1024);
    lzma_stream* s = stream.get();
    s->next_in = data.data();
    s->avail_in = data.size();
    s->next_out = out.data();
    s->avail_out = out.size();
    lzma_ret ret;
    while ((ret = lzma_code(s, LZMA_FINISH)) == LZMA_OK) {
        if (s->avail_out != 0) continue;
        const std::size_t used = out.size();
        out.resize(used * 2);
        s->next_out = out.data() + used;
        s->avail_out = out.size() - used;
    }
    if (ret != LZMA_STREAM_END) return {};
    out.resize(s->total_out);
    return out;
}

void PutU32(Buffer& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

}  // namespace

Buffer Deflate(const Buffer& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    Buffer out(size);
    if (compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), 9) != Z_OK)
        return {};
    out.resize(size);
    return out;
}

Buffer Pack(Compression compression, std::uint8_t version, const Buffer& body,
            std::optional<std::uint32_t> declaredLength) {
    static constexpr char kSignatures[][4] = {"FWS", "CWS", "ZWS"};
    const char* signature = kSignatures[static_cast<int>(compression)];
    Buffer out(signature, signature + 3);
    out.push_back(version);
    PutU32(out, declaredLength.value_or(static_cast<std::uint32_t>(body.size() + 8)));
    switch (compression) {
        case Compression::None:
            out.insert(out.end(), body.begin(), body.end());
            break;
        case Compression::Zlib: {
            const Buffer packed = Deflate(body);
            out.insert(out.end(), packed.begin(), packed.end());
            break;
        }
        case Compression::Lzma: {
            constexpr std::size_t kProps = 5, kAloneHeader = 13;
            const Buffer alone = LzmaAlone(body);
            if (alone.size() < kAloneHeader) break;
            PutU32(out, static_cast<std::uint32_t>(alone.size() - kAloneHeader));
            out.insert(out.end(), alone.begin(), alone.begin() + kProps);
            out.insert(out.end(), alone.begin() + kAloneHeader, alone.end());
            break;
        }
    }
    return out;
}

Movie& Movie::Size(int widthPx, int heightPx) {
    stage = Rect{0, widthPx * 20, 0, heightPx * 20};
    return *this;
}

Movie& Movie::Rate(double framesPerSecond) {
    frameRate = static_cast<std::uint16_t>(std::lround(framesPerSecond * 256.0));
    return *this;
}

Movie& Movie::Compress(Compression c) {
    compression = c;
    return *this;
}

Movie& Movie::Version(std::uint8_t v) {
    version = v;
    return *this;
}

Movie& Movie::Attributes(std::uint32_t flags) {
    BitWriter out;
    out.U32(flags);
    return Tag(RawTag{kFileAttributes, out.Bytes()});
}

Buffer Movie::Body() const {
    BitWriter out;
    WriteRect(out, stage);
    out.U16(frameRate);
    out.U16(frameCount.value_or(static_cast<std::uint16_t>(FramesShown())));
    out.Append(TagBytes());
    return out.Bytes();
}

Buffer Movie::Bytes() const {
    return Pack(compression, version, Body(), declaredLength);
}

bool Movie::Save(const std::string& path, std::string* error) const {
    const Buffer bytes = Bytes();
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (file)
        file.write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    if (file) file.close();
    if (!file) {
        if (error) *error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace swfw
