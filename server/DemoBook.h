#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

// The demo book: what the demo trade server knows about its customers. It is read from a
// UTF-8 JSON document; every text is held as GBK bytes, exactly as it goes on the wire.
// Day offsets of the document (0 = the day the server starts, -1 = the day before, ...)
// are resolved to YYYYMMDD dates when it is loaded.

/// An option code with its exercise terms.
struct BookOption
{
    std::string exchangeType; ///< "1" Shanghai, "2" Shenzhen
    std::string soptCode;
    std::string soptName;
    std::string applyCode;
    std::string sourceCode; ///< underlying stock code
    std::string stockName;  ///< underlying stock name
    std::string grantPrice;
    std::string applyPrice;      ///< exercise price
    std::string applyBeginDate;  ///< first day of the exercise window, YYYYMMDD
    std::string applyEndDate;    ///< last day of the exercise window, YYYYMMDD
    int64_t applyUnit = 1;       ///< quantities are whole multiples of this
    int64_t applyLowAmount = 1;  ///< smallest quantity of one order
    int64_t applyHighAmount = 0; ///< largest quantity of one order
    std::string sopttaxKind;
    std::string sopttaxKindName;
    std::string seatNo;
    std::string applyStatus;
    std::string statusName;
    std::string taxMonths;
};

/// A shareholder account of a customer on one exchange.
struct BookShareholderAccount
{
    std::string exchangeType;
    std::string exchangeName;
    std::string stockAccount;
    std::string holderStatus;
    std::string holderRights;
    std::string mainFlag; ///< "0" main account, "1" other
    std::string registerFlag;
    std::string seatNo;
    std::string enableAmount;
};

/// What one shareholder account holds of one option code.
struct BookPosition
{
    std::string stockAccount;
    std::string soptCode;
    int64_t registerAmount = 0;
    int64_t confirmAmount = 0;
    int64_t usedAmount = 0;
    int64_t frozenAmount = 0; ///< held by open exercise orders
    int64_t enableAmount = 0; ///< still available to exercise
    std::string executivesFlag;
    std::string limitsellDays;
    std::string soptmatchFlag;
    std::string soptregStatus;
    std::string statusName;
    std::string sumPayableTax;
    std::string sumPaidTax;
};

/// An exercise order.
struct BookOrder
{
    uint64_t entrustNo = 0;
    std::string initDate; ///< YYYYMMDD
    std::string stockAccount;
    std::string soptCode;
    int64_t entrustAmount = 0;
    std::string entrustStatus; ///< "0".."9"
    std::string entrustTime;   ///< HHMMSS
    std::string reportNo;
    std::string reportTime;
    std::string cancelInfo;
};

/// One customer: the login, the account record and what the customer holds.
struct BookCustomer
{
    std::string account; ///< what the user types to log in
    std::string password;
    std::string fundAccount; ///< decimal digits; requests carry it as a number
    std::string branchNo;
    std::string clientId;
    std::string clientName;
    std::string moneyType;
    std::string squareFlag;
    std::string enableBalance;
    std::string currentBalance;
    std::string clientRights;
    std::string bankNo;
    std::vector<BookShareholderAccount> shareholderAccounts;
    std::vector<BookPosition> positions;
    std::vector<BookOrder> orders; ///< in entrust number order
};

struct DemoBook
{
    std::vector<BookOption> options;
    std::vector<BookCustomer> customers;
    uint64_t nextEntrustNo = 1; ///< the number the next new order gets
};

/// The built-in demo book (UTF-8 JSON), compiled into the server.
std::string_view BuiltInDemoBookJson();

/// Reads a demo book from its JSON text, resolving day offsets against startDay. Returns
/// false with a message naming the faulty entry when the document is not a valid book.
bool LoadDemoBook(std::string_view json, std::chrono::sys_days startDay, DemoBook& book,
                  std::string& error);

/// The local calendar day of a moment, and the helpers that turn days into wire texts.
std::chrono::sys_days LocalDay(std::time_t moment);
std::string FormatDate(std::chrono::sys_days day); ///< "YYYYMMDD"
std::string FormatTimeOfDay(std::time_t moment);   ///< local "HHMMSS"
/// "YYYYMMDD" of a real calendar date; false for anything else.
bool ParseDate(std::string_view text, std::chrono::sys_days& day);

/// The Chinese name of an exchange type ("1" 上海, "2" 深圳) in GBK; empty for others.
std::string ExchangeName(std::string_view exchangeType);
/// The Chinese name of an order status "0".."9" in GBK; empty for others.
std::string StatusName(std::string_view entrustStatus);
