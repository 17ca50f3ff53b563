// One of the toolkit's own image readers (FUZZ_CODEC, set by the build) on hostile bytes.
#include <cstdint>
#include <memory>

#include FUZZ_CODEC_HEADER
#include "imaging/pixelimage.h"
#include "imaging/propertybag.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FUZZ_CODEC codec;
    CImageList images;
    std::unique_ptr<CPropertyBag> properties;
    codec.LoadMemory(data, size, images, properties);
    for (CPixelImage* image : images) delete image;
    return 0;
}
