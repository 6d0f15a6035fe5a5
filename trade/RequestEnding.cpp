#include "trade/RequestEnding.h"

#include <algorithm>

#include "trade/TradeData.h"

RequestEnding EndingOf(const ExchangeReport& report)
{
    // A reply envelope with an error code is the server's word, token or not.
    if (report.errorCode != 0)
        return RequestEnding::Refused;
    switch (report.outcome) {
    case ExchangeOutcome::Completed:
        return RequestEnding::Accepted;
    case ExchangeOutcome::BadAddress:
    case ExchangeOutcome::BadPort:
    case ExchangeOutcome::LocalFailure:
    case ExchangeOutcome::ConnectionRefused:
    case ExchangeOutcome::ConnectFailed:
    case ExchangeOutcome::ConnectTimedOut:
        return RequestEnding::NotSent;
    case ExchangeOutcome::ReplyTimedOut:
    case ExchangeOutcome::ClosedWithoutReply:
    case ExchangeOutcome::ReplyUnreadable:
    case ExchangeOutcome::ReplyTooLong:
    case ExchangeOutcome::NoToken:
    case ExchangeOutcome::PayloadUnreadable:
        break;
    }
    return RequestEnding::Unknown;
}

std::vector<std::string> OrderNumbers(const std::vector<qry_entrust_result>& today)
{
    std::vector<std::string> numbers;
    numbers.reserve(today.size());
    for (const qry_entrust_result& entrust : today)
        numbers.push_back(entrust.entrust_no);
    return numbers;
}

const qry_entrust_result* FindNewSameOrder(const std::vector<qry_entrust_result>& today,
                                           const std::vector<std::string>& known,
                                           const OrderCheck::Order& order)
{
    const qry_entrust_result* found = nullptr;
    for (const qry_entrust_result& entrust : today) {
        if (std::find(known.begin(), known.end(), entrust.entrust_no) != known.end())
            continue;
        if (OrderCheck::IsSameOrder(entrust, order))
            found = &entrust;
    }
    return found;
}

const qry_entrust_result* FindOrderByNumber(const std::vector<qry_entrust_result>& today,
                                            const std::string& entrustNo)
{
    const auto found =
        std::find_if(today.begin(), today.end(), [&](const qry_entrust_result& entrust) {
            return entrust.entrust_no == entrustNo;
        });
    return found == today.end() ? nullptr : &*found;
}
