// CSwfHeader: the fixed header of a movie file (version, length, frame size, rate, count).
// Plain movies only for now; the full reader replaces this.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>

#include "platform/wintypes.h"

class CSwfHeader {
  public:
    explicit CSwfHeader(std::string path) {
        std::ifstream in(path, std::ios::binary);
        unsigned char b[32] = {};
        if (!in.read(reinterpret_cast<char*>(b), 8)) return;
        m_signatureValid = (b[0] == 'F' || b[0] == 'C') && b[1] == 'W' && b[2] == 'S';
        if (b[0] != 'F' || !m_signatureValid) return;
        in.read(reinterpret_cast<char*>(b + 8), 24);
        m_version = b[3];
        m_fileLength =
            static_cast<std::int32_t>(b[4] | b[5] << 8 | b[6] << 16 | std::uint32_t(b[7]) << 24);
        int bit = 64;
        auto bits = [&](int n) {
            std::uint32_t v = 0;
            for (int i = 0; i < n; ++i, ++bit) v = v << 1 | ((b[bit / 8] >> (7 - bit % 8)) & 1);
            return v;
        };
        const int n = static_cast<int>(bits(5));
        auto field = [&] {
            const std::uint32_t v = bits(n);
            return n == 0 ? 0 : static_cast<std::int32_t>(v << (32 - n)) >> (32 - n);
        };
        const int xmin = field(), xmax = field(), ymin = field(), ymax = field();
        int at = (bit + 7) / 8;
        m_left = xmin / 20;
        m_top = ymin / 20;
        m_width = (xmax - xmin) / 20;
        m_height = (ymax - ymin) / 20;
        m_frameRate = b[at + 1];
        m_frameCount = static_cast<std::uint16_t>(b[at + 2] | b[at + 3] << 8);
        m_opened = TRUE;
    }

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
};
