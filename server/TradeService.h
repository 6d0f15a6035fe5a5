#pragma once

#include <chrono>
#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "WrappedMessage.pb.h"
#include "net/Crc32.h"
#include "server/DemoBook.h"

/// The trade server's business: the eight operations over the demo book, the login
/// sessions and the order state. Takes one decoded request envelope and gives the reply
/// envelope; it knows nothing of sockets. All state sits behind one mutex, so concurrent
/// connections can neither lose an update nor share an order number.
class TradeService
{
public:
    TradeService(DemoBook book, std::chrono::milliseconds sessionIdleTimeout);

    /// Answers one request. The reply always carries a token: the session's own when the
    /// request named a live session, otherwise a fresh one bound to nothing.
    quorvanta::WrappedMessage Handle(const quorvanta::WrappedMessage& request);

    /// A fresh random token (32 hex digits); empty when no random bytes could be had.
    static std::string NewToken();

private:
    struct Session
    {
        std::size_t customer = 0;
        std::chrono::steady_clock::time_point lastUse;
        std::list<std::string>::iterator useOrder; ///< its place in m_sessionUseOrder
    };
    // A refusal: ErrorCode and GBK text.
    struct Refusal
    {
        int32_t code = 0;
        std::string text;
    };

    template <typename Req, typename Res, typename Op>
    quorvanta::WrappedMessage Serve(const quorvanta::WrappedMessage& request, Op op);

    quorvanta::WrappedMessage Login(const quorvanta::WrappedMessage& request);
    Refusal Authenticate(const std::string& token, uint32_t fundAccount,
                         const std::string& password, const std::string& branchNo,
                         std::size_t& customer);
    std::string TokenForReply(const std::string& requestToken);

    Refusal QryStockAcc(std::size_t customer, const quorvanta::MsgQryStockAcc_req& req,
                        quorvanta::MsgQryStockAcc_res_collection& res);
    Refusal QryOptCode(std::size_t customer, const quorvanta::MsgQryOptCode_req& req,
                       quorvanta::MsgQryOptCode_res_collection& res);
    Refusal QryPosCode(std::size_t customer, const quorvanta::MsgQryPosCode_req& req,
                       quorvanta::MsgQryPosCode_res_collection& res);
    Refusal QryEntrust(std::size_t customer, const quorvanta::MsgQryEntrust_req& req,
                       quorvanta::MsgQryEntrust_res_collection& res);
    Refusal QryHisEntrust(std::size_t customer, const quorvanta::MsgQryHisEntrust_req& req,
                          quorvanta::MsgQryHisEntrust_res_collection& res);
    Refusal Entrust(std::size_t customer, const quorvanta::MsgEntrust_req& req,
                    quorvanta::MsgEntrust_res& res);
    Refusal CanEntrust(std::size_t customer, const quorvanta::MsgCanEntrust_req& req,
                       quorvanta::MsgCanEntrust_res& res);

    // Lookups through the indexes, so that every query costs in proportion to the rows it
    // returns, not to the size of the book.
    struct CustomerIndex
    {
        std::unordered_map<std::string, std::size_t> accounts;  ///< stock account -> index
        std::unordered_map<std::string, std::size_t> positions; ///< PositionKey -> index
        std::vector<std::size_t> heldOptions; ///< indexes of the options held, ascending
        /// The orders' days never go down from one order to the next (so the orders of a
        /// span of days are one run of them). Only a clock set back breaks it.
        bool daysInOrder = true;
    };
    void BuildIndexes();
    const BookOption* FindOption(const std::string& code) const;
    const BookShareholderAccount* FindAccount(std::size_t customer,
                                              const std::string& stockAccount) const;
    BookPosition* FindPosition(std::size_t customer, const std::string& stockAccount,
                               const std::string& soptCode);
    template <typename Row>
    void FillOrderRow(std::size_t customer, const BookOrder& order, Row& row) const;
    static Refusal BadRequestNum();

    std::mutex m_mutex;
    DemoBook m_book;
    std::unordered_map<std::string, std::size_t> m_logins;  ///< login account -> customer
    std::unordered_map<std::string, std::size_t> m_options; ///< option code -> index
    std::vector<CustomerIndex> m_customerIndexes;           ///< by customer
    std::unordered_map<std::string, Session> m_sessions;
    /// The sessions' tokens, least recently used first, so that expired and surplus sessions
    /// go without a scan of all of them.
    std::list<std::string> m_sessionUseOrder;
    std::chrono::milliseconds m_sessionIdleTimeout;
    CCrc32 m_crc;
};
