// CSwfHeader on hostile files: the input is written to a file and read back as a movie header.
#include <cstdint>

#include "fuzz/temp_input.h"
#include "swf/swfheader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const CSwfHeader header(fuzz::WriteTempInput("movie.swf", data, size));
    (void)header.LastErrorText();
    return 0;
}
