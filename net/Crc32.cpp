#include "net/Crc32.h"

#include <array>

namespace
{
constexpr uint32_t kPolynomial = 0xEDB88320u;

// Eight tables, so that eight bytes are folded in per step ("slicing by 8"): table k gives
// the effect of a byte followed by k zero bytes. Table 0 is the usual byte-wise table.
using Tables = std::array<std::array<uint32_t, 256>, 8>;

constexpr Tables MakeTables()
{
    Tables tables{};
    for (uint32_t index = 0; index < 256; ++index) {
        uint32_t value = index;
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 1u) != 0 ? (value >> 1) ^ kPolynomial : value >> 1;
        tables[0][index] = value;
    }
    for (std::size_t k = 1; k < tables.size(); ++k)
        for (std::size_t index = 0; index < 256; ++index) {
            const uint32_t previous = tables[k - 1][index];
            tables[k][index] = (previous >> 8) ^ tables[0][previous & 0xFFu];
        }
    return tables;
}

constexpr Tables kTables = MakeTables();

// Four bytes as a little-endian number, whatever the machine's byte order.
uint32_t LoadLittleEndian(const unsigned char* bytes)
{
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}
} // namespace

CCrc32::CCrc32() = default;

uint32_t CCrc32::Calc(std::string_view bytes) const
{
    // The server checks the value as it is, without the usual final inversion.
    uint32_t value = 0xFFFFFFFFu;
    const auto* next = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t left = bytes.size();
    for (; left >= 8; left -= 8, next += 8) {
        const uint32_t low = LoadLittleEndian(next) ^ value;
        const uint32_t high = LoadLittleEndian(next + 4);
        value = kTables[7][low & 0xFFu] ^ kTables[6][(low >> 8) & 0xFFu] ^
                kTables[5][(low >> 16) & 0xFFu] ^ kTables[4][low >> 24] ^ kTables[3][high & 0xFFu] ^
                kTables[2][(high >> 8) & 0xFFu] ^ kTables[1][(high >> 16) & 0xFFu] ^
                kTables[0][high >> 24];
    }
    for (; left > 0; --left, ++next)
        value = (value >> 8) ^ kTables[0][(value ^ *next) & 0xFFu];
    return value;
}
