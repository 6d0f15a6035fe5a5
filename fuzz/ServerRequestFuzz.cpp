// Arbitrary request streams into the demo server's framing and dispatch, called directly
// (no sockets). The first input byte chooses how the rest is used:
//   bit 0 clear: the rest is the stream exactly as received (padded, encrypted);
//   bit 0 set:   the rest is a plain envelope, which is padded and encrypted as a client
//                does; then framing must give back exactly that envelope;
//   bit 1 set:   the envelope's CRC is made right before sending, so the request gets past
//                the checksum to the operations.
// A TokenKey of "@" stands for the token of a session logged in at start.
// Properties: every reply carries a token, the request's function number and MAC field, a
// checksum and BuffSize that match its Buff, and a Buff that parses as the reply message of
// the function (empty, with a reason text, when the request was refused).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "WrappedMessage.pb.h"
#include "fuzz/FuzzCheck.h"
#include "net/Crc32.h"
#include "net/FunctionNumbers.h"
#include "net/ProtobufDiagnostics.h"
#include "net/RequestFrame.h"
#include "server/DemoBook.h"
#include "server/DemoServer.h"
#include "server/TradeService.h"
#include "trade/LoginRequest.h"
#include "util/Clock.h"

using namespace quorvanta;

namespace
{
constexpr uint8_t kPlainEnvelope = 0x01;
constexpr uint8_t kStampCrc = 0x02;
const std::string kLiveTokenMark = "@";

struct Server
{
    std::unique_ptr<TradeService> service;
    std::string token; ///< a logged-in session of the main demo account
};

Server& TheServer()
{
    static Server server = [] {
        SilenceProtobufDiagnostics();
        DemoBook book;
        std::string error;
        FUZZ_CHECK(LoadDemoBook(BuiltInDemoBookJson(), LocalDay(Clock::Now()), book, error),
                   "the built-in demo book loads");
        Server made;
        made.service = std::make_unique<TradeService>(std::move(book), std::chrono::hours(8));
        WrappedMessage login;
        login.set_tokenkey("");
        login.set_funid(kFunLogin);
        login.set_buff(MakeLoginRequest(DemoAccounts::kMainAccount, DemoAccounts::kMainPassword)
                           .SerializePartialAsString());
        login.set_crc(CCrc32().Calc(login.buff()));
        const WrappedMessage reply = made.service->Handle(login);
        FUZZ_CHECK(reply.errorcode() == 0 && !reply.tokenkey().empty(), "the demo login works");
        made.token = reply.tokenkey();
        return made;
    }();
    return server;
}

template <typename Res> bool ParsesAs(const std::string& buff)
{
    Res res;
    return res.ParsePartialFromString(buff);
}

// Whether a successful reply's Buff is the reply message of its function.
bool PayloadParses(int32_t funId, const std::string& buff)
{
    switch (funId) {
    case kFunLogin:
        return ParsesAs<MsgLogin_res>(buff);
    case kFunEntrust:
        return ParsesAs<MsgEntrust_res>(buff);
    case kFunCanEntrust:
        return ParsesAs<MsgCanEntrust_res>(buff);
    case kFunQryStockAcc:
        return ParsesAs<MsgQryStockAcc_res_collection>(buff);
    case kFunQryEntrust:
        return ParsesAs<MsgQryEntrust_res_collection>(buff);
    case kFunQryHisEntrust:
        return ParsesAs<MsgQryHisEntrust_res_collection>(buff);
    case kFunQryOptCode:
        return ParsesAs<MsgQryOptCode_res_collection>(buff);
    case kFunQryPosCode:
        return ParsesAs<MsgQryPosCode_res_collection>(buff);
    default:
        return false; // an unknown function never succeeds
    }
}

void Serve(Server& server, const WrappedMessage& request)
{
    const WrappedMessage reply = server.service->Handle(request);
    FUZZ_CHECK(!reply.tokenkey().empty(), "every reply carries a token");
    FUZZ_CHECK(reply.has_funid() && reply.funid() == request.funid(),
               "the reply carries the request's function number");
    FUZZ_CHECK(reply.has_macid() && reply.macid() == request.macid(),
               "the reply carries the request's MAC field");
    FUZZ_CHECK(reply.has_crc() && reply.crc() == CCrc32().Calc(reply.buff()),
               "the reply's checksum matches its Buff");
    FUZZ_CHECK(reply.has_buffsize() &&
                   static_cast<std::size_t>(reply.buffsize()) == reply.buff().size(),
               "the reply's BuffSize matches its Buff");
    if (reply.errorcode() == 0) {
        FUZZ_CHECK(PayloadParses(request.funid(), reply.buff()),
                   "a successful reply's Buff parses as the function's reply message");
    } else {
        FUZZ_CHECK(reply.buff().empty() && !reply.msgdesc().empty(),
                   "a refusal carries a reason and no payload");
    }
    // The whole reply is one well-formed envelope a client can read.
    WrappedMessage read;
    FUZZ_CHECK(read.ParsePartialFromString(reply.SerializePartialAsString()),
               "the reply envelope parses");
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    Server& server = TheServer();
    const uint8_t mode = data[0];
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);

    WrappedMessage request;
    if (!(mode & kPlainEnvelope)) {
        if (!TryDecodeRequest(rest, request))
            return 0;
    } else {
        WrappedMessage plain;
        if (!plain.ParsePartialFromArray(rest.data(), static_cast<int>(rest.size())))
            return 0;
        // Fields of no number the schema knows are not the client's; the client writes
        // only the envelope's own fields.
        plain.DiscardUnknownFields();
        if (plain.tokenkey() == kLiveTokenMark)
            plain.set_tokenkey(server.token);
        if (mode & kStampCrc)
            plain.set_crc(CCrc32().Calc(plain.buff()));
        const std::string wire = EncodeRequest(plain);
        FUZZ_CHECK(wire.size() % 8 == 0, "a framed request is whole cipher blocks");
        const bool decoded = TryDecodeRequest(wire, request);
        FUZZ_CHECK(decoded == plain.has_buff(), "framing finds every request that carries Buff");
        if (!decoded)
            return 0;
        FUZZ_CHECK(request.SerializePartialAsString() == plain.SerializePartialAsString(),
                   "framing gives back exactly the envelope that was sent");
    }
    Serve(server, request);
    return 0;
}
