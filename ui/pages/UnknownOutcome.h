#pragma once

#include <QString>

#include <string>
#include <vector>

#include "net/ExchangeObserver.h"
#include "trade/OrderCheck.h"

/// What the user is told when an order or a cancel went out and no usable answer came
/// back. Nobody can say then whether it was placed, so the terminal says exactly that,
/// refreshes positions and today's orders at once, and says what today's orders show now.
namespace UnknownOutcome
{
/// After an order whose answer was lost: refreshes, then tells whether an order with the
/// same account, code and quantity that was not among `knownBefore` (today's order numbers
/// when the order went out) is now in today's orders.
QString AfterOrder(const ExchangeReport& report, const OrderCheck::Order& order,
                   const std::vector<std::string>& knownBefore);

/// After a cancel whose answer was lost: refreshes, then tells what status the order shows.
QString AfterCancel(const ExchangeReport& report, const std::string& entrustNo);
} // namespace UnknownOutcome
