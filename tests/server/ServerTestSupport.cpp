#include "ServerTestSupport.h"
#include "trade/LoginRequest.h"
#include "util/FileDescriptor.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/Crc32.h"
#include "net/RequestFrame.h"
#include "tests/support/ClientTarget.h"
#include "tests/support/DemoServerTarget.h"
#include "trade/LoginRequest.h"
#include "util/Clock.h"
#include "util/FileDescriptor.h"
#include "util/WaitReady.h"
#include "util/util.h"

namespace ServerTest
{

const char* const kTestBook = R"JSON({
  "first_entrust_no": 5001,
  "options": [
    { "exchange_type": "1", "sopt_code": "1000012", "sopt_name": "华信科技期权1",
      "apply_code": "7000012", "source_code": "600123", "stock_name": "华信科技",
      "grant_price": "12.00", "apply_price": "12.50", "apply_begin_day": -10, "apply_end_day": 10,
      "apply_unit": 100, "apply_low_amount": 200, "apply_high_amount": 5000,
      "sopttax_kind": "1", "sopttax_kind_name": "递延纳税", "seat_no": "23456",
      "apply_status": "0", "status_name": "正常", "tax_months": "12" },
    { "exchange_type": "2", "sopt_code": "037021", "sopt_name": "恒远医药期权1",
      "source_code": "002456", "stock_name": "恒远医药", "apply_price": "8.36",
      "apply_begin_day": -10, "apply_end_day": 10,
      "apply_unit": 100, "apply_low_amount": 100, "apply_high_amount": 20000 },
    { "exchange_type": "2", "sopt_code": "037022", "sopt_name": "恒远医药期权2",
      "source_code": "002456", "stock_name": "恒远医药", "apply_price": "9.72",
      "apply_begin_day": 5, "apply_end_day": 30,
      "apply_unit": 100, "apply_low_amount": 100, "apply_high_amount": 20000 },
    { "exchange_type": "1", "sopt_code": "1000099", "sopt_name": "无人持有期权",
      "source_code": "600999", "stock_name": "无人科技", "apply_price": "1.00",
      "apply_begin_day": -10, "apply_end_day": 10,
      "apply_unit": 100, "apply_low_amount": 100, "apply_high_amount": 20000 }
  ],
  "customers": [
    { "account": "10001234", "password": "888888", "fund_account": "10001234",
      "branch_no": "3101", "client_id": "310100001234", "client_name": "张伟",
      "enable_balance": "1000.00", "current_balance": "1200.00", "client_rights": "0e",
      "bank_no": "2",
      "shareholder_accounts": [
        { "exchange_type": "1", "stock_account": "A123456789", "main_flag": "0",
          "seat_no": "23456" },
        { "exchange_type": "2", "stock_account": "0123456789", "main_flag": "1",
          "seat_no": "012345" }
      ],
      "positions": [
        { "stock_account": "A123456789", "sopt_code": "1000012", "enable_amount": 3000,
          "frozen_amount": 500, "used_amount": 1000, "executives_flag": "1",
          "limitsell_days": "180", "sum_payable_tax": "100.00", "sum_paid_tax": "40.00" },
        { "stock_account": "0123456789", "sopt_code": "037021", "enable_amount": 800 },
        { "stock_account": "0123456789", "sopt_code": "037022", "enable_amount": 600 }
      ],
      "orders": [
        { "day": 0, "stock_account": "A123456789", "sopt_code": "1000012",
          "entrust_amount": 500, "entrust_status": "2", "entrust_time": "093015" },
        { "day": 0, "stock_account": "0123456789", "sopt_code": "037021",
          "entrust_amount": 100, "entrust_status": "8", "entrust_time": "094000" },
        { "day": -1, "stock_account": "A123456789", "sopt_code": "1000012",
          "entrust_amount": 200, "entrust_status": "8", "entrust_time": "100000" },
        { "day": -30, "stock_account": "0123456789", "sopt_code": "037021",
          "entrust_amount": 300, "entrust_status": "6", "entrust_time": "110000",
          "cancel_info": "客户撤单" },
        { "day": -89, "stock_account": "A123456789", "sopt_code": "1000012",
          "entrust_amount": 400, "entrust_status": "9", "entrust_time": "133000" },
        { "day": -95, "stock_account": "A123456789", "sopt_code": "1000012",
          "entrust_amount": 500, "entrust_status": "8", "entrust_time": "140000" }
      ] },
    { "account": "20005678", "password": "666666", "fund_account": "20005678",
      "branch_no": "3102", "client_name": "李娜",
      "shareholder_accounts": [
        { "exchange_type": "1", "stock_account": "A987654321", "main_flag": "0" }
      ],
      "positions": [
        { "stock_account": "A987654321", "sopt_code": "1000012", "enable_amount": 100,
          "frozen_amount": 200 }
      ],
      "orders": [
        { "day": 0, "stock_account": "A987654321", "sopt_code": "1000012",
          "entrust_amount": 200, "entrust_status": "2", "entrust_time": "091500" }
      ] }
  ]
})JSON";

std::time_t TestDay()
{
    std::tm local{};
    local.tm_year = 2024 - 1900;
    local.tm_mon = 2;
    local.tm_mday = 15;
    local.tm_hour = 10;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

std::string Gbk(const char* utf8)
{
    return Utf8ToAnsi(utf8);
}

TempDir::TempDir()
{
    std::string pattern =
        (std::filesystem::temp_directory_path() / "halvorn-server-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr)
        m_path = pattern;
    EXPECT_FALSE(m_path.empty()) << "cannot create a temporary folder";
}

TempDir::~TempDir()
{
    std::error_code ignored;
    if (!m_path.empty())
        std::filesystem::remove_all(m_path, ignored);
}

std::string TempDir::Write(const std::string& name, const std::string& content) const
{
    const std::string path = m_path + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

FileDescriptor ConnectLoopback(uint16_t port)
{
    FileDescriptor fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.IsOpen())
        return fd;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        fd.Reset();
    return fd;
}

RawResult RawExchange(uint16_t port, const std::vector<std::string>& pieces,
                      std::chrono::milliseconds pause, std::chrono::milliseconds wait)
{
    RawResult result;
    const FileDescriptor socket = ConnectLoopback(port);
    if (!socket.IsOpen()) {
        ADD_FAILURE() << "cannot connect to 127.0.0.1:" << port << ": " << std::strerror(errno);
        return result;
    }
    const int on = 1;
    ::setsockopt(socket.Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    bool writing = true;
    for (std::size_t i = 0; i < pieces.size() && writing; ++i) {
        if (i > 0 && pause.count() > 0)
            std::this_thread::sleep_for(pause);
        std::size_t sent = 0;
        while (sent < pieces[i].size()) {
            const ssize_t n = ::send(socket.Get(), pieces[i].data() + sent, pieces[i].size() - sent,
                                     MSG_NOSIGNAL);
            if (n <= 0) {
                writing = false;
                break;
            }
            sent += static_cast<std::size_t>(n);
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + wait;
    char chunk[65536];
    while (WaitReady(socket.Get(), POLLIN, deadline)) {
        const ssize_t n = ::recv(socket.Get(), chunk, sizeof chunk, 0);
        if (n <= 0) {
            result.closedByPeer = true;
            break;
        }
        result.bytes.append(chunk, static_cast<std::size_t>(n));
    }
    return result;
}

quorvanta::WrappedMessage MakeRequest(int32_t funId, const std::string& token,
                                      const std::string& payload)
{
    quorvanta::WrappedMessage request;
    request.set_tokenkey(token);
    request.set_macid("0A1B2C3D4E5F");
    request.set_funid(funId);
    request.set_crc(CCrc32().Calc(payload));
    request.set_buff(payload);
    return request;
}

bool RawCall(uint16_t port, const quorvanta::WrappedMessage& request,
             quorvanta::WrappedMessage& reply)
{
    const RawResult result = RawExchange(port, {EncodeRequest(request)});
    reply.Clear();
    return result.closedByPeer && !result.bytes.empty() &&
           reply.ParsePartialFromString(result.bytes);
}

void ServerFixture::SetUp()
{
    Clock::SetNowForTesting(TestDay());
    TestSupport::ResetSessionToken();
    m_client = std::make_unique<CClientUtil>();
}

void ServerFixture::TearDown()
{
    m_server.reset();
    m_client.reset();
    Clock::SetNowForTesting(std::nullopt);
    TestSupport::ResetSessionToken();
}

void ServerFixture::StartServer(DemoServerOptions options, const std::string& book)
{
    if (options.bookPath.empty())
        options.bookPath = m_dir.Write("book.json", book);
    m_server = TestSupport::StartDemoServer(std::move(options));
    ASSERT_NE(m_server, nullptr);
    TestSupport::PointClientAt(m_server->Port());
}

bool ServerFixture::Login(const std::string& account, const std::string& password,
                          quorvanta::MsgLogin_res* res)
{
    const quorvanta::MsgLogin_req req = MakeLoginRequest(account, password);
    quorvanta::MsgLogin_res reply;
    const bool ok = m_client->ReqLogin(req, reply) && m_client->GetErrorCode() == 0;
    if (res)
        *res = reply;
    return ok;
}

quorvanta::MsgQryStockAcc_req ServerFixture::StockAccReq()
{
    quorvanta::MsgQryStockAcc_req req;
    req.set_fund_account(10001234);
    req.set_password("888888");
    req.set_branch_no("3101");
    req.set_position_str("1");
    req.set_request_num("50");
    return req;
}

quorvanta::MsgQryOptCode_req ServerFixture::OptCodeReq(const std::string& code)
{
    quorvanta::MsgQryOptCode_req req;
    req.set_fund_account(10001234);
    req.set_sopt_code(code);
    req.set_position_str(" ");
    req.set_request_num("50");
    req.set_password("888888");
    req.set_branch_no("3101");
    return req;
}

quorvanta::MsgQryPosCode_req ServerFixture::PosCodeReq(const std::string& stockAccount)
{
    quorvanta::MsgQryPosCode_req req;
    req.set_fund_account(10001234);
    req.set_position_str("");
    req.set_request_num("50");
    req.set_password("888888");
    req.set_branch_no("3101");
    req.set_stock_account(stockAccount);
    return req;
}

quorvanta::MsgQryEntrust_req ServerFixture::EntrustQryReq()
{
    quorvanta::MsgQryEntrust_req req;
    req.set_fund_account(10001234);
    req.set_stock_account(" ");
    req.set_position_str("");
    req.set_request_num("50");
    req.set_password("888888");
    req.set_branch_no("3101");
    return req;
}

quorvanta::MsgQryHisEntrust_req ServerFixture::HisEntrustReq(const std::string& start,
                                                             const std::string& end)
{
    quorvanta::MsgQryHisEntrust_req req;
    req.set_fund_account(10001234);
    req.set_stock_account(" ");
    req.set_position_str(" ");
    req.set_request_num("100");
    req.set_start_date(start);
    req.set_end_date(end);
    req.set_password("888888");
    req.set_branch_no("3101");
    return req;
}

quorvanta::MsgEntrust_req ServerFixture::EntrustReq(const std::string& stockAccount,
                                                    const std::string& code,
                                                    const std::string& quantity)
{
    quorvanta::MsgEntrust_req req;
    req.set_fund_account(10001234);
    req.set_exchange_type("1"); // the login reply's, whatever the account
    req.set_stock_account(stockAccount);
    req.set_sopt_code(code);
    req.set_amount("12.50");
    req.set_entrust_amount(quantity);
    req.set_password("888888");
    req.set_branch_no("3101");
    return req;
}

quorvanta::MsgCanEntrust_req ServerFixture::CancelReq(const std::string& entrustNo,
                                                      const std::string& exchangeType)
{
    quorvanta::MsgCanEntrust_req req;
    req.set_fund_account(10001234);
    req.set_exchange_type(exchangeType);
    req.set_entrust_no(entrustNo);
    req.set_password("888888");
    req.set_branch_no("3101");
    return req;
}

std::pair<std::string, std::string> ServerFixture::Amounts(const std::string& stockAccount,
                                                           const std::string& code)
{
    quorvanta::MsgQryPosCode_res_collection res;
    if (!m_client->ReqQryPosCode(PosCodeReq(stockAccount), res) || m_client->GetErrorCode() != 0) {
        ADD_FAILURE() << "position query failed: " << m_client->GetErrorCode();
        return {};
    }
    for (const auto& row : res.res_collection())
        if (row.sopt_code() == code)
            return {row.enable_amount(), row.frozen_amount()};
    ADD_FAILURE() << "no position of " << code << " in " << stockAccount;
    return {};
}

} // namespace ServerTest
