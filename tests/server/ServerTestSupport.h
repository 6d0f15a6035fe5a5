#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "WrappedMessage.pb.h"
#include "net/ClientUtil.h"
#include "server/DemoServer.h"
#include "util/FileDescriptor.h"

namespace ServerTest
{

/// A small demo book with known values. On the test day (TestDay) its orders get the
/// numbers 5001 (day -95), 5002 (-89), 5003 (-30), 5004 (-1), 5005 (today, second
/// customer), 5006 and 5007 (today, first customer); the next order gets 5008.
extern const char* const kTestBook;

/// 2024-03-15 10:00:00 local time, the day the tests pretend it is.
std::time_t TestDay();

/// A temporary folder, removed with everything in it when the object goes.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    /// Writes a file into the folder and returns its full path.
    std::string Write(const std::string& name, const std::string& content) const;

private:
    std::string m_path;
};

/// What a raw connection saw.
struct RawResult
{
    std::string bytes;         ///< everything the server wrote
    bool closedByPeer = false; ///< the server closed (or reset) the connection
};

/// A blocking TCP connection to 127.0.0.1:port; closed (not open) when it cannot be made.
FileDescriptor ConnectLoopback(uint16_t port);

/// Connects to 127.0.0.1:port, writes the pieces one by one with a pause between them
/// (Nagle off, so each piece leaves as its own segment), then reads until the server
/// closes or `wait` has passed. Write errors are ignored: a server may close early.
RawResult RawExchange(uint16_t port, const std::vector<std::string>& pieces,
                      std::chrono::milliseconds pause = std::chrono::milliseconds(0),
                      std::chrono::milliseconds wait = std::chrono::milliseconds(3000));

/// A request envelope as a client builds it: token, MACID, FunID, a correct CRC, Buff.
quorvanta::WrappedMessage MakeRequest(int32_t funId, const std::string& token,
                                      const std::string& payload);

/// One whole exchange without CClientUtil (and so without the process-wide token):
/// encodes the request, sends it, parses the reply. False when no well-formed reply came.
bool RawCall(uint16_t port, const quorvanta::WrappedMessage& request,
             quorvanta::WrappedMessage& reply);

/// Base fixture: a demo server over kTestBook on the test day, with the client pointed
/// at it. Requests are filled the way the terminal fills them for the first customer.
class ServerFixture : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    /// Starts the server with the options given (port, book and logging are set here
    /// unless the options name a book already).
    void StartServer(DemoServerOptions options = {}, const std::string& book = kTestBook);

    /// Logs in through m_client; true when the reply was a success.
    bool Login(const std::string& account = "10001234", const std::string& password = "888888",
               quorvanta::MsgLogin_res* res = nullptr);

    static quorvanta::MsgQryStockAcc_req StockAccReq();
    static quorvanta::MsgQryOptCode_req OptCodeReq(const std::string& code = " ");
    static quorvanta::MsgQryPosCode_req PosCodeReq(const std::string& stockAccount);
    static quorvanta::MsgQryEntrust_req EntrustQryReq();
    static quorvanta::MsgQryHisEntrust_req HisEntrustReq(const std::string& start,
                                                         const std::string& end);
    static quorvanta::MsgEntrust_req EntrustReq(const std::string& stockAccount,
                                                const std::string& code,
                                                const std::string& quantity);
    static quorvanta::MsgCanEntrust_req CancelReq(const std::string& entrustNo,
                                                  const std::string& exchangeType);

    /// The positions of one shareholder account as (enable, frozen) of one option code;
    /// fails the test when the query fails or the code is not there.
    std::pair<std::string, std::string> Amounts(const std::string& stockAccount,
                                                const std::string& code);

    TempDir m_dir;
    std::unique_ptr<DemoServer> m_server;
    std::unique_ptr<CClientUtil> m_client;
};

/// GBK bytes of a UTF-8 text, for comparing with what the server sends.
std::string Gbk(const char* utf8);

} // namespace ServerTest
