// Concurrent connections: no lost update and no order number given twice.

#include <set>
#include <thread>

#include "ServerTestSupport.h"
#include "server/ServerErrors.h"
#include "trade/LoginRequest.h"

using namespace quorvanta;
using ServerTest::Gbk;
using ServerTest::MakeRequest;
using ServerTest::RawCall;

namespace
{

const char* const kThousandBook = R"JSON({
  "options": [
    { "exchange_type": "1", "sopt_code": "1000012", "sopt_name": "华信科技期权1",
      "source_code": "600123", "stock_name": "华信科技", "apply_price": "12.50",
      "apply_begin_day": -1, "apply_end_day": 1,
      "apply_unit": 1, "apply_low_amount": 1, "apply_high_amount": 1000 }
  ],
  "customers": [
    { "account": "10001234", "password": "888888", "fund_account": "10001234",
      "branch_no": "3101", "client_name": "张伟",
      "shareholder_accounts": [
        { "exchange_type": "1", "stock_account": "A123456789", "main_flag": "0" }
      ],
      "positions": [
        { "stock_account": "A123456789", "sopt_code": "1000012", "enable_amount": 1000 }
      ] }
  ]
})JSON";

class ConcurrencyTest : public ServerTest::ServerFixture
{
protected:
    void SetUp() override
    {
        ServerFixture::SetUp();
        StartServer({}, kThousandBook);
    }
};

// CClientUtil shares the one process-wide token and belongs to one thread, so each
// client thread here speaks the protocol itself (EncodeRequest over its own socket) and
// logs in for a token of its own: eight sessions placing orders at the same time.
class RawClient
{
public:
    RawClient(uint16_t port, MsgEntrust_req order) : m_port(port), m_order(std::move(order)) {}

    bool Login()
    {
        const MsgLogin_req req = MakeLoginRequest("10001234", "888888");
        WrappedMessage reply;
        if (!RawCall(m_port, MakeRequest(200, "", req.SerializePartialAsString()), reply) ||
            reply.errorcode() != 0)
            return false;
        m_token = reply.tokenkey();
        return true;
    }

    // Places the order; its number, or "" with the error code.
    std::string ExerciseOne(int32_t& error)
    {
        WrappedMessage reply;
        error = -1;
        if (!RawCall(m_port, MakeRequest(9865, m_token, m_order.SerializePartialAsString()), reply))
            return {};
        error = reply.errorcode();
        MsgEntrust_res res;
        if (error != 0 || !res.ParsePartialFromString(reply.buff()))
            return {};
        return res.entrust_no();
    }

private:
    uint16_t m_port;
    MsgEntrust_req m_order;
    std::string m_token;
};

TEST_F(ConcurrencyTest, EightClientsThousandOrdersAgainstAThousand)
{
    constexpr int kClients = 8;
    constexpr int kOrdersPerClient = 125;
    std::vector<std::vector<std::string>> numbers(kClients);
    std::vector<int> failures(kClients, 0);
    std::vector<std::thread> threads;
    for (int c = 0; c < kClients; ++c) {
        threads.emplace_back([&, c] {
            RawClient client(m_server->Port(), EntrustReq("A123456789", "1000012", "1"));
            if (!client.Login()) {
                failures[c] = kOrdersPerClient;
                return;
            }
            for (int i = 0; i < kOrdersPerClient; ++i) {
                int32_t error = 0;
                const std::string number = client.ExerciseOne(error);
                if (number.empty())
                    ++failures[c];
                else
                    numbers[c].push_back(number);
            }
        });
    }
    for (auto& thread : threads)
        thread.join();

    std::set<std::string> distinct;
    std::size_t placed = 0;
    for (int c = 0; c < kClients; ++c) {
        EXPECT_EQ(failures[c], 0) << "client " << c;
        placed += numbers[c].size();
        distinct.insert(numbers[c].begin(), numbers[c].end());
        // Each client saw its own numbers rise.
        for (std::size_t i = 1; i < numbers[c].size(); ++i)
            EXPECT_LT(std::stoull(numbers[c][i - 1]), std::stoull(numbers[c][i]));
    }
    EXPECT_EQ(placed, 1000u);
    EXPECT_EQ(distinct.size(), 1000u) << "no order number was given twice";

    ASSERT_TRUE(Login());
    EXPECT_EQ(Amounts("A123456789", "1000012"),
              std::make_pair(std::string("0"), std::string("1000")));

    MsgEntrust_res res;
    EXPECT_TRUE(m_client->ReqEntrust(EntrustReq("A123456789", "1000012", "1"), res));
    EXPECT_EQ(m_client->GetErrorCode(), DemoError::kAboveAvailable);
    EXPECT_EQ(m_client->GetErrorMsg(), Gbk("行权数量超过可用数量，可用数量为0"));

    MsgQryEntrust_req query = EntrustQryReq();
    query.set_request_num("2000");
    MsgQryEntrust_res_collection today;
    ASSERT_TRUE(m_client->ReqQryEntrust(query, today));
    ASSERT_EQ(today.res_collection_size(), 1000);
    std::set<std::string> listed;
    for (const auto& row : today.res_collection()) {
        listed.insert(row.entrust_no());
        EXPECT_EQ(row.entrust_status(), "2");
        EXPECT_EQ(row.entrust_amount(), "1");
    }
    EXPECT_EQ(listed, distinct);
}

} // namespace
