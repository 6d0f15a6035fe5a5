#include "WireHelpers.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include <google/protobuf/io/coded_stream.h>
#include <google/protobuf/wire_format_lite.h>

#include "net/Crc32.h"

namespace NetTest
{

std::string TransportKeyHex()
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char c : std::string_view("Halvorn-Transport-Key-v1")) {
        hex.push_back(kDigits[c >> 4]);
        hex.push_back(kDigits[c & 0x0F]);
    }
    return hex;
}

std::optional<std::string> OpenSslEncrypt(std::string_view plain)
{
    std::string pattern =
        (std::filesystem::temp_directory_path() / "halvorn-openssl-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        return std::nullopt;
    const std::filesystem::path folder(pattern);
    const std::filesystem::path in = folder / "plain.bin";
    const std::filesystem::path out = folder / "cipher.bin";
    std::optional<std::string> result;
    {
        std::ofstream(in, std::ios::binary).write(plain.data(), std::streamsize(plain.size()));
        const std::string command = "openssl enc -des-ede3-cbc -nopad -K " + TransportKeyHex() +
                                    " -iv 0000000000000000 -in '" + in.string() + "' -out '" +
                                    out.string() + "' 2>/dev/null";
        if (std::system(command.c_str()) == 0) {
            std::ifstream file(out, std::ios::binary);
            result.emplace((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return result;
}

std::optional<std::vector<int>> FieldNumbersInOrder(std::string_view bytes)
{
    using google::protobuf::internal::WireFormatLite;
    google::protobuf::io::CodedInputStream input(reinterpret_cast<const uint8_t*>(bytes.data()),
                                                 static_cast<int>(bytes.size()));
    std::vector<int> numbers;
    while (const uint32_t tag = input.ReadTag()) {
        numbers.push_back(WireFormatLite::GetTagFieldNumber(tag));
        if (!WireFormatLite::SkipField(&input, tag))
            return std::nullopt;
    }
    if (!input.ConsumedEntireMessage() || input.CurrentPosition() != int(bytes.size()))
        return std::nullopt;
    return numbers;
}

quorvanta::WrappedMessage ClientEnvelope(const std::string& token, const std::string& macId,
                                         int32_t funId, const std::string& payload)
{
    quorvanta::WrappedMessage envelope;
    envelope.set_tokenkey(token);
    envelope.set_macid(macId);
    envelope.set_funid(funId);
    envelope.set_crc(CCrc32().Calc(payload));
    envelope.set_buff(payload);
    return envelope;
}

} // namespace NetTest
