#include "imaging/filewriter.h"

#include <sys/stat.h>

#include <cerrno>

#include "imaging/imageerror.h"

CFileWriter::CFileWriter(const char* fileName) {
    if (!fileName) return;
    m_name = fileName;
    m_file = std::fopen(fileName, "wb");
    if (!m_file) imaging::SetImageFailure(imaging::ImageError::kCannotCreate, errno);
}

CFileWriter::~CFileWriter() {
    if (!m_file) return;
    m_failed = true;
    Finish();
}

void CFileWriter::Write(const void* data, std::size_t size) {
    if (!m_file || m_failed || size == 0) return;
    if (std::fwrite(data, 1, size, m_file) != size) {
        m_failed = true;
        m_errno = errno;
    }
}

void CFileWriter::WriteU16(std::uint16_t value) {
    const std::uint8_t bytes[2] = {std::uint8_t(value), std::uint8_t(value >> 8)};
    Write(bytes, 2);
}

void CFileWriter::WriteU32(std::uint32_t value) {
    const std::uint8_t bytes[4] = {std::uint8_t(value), std::uint8_t(value >> 8),
                                   std::uint8_t(value >> 16), std::uint8_t(value >> 24)};
    Write(bytes, 4);
}

bool CFileWriter::Finish() {
    if (!m_file) return false;
    const bool closed = std::fclose(m_file) == 0;
    const int closeErrno = closed ? 0 : errno;
    m_file = nullptr;
    if (closed && !m_failed) return true;
    imaging::SetImageFailure(imaging::ImageError::kCannotWrite, m_failed ? m_errno : closeErrno);
    struct stat info;  // a device or anything else that is not a plain file stays
    if (lstat(m_name.c_str(), &info) == 0 && S_ISREG(info.st_mode)) std::remove(m_name.c_str());
    return false;
}
