#include "imaging/propertybag.h"

#include <algorithm>

void CPropertyBag::Set(std::int32_t key, const std::string& value) {
    const auto it = std::find(m_keys.begin(), m_keys.end(), key);
    if (it != m_keys.end()) {
        m_values[std::size_t(it - m_keys.begin())] = value;
        return;
    }
    m_keys.push_back(key);
    m_values.push_back(value);
}

std::string CPropertyBag::Get(std::int32_t key) const {
    const auto it = std::find(m_keys.begin(), m_keys.end(), key);
    return it == m_keys.end() ? std::string() : m_values[std::size_t(it - m_keys.begin())];
}
