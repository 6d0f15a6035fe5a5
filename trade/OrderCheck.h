#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct qry_entrust_result;
struct qry_opt_code_result;
struct qry_pos_code_result;
class CTradeData;

/// What the terminal can tell the user about an exercise order before it goes: the exact
/// amount it will cost, where today stands in the option's exercise window, and warnings
/// in plain words. Nothing here decides anything: the order is sent as typed whatever the
/// warnings say, and the server decides. Amounts are worked out on the decimal texts,
/// never through floating point. Texts out are GBK.
namespace OrderCheck
{
/// The digits of a whole number written as decimal digits, blanks (space, tab) around it
/// allowed, without leading zeros ("0" for zero); nullopt for anything else: empty text,
/// blanks only, a sign, a decimal point, letters. Any length: nothing can overflow.
std::optional<std::string> WholeNumber(std::string_view text);

/// A non-negative decimal number: all its digits, integer part then fraction, and how
/// many of them are the fraction ("12.50" is {"1250", 2}).
struct Decimal
{
    std::string digits;
    int scale = 0;
};

/// Digits with an optional fraction ("12.50", "8", "0.125", ".5"), blanks around allowed;
/// nullopt for anything else (empty, signs, letters, two points).
std::optional<Decimal> ParseDecimal(std::string_view text);
/// The number as text with all its decimals: {"125000", 2} is "1250.00", {"5", 1} "0.5".
std::string ToText(const Decimal& number);
/// Compares by value: -1, 0 or 1 ("1250.00" equals "1250").
int Compare(const Decimal& a, const Decimal& b);

/// Price × quantity exactly, keeping the price's decimals: "12.50" × "100" is "1250.00",
/// "8.365" × "100000000" is "836500000.000". Empty when the price is not a decimal or the
/// quantity not a whole number.
std::string EstimateAmount(std::string_view price, std::string_view quantity);

/// Where today (local calendar day) stands in an exercise window.
enum class WindowState
{
    kUnknown,    ///< a date missing or unreadable, or the end before the beginning
    kNotStarted, ///< before the first day
    kOpen,       ///< from the first to the last day, both included
    kOver,       ///< after the last day
};

struct WindowStatus
{
    WindowState state = WindowState::kUnknown;
    /// Calendar days from today to the first and to the last day of the window (negative
    /// once passed); meaningless while the state is unknown.
    int daysToBegin = 0;
    int daysToEnd = 0;

    /// Exercise days left while open, today counted: 1 on the last day.
    int DaysLeft() const { return daysToEnd + 1; }
};

/// The window of two dates written YYYYMMDD (blanks around allowed), seen from `now` in
/// local calendar days, so a clock change at night never shifts a day.
WindowStatus ExerciseWindow(std::string_view beginDate, std::string_view endDate, std::time_t now);
/// "还剩 N 天" while open, "未到行权期" before, "行权期已过" after; "" when unknown.
std::string WindowText(const WindowStatus& status);
/// Whether the window has not passed yet and its last day is at most `days` days away,
/// today counted (7: the last day is within the coming week).
bool EndsWithin(const WindowStatus& status, int days);

/// "2024-01-05" for "20240105"; any other text unchanged.
std::string FormatDate(std::string_view yyyymmdd);

/// Why an order may be refused. In the order the confirmation lists them.
enum class Warning
{
    kQuantityNotWhole,       ///< quantity not a positive whole number
    kNotMultipleOfUnit,      ///< not a multiple of the exercise unit
    kBelowLowAmount,         ///< below the lower amount
    kAboveHighAmount,        ///< above the upper amount
    kAboveAvailable,         ///< above the position's available quantity
    kBeforeWindow,           ///< today before the exercise window
    kAfterWindow,            ///< today after the exercise window
    kAboveFunds,             ///< estimated amount above the available funds
    kCodeNotInPositions,     ///< no position has the code
    kAccountWithoutPosition, ///< positions have the code, but not under that account
    kNoTerms,                ///< no option code record for the code
    kPriceUnreadable,        ///< the exercise price is not a decimal number
    kSameOrderToday,         ///< an order of today, neither cancelled nor refused, is the same
};

struct Finding
{
    Warning kind;
    std::string text; ///< GBK, in words a user understands
};

/// The order as it will be sent (texts as typed or looked up, GBK).
struct Order
{
    std::string account;
    std::string code;
    std::string price; ///< the exercise price the order carries
    std::string quantity;
};

/// What the order is checked against. Pointers are borrowed for the call only.
struct Context
{
    const qry_opt_code_result* option = nullptr;   ///< the code's terms, or none
    const qry_pos_code_result* position = nullptr; ///< the position of account and code
    bool codeInPositions = false;                  ///< whether any position has the code
    std::string funds;                             ///< available funds, as received
    std::time_t now = 0;
    /// An order of today with the same account, code and quantity that is neither
    /// cancelled nor refused, or none.
    const qry_entrust_result* sameOrderToday = nullptr;
};

struct Preview
{
    std::string amount; ///< the estimated amount, "" when it cannot be worked out
    std::vector<Finding> warnings;
};

/// The estimate and every warning that applies. A limit that is missing or unreadable
/// is not checked; a malformed quantity only gives its own warning.
Preview CheckOrder(const Order& order, const Context& context);

/// Finds the order's terms and position in the trading context the way its lookups do:
/// the first option code record with that code, the first position of that account and
/// code; the funds of the login reply.
Context ContextFor(const CTradeData& trade, const std::string& account, const std::string& code,
                   std::time_t now);

/// Whether an order of today is still standing: neither cancelled (wholly or in part) nor
/// refused by its status code.
bool IsStanding(const qry_entrust_result& entrust);
/// Whether an order of today shows as cancelled, wholly or in part.
bool IsWithdrawn(const qry_entrust_result& entrust);

/// Whether an order of today has the order's account and code (byte for byte, blanks
/// around ignored) and its quantity (by value where both are whole numbers, else as text).
bool IsSameOrder(const qry_entrust_result& entrust, const Order& order);
/// The first order of today that is the same as `order` and still standing, or null.
const qry_entrust_result* FindStandingSameOrder(const std::vector<qry_entrust_result>& today,
                                                const Order& order);

/// The line shown when no warning applies.
std::string PassedText();
} // namespace OrderCheck
