#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "WrappedMessage.pb.h"
#include "net/Crc32.h"
#include "net/ExchangeObserver.h"
#include "net/FunctionNumbers.h"

/// The session token shared by every CClientUtil of the process. Empty until the
/// first reply that carries one; replaced by every later non-empty token, never cleared.
extern std::string g_strTokenKey;

/// How long one exchange with the trade server may take. A silent or trickling
/// server cannot hold the terminal longer than this.
struct TransportTimeouts
{
    std::chrono::milliseconds connect{5000};   ///< giving up on connecting
    std::chrono::milliseconds exchange{20000}; ///< the whole exchange, connect to close
};

/// Process-wide timeouts used by every exchange; tests set short ones.
void SetTransportTimeouts(const TransportTimeouts& timeouts);
TransportTimeouts GetTransportTimeouts();

/// The configured port as a number: the standard text-to-integer conversion (leading white
/// space, an optional sign, decimal digits; what follows them is ignored), accepted only
/// from 1 to 65535. Anything else names no port (nullopt); the exchange then fails with
/// ExchangeOutcome::BadPort before any connection is tried.
std::optional<uint16_t> ServerPortNumber(const std::string& text);

/// A reply longer than this fails the exchange like a missing reply.
inline constexpr std::size_t kMaxReplyBytes = 4u * 1024u * 1024u;

/// One network interface as the address lookup sees it.
struct NetworkAdapter
{
    std::string name;
    std::vector<unsigned char> hardwareAddress; ///< may be shorter or longer than 6 bytes
    std::string gateway;                        ///< dotted IPv4 text, "0.0.0.0" when none
};

/// Lists the interfaces in system order. Replaceable so tests can stage any machine;
/// passing an empty function restores the system's list.
void SetNetworkAdapterSource(std::function<std::vector<NetworkAdapter>()> source);
std::vector<NetworkAdapter> ListNetworkAdapters();

/// One interface's default gateway as found in the kernel's routing table.
struct DefaultGateway
{
    std::string interfaceName;
    std::string gateway; ///< dotted IPv4 text
};

/// The default gateways in the text of /proc/net/route, at most one per interface (its
/// first default route that names a gateway), in table order. Lines that do not parse
/// are skipped.
std::vector<DefaultGateway> ParseDefaultGateways(std::string_view routeTable);

/// The client session: one request message turned into one exchange with the trade
/// server, over a fresh TCP connection, with the reply message handed back.
class CClientUtil
{
public:
    CClientUtil();
    ~CClientUtil();
    CClientUtil(const CClientUtil&) = delete;
    CClientUtil& operator=(const CClientUtil&) = delete;

    /// Each returns true when an exchange took place, the reply envelope parsed, it
    /// carried a token and its payload parsed into the reply message.
    bool ReqLogin(const quorvanta::MsgLogin_req& req, quorvanta::MsgLogin_res& res);
    bool ReqEntrust(const quorvanta::MsgEntrust_req& req, quorvanta::MsgEntrust_res& res);
    bool ReqCanEntrust(const quorvanta::MsgCanEntrust_req& req, quorvanta::MsgCanEntrust_res& res);
    bool ReqQryStockAcc(const quorvanta::MsgQryStockAcc_req& req,
                        quorvanta::MsgQryStockAcc_res_collection& res);
    bool ReqQryEntrust(const quorvanta::MsgQryEntrust_req& req,
                       quorvanta::MsgQryEntrust_res_collection& res);
    bool ReqQryHisEntrust(const quorvanta::MsgQryHisEntrust_req& req,
                          quorvanta::MsgQryHisEntrust_res_collection& res);
    bool ReqQryOptCode(const quorvanta::MsgQryOptCode_req& req,
                       quorvanta::MsgQryOptCode_res_collection& res);
    bool ReqQryPosCode(const quorvanta::MsgQryPosCode_req& req,
                       quorvanta::MsgQryPosCode_res_collection& res);

    /// ErrorCode of the last reply envelope; 0 when none came.
    int32_t GetErrorCode() const;
    /// MsgDesc of the last reply envelope up to its first zero byte (GBK bytes); empty when none.
    std::string GetErrorMsg() const;

    /// How this session's last operation ended at the transport (Completed when none ran
    /// yet); every operation also reports it to the exchange observer.
    ExchangeOutcome GetLastOutcome() const { return m_lastOutcome; }
    /// The last operation as the exchange observer was told of it: function number, how it
    /// ended, the reply's ErrorCode and MsgDesc, and the server it went to.
    ExchangeReport GetLastReport() const;

    /// The MACID this session sends.
    const std::string& MacAddress() const { return m_strMacAddress; }

private:
    bool SendRequest(quorvanta::WrappedMessage& request, quorvanta::WrappedMessage& reply,
                     int32_t funId);
    bool Transact(const quorvanta::WrappedMessage& request, quorvanta::WrappedMessage& reply);
    template <typename Req, typename Res> bool Exchange(const Req& req, Res& res, int32_t funId);
    void GetMacAddress();
    static void AppendHexDigit(std::string& out, unsigned value);

    std::string m_strMacAddress;
    CCrc32 m_crc;
    quorvanta::WrappedMessage m_request;
    quorvanta::WrappedMessage m_reply;
    ExchangeOutcome m_lastOutcome = ExchangeOutcome::Completed;
    int32_t m_lastFunId = 0;
};
