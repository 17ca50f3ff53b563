// The per-file options and metadata that travel with a load or save: integer keys to text,
// kept in the order they were first set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr std::int32_t PROP_QUALITY = 500;        // save quality as decimal text, "-1" = default
constexpr std::int32_t PROP_TGA_RLE = 1000;       // "1" when a TGA file was run-length encoded
constexpr std::int32_t PROP_FRAME_DELAYS = 2000;  // frame delays in ms, 16 digits each

class CPropertyBag {
  public:
    // Replaces the text of a present key, or appends the pair.
    void Set(std::int32_t key, const std::string& value);
    // The key's text; empty when the key is absent.
    std::string Get(std::int32_t key) const;

    std::size_t GetCount() const { return m_keys.size(); }
    std::int32_t GetKeyAt(std::size_t index) const { return m_keys[index]; }
    const std::string& GetValueAt(std::size_t index) const { return m_values[index]; }

  private:
    std::vector<std::int32_t> m_keys;
    std::vector<std::string> m_values;
};
