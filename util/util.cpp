#include "util/util.h"

#include <cerrno>

#include <iconv.h>

#include <openssl/crypto.h>

std::string FormatTime(std::string_view time)
{
    // The server sends the time of day without its leading zero hour digit, so both
    // five and six characters occur; anything else is not a time we can lay out.
    if (time.size() == 5)
        return std::string{time[0], ':', time[1], time[2], ':', time[3], time[4]};
    if (time.size() == 6)
        return std::string{time[0], time[1], ':', time[2], time[3], ':', time[4], time[5]};
    return {};
}

namespace
{
/// One iconv conversion descriptor, closed with its owner.
class IconvHandle
{
public:
    IconvHandle(const char* to, const char* from) : m_cd(::iconv_open(to, from)) {}
    ~IconvHandle()
    {
        if (IsOpen())
            ::iconv_close(m_cd);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;

    bool IsOpen() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const { return m_cd; }

private:
    iconv_t m_cd;
};

/// Length of the UTF-8 sequence at the start of text when well formed; otherwise the
/// length of its longest start that could still have become one (at least 1), so that a
/// character cut short counts as one bad spot and the byte after it is read afresh.
std::size_t Utf8SpotLength(std::string_view text)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t trailCount = 0;
    unsigned char secondLow = 0x80;
    unsigned char secondHigh = 0xBF;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        trailCount = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        trailCount = 2;
        // no overlong forms, no surrogates
        if (lead == 0xE0)
            secondLow = 0xA0;
        if (lead == 0xED)
            secondHigh = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        trailCount = 3;
        // no overlong forms, nothing beyond U+10FFFF
        if (lead == 0xF0)
            secondLow = 0x90;
        if (lead == 0xF4)
            secondHigh = 0x8F;
    } else {
        return 1;
    }

    std::size_t length = 1;
    for (std::size_t i = 1; i <= trailCount && i < text.size(); ++i) {
        const unsigned char low = i == 1 ? secondLow : 0x80;
        const unsigned char high = i == 1 ? secondHigh : 0xBF;
        if (byte(i) < low || byte(i) > high)
            break;
        ++length;
    }
    return length;
}

/// How many source bytes one invalid or unconvertible spot takes up.
using SkipRule = std::size_t (*)(std::string_view rest);

std::size_t SkipOneByte(std::string_view)
{
    return 1;
}

std::size_t SkipUtf8Character(std::string_view rest)
{
    // A well-formed character that GBK lacks goes as a whole, and so does a malformed
    // piece of one; the text after it is kept.
    return Utf8SpotLength(rest);
}

/// Converts the whole input. Where iconv stops at bytes it cannot take, the replacement
/// goes out instead and conversion carries on after them, so nothing behind a bad byte
/// is lost.
std::string Convert(const IconvHandle& cd, std::string_view input, std::string_view replacement,
                    SkipRule skip)
{
    if (input.empty())
        return {};

    std::string output;
    if (!cd.IsOpen()) {
        // Without the code page module we still keep plain ASCII readable.
        for (const char c : input)
            output +=
                (static_cast<unsigned char>(c) < 0x80) ? std::string_view(&c, 1) : replacement;
        return output;
    }
    ::iconv(cd.Get(), nullptr, nullptr, nullptr, nullptr);

    output.resize(input.size() * 2 + 16);
    char* in = const_cast<char*>(input.data()); // iconv's signature; the input is not written
    std::size_t inLeft = input.size();
    std::size_t produced = 0;

    while (inLeft > 0) {
        char* out = output.data() + produced;
        std::size_t outLeft = output.size() - produced;
        const std::size_t rc = ::iconv(cd.Get(), &in, &inLeft, &out, &outLeft);
        produced = output.size() - outLeft;
        if (rc != static_cast<std::size_t>(-1))
            break;

        if (errno == E2BIG) {
            output.resize(output.size() * 2);
            continue;
        }
        const std::string_view rest(in, inLeft);
        std::size_t skipped = 0;
        if (errno == EILSEQ) {
            skipped = skip(rest);
        } else if (errno == EINVAL) {
            // A character cut short by the end of the text.
            skipped = inLeft;
        } else {
            skipped = 1;
        }
        output.replace(produced, 0, replacement);
        produced += replacement.size();
        in += skipped;
        inLeft -= skipped;
        ::iconv(cd.Get(), nullptr, nullptr, nullptr, nullptr);
    }

    // Flush any shift state (none for these code pages, but cheap to be correct).
    for (;;) {
        char* out = output.data() + produced;
        std::size_t outLeft = output.size() - produced;
        const std::size_t rc = ::iconv(cd.Get(), nullptr, nullptr, &out, &outLeft);
        produced = output.size() - outLeft;
        if (rc != static_cast<std::size_t>(-1) || errno != E2BIG)
            break;
        output.resize(output.size() * 2);
    }
    output.resize(produced);
    return output;
}
} // namespace

std::string Utf8ToAnsi(std::string_view utf8)
{
    // One descriptor per thread and direction, reset before each use.
    thread_local const IconvHandle toGbk("GBK", "UTF-8");
    return Convert(toGbk, utf8, "?", &SkipUtf8Character);
}

std::string AnsiToUtf8(std::string_view gbk)
{
    thread_local const IconvHandle fromGbk("UTF-8", "GBK");
    return Convert(fromGbk, gbk, "\xEF\xBF\xBD", &SkipOneByte);
}

void SecureErase(std::string& text)
{
    // Up to the capacity: a text that was longer before still holds its old bytes there.
    text.resize(text.capacity());
    OPENSSL_cleanse(text.data(), text.size());
    text.clear();
}
