#pragma once

#include <string>
#include <vector>

#include "net/ExchangeObserver.h"
#include "trade/OrderCheck.h"

struct qry_entrust_result;

/// How an order or a cancel ended, as the user must be told it. Only the server's answer
/// says whether it was placed; when the request went out and no usable answer came back,
/// nobody can say, and the terminal must not pretend it failed.
enum class RequestEnding
{
    Accepted, ///< the server answered and took it
    Refused,  ///< the server answered with an error: its reason is in the reply
    NotSent,  ///< no connection was made: the server never saw the request
    Unknown,  ///< the request went out, but no usable answer came back: it may have been placed
};

/// The ending of an exchange as its report tells it.
RequestEnding EndingOf(const ExchangeReport& report);

/// The order numbers of today's orders, to tell later which orders are new.
std::vector<std::string> OrderNumbers(const std::vector<qry_entrust_result>& today);

/// The last order of today that is the same as `order` (account, code and quantity) and
/// whose number is not among `known`: an order placed since those were listed. Null when
/// there is none.
const qry_entrust_result* FindNewSameOrder(const std::vector<qry_entrust_result>& today,
                                           const std::vector<std::string>& known,
                                           const OrderCheck::Order& order);

/// Today's order with that number, or null.
const qry_entrust_result* FindOrderByNumber(const std::vector<qry_entrust_result>& today,
                                            const std::string& entrustNo);
