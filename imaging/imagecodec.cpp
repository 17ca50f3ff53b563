#include "imaging/imagecodec.h"

#include <fstream>
#include <new>
#include <vector>

bool CImageCodec::LoadFile(const char* fileName, CImageList& images,
                           std::unique_ptr<CPropertyBag>& properties) {
    if (!fileName) return false;
    std::ifstream in(fileName, std::ios::binary | std::ios::ate);
    if (!in) return false;
    const std::streamoff length = in.tellg();
    if (length <= 0 || std::uint64_t(length) > kMaxCodecFileBytes) return false;
    std::vector<BYTE> bytes;
    try {
        bytes.resize(std::size_t(length));
    } catch (const std::bad_alloc&) {
        return false;
    }
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), length)) return false;
    return LoadMemory(bytes.data(), bytes.size(), images, properties);
}

bool CImageCodec::LoadMemory(const BYTE*, std::size_t, CImageList&,
                             std::unique_ptr<CPropertyBag>&) {
    return false;
}

bool CImageCodec::SaveFile(const char*, const CImageList&, const CPropertyBag*) {
    return false;
}
