#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "WrappedMessage.pb.h"

namespace TestSupport
{

/// What the test peer does with one connection.
struct ScriptedReply
{
    enum class Action
    {
        Answer,             ///< read the request, write `bytes`, close
        CloseAtOnce,        ///< close as soon as the connection is accepted, reading nothing
        CloseWithoutAnswer, ///< read the request, close without writing
        NeverAnswer,        ///< read the request, then hold the connection until the client leaves
    };

    Action action = Action::Answer;
    std::string bytes;                  ///< what Answer writes, exactly as given
    std::size_t pieceSize = 0;          ///< 0: one write; otherwise writes of this many bytes
    std::chrono::milliseconds pause{0}; ///< between two pieces

    /// A reply envelope with ErrorCode, MsgDesc, TokenKey and Buff set (BuffSize absent).
    static ScriptedReply Envelope(int32_t errorCode, std::string msgDesc, std::string tokenKey,
                                  std::string buff);
    /// Success with the given token: ErrorCode 0, empty MsgDesc, Buff = payload's bytes.
    static ScriptedReply Success(std::string tokenKey,
                                 const google::protobuf::MessageLite& payload);
    /// A refusal: the token, a non-zero code and its description (GBK bytes), no Buff.
    static ScriptedReply Refusal(std::string tokenKey, int32_t errorCode, std::string msgDesc);
    /// Any envelope, serialized as it is (only the fields the test set are present).
    static ScriptedReply Message(const quorvanta::WrappedMessage& envelope);
    /// Any bytes at all, for malformed replies.
    static ScriptedReply Raw(std::string bytes);
    static ScriptedReply CloseAtOnce();
    static ScriptedReply CloseWithoutAnswer();
    static ScriptedReply NeverAnswer();

    /// The same reply written in pieces of `size` bytes with `pauseBetween` between them
    /// (a size of 1 with a pause makes a trickling server).
    ScriptedReply InPieces(std::size_t size, std::chrono::milliseconds pauseBetween = {}) const;
};

/// One connection as the test peer saw it.
struct ReceivedRequest
{
    std::string raw;                    ///< the bytes as received: padded and encrypted
    bool decoded = false;               ///< they formed one complete request
    quorvanta::WrappedMessage envelope; ///< the decrypted envelope (when decoded)

    int32_t FunId() const { return envelope.funid(); }
    /// The serialized inner request (the envelope's Buff).
    const std::string& Payload() const { return envelope.buff(); }
    /// The inner request parsed as Message (unchecked, like every read of the system).
    template <typename Message> Message PayloadAs() const
    {
        Message message;
        message.ParsePartialFromString(envelope.buff());
        return message;
    }
};

/// A scripted trade server on 127.0.0.1 for tests. It listens on a free port on a
/// background thread and serves one connection at a time: it reads until the bytes form
/// one complete request (decrypted and unpadded exactly as the demo server does),
/// records it, and then acts out the next scripted reply; when the script is used up it
/// acts out the default reply (CloseWithoutAnswer unless set). Stops on destruction.
///
///     TestSupport::ScriptedServer server;
///     server.PointClientHere();
///     server.Script(ScriptedReply::Success("TOKEN", reply));
///     session.ReqQryPosCode(request, result);
///     auto sent = server.LastRequest().PayloadAs<quorvanta::MsgQryPosCode_req>();
class ScriptedServer
{
public:
    ScriptedServer(); ///< starts listening; fails the current test if it cannot
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    uint16_t Port() const { return m_port; }
    /// Points g_ClientConfig at this server (see PointClientAt).
    void PointClientHere() const;

    /// Appends a reply for the next connection that has none yet.
    void Script(ScriptedReply reply);
    /// What connections do once the script is used up.
    void SetDefaultReply(ScriptedReply reply);

    /// Every connection so far, in order (CloseAtOnce connections are not recorded).
    std::vector<ReceivedRequest> Requests() const;
    /// The most recent recorded connection; fails the current test when there is none.
    ReceivedRequest LastRequest() const;
    std::size_t RequestCount() const;
    /// Accepted connections, CloseAtOnce ones included.
    std::size_t ConnectionCount() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    uint16_t m_port = 0;
};

} // namespace TestSupport
