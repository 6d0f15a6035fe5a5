#pragma once

#include <cstdint>
#include <string_view>

/// The checksum the trade server expects in the envelope's CRC: reflected CRC-32
/// (polynomial 0xEDB88320) started at 0xFFFFFFFF and returned without the final
/// inversion, so "" gives 0xFFFFFFFF and "abc" 0xCADBBE3D.
class CCrc32
{
public:
    CCrc32();
    uint32_t Calc(std::string_view bytes) const;
};
