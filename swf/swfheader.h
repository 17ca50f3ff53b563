// CSwfHeader: reads the fixed header of a Flash movie file (signature, version, length, frame
// rectangle, frame rate, frame count) from plain, zlib- and LZMA-compressed movies.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/wintypes.h"

// Why a header could not be read, or what is wrong with it.
enum class SwfHeaderError {
    None,
    CannotOpen,    // the file could not be opened or read
    NotAFile,      // the path names a folder or a device, not a file
    TooShort,      // the file (or its compressed body) ends before the header does
    CorruptBody,   // the compressed body cannot be inflated
    BadSignature,  // neither "FWS", "CWS" nor "ZWS"; the values are still decoded
    BadLength,     // the length field is below 8 or beyond 2^31 - 1; the values are decoded
};

// A short English phrase naming the error ("" for None).
const char* SwfHeaderErrorText(SwfHeaderError error);

// Does all its work in the constructor; the caller then reads the value members. Every value is
// zero and m_opened FALSE unless the whole header could be decoded. Memory use is bounded: at
// most kMaxFileRead bytes of the file are held, and only the body bytes the header needs are
// inflated, whatever the length field says.
class CSwfHeader {
  public:
    static constexpr std::size_t kMaxFileRead = 64u << 20;
    // Frame rectangle (at most 17 bytes), frame rate and frame count.
    static constexpr std::size_t kMaxHeaderBodyBytes = 21;

    explicit CSwfHeader(std::string path);
    ~CSwfHeader();
    CSwfHeader(const CSwfHeader&) = delete;
    CSwfHeader& operator=(const CSwfHeader&) = delete;

    std::uint8_t m_version = 0;
    std::int32_t m_fileLength = 0;
    std::int32_t m_left = 0;
    std::int32_t m_top = 0;
    std::int32_t m_width = 0;
    std::int32_t m_height = 0;
    std::uint16_t m_frameRate = 0;
    std::uint16_t m_frameCount = 0;
    BOOL m_opened = FALSE;
    BOOL m_signatureValid = FALSE;

    SwfHeaderError LastError() const { return m_lastError; }
    // The error with its detail, e.g. "cannot open: No such file or directory"; "" when none.
    std::string LastErrorText() const;

  private:
    // The file's bytes as read; for a compressed movie the body is replaced by the inflated
    // bytes the header needs.
    std::vector<std::uint8_t> m_buffer;
    int m_file = -1;  // the movie file, open for reading while the object lives
    std::int32_t m_position = 0;
    SwfHeaderError m_lastError = SwfHeaderError::None;
    int m_systemError = 0;  // errno behind CannotOpen

    bool m_bodyCorrupt = false;  // the inflater found an error before the header's bytes
    bool m_overrun = false;      // a reader went past the end of m_buffer

    bool OpenAndRead(const std::string& path);
    bool InflateBody();
    bool ParseHeader();
    // Zeroes every value, clears m_opened and records the error (a bad signature rather than
    // a short file when the file does not start like a movie).
    void Fail(SwfHeaderError error);

    // Readers over m_buffer; past its end they return 0 and set m_overrun.
    std::uint8_t ReadByte();
    std::uint32_t ReadUInt32();
};
