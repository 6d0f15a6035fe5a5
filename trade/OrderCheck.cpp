#include "trade/OrderCheck.h"

#include <chrono>
#include <cstdint>

#include "trade/TradeData.h"
#include "util/util.h"

namespace OrderCheck
{
namespace
{
std::string_view TrimBlanks(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::string WithoutLeadingZeros(std::string digits)
{
    const std::size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos)
        return "0";
    digits.erase(0, first);
    return digits;
}

/// Compares two digit strings without leading zeros by value.
int CompareDigits(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    const int order = a.compare(b);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

/// Schoolbook product of two digit strings; as long as both together.
std::string MultiplyDigits(const std::string& a, const std::string& b)
{
    std::vector<unsigned> sums(a.size() + b.size(), 0);
    for (std::size_t i = a.size(); i-- > 0;) {
        unsigned carry = 0;
        for (std::size_t j = b.size(); j-- > 0;) {
            const std::size_t at = i + j + 1;
            const unsigned value =
                sums[at] + static_cast<unsigned>(a[i] - '0') * static_cast<unsigned>(b[j] - '0') +
                carry;
            sums[at] = value % 10;
            carry = value / 10;
        }
        sums[i] += carry;
    }
    std::string product;
    product.reserve(sums.size());
    for (const unsigned digit : sums)
        product.push_back(static_cast<char>('0' + digit));
    return product;
}

/// The remainder of a digit string divided by a small divisor (not 0).
std::uint64_t RemainderDigits(const std::string& digits, std::uint64_t divisor)
{
    std::uint64_t remainder = 0;
    for (const char c : digits)
        remainder = (remainder * 10 + static_cast<std::uint64_t>(c - '0')) % divisor;
    return remainder;
}

/// A whole number that fits a divisor for RemainderDigits without overflow.
constexpr std::size_t kMaxDivisorDigits = 18;

std::optional<std::chrono::sys_days> ParseDay(std::string_view text)
{
    text = TrimBlanks(text);
    if (text.size() != 8)
        return std::nullopt;
    int value[3] = {0, 0, 0};
    const std::size_t widths[3] = {4, 2, 2};
    std::size_t at = 0;
    for (int part = 0; part < 3; ++part) {
        for (std::size_t k = 0; k < widths[part]; ++k, ++at) {
            if (!IsDigit(text[at]))
                return std::nullopt;
            value[part] = value[part] * 10 + (text[at] - '0');
        }
    }
    const std::chrono::year_month_day day{std::chrono::year(value[0]),
                                          std::chrono::month(static_cast<unsigned>(value[1])),
                                          std::chrono::day(static_cast<unsigned>(value[2]))};
    if (!day.ok())
        return std::nullopt;
    return std::chrono::sys_days(day);
}

std::optional<std::chrono::sys_days> LocalToday(std::time_t now)
{
    std::tm local{};
    if (::localtime_r(&now, &local) == nullptr)
        return std::nullopt;
    const std::chrono::year_month_day day{
        std::chrono::year(local.tm_year + 1900),
        std::chrono::month(static_cast<unsigned>(local.tm_mon + 1)),
        std::chrono::day(static_cast<unsigned>(local.tm_mday))};
    if (!day.ok())
        return std::nullopt;
    return std::chrono::sys_days(day);
}

/// A fixed text of this file (UTF-8 source) as GBK.
std::string Gbk(std::string_view utf8)
{
    return Utf8ToAnsi(utf8);
}

void Add(std::vector<Finding>& warnings, Warning kind, std::string text)
{
    warnings.push_back({kind, std::move(text)});
}
} // namespace

std::optional<std::string> WholeNumber(std::string_view text)
{
    text = TrimBlanks(text);
    if (text.empty())
        return std::nullopt;
    for (const char c : text) {
        if (!IsDigit(c))
            return std::nullopt;
    }
    return WithoutLeadingZeros(std::string(text));
}

std::optional<Decimal> ParseDecimal(std::string_view text)
{
    text = TrimBlanks(text);
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    if (whole.empty() && fraction.empty())
        return std::nullopt;
    for (const std::string_view part : {whole, fraction}) {
        for (const char c : part) {
            if (!IsDigit(c))
                return std::nullopt;
        }
    }
    Decimal number;
    number.digits = WithoutLeadingZeros(std::string(whole) + std::string(fraction));
    number.scale = static_cast<int>(fraction.size());
    return number;
}

std::string ToText(const Decimal& number)
{
    const std::size_t scale = number.scale > 0 ? static_cast<std::size_t>(number.scale) : 0;
    std::string digits = WithoutLeadingZeros(number.digits);
    if (digits.size() < scale + 1)
        digits.insert(0, scale + 1 - digits.size(), '0');
    if (scale > 0)
        digits.insert(digits.size() - scale, 1, '.');
    return digits;
}

int Compare(const Decimal& a, const Decimal& b)
{
    // Both to the larger scale, then as whole numbers.
    std::string left = a.digits;
    std::string right = b.digits;
    if (a.scale < b.scale)
        left.append(static_cast<std::size_t>(b.scale - a.scale), '0');
    else if (b.scale < a.scale)
        right.append(static_cast<std::size_t>(a.scale - b.scale), '0');
    return CompareDigits(WithoutLeadingZeros(left), WithoutLeadingZeros(right));
}

std::string EstimateAmount(std::string_view price, std::string_view quantity)
{
    const std::optional<Decimal> parsedPrice = ParseDecimal(price);
    const std::optional<std::string> parsedQuantity = WholeNumber(quantity);
    if (!parsedPrice || !parsedQuantity)
        return {};
    return ToText({MultiplyDigits(parsedPrice->digits, *parsedQuantity), parsedPrice->scale});
}

WindowStatus ExerciseWindow(std::string_view beginDate, std::string_view endDate, std::time_t now)
{
    WindowStatus status;
    const auto begin = ParseDay(beginDate);
    const auto end = ParseDay(endDate);
    const auto today = LocalToday(now);
    if (!begin || !end || !today || *end < *begin)
        return status;
    status.daysToBegin = static_cast<int>((*begin - *today).count());
    status.daysToEnd = static_cast<int>((*end - *today).count());
    if (status.daysToBegin > 0)
        status.state = WindowState::kNotStarted;
    else if (status.daysToEnd < 0)
        status.state = WindowState::kOver;
    else
        status.state = WindowState::kOpen;
    return status;
}

std::string WindowText(const WindowStatus& status)
{
    switch (status.state) {
    case WindowState::kOpen:
        return Gbk("还剩 " + std::to_string(status.DaysLeft()) + " 天");
    case WindowState::kNotStarted:
        return Gbk("未到行权期");
    case WindowState::kOver:
        return Gbk("行权期已过");
    case WindowState::kUnknown:
        break;
    }
    return {};
}

bool EndsWithin(const WindowStatus& status, int days)
{
    if (status.state != WindowState::kOpen && status.state != WindowState::kNotStarted)
        return false;
    return status.DaysLeft() <= days;
}

std::string FormatDate(std::string_view yyyymmdd)
{
    if (!ParseDay(yyyymmdd))
        return std::string(yyyymmdd);
    const std::string_view date = TrimBlanks(yyyymmdd);
    return std::string(date.substr(0, 4)) + '-' + std::string(date.substr(4, 2)) + '-' +
           std::string(date.substr(6, 2));
}

Preview CheckOrder(const Order& order, const Context& context)
{
    Preview preview;
    std::vector<Finding>& warnings = preview.warnings;
    const qry_opt_code_result* const option = context.option;
    const qry_pos_code_result* const position = context.position;

    const std::optional<std::string> quantity = WholeNumber(order.quantity);
    const bool quantityUsable = quantity && *quantity != "0";
    const std::optional<Decimal> price = ParseDecimal(order.price);
    if (quantityUsable && price)
        preview.amount = EstimateAmount(order.price, order.quantity);

    if (!quantityUsable) {
        Add(warnings, Warning::kQuantityNotWhole, Gbk("行权数量不是正整数"));
    } else if (option) {
        const std::optional<std::string> unit = WholeNumber(option->apply_unit);
        if (unit && *unit != "0" && unit->size() <= kMaxDivisorDigits &&
            RemainderDigits(*quantity, std::stoull(*unit)) != 0)
            Add(warnings, Warning::kNotMultipleOfUnit,
                Gbk("行权数量不是行权单位 ") + *unit + Gbk(" 的整数倍"));
        const std::optional<std::string> low = WholeNumber(option->apply_low_amount);
        if (low && CompareDigits(*quantity, *low) < 0)
            Add(warnings, Warning::kBelowLowAmount, Gbk("行权数量低于行权下限 ") + *low);
        const std::optional<std::string> high = WholeNumber(option->apply_high_amount);
        if (high && CompareDigits(*quantity, *high) > 0)
            Add(warnings, Warning::kAboveHighAmount, Gbk("行权数量高于行权上限 ") + *high);
    }
    if (quantityUsable && position) {
        const std::optional<std::string> available = WholeNumber(position->enable_amount);
        if (available && CompareDigits(*quantity, *available) > 0)
            Add(warnings, Warning::kAboveAvailable, Gbk("行权数量超过可用数量 ") + *available);
    }

    if (option) {
        const WindowStatus window =
            ExerciseWindow(option->apply_begin_date, option->apply_end_date, context.now);
        if (window.state == WindowState::kNotStarted)
            Add(warnings, Warning::kBeforeWindow,
                Gbk("未到行权期：行权期从 ") + FormatDate(option->apply_begin_date) + Gbk(" 开始"));
        else if (window.state == WindowState::kOver)
            Add(warnings, Warning::kAfterWindow,
                Gbk("行权期已过：行权期已于 ") + FormatDate(option->apply_end_date) + Gbk(" 结束"));
    }

    const std::optional<Decimal> funds = ParseDecimal(context.funds);
    if (!preview.amount.empty() && funds) {
        const std::optional<Decimal> amount = ParseDecimal(preview.amount);
        if (amount && Compare(*amount, *funds) > 0)
            Add(warnings, Warning::kAboveFunds,
                Gbk("预计行权金额 ") + preview.amount + Gbk(" 超过可用资金 ") + ToText(*funds));
    }

    if (!context.codeInPositions)
        Add(warnings, Warning::kCodeNotInPositions, Gbk("持仓中没有权证代码 ") + order.code);
    else if (!position)
        Add(warnings, Warning::kAccountWithoutPosition,
            Gbk("股东帐号 ") + order.account + Gbk(" 没有权证 ") + order.code + Gbk(" 的持仓"));

    if (!option)
        Add(warnings, Warning::kNoTerms,
            Gbk("找不到权证代码 ") + order.code + Gbk(" 的行权条款，无法估算行权金额"));
    else if (!price)
        Add(warnings, Warning::kPriceUnreadable, Gbk("行权价格无法识别，无法估算行权金额"));

    if (const qry_entrust_result* const same = context.sameOrderToday)
        Add(warnings, Warning::kSameOrderToday,
            Gbk("今日已有相同的委托（委托号 ") + same->entrust_no +
                Gbk("），股东帐号、权证代码和数量都相同，请确认不是重复委托"));
    return preview;
}

bool IsWithdrawn(const qry_entrust_result& entrust)
{
    // 部撤 and 已撤 in the order-status table.
    return entrust.entrust_status == "5" || entrust.entrust_status == "6";
}

bool IsStanding(const qry_entrust_result& entrust)
{
    // 废单: the order was refused.
    return !IsWithdrawn(entrust) && entrust.entrust_status != "9";
}

bool IsSameOrder(const qry_entrust_result& entrust, const Order& order)
{
    if (TrimBlanks(entrust.stock_account) != TrimBlanks(order.account) ||
        TrimBlanks(entrust.sopt_code) != TrimBlanks(order.code))
        return false;
    // By value: the server may write "1000.00" for the "1000" that was typed.
    const std::optional<Decimal> theirs = ParseDecimal(entrust.entrust_amount);
    const std::optional<Decimal> ours = ParseDecimal(order.quantity);
    if (theirs && ours)
        return Compare(*theirs, *ours) == 0;
    return TrimBlanks(entrust.entrust_amount) == TrimBlanks(order.quantity);
}

const qry_entrust_result* FindStandingSameOrder(const std::vector<qry_entrust_result>& today,
                                                const Order& order)
{
    for (const qry_entrust_result& entrust : today) {
        if (IsStanding(entrust) && IsSameOrder(entrust, order))
            return &entrust;
    }
    return nullptr;
}

Context ContextFor(const CTradeData& trade, const std::string& account, const std::string& code,
                   std::time_t now)
{
    Context context;
    context.now = now;
    context.funds = trade.m_login.enable_balance;
    for (const qry_opt_code_result& option : trade.m_optCodes) {
        if (option.sopt_code == code) {
            context.option = &option;
            break;
        }
    }
    for (const qry_pos_code_result& position : trade.m_positions) {
        if (position.sopt_code != code)
            continue;
        context.codeInPositions = true;
        if (position.stock_account == account) {
            context.position = &position;
            break;
        }
    }
    return context;
}

std::string PassedText()
{
    return Gbk("已通过委托前检查");
}
} // namespace OrderCheck
