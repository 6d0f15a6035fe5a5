#include "net/ClientUtil.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <utility>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/crypto.h>

#include "config/ClientConfig.h"
#include "net/DesCipher.h"
#include "net/ProtobufDiagnostics.h"
#include "util/FileDescriptor.h"
#include "util/WaitReady.h"
#include "util/util.h"

std::string g_strTokenKey;

namespace
{
using SteadyClock = std::chrono::steady_clock;

constexpr std::size_t kBlockSize = 8;
constexpr std::size_t kMacBytes = 6;
constexpr const char* kNoGateway = "0.0.0.0";
constexpr const char* kRouteTablePath = "/proc/net/route";

// ---------------------------------------------------------------------------------------
// Process-wide settings. Sessions are built during static initialisation, so every piece
// of state lives in a function-local static that exists before its first use.

struct TimeoutSettings
{
    std::mutex mutex;
    TransportTimeouts value;
};

TimeoutSettings& Timeouts()
{
    static TimeoutSettings settings;
    return settings;
}

struct AdapterSourceSettings
{
    std::mutex mutex;
    std::function<std::vector<NetworkAdapter>()> source;
};

AdapterSourceSettings& AdapterSource()
{
    static AdapterSourceSettings settings;
    return settings;
}

// ---------------------------------------------------------------------------------------
// The system's network interfaces.

std::string DottedAddress(uint32_t networkOrderAddress)
{
    in_addr address{};
    address.s_addr = networkOrderAddress;
    char text[INET_ADDRSTRLEN] = {};
    if (::inet_ntop(AF_INET, &address, text, sizeof text) == nullptr)
        return kNoGateway;
    return text;
}

bool ParseHex32(std::string_view text, uint32_t& value)
{
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, 16);
    return error == std::errc() && stop == end;
}

std::vector<NetworkAdapter> SystemNetworkAdapters()
{
    std::vector<NetworkAdapter> adapters;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return adapters;
    const std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> holder(list, &::freeifaddrs);

    // Link-level entries carry the hardware address and the interface index.
    std::vector<std::pair<int, NetworkAdapter>> indexed;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_PACKET ||
            entry->ifa_name == nullptr)
            continue;
        sockaddr_ll link{};
        std::memcpy(&link, entry->ifa_addr, sizeof link);
        NetworkAdapter adapter;
        adapter.name = entry->ifa_name;
        const std::size_t length = std::min<std::size_t>(link.sll_halen, sizeof link.sll_addr);
        adapter.hardwareAddress.assign(link.sll_addr, link.sll_addr + length);
        adapter.gateway = kNoGateway;
        indexed.emplace_back(link.sll_ifindex, std::move(adapter));
    }
    std::stable_sort(indexed.begin(), indexed.end(),
                     [](const auto& left, const auto& right) { return left.first < right.first; });

    std::ifstream routeFile(kRouteTablePath);
    const std::string routeTable((std::istreambuf_iterator<char>(routeFile)),
                                 std::istreambuf_iterator<char>());
    const std::vector<DefaultGateway> gateways = ParseDefaultGateways(routeTable);

    adapters.reserve(indexed.size());
    for (auto& indexedAdapter : indexed) {
        // A plain reference, not a structured binding: the lambda below captures it, and
        // capturing a structured binding is a C++20 rule that clang 14 does not know yet.
        NetworkAdapter& adapter = indexedAdapter.second;
        const auto found = std::find_if(gateways.begin(), gateways.end(), [&](const auto& entry) {
            return entry.interfaceName == adapter.name;
        });
        if (found != gateways.end())
            adapter.gateway = found->gateway;
        adapters.push_back(std::move(adapter));
    }
    return adapters;
}

// ---------------------------------------------------------------------------------------
// The TCP exchange.

/// Starts connecting. True when the connection is made or on its way; the first send
/// finds out which (see SendAllUntil), which saves a wait and a status query when, as on
/// loopback, the connection is made at once.
bool StartConnect(int fd, const sockaddr_in& address)
{
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return true;
    return errno == EINPROGRESS || errno == EINTR;
}

/// Waits until a connection on its way is made, at most until the deadline. When it is
/// not, errno tells why (ETIMEDOUT for the deadline), as after a failed connect.
bool FinishConnect(int fd, SteadyClock::time_point deadline)
{
    if (!WaitReady(fd, POLLOUT, deadline)) {
        errno = ETIMEDOUT;
        return false;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        return false;
    if (error != 0) {
        errno = error;
        return false;
    }
    return true;
}

/// What the error of a connection never made means to the user.
ExchangeOutcome ConnectFailure(int error)
{
    switch (error) {
    case ECONNREFUSED:
        return ExchangeOutcome::ConnectionRefused;
    case ETIMEDOUT:
        return ExchangeOutcome::ConnectTimedOut;
    default:
        return ExchangeOutcome::ConnectFailed;
    }
}

enum class SendOutcome
{
    Sent,
    Broken,  ///< the connection refused the bytes; whatever the server said is still read
    NotMade, ///< the connection was never made (refused, or not within the connect bound)
    TimedOut ///< the exchange's deadline passed
};

/// Sends everything on a connection that may still be on its way: while it is not made,
/// a send is refused with EAGAIN and the wait for it is bounded by connectDeadline.
SendOutcome SendAllUntil(int fd, const unsigned char* data, std::size_t length,
                         SteadyClock::time_point connectDeadline, SteadyClock::time_point deadline)
{
    std::size_t sent = 0;
    bool connected = false;
    while (sent < length) {
        // MSG_NOSIGNAL: a server that has gone must not end the terminal with SIGPIPE.
        const ssize_t written = ::send(fd, data + sent, length - sent, MSG_NOSIGNAL);
        if (written > 0) {
            connected = true;
            sent += static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!connected) {
                // Still connecting (or a full buffer right away): that wait has its own bound.
                if (!FinishConnect(fd, connectDeadline))
                    return SendOutcome::NotMade;
                connected = true;
                continue;
            }
            if (!WaitReady(fd, POLLOUT, deadline))
                return SendOutcome::TimedOut;
            continue;
        }
        return connected ? SendOutcome::Broken : SendOutcome::NotMade;
    }
    return SendOutcome::Sent;
}

enum class ReceiveOutcome
{
    Closed,   ///< the server closed (or the connection broke): the reply is complete
    TimedOut, ///< the exchange's deadline passed
    TooLong   ///< more than kMaxReplyBytes arrived
};

ReceiveOutcome ReceiveUntilClosed(int fd, std::string& reply, SteadyClock::time_point deadline)
{
    // The server answers only after reading the whole request, so right after sending there
    // is nothing to read yet: wait first instead of asking once in vain.
    if (!WaitReady(fd, POLLIN, deadline))
        return ReceiveOutcome::TimedOut;
    char chunk[16384];
    for (;;) {
        const ssize_t received = ::recv(fd, chunk, sizeof chunk, 0);
        if (received > 0) {
            if (reply.size() + static_cast<std::size_t>(received) > kMaxReplyBytes)
                return ReceiveOutcome::TooLong;
            reply.append(chunk, static_cast<std::size_t>(received));
            continue;
        }
        if (received == 0)
            return ReceiveOutcome::Closed;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!WaitReady(fd, POLLIN, deadline))
                return ReceiveOutcome::TimedOut;
            continue;
        }
        return ReceiveOutcome::Closed;
    }
}

/// One exchange's traffic: connects, sends the request bytes and reads the reply until the
/// server closes. Completed when the server closed after the bytes went out; otherwise why
/// not. Touches nothing but its arguments, so it may run on any thread.
ExchangeOutcome ExchangeBytes(const sockaddr_in& address, const std::vector<unsigned char>& block,
                              SteadyClock::time_point connectDeadline,
                              SteadyClock::time_point exchangeDeadline, std::string& received)
{
    const FileDescriptor socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!socket.IsOpen())
        return ExchangeOutcome::LocalFailure;
    if (!StartConnect(socket.Get(), address))
        return ConnectFailure(errno);

    // A connection that breaks while sending may still have a reply to read; only a
    // connection never made or a wait past the deadline ends the exchange here.
    const SendOutcome sent =
        SendAllUntil(socket.Get(), block.data(), block.size(), connectDeadline, exchangeDeadline);
    if (sent == SendOutcome::NotMade)
        return ConnectFailure(errno);
    if (sent == SendOutcome::TimedOut)
        return ExchangeOutcome::ReplyTimedOut;

    const ReceiveOutcome receiving = ReceiveUntilClosed(socket.Get(), received, exchangeDeadline);
    if (receiving != ReceiveOutcome::Closed)
        return receiving == ReceiveOutcome::TooLong ? ExchangeOutcome::ReplyTooLong
                                                    : ExchangeOutcome::ReplyTimedOut;
    return ExchangeOutcome::Completed;
}

/// Tells the exchange observer that a session's exchange starts and, when it goes out of
/// scope however the exchange ended, how it ended: the two calls always come in pairs.
class ExchangeNotice
{
public:
    ExchangeNotice(const CClientUtil& session, int32_t funId)
        : m_session(session), m_observer(GetExchangeObserver())
    {
        if (m_observer)
            m_observer->OnExchangeStarted(funId);
    }
    ~ExchangeNotice()
    {
        if (!m_observer)
            return;
        m_observer->OnExchangeFinished(m_session.GetLastReport());
    }
    ExchangeNotice(const ExchangeNotice&) = delete;
    ExchangeNotice& operator=(const ExchangeNotice&) = delete;

private:
    const CClientUtil& m_session;
    IExchangeObserver* const m_observer;
};
} // namespace

// -------------------------------------------------------------------------------------------

void SetTransportTimeouts(const TransportTimeouts& timeouts)
{
    TimeoutSettings& settings = Timeouts();
    const std::lock_guard lock(settings.mutex);
    settings.value = timeouts;
}

TransportTimeouts GetTransportTimeouts()
{
    TimeoutSettings& settings = Timeouts();
    const std::lock_guard lock(settings.mutex);
    return settings.value;
}

void SetNetworkAdapterSource(std::function<std::vector<NetworkAdapter>()> source)
{
    AdapterSourceSettings& settings = AdapterSource();
    const std::lock_guard lock(settings.mutex);
    settings.source = std::move(source);
}

std::vector<NetworkAdapter> ListNetworkAdapters()
{
    std::function<std::vector<NetworkAdapter>()> source;
    {
        AdapterSourceSettings& settings = AdapterSource();
        const std::lock_guard lock(settings.mutex);
        source = settings.source;
    }
    return source ? source() : SystemNetworkAdapters();
}

std::vector<DefaultGateway> ParseDefaultGateways(std::string_view routeTable)
{
    // Columns: Iface Destination Gateway Flags RefCnt Use Metric Mask ... The addresses
    // are the kernel's network-order words printed as host integers, so on the host that
    // wrote them they go straight back into an in_addr.
    std::vector<DefaultGateway> gateways;
    std::istringstream lines{std::string(routeTable)};
    std::string line;
    bool header = true;
    while (std::getline(lines, line)) {
        if (header) {
            header = false;
            continue;
        }
        std::istringstream fields(line);
        std::string name, destination, gateway, flags, references, use, metric, mask;
        if (!(fields >> name >> destination >> gateway >> flags >> references >> use >> metric >>
              mask))
            continue;
        uint32_t destinationValue = 0, gatewayValue = 0, maskValue = 0;
        if (!ParseHex32(destination, destinationValue) || !ParseHex32(gateway, gatewayValue) ||
            !ParseHex32(mask, maskValue))
            continue;
        if (destinationValue != 0 || maskValue != 0 || gatewayValue == 0)
            continue;
        const bool known =
            std::any_of(gateways.begin(), gateways.end(),
                        [&](const DefaultGateway& entry) { return entry.interfaceName == name; });
        if (!known)
            gateways.push_back({name, DottedAddress(gatewayValue)});
    }
    return gateways;
}

// -------------------------------------------------------------------------------------------

std::optional<uint16_t> ServerPortNumber(const std::string& text)
{
    errno = 0;
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (errno == ERANGE || value < 1 || value > 65535)
        return std::nullopt;
    return static_cast<uint16_t>(value);
}

CClientUtil::CClientUtil()
{
    SilenceProtobufDiagnostics();
    GetMacAddress();
    DesCipher::Init();
}

CClientUtil::~CClientUtil()
{
    DesCipher::Release();
}

template <typename Req, typename Res>
bool CClientUtil::Exchange(const Req& req, Res& res, int32_t funId)
{
    m_lastFunId = funId;
    const ExchangeNotice notice(*this, funId);
    m_lastOutcome = ExchangeOutcome::LocalFailure;
    m_request.Clear();
    m_reply.Clear();
    m_request.set_buff(req.SerializePartialAsString());
    const bool sent = SendRequest(m_request, m_reply, funId);
    // The serialised request holds the password: gone once it has served.
    SecureErase(*m_request.mutable_buff());
    if (!sent)
        return false;
    if (!res.ParsePartialFromString(m_reply.buff())) {
        m_lastOutcome = ExchangeOutcome::PayloadUnreadable;
        return false;
    }
    m_lastOutcome = ExchangeOutcome::Completed;
    return true;
}

bool CClientUtil::ReqLogin(const quorvanta::MsgLogin_req& req, quorvanta::MsgLogin_res& res)
{
    return Exchange(req, res, kFunLogin);
}

bool CClientUtil::ReqEntrust(const quorvanta::MsgEntrust_req& req, quorvanta::MsgEntrust_res& res)
{
    return Exchange(req, res, kFunEntrust);
}

bool CClientUtil::ReqCanEntrust(const quorvanta::MsgCanEntrust_req& req,
                                quorvanta::MsgCanEntrust_res& res)
{
    return Exchange(req, res, kFunCanEntrust);
}

bool CClientUtil::ReqQryStockAcc(const quorvanta::MsgQryStockAcc_req& req,
                                 quorvanta::MsgQryStockAcc_res_collection& res)
{
    return Exchange(req, res, kFunQryStockAcc);
}

bool CClientUtil::ReqQryEntrust(const quorvanta::MsgQryEntrust_req& req,
                                quorvanta::MsgQryEntrust_res_collection& res)
{
    return Exchange(req, res, kFunQryEntrust);
}

bool CClientUtil::ReqQryHisEntrust(const quorvanta::MsgQryHisEntrust_req& req,
                                   quorvanta::MsgQryHisEntrust_res_collection& res)
{
    return Exchange(req, res, kFunQryHisEntrust);
}

bool CClientUtil::ReqQryOptCode(const quorvanta::MsgQryOptCode_req& req,
                                quorvanta::MsgQryOptCode_res_collection& res)
{
    return Exchange(req, res, kFunQryOptCode);
}

bool CClientUtil::ReqQryPosCode(const quorvanta::MsgQryPosCode_req& req,
                                quorvanta::MsgQryPosCode_res_collection& res)
{
    return Exchange(req, res, kFunQryPosCode);
}

int32_t CClientUtil::GetErrorCode() const
{
    return m_reply.errorcode();
}

std::string CClientUtil::GetErrorMsg() const
{
    const std::string& description = m_reply.msgdesc();
    return description.substr(0, description.find('\0'));
}

ExchangeReport CClientUtil::GetLastReport() const
{
    ExchangeReport report;
    report.funId = m_lastFunId;
    report.outcome = m_lastOutcome;
    report.errorCode = GetErrorCode();
    report.errorMsg = GetErrorMsg();
    report.serverHost = g_ClientConfig.GetTradeSrvIP();
    report.serverPort = ServerPortNumber(g_ClientConfig.GetTradeSrvPort()).value_or(0);
    return report;
}

bool CClientUtil::SendRequest(quorvanta::WrappedMessage& request, quorvanta::WrappedMessage& reply,
                              int32_t funId)
{
    // Set even when empty, so the first request of a run carries an empty TokenKey.
    request.set_tokenkey(g_strTokenKey);
    request.set_macid(m_strMacAddress);
    request.set_crc(m_crc.Calc(request.buff()));
    request.set_funid(funId);
    if (!Transact(request, reply))
        return false;
    // A reply without a token failed, whatever its ErrorCode says.
    if (reply.tokenkey().empty()) {
        // No bytes at all parse as an envelope without a token too; that was no reply.
        if (m_lastOutcome != ExchangeOutcome::ClosedWithoutReply)
            m_lastOutcome = ExchangeOutcome::NoToken;
        return false;
    }
    g_strTokenKey = reply.tokenkey();
    return true;
}

bool CClientUtil::Transact(const quorvanta::WrappedMessage& request,
                           quorvanta::WrappedMessage& reply)
{
    const TransportTimeouts timeouts = GetTransportTimeouts();
    const SteadyClock::time_point start = SteadyClock::now();
    const SteadyClock::time_point exchangeDeadline = start + timeouts.exchange;
    const SteadyClock::time_point connectDeadline =
        std::min(exchangeDeadline, start + timeouts.connect);

    // Read on every exchange; an address that is not dotted IPv4 text fails like an
    // unreachable server (no name look-up).
    const std::string host = g_ClientConfig.GetTradeSrvIP();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
        m_lastOutcome = ExchangeOutcome::BadAddress;
        return false;
    }
    // A port out of range is no port at all: taken modulo 65536 it would name another.
    const std::optional<uint16_t> port = ServerPortNumber(g_ClientConfig.GetTradeSrvPort());
    if (!port) {
        m_lastOutcome = ExchangeOutcome::BadPort;
        return false;
    }
    address.sin_port = htons(*port);

    const std::size_t envelopeSize = request.ByteSizeLong();
    if (envelopeSize > static_cast<std::size_t>(INT_MAX) - kBlockSize)
        return false;
    // Zero-padded to whole cipher blocks; the padding stays zero before encryption.
    const std::size_t sendLength = (envelopeSize + kBlockSize - 1) / kBlockSize * kBlockSize;
    std::vector<unsigned char> block(sendLength, 0);
    if (!request.SerializePartialToArray(block.data(), static_cast<int>(envelopeSize)))
        return false;
    // A request the cipher did not take is not sent: in the clear it would carry the
    // password.
    const unsigned char* const encrypted = DesCipher::Encrypt(block.data(), sendLength, 0);
    if (!encrypted) {
        OPENSSL_cleanse(block.data(), block.size());
        return false;
    }
    std::memcpy(block.data(), encrypted, sendLength);

    // The part that waits on the network runs wherever the waiter puts it; everything it
    // touches is its own until it ends.
    std::string received;
    ExchangeOutcome transport = ExchangeOutcome::LocalFailure;
    const auto exchange = [&] {
        transport = ExchangeBytes(address, block, connectDeadline, exchangeDeadline, received);
    };
    if (IExchangeWaiter* const waiter = GetExchangeWaiter())
        waiter->WaitFor(m_lastFunId, exchange);
    else
        exchange();
    if (transport != ExchangeOutcome::Completed) {
        m_lastOutcome = transport;
        return false;
    }

    // The reply is a plain envelope, never padded or encrypted.
    if (!reply.ParsePartialFromArray(received.data(), static_cast<int>(received.size()))) {
        // Fields read before the fault are not the server's word; report nothing of them.
        reply.Clear();
        m_lastOutcome = ExchangeOutcome::ReplyUnreadable;
        return false;
    }
    m_lastOutcome =
        received.empty() ? ExchangeOutcome::ClosedWithoutReply : ExchangeOutcome::Completed;
    return true;
}

void CClientUtil::GetMacAddress()
{
    m_strMacAddress.clear();
    for (const NetworkAdapter& adapter : ListNetworkAdapters()) {
        if (adapter.gateway == kNoGateway)
            continue;
        // The first six bytes; a shorter address reads as zero bytes beyond its end, as
        // the fixed-size address field of the adapter list does elsewhere.
        for (std::size_t i = 0; i < kMacBytes; ++i) {
            const unsigned byte =
                i < adapter.hardwareAddress.size() ? adapter.hardwareAddress[i] : 0u;
            AppendHexDigit(m_strMacAddress, byte >> 4);
            AppendHexDigit(m_strMacAddress, byte & 0x0Fu);
        }
        return;
    }
}

void CClientUtil::AppendHexDigit(std::string& out, unsigned value)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out.push_back(kDigits[value & 0x0Fu]);
}
