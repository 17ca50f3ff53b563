#include "swf/swfheader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <span>

#include "player/media/inflate.h"

namespace {

constexpr std::size_t kFixedHeaderBytes = 8;  // signature, version, file length
constexpr std::size_t kLzmaPropertiesOffset = 12;
constexpr std::size_t kLzmaPropertiesBytes = 5;
constexpr std::size_t kLzmaDataOffset = kLzmaPropertiesOffset + kLzmaPropertiesBytes;

bool HasSignature(const std::vector<std::uint8_t>& bytes, const char* signature) {
    return bytes.size() >= 3 && std::memcmp(bytes.data(), signature, 3) == 0;
}

}  // namespace

const char* SwfHeaderErrorText(SwfHeaderError error) {
    switch (error) {
        case SwfHeaderError::None:
            return "";
        case SwfHeaderError::CannotOpen:
            return "cannot open the file";
        case SwfHeaderError::NotAFile:
            return "not a regular file";
        case SwfHeaderError::TooShort:
            return "too short for a movie header";
        case SwfHeaderError::CorruptBody:
            return "compressed body is corrupt";
        case SwfHeaderError::BadSignature:
            return "not a Flash movie (no FWS, CWS or ZWS signature)";
        case SwfHeaderError::BadLength:
            return "length field out of range";
    }
    return "unknown error";
}

CSwfHeader::CSwfHeader(std::string path) {
    if (!OpenAndRead(path)) return;
    m_signatureValid = HasSignature(m_buffer, "FWS") || HasSignature(m_buffer, "CWS") ||
                       HasSignature(m_buffer, "ZWS");
    if (m_buffer.size() < kFixedHeaderBytes) {
        Fail(SwfHeaderError::TooShort);
        return;
    }
    if (!InflateBody()) return;
    if (!ParseHeader()) return;
    m_opened = TRUE;
    const auto length = static_cast<std::uint32_t>(m_fileLength);
    if (!m_signatureValid) {
        m_lastError = SwfHeaderError::BadSignature;
    } else if (length < kFixedHeaderBytes || length > INT32_MAX) {
        m_lastError = SwfHeaderError::BadLength;
    }
}

CSwfHeader::~CSwfHeader() {
    if (m_file >= 0) close(m_file);
}

std::string CSwfHeader::LastErrorText() const {
    std::string text = SwfHeaderErrorText(m_lastError);
    if (m_lastError == SwfHeaderError::TooShort && m_signatureValid) {
        text = "the movie is truncated: " + text;
    } else if (m_lastError == SwfHeaderError::CannotOpen && m_systemError != 0) {
        text = std::string("cannot open: ") + std::strerror(m_systemError);
    } else if (m_lastError == SwfHeaderError::NotAFile && m_systemError != 0) {
        text = std::strerror(m_systemError);
    } else if (m_lastError == SwfHeaderError::BadLength) {
        text += " (" + std::to_string(static_cast<std::uint32_t>(m_fileLength)) + ")";
    }
    return text;
}

bool CSwfHeader::OpenAndRead(const std::string& path) {
    // Non-blocking so that a named pipe cannot hang the open; it is then refused as no file.
    m_file = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat status {};
    if (m_file < 0 || fstat(m_file, &status) != 0) {
        m_systemError = errno;
        Fail(SwfHeaderError::CannotOpen);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        if (S_ISDIR(status.st_mode)) m_systemError = EISDIR;
        Fail(SwfHeaderError::NotAFile);
        return false;
    }
    const auto size = static_cast<std::uint64_t>(std::max<off_t>(status.st_size, 0));
    m_buffer.assign(static_cast<std::size_t>(std::min<std::uint64_t>(size, kMaxFileRead)), 0);
    std::size_t got = 0;
    while (got < m_buffer.size()) {
        const ssize_t count = read(m_file, m_buffer.data() + got, m_buffer.size() - got);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) {
            m_systemError = errno;
            Fail(SwfHeaderError::CannotOpen);
            return false;
        }
        if (count == 0) break;
        got += static_cast<std::size_t>(count);
    }
    m_buffer.resize(got);  // a file that shrank since fstat is decoded from what it holds
    return true;
}

bool CSwfHeader::InflateBody() {
    const std::span<const std::uint8_t> bytes(m_buffer);
    media::InflateResult inflated;
    if (HasSignature(m_buffer, "CWS")) {
        inflated = media::InflateZlibPrefix(bytes.subspan(kFixedHeaderBytes), kMaxHeaderBodyBytes);
    } else if (HasSignature(m_buffer, "ZWS")) {
        if (bytes.size() < kLzmaDataOffset) {
            Fail(SwfHeaderError::TooShort);
            return false;
        }
        inflated =
            media::InflateLzmaPrefix(bytes.subspan(kLzmaPropertiesOffset, kLzmaPropertiesBytes),
                                   bytes.subspan(kLzmaDataOffset), kMaxHeaderBodyBytes);
    } else {
        return true;  // a plain body, or an unknown one decoded as it stands
    }
    m_buffer.resize(kFixedHeaderBytes);
    m_buffer.insert(m_buffer.end(), inflated.bytes.begin(), inflated.bytes.end());
    m_bodyCorrupt = inflated.status == media::InflateStatus::kCorrupt;
    return true;
}

bool CSwfHeader::ParseHeader() {
    m_position = 3;  // the signature
    m_overrun = false;
    m_version = ReadByte();
    m_fileLength = static_cast<std::int32_t>(ReadUInt32());

    // The frame rectangle: 5 bits of field width N, then Xmin, Xmax, Ymin, Ymax as signed N-bit
    // fields in twips, most significant bit first.
    std::uint8_t current = ReadByte();
    const int bitCount = current >> 3;
    int bitsLeft = 3;
    auto readTwipsAsPixels = [&]() -> std::int32_t {
        std::int64_t value = 0;
        for (int i = 0; i < bitCount; ++i) {
            if (bitsLeft == 0) {
                current = ReadByte();
                bitsLeft = 8;
            }
            --bitsLeft;
            value = (value << 1) | ((current >> bitsLeft) & 1);
        }
        if (bitCount > 0 && ((value >> (bitCount - 1)) & 1)) value -= std::int64_t{1} << bitCount;
        return static_cast<std::int32_t>(value / 20);
    };
    const std::int32_t xMin = readTwipsAsPixels();
    const std::int32_t xMax = readTwipsAsPixels();
    const std::int32_t yMin = readTwipsAsPixels();
    const std::int32_t yMax = readTwipsAsPixels();
    m_left = xMin;
    m_width = xMax - xMin;
    m_top = yMin;
    m_height = yMax - yMin;

    ReadByte();  // frame rate fraction, in 1/256
    m_frameRate = ReadByte();
    const std::uint8_t countLow = ReadByte();
    const std::uint8_t countHigh = ReadByte();
    m_frameCount = static_cast<std::uint16_t>(countLow | (countHigh << 8));

    if (m_overrun) {
        Fail(m_bodyCorrupt ? SwfHeaderError::CorruptBody : SwfHeaderError::TooShort);
        return false;
    }
    return true;
}

void CSwfHeader::Fail(SwfHeaderError error) {
    // A short file that does not even start like a movie is better reported as no movie.
    if (error == SwfHeaderError::TooShort && !m_signatureValid && m_buffer.size() >= 3) {
        error = SwfHeaderError::BadSignature;
    }
    m_version = 0;
    m_fileLength = 0;
    m_left = m_top = m_width = m_height = 0;
    m_frameRate = m_frameCount = 0;
    m_opened = FALSE;
    m_lastError = error;
}

std::uint8_t CSwfHeader::ReadByte() {
    if (m_position < 0 || static_cast<std::size_t>(m_position) >= m_buffer.size()) {
        m_overrun = true;
        return 0;
    }
    return m_buffer[static_cast<std::size_t>(m_position++)];
}

std::uint32_t CSwfHeader::ReadUInt32() {
    std::uint32_t value = 0;
    for (int shift = 0; shift < 32; shift += 8) value |= std::uint32_t{ReadByte()} << shift;
    return value;
}
