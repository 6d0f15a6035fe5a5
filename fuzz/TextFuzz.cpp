// Arbitrary bytes through both text converters. Properties: what comes out of the GBK
// side is always well-formed UTF-8; text that is valid GBK survives GBK -> UTF-8 -> GBK
// byte for byte; UTF-8 text made only of characters GBK has survives the other way round.

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <iconv.h>

#include "fuzz/FuzzCheck.h"
#include "util/util.h"

namespace
{
// Well-formed UTF-8 in the strict sense: shortest forms, no surrogates, at most U+10FFFF.
bool IsUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
        const unsigned char lead = b(i);
        std::size_t trail = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (lead < 0x80) {
            ++i;
            continue;
        }
        if (lead >= 0xC2 && lead <= 0xDF) {
            trail = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            trail = 2;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            trail = 3;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (i + trail >= text.size())
            return false;
        for (std::size_t k = 1; k <= trail; ++k) {
            const unsigned char lo = k == 1 ? low : 0x80;
            const unsigned char hi = k == 1 ? high : 0xBF;
            if (b(i + k) < lo || b(i + k) > hi)
                return false;
        }
        i += trail + 1;
    }
    return true;
}

// Whether iconv converts the whole text without a single refusal.
bool ConvertsCleanly(const char* to, const char* from, std::string_view text)
{
    const iconv_t cd = ::iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    std::string output(text.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* out = output.data();
    std::size_t outLeft = output.size();
    const std::size_t rc = ::iconv(cd, &in, &inLeft, &out, &outLeft);
    const bool flushed = ::iconv(cd, nullptr, nullptr, &out, &outLeft) != static_cast<size_t>(-1);
    ::iconv_close(cd);
    return rc != static_cast<std::size_t>(-1) && inLeft == 0 && flushed;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    const std::string utf8 = AnsiToUtf8(input);
    FUZZ_CHECK(IsUtf8(utf8), "GBK -> UTF-8 gives well-formed UTF-8");
    if (ConvertsCleanly("UTF-8", "GBK", input))
        FUZZ_CHECK(Utf8ToAnsi(utf8) == input, "valid GBK survives GBK -> UTF-8 -> GBK");

    const std::string gbk = Utf8ToAnsi(input);
    if (IsUtf8(input) && ConvertsCleanly("GBK", "UTF-8", input))
        FUZZ_CHECK(AnsiToUtf8(gbk) == input, "GBK-representable UTF-8 survives the round trip");
    return 0;
}
