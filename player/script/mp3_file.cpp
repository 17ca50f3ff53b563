#include "player/script/mp3_file.h"

#include <array>
#include <string_view>

#include "player/script/utf8.h"

namespace player::script {

namespace {

constexpr std::size_t kTagHeaderBytes = 10;
constexpr std::size_t kV1TagBytes = 128;

std::uint32_t BigEndian(std::span<const std::uint8_t> b) {
    std::uint32_t v = 0;
    for (std::uint8_t byte : b) v = (v << 8) | byte;
    return v;
}

// Seven bits a byte, as tag sizes are written so they never look like a frame sync.
std::uint32_t SyncSafe(std::span<const std::uint8_t> b) {
    std::uint32_t v = 0;
    for (std::uint8_t byte : b) v = (v << 7) | (byte & 0x7F);
    return v;
}

// The length of the version 2 tag at the start, header (and footer) included; 0 without one.
std::size_t LeadingTagBytes(std::span<const std::uint8_t> file) {
    if (file.size() < kTagHeaderBytes || file[0] != 'I' || file[1] != 'D' || file[2] != '3')
        return 0;
    std::size_t size = kTagHeaderBytes + SyncSafe(file.subspan(6, 4));
    if (file[3] >= 4 && (file[5] & 0x10)) size += kTagHeaderBytes;  // a footer
    return std::min(size, file.size());
}

// Writers put a zero after every 0xFF of an unsynchronised tag; readers take them out.
std::vector<std::uint8_t> Resynchronised(std::span<const std::uint8_t> bytes) {
    std::vector<std::uint8_t> out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out.push_back(bytes[i]);
        if (bytes[i] == 0xFF && i + 1 < bytes.size() && bytes[i + 1] == 0) ++i;
    }
    return out;
}

void AppendUtf16(std::string& out, std::span<const std::uint8_t> bytes, bool bigEndian) {
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        std::uint32_t unit = bigEndian ? (bytes[i] << 8) | bytes[i + 1]
                                       : (bytes[i + 1] << 8) | bytes[i];
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
            const std::uint32_t low = bigEndian ? (bytes[i + 2] << 8) | bytes[i + 3]
                                                : (bytes[i + 3] << 8) | bytes[i + 2];
            if (low >= 0xDC00 && low < 0xE000) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (unit >= 0xD800 && unit < 0xE000) unit = 0xFFFD;  // a half pair alone
        AppendUtf8(out, unit);
    }
}

// Reads one string of the frame's encoding from `bytes` at *at, up to its terminator or the
// end, and moves *at past it.
std::string ReadText(std::span<const std::uint8_t> bytes, std::uint8_t encoding, std::size_t* at) {
    const bool wide = encoding == 1 || encoding == 2;
    std::size_t end = *at;
    if (wide) {
        while (end + 1 < bytes.size() && (bytes[end] != 0 || bytes[end + 1] != 0)) end += 2;
        if (end + 1 >= bytes.size()) end = bytes.size();
    } else {
        while (end < bytes.size() && bytes[end] != 0) ++end;
    }
    std::span<const std::uint8_t> text = bytes.subspan(*at, end - *at);
    *at = std::min(bytes.size(), end + (wide ? 2 : 1));
    std::string out;
    switch (encoding) {
        case 0:  // Latin-1
            for (std::uint8_t c : text) AppendUtf8(out, c);
            break;
        case 1: {  // UTF-16, its order told by a byte-order mark
            bool bigEndian = true;
            if (text.size() >= 2 && ((text[0] == 0xFF && text[1] == 0xFE) ||
                                     (text[0] == 0xFE && text[1] == 0xFF))) {
                bigEndian = text[0] == 0xFE;
                text = text.subspan(2);
            }
            AppendUtf16(out, text, bigEndian);
            break;
        }
        case 2:
            AppendUtf16(out, text, true);
            break;
        default:  // UTF-8
            out.assign(text.begin(), text.end());
            if (!IsUtf8(out)) {
                out.clear();
                for (std::uint8_t c : text) AppendUtf8(out, c);
            }
            break;
    }
    return out;
}

// Version 2.2 names of the frames scripts see, as the later versions name them.
std::string_view LongName(std::string_view id) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 16> kNames = {{
        {"TT1", "TIT1"}, {"TT2", "TIT2"}, {"TT3", "TIT3"}, {"TP1", "TPE1"},
        {"TP2", "TPE2"}, {"TP3", "TPE3"}, {"TP4", "TPE4"}, {"TAL", "TALB"},
        {"TRK", "TRCK"}, {"TYE", "TYER"}, {"TCO", "TCON"}, {"TCM", "TCOM"},
        {"TPA", "TPOS"}, {"TLE", "TLEN"}, {"TMT", "TMED"}, {"COM", "COMM"},
    }};
    for (const auto& [shortName, longName] : kNames)
        if (shortName == id) return longName;
    return {};
}

// A text frame's body: its encoding, then its text. A comment's: encoding, language, a
// description, then the text.
std::optional<Id3Field> ReadFrame(std::string id, std::span<const std::uint8_t> body) {
    if (body.empty()) return std::nullopt;
    const std::uint8_t encoding = body[0];
    if (encoding > 3) return std::nullopt;
    std::size_t at = 1;
    if (id == "COMM") {
        if (body.size() < 4) return std::nullopt;
        at = 4;
        ReadText(body, encoding, &at);  // the description
    } else if (id.empty() || id[0] != 'T' || id == "TXXX") {
        return std::nullopt;
    }
    return Id3Field{std::move(id), ReadText(body, encoding, &at)};
}

std::vector<Id3Field> ReadVersion2(std::span<const std::uint8_t> file) {
    std::vector<Id3Field> fields;
    const std::uint8_t version = file[3];
    if (version < 2 || version > 4) return fields;
    const std::uint8_t flags = file[5];
    const std::size_t end = std::min(file.size(), kTagHeaderBytes + SyncSafe(file.subspan(6, 4)));
    std::vector<std::uint8_t> tag(file.begin() + kTagHeaderBytes, file.begin() + end);
    if (flags & 0x80) tag = Resynchronised(tag);
    std::span<const std::uint8_t> rest(tag);
    if (version >= 3 && (flags & 0x40) && rest.size() >= 4) {  // an extended header
        const std::size_t size =
            version == 3 ? 4 + std::size_t{BigEndian(rest.first(4))} : SyncSafe(rest.first(4));
        rest = rest.subspan(std::min(rest.size(), size));
    }
    const std::size_t idBytes = version == 2 ? 3 : 4;
    const std::size_t headerBytes = version == 2 ? 6 : 10;
    while (rest.size() >= headerBytes && rest[0] != 0) {
        std::string id(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(idBytes));
        const auto sizeBytes = rest.subspan(idBytes, version == 2 ? 3 : 4);
        const std::size_t size = version == 4 ? SyncSafe(sizeBytes) : BigEndian(sizeBytes);
        const std::uint8_t format = version == 2 ? 0 : rest[9];
        if (size > rest.size() - headerBytes) break;
        const auto body = rest.subspan(headerBytes, size);
        rest = rest.subspan(headerBytes + size);
        // Compressed and encrypted frames are left out.
        const bool hidden = version == 3 ? (format & 0xC0) != 0 : (format & 0x0C) != 0;
        if (hidden) continue;
        if (version == 2) {
            const std::string_view longName = LongName(id);
            if (longName.empty()) continue;
            id = std::string(longName);
        }
        std::span<const std::uint8_t> content = body;
        std::vector<std::uint8_t> resynchronised;
        if (version == 4 && (format & 0x01)) {  // a data length comes first
            if (content.size() < 4) continue;
            content = content.subspan(4);
        }
        if (version == 4 && (format & 0x02)) {
            resynchronised = Resynchronised(content);
            content = resynchronised;
        }
        if (auto field = ReadFrame(std::move(id), content)) fields.push_back(std::move(*field));
    }
    return fields;
}

// A fixed-width Latin-1 field of a version 1 tag, its padding (zeros or spaces) dropped.
std::string V1Text(std::span<const std::uint8_t> bytes) {
    std::size_t end = 0;
    while (end < bytes.size() && bytes[end] != 0) ++end;
    while (end > 0 && bytes[end - 1] == ' ') --end;
    std::string out;
    for (std::uint8_t c : bytes.first(end)) AppendUtf8(out, c);
    return out;
}

std::vector<Id3Field> ReadVersion1(std::span<const std::uint8_t> tag) {
    std::vector<Id3Field> fields;
    const auto add = [&](const char* id, std::string text) {
        if (!text.empty()) fields.push_back({id, std::move(text)});
    };
    add("TIT2", V1Text(tag.subspan(3, 30)));
    add("TPE1", V1Text(tag.subspan(33, 30)));
    add("TALB", V1Text(tag.subspan(63, 30)));
    add("TYER", V1Text(tag.subspan(93, 4)));
    // Version 1.1 keeps a track number in the comment's last byte, after a zero.
    const bool track = tag[125] == 0 && tag[126] != 0;
    add("COMM", V1Text(tag.subspan(97, track ? 28 : 30)));
    if (track) add("TRCK", std::to_string(tag[126]));
    if (tag[127] != 0xFF) add("TCON", std::to_string(tag[127]));
    return fields;
}

}  // namespace

std::vector<Id3Field> ReadId3(std::span<const std::uint8_t> file) {
    if (LeadingTagBytes(file) > 0) return ReadVersion2(file);
    if (file.size() >= kV1TagBytes) {
        const auto tag = file.last(kV1TagBytes);
        if (tag[0] == 'T' && tag[1] == 'A' && tag[2] == 'G') return ReadVersion1(tag);
    }
    return {};
}

std::optional<double> Mp3DurationMs(std::span<const std::uint8_t> file) {
    static constexpr int kLayer1Rates[] = {0, 32, 64, 96, 128, 160, 192, 224,
                                           256, 288, 320, 352, 384, 416, 448};
    static constexpr int kLayer2Rates[] = {0, 32, 48, 56, 64, 80, 96, 112,
                                           128, 160, 192, 224, 256, 320, 384};
    static constexpr int kLayer3Rates[] = {0, 32, 40, 48, 56, 64, 80, 96,
                                           112, 128, 160, 192, 224, 256, 320};
    static constexpr int kLowRates[] = {0, 8, 16, 24, 32, 40, 48, 56,
                                        64, 80, 96, 112, 128, 144, 160};
    static constexpr int kLowLayer1Rates[] = {0, 32, 48, 56, 64, 80, 96, 112,
                                              128, 144, 160, 176, 192, 224, 256};
    static constexpr int kSampleRates[] = {44100, 48000, 32000};

    std::size_t at = LeadingTagBytes(file);
    std::size_t end = file.size();
    if (end - at >= kV1TagBytes && file[end - 128] == 'T' && file[end - 127] == 'A' &&
        file[end - 126] == 'G')
        end -= kV1TagBytes;
    double ms = 0;
    bool found = false;
    while (at + 4 <= end) {
        const std::uint32_t h = BigEndian(file.subspan(at, 4));
        const int version = (h >> 19) & 3;  // 3: MPEG 1, 2: MPEG 2, 0: MPEG 2.5
        const int layer = (h >> 17) & 3;    // 3: layer I, 2: layer II, 1: layer III
        const int rateIndex = (h >> 12) & 15;
        const int sampleIndex = (h >> 10) & 3;
        if ((h >> 21) != 0x7FF || version == 1 || layer == 0 || rateIndex == 0 ||
            rateIndex == 15 || sampleIndex == 3) {
            ++at;  // not a frame header: look for the next sync
            continue;
        }
        const bool mpeg1 = version == 3;
        const int sampleRate = kSampleRates[sampleIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
        const int padding = (h >> 9) & 1;
        int kbps = 0, samples = 0;
        std::size_t bytes = 0;
        if (layer == 3) {
            kbps = mpeg1 ? kLayer1Rates[rateIndex] : kLowLayer1Rates[rateIndex];
            samples = 384;
            bytes = static_cast<std::size_t>((12 * kbps * 1000 / sampleRate + padding) * 4);
        } else {
            kbps = mpeg1 ? (layer == 2 ? kLayer2Rates : kLayer3Rates)[rateIndex]
                         : kLowRates[rateIndex];
            samples = layer == 1 && !mpeg1 ? 576 : 1152;
            bytes = static_cast<std::size_t>(samples / 8 * kbps * 1000 / sampleRate + padding);
        }
        if (bytes < 4) {
            ++at;
            continue;
        }
        ms += samples * 1000.0 / sampleRate;
        found = true;
        at += bytes;
    }
    if (!found) return std::nullopt;
    return ms;
}

}  // namespace player::script
