// A binary file written in pieces that either is complete or is not there: a failed write or
// close, or a writer dropped before Finish, removes the file (when it is a plain file). A
// failed open or Finish leaves its reason in imaging::LastImageFailure().
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

class CFileWriter {
  public:
    explicit CFileWriter(const char* fileName);
    ~CFileWriter();
    CFileWriter(const CFileWriter&) = delete;
    CFileWriter& operator=(const CFileWriter&) = delete;

    bool IsOpen() const { return m_file != nullptr; }
    void Write(const void* data, std::size_t size);
    void WriteU8(std::uint8_t value) { Write(&value, 1); }
    void WriteU16(std::uint16_t value);  // little-endian
    void WriteU32(std::uint32_t value);  // little-endian
    // Closes the file; true when every write succeeded, otherwise the file is removed.
    bool Finish();

  private:
    std::FILE* m_file = nullptr;
    std::string m_name;
    bool m_failed = false;
    int m_errno = 0;  // why the first write failed
};
