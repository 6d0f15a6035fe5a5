#include "net/RequestFrame.h"

#include <climits>
#include <utility>

#include "net/DesCipher.h"
#include "net/ProtobufDiagnostics.h"

namespace
{
constexpr std::size_t kBlockSize = 8;
} // namespace

bool TryDecodeRequest(std::string_view received, quorvanta::WrappedMessage& envelope)
{
    SilenceProtobufDiagnostics();
    if (received.empty() || received.size() % kBlockSize != 0 ||
        received.size() > static_cast<std::size_t>(INT_MAX))
        return false;
    std::string plain;
    if (!DesCipher::DecryptBytes(received, plain))
        return false;

    // Padding is 0 to 7 zero bytes. Zero bytes after a message never parse (a zero tag),
    // and the envelope ends with Buff, whose length prefix rules out a shorter cut; so
    // trying the shortest candidate first finds the one true end.
    std::size_t trailingZeros = 0;
    while (trailingZeros < kBlockSize - 1 && trailingZeros < plain.size() &&
           plain[plain.size() - 1 - trailingZeros] == '\0')
        ++trailingZeros;
    for (std::size_t cut = trailingZeros + 1; cut-- > 0;) {
        quorvanta::WrappedMessage candidate;
        if (candidate.ParsePartialFromArray(plain.data(), static_cast<int>(plain.size() - cut)) &&
            candidate.has_buff()) {
            envelope = std::move(candidate);
            return true;
        }
    }
    return false;
}

std::string EncodeRequest(const quorvanta::WrappedMessage& envelope)
{
    SilenceProtobufDiagnostics();
    std::string block = envelope.SerializePartialAsString();
    block.resize((block.size() + kBlockSize - 1) / kBlockSize * kBlockSize, '\0');
    std::string encrypted;
    if (!DesCipher::EncryptBytes(block, encrypted))
        return block; // a client whose cipher gives nothing sends the plain block too
    return encrypted;
}
