#include "net/Crc32.h"

namespace
{
constexpr uint32_t kPolynomial = 0xEDB88320u;
} // namespace

CCrc32::CCrc32()
{
    for (uint32_t index = 0; index < m_table.size(); ++index) {
        uint32_t value = index;
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 1u) != 0 ? (value >> 1) ^ kPolynomial : value >> 1;
        m_table[index] = value;
    }
}

uint32_t CCrc32::Calc(std::string_view bytes) const
{
    // The server checks the value as it is, without the usual final inversion.
    uint32_t value = 0xFFFFFFFFu;
    for (const char byte : bytes)
        value = (value >> 8) ^ m_table[(value ^ static_cast<unsigned char>(byte)) & 0xFFu];
    return value;
}
