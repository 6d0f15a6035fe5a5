// The checksum, the transport cipher and the receiving side's request framing.

#include <cstdint>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "WireHelpers.h"
#include "net/Crc32.h"
#include "net/DesCipher.h"
#include "net/RequestFrame.h"

namespace
{

TEST(Crc32, IsTheUninvertedReflectedCrc32)
{
    const struct
    {
        std::string bytes;
        uint32_t expected;
    } cases[] = {
        {"", 0xFFFFFFFFu},
        {"abc", 0xCADBBE3Du},
        {"123456789", ~0xCBF43926u}, // the common CRC-32 check value, inverted
        {std::string("\x00\xFF\x80", 3), ~0x81DDA740u},
    };
    const CCrc32 crc;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        EXPECT_EQ(crc.Calc(c.bytes), c.expected);
    }
}

// The checksum from its definition, one bit at a time, against the eight-bytes-at-a-time
// form, for every length up to a few steps and every start inside an aligned word, so that
// each split between whole steps and the byte-wise tail is covered.
TEST(Crc32, AgreesWithTheBitwiseDefinitionAtEveryLengthAndOffset)
{
    const auto bitwise = [](std::string_view bytes) {
        uint32_t value = 0xFFFFFFFFu;
        for (const char byte : bytes) {
            value ^= static_cast<unsigned char>(byte);
            for (int bit = 0; bit < 8; ++bit)
                value = (value >> 1) ^ ((value & 1u) != 0 ? 0xEDB88320u : 0u);
        }
        return value;
    };
    std::string bytes;
    for (int i = 0; i < 64; ++i)
        bytes.push_back(static_cast<char>((i * 151 + 7) & 0xFF));
    const CCrc32 crc;
    for (std::size_t offset = 0; offset < 8; ++offset)
        for (std::size_t length = 0; offset + length <= bytes.size(); ++length) {
            const std::string_view part = std::string_view(bytes).substr(offset, length);
            ASSERT_EQ(crc.Calc(part), bitwise(part)) << "offset " << offset << " length " << length;
        }
}

std::string SampleBlock(std::size_t length)
{
    std::string block;
    for (std::size_t i = 0; i < length; ++i)
        block.push_back(static_cast<char>((i * 37 + 11) & 0xFF));
    block[0] = '\0';
    return block;
}

TEST(TransportCipher, MatchesTheOpenSslTool)
{
    for (const std::size_t length : {8u, 16u, 48u, 1024u}) {
        SCOPED_TRACE(length);
        const std::string plain = SampleBlock(length);
        const auto expected = NetTest::OpenSslEncrypt(plain);
        ASSERT_TRUE(expected.has_value()) << "the openssl tool did not run";
        ASSERT_EQ(expected->size(), length);

        std::string encrypted;
        ASSERT_TRUE(DesCipher::EncryptBytes(plain, encrypted));
        EXPECT_EQ(encrypted, *expected);

        DesCipher::Init();
        const auto* block = reinterpret_cast<const unsigned char*>(plain.data());
        const unsigned char* out = DesCipher::Encrypt(block, plain.size(), 0);
        ASSERT_NE(out, nullptr);
        EXPECT_NE(out, block);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(out), length), *expected);
        DesCipher::Release();

        std::string decrypted;
        ASSERT_TRUE(DesCipher::DecryptBytes(encrypted, decrypted));
        EXPECT_EQ(decrypted, plain);
    }
}

TEST(TransportCipher, RefusesWhatItCannotEncrypt)
{
    const std::string plain = SampleBlock(24);
    const auto* block = reinterpret_cast<const unsigned char*>(plain.data());
    std::string out;
    EXPECT_FALSE(DesCipher::EncryptBytes(plain.substr(0, 23), out));
    EXPECT_FALSE(DesCipher::DecryptBytes(plain.substr(0, 9), out));

    DesCipher::Init();
    EXPECT_EQ(DesCipher::Encrypt(block, 23, 0), nullptr);
    EXPECT_EQ(DesCipher::Encrypt(block, 0, 0), nullptr);
    EXPECT_EQ(DesCipher::Encrypt(nullptr, 8, 0), nullptr);
    DesCipher::Release();
}

TEST(TransportCipher, OverlappingInitsAndReleasesAreCounted)
{
    const std::string plain = SampleBlock(16);
    const auto* block = reinterpret_cast<const unsigned char*>(plain.data());

    // Two sessions alive at once; the first one going must not stop the second.
    ASSERT_EQ(DesCipher::Init(), 1) << "a session of another test is still alive";
    EXPECT_EQ(DesCipher::Init(), 2);
    DesCipher::Release();
    EXPECT_NE(DesCipher::Encrypt(block, plain.size(), 0), nullptr);
    DesCipher::Release();
    EXPECT_EQ(DesCipher::Encrypt(block, plain.size(), 0), nullptr);

    // A stray release does not leave the count below zero.
    DesCipher::Release();
    EXPECT_EQ(DesCipher::Init(), 1);
    EXPECT_NE(DesCipher::Encrypt(block, plain.size(), 0), nullptr);
    DesCipher::Release();
}

quorvanta::WrappedMessage EnvelopeWithBuff(std::string buff)
{
    return NetTest::ClientEnvelope("TOKEN", "001122AABBCC", 9867, buff);
}

TEST(RequestFrame, DecodesEveryPaddingLength)
{
    // Buffs of zero bytes end the envelope in zeros, like the padding that follows it.
    for (std::size_t length = 0; length < 24; ++length) {
        for (const char filler : {'\0', 'x'}) {
            SCOPED_TRACE(testing::Message() << length << " bytes of " << int(filler));
            const auto sent = EnvelopeWithBuff(std::string(length, filler));
            const std::string serialized = sent.SerializePartialAsString();
            const std::string wire = EncodeRequest(sent);
            ASSERT_EQ(wire.size() % 8, 0u);
            ASSERT_LT(wire.size() - serialized.size(), 8u);

            quorvanta::WrappedMessage received;
            ASSERT_TRUE(TryDecodeRequest(wire, received));
            EXPECT_EQ(received.SerializePartialAsString(), serialized);
        }
    }
}

TEST(RequestFrame, WaitsForTheWholeRequest)
{
    const std::string wire = EncodeRequest(EnvelopeWithBuff(std::string(40, 'p')));
    quorvanta::WrappedMessage received;
    for (std::size_t length = 0; length < wire.size(); ++length) {
        SCOPED_TRACE(length);
        EXPECT_FALSE(TryDecodeRequest(std::string_view(wire).substr(0, length), received));
    }
    EXPECT_TRUE(TryDecodeRequest(wire, received));
}

/// The envelope padded to whole blocks and then followed by `extra` more zero bytes.
std::string EncryptedWithZeros(const quorvanta::WrappedMessage& envelope, std::size_t extra)
{
    std::string plain = envelope.SerializePartialAsString();
    plain.resize((plain.size() + 7) / 8 * 8 + extra, '\0');
    std::string encrypted;
    EXPECT_TRUE(DesCipher::EncryptBytes(plain, encrypted));
    return encrypted;
}

TEST(RequestFrame, RefusesWhatIsNotARequest)
{
    quorvanta::WrappedMessage withoutBuff;
    withoutBuff.set_tokenkey("TOKEN");
    withoutBuff.set_funid(200);

    std::string plainEnvelope = EnvelopeWithBuff("abc").SerializePartialAsString();
    plainEnvelope.resize((plainEnvelope.size() + 7) / 8 * 8, '\0');

    const struct
    {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"no Buff", EncodeRequest(withoutBuff)},
        {"not encrypted", plainEnvelope},
        {"noise", SampleBlock(64)},
        {"eight zero bytes of padding", EncryptedWithZeros(EnvelopeWithBuff("abc"), 8)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        quorvanta::WrappedMessage received;
        EXPECT_FALSE(TryDecodeRequest(c.bytes, received));
    }
}

} // namespace
