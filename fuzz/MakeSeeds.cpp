// Writes the seed corpora of the fuzz targets into the given folder (normally fuzz/corpus):
// the requests and replies of one real working session against the demo server's service
// (login, the five queries, an order, its cancel, and refusals), the texts those replies
// carry, and typical configuration files. Run by hand when the protocol or the book changes;
// the files it writes are committed.

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "WrappedMessage.pb.h"
#include "net/Crc32.h"
#include "net/FunctionNumbers.h"
#include "net/ProtobufDiagnostics.h"
#include "net/RequestFrame.h"
#include "server/DemoBook.h"
#include "server/DemoServer.h"
#include "server/TradeService.h"
#include "trade/LoginRequest.h"
#include "util/Clock.h"
#include "util/util.h"

using namespace quorvanta;

namespace
{
// Operation indexes of the client target, in its order.
enum ClientOperation : char
{
    kOpLogin,
    kOpEntrust,
    kOpCanEntrust,
    kOpQryStockAcc,
    kOpQryEntrust,
    kOpQryHisEntrust,
    kOpQryOptCode,
    kOpQryPosCode
};

class SeedWriter
{
public:
    explicit SeedWriter(std::filesystem::path root) : m_root(std::move(root)) {}

    void Write(const std::string& target, const std::string& name, std::string_view bytes)
    {
        const std::filesystem::path folder = m_root / target;
        std::filesystem::create_directories(folder);
        std::ofstream file(folder / name, std::ios::binary | std::ios::trunc);
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        ++m_count;
    }
    int Count() const { return m_count; }

private:
    std::filesystem::path m_root;
    int m_count = 0;
};

class Session
{
public:
    Session(TradeService& service, SeedWriter& seeds) : m_service(service), m_seeds(seeds) {}

    /// One exchange: the request goes through the service as the demo server serves it;
    /// the request and the reply become seeds of the two protocol targets.
    template <typename Req, typename Res>
    bool Exchange(const std::string& name, ClientOperation op, int32_t funId, const Req& req,
                  Res& res)
    {
        WrappedMessage request;
        request.set_tokenkey(m_token);
        request.set_macid("0242AC110002");
        request.set_funid(funId);
        request.set_buff(req.SerializePartialAsString());
        request.set_crc(CCrc32().Calc(request.buff()));
        const WrappedMessage reply = m_service.Handle(request);

        const std::string replyBytes = reply.SerializePartialAsString();
        m_seeds.Write("client_reply", name, std::string(1, op) + replyBytes);
        // As it went over the wire (its token is this run's, so the fuzzer's service sees an
        // unknown session) and as a plain envelope on the fuzzer's own logged-in session.
        m_seeds.Write("server_request", name + "-wire",
                      std::string(1, '\0') + EncodeRequest(request));
        WrappedMessage plain = request;
        if (!m_token.empty())
            plain.set_tokenkey("@");
        m_seeds.Write("server_request", name + "-plain",
                      std::string(1, '\x03') + plain.SerializePartialAsString());
        if (!reply.msgdesc().empty())
            m_seeds.Write("text", name + "-reason", reply.msgdesc());

        if (!reply.tokenkey().empty())
            m_token = reply.tokenkey();
        return reply.errorcode() == 0 && res.ParsePartialFromString(reply.buff());
    }

private:
    TradeService& m_service;
    SeedWriter& m_seeds;
    std::string m_token;
};

void WriteConfigSeeds(SeedWriter& seeds)
{
    seeds.Write("config", "default", "[TradeSrv]\nIP = 127.0.0.1\nPORT = 8000\n");
    seeds.Write("config", "remembered",
                "[TradeSrv]\nIP = 127.0.0.1\nPORT = 8000\n\n[ClientID]\nISRECORD = true\n"
                "CLIENTID = 10001234\n");
    seeds.Write("config", "commented-crlf",
                "; the trade server\r\n[TradeSrv]\r\nIP=192.168.1.20\r\nPORT=9100\r\n"
                "[ClientID]\r\nISRECORD=false\r\nCLIENTID=\r\n");
    seeds.Write("config", "gbk-account",
                "[ClientID]\nISRECORD = 1\nCLIENTID = " + Utf8ToAnsi("账户10001234") + "\n");
    seeds.Write("config", "empty", "");
}

void WriteTextSeeds(SeedWriter& seeds)
{
    seeds.Write("text", "ascii", "10001234 A123456789 0.00");
    seeds.Write("text", "gbk-mixed", Utf8ToAnsi("委托成功，委托号是：100010 (股东帐号)"));
    seeds.Write("text", "utf8", "已报待撤 部成 废单 上海 深圳");
    seeds.Write("text", "broken", std::string("\x81\x30\xff\xc4\xe3\x80\x00z", 8));
}
} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS_FOLDER\n", argv[0]);
        return 2;
    }
    SilenceProtobufDiagnostics();
    SeedWriter seeds(argv[1]);

    DemoBook book;
    std::string error;
    if (!LoadDemoBook(BuiltInDemoBookJson(), LocalDay(Clock::Now()), book, error)) {
        std::fprintf(stderr, "the built-in demo book does not load: %s\n", error.c_str());
        return 1;
    }
    for (const auto& option : book.options)
        seeds.Write("text", "option-" + option.soptCode, option.soptName + option.stockName);
    TradeService service(std::move(book), std::chrono::hours(8));
    Session session(service, seeds);

    MsgLogin_res login;
    session.Exchange("login-refused", kOpLogin, kFunLogin,
                     MakeLoginRequest(DemoAccounts::kMainAccount, "000000"), login);
    if (!session.Exchange("login", kOpLogin, kFunLogin,
                          MakeLoginRequest(DemoAccounts::kMainAccount, DemoAccounts::kMainPassword),
                          login)) {
        std::fprintf(stderr, "the demo login fails\n");
        return 1;
    }
    seeds.Write("text", "client-name", login.client_name());
    const uint32_t fund = 10001234;
    const std::string password = DemoAccounts::kMainPassword;

    MsgQryStockAcc_req stockReq;
    stockReq.set_fund_account(fund);
    stockReq.set_password(password);
    stockReq.set_branch_no(login.branch_no());
    stockReq.set_position_str("");
    stockReq.set_request_num("50");
    MsgQryStockAcc_res_collection stock;
    session.Exchange("stock-accounts", kOpQryStockAcc, kFunQryStockAcc, stockReq, stock);

    MsgQryOptCode_req optReq;
    optReq.set_fund_account(fund);
    optReq.set_sopt_code("");
    optReq.set_position_str("");
    optReq.set_request_num("50");
    optReq.set_password(password);
    optReq.set_branch_no(login.branch_no());
    MsgQryOptCode_res_collection options;
    session.Exchange("option-codes", kOpQryOptCode, kFunQryOptCode, optReq, options);

    MsgQryEntrust_req todayReq;
    todayReq.set_fund_account(fund);
    todayReq.set_stock_account("");
    todayReq.set_position_str("");
    todayReq.set_request_num("50");
    todayReq.set_password(password);
    todayReq.set_branch_no(login.branch_no());
    MsgQryEntrust_res_collection today;
    session.Exchange("todays-orders", kOpQryEntrust, kFunQryEntrust, todayReq, today);

    const auto day = LocalDay(Clock::Now());
    MsgQryHisEntrust_req hisReq;
    hisReq.set_fund_account(fund);
    hisReq.set_stock_account("");
    hisReq.set_position_str("");
    hisReq.set_request_num("500");
    hisReq.set_start_date(FormatDate(day - std::chrono::days{90}));
    hisReq.set_end_date(FormatDate(day));
    hisReq.set_password(password);
    hisReq.set_branch_no(login.branch_no());
    MsgQryHisEntrust_res_collection history;
    session.Exchange("history", kOpQryHisEntrust, kFunQryHisEntrust, hisReq, history);

    MsgQryPosCode_req posReq;
    posReq.set_fund_account(fund);
    posReq.set_position_str("");
    posReq.set_request_num("50");
    posReq.set_password(password);
    posReq.set_branch_no(login.branch_no());
    posReq.set_stock_account("");
    MsgQryPosCode_res_collection positions;
    session.Exchange("positions", kOpQryPosCode, kFunQryPosCode, posReq, positions);

    MsgQryPosCode_req badRows = posReq;
    badRows.set_request_num("x");
    MsgQryPosCode_res_collection none;
    session.Exchange("positions-bad-rows", kOpQryPosCode, kFunQryPosCode, badRows, none);

    // An order on the first position whose option is open today, then its cancel.
    for (const auto& position : positions.res_collection()) {
        const MsgQryOptCode_res* option = nullptr;
        for (const auto& candidate : options.res_collection())
            if (candidate.sopt_code() == position.sopt_code() && candidate.soptwindow_flag() == "1")
                option = &candidate;
        if (!option)
            continue;
        MsgEntrust_req order;
        order.set_fund_account(fund);
        order.set_exchange_type(position.exchange_type());
        order.set_stock_account(position.stock_account());
        order.set_sopt_code(position.sopt_code());
        order.set_amount(option->apply_price());
        order.set_entrust_amount(option->apply_low_amount());
        order.set_password(password);
        order.set_branch_no(login.branch_no());
        MsgEntrust_res placed;
        if (!session.Exchange("order", kOpEntrust, kFunEntrust, order, placed))
            continue;
        MsgEntrust_req tooMany = order;
        tooMany.set_entrust_amount("999999999");
        MsgEntrust_res refused;
        session.Exchange("order-refused", kOpEntrust, kFunEntrust, tooMany, refused);

        MsgCanEntrust_req cancel;
        cancel.set_fund_account(fund);
        cancel.set_exchange_type(position.exchange_type());
        cancel.set_entrust_no(placed.entrust_no());
        cancel.set_password(password);
        cancel.set_branch_no(login.branch_no());
        MsgCanEntrust_res cancelled;
        session.Exchange("cancel", kOpCanEntrust, kFunCanEntrust, cancel, cancelled);
        session.Exchange("cancel-again", kOpCanEntrust, kFunCanEntrust, cancel, cancelled);
        break;
    }

    WriteConfigSeeds(seeds);
    WriteTextSeeds(seeds);
    std::printf("%d seed files written below %s\n", seeds.Count(), argv[1]);
    return 0;
}
