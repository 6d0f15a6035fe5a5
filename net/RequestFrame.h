#pragma once

#include <string>
#include <string_view>

#include "WrappedMessage.pb.h"

/// The receiving side of a request. The client never half-closes, so the end of a
/// request is found from the bytes themselves: whenever the bytes received so far are
/// a multiple of 8, they are decrypted, the 0 to 7 zero bytes of padding are dropped
/// (the shortest tail-trimmed prefix that parses wins) and the envelope is parsed.
/// Returns true, with the envelope filled, once it parses and carries Buff (the last
/// field a client writes); false means "not (yet) a complete request".
bool TryDecodeRequest(std::string_view received, quorvanta::WrappedMessage& envelope);

/// The sending side, for tests and tools: serializes the envelope, pads it with zero
/// bytes to a multiple of 8 and encrypts it exactly as a client does.
std::string EncodeRequest(const quorvanta::WrappedMessage& envelope);
