#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "WrappedMessage.pb.h"

namespace NetTest
{

/// The key of the transport cipher as hex digits, for the openssl command line.
std::string TransportKeyHex();

/// Encrypts plain (a multiple of 8 bytes) with the openssl command-line tool, an
/// implementation independent of ours; std::nullopt when the tool fails.
std::optional<std::string> OpenSslEncrypt(std::string_view plain);

/// The field numbers of a serialized message in the order they appear; std::nullopt when
/// the bytes are not a well-formed encoding.
std::optional<std::vector<int>> FieldNumbersInOrder(std::string_view bytes);

/// The envelope a client builds for a request: TokenKey, MACID, FunID, CRC and Buff.
quorvanta::WrappedMessage ClientEnvelope(const std::string& token, const std::string& macId,
                                         int32_t funId, const std::string& payload);

/// Bytes that are not valid UTF-8: "已成交" and "账户不存在" in GBK.
inline const std::string kGbkFilled = "\xD2\xD1\xB3\xC9\xBD\xBB";
inline const std::string kGbkNoAccount = "\xD5\xCB\xBB\xA7\xB2\xBB\xB4\xE6\xD4\xDA";

} // namespace NetTest
