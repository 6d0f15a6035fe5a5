#include "server/DemoBook.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <tuple>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

#include "util/util.h"

using nlohmann::json;

namespace
{
// Raised while reading the document; the message names the entry at fault.
class BookError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

const json& Member(const json& object, const char* key, const std::string& where)
{
    const auto it = object.find(key);
    if (it == object.end())
        throw BookError(where + ": \"" + key + "\" is missing");
    return *it;
}

// A text field, converted to GBK. Without a fallback the field is required.
std::string Text(const json& object, const char* key, const std::string& where,
                 const char* fallback = nullptr)
{
    const auto it = object.find(key);
    if (it == object.end()) {
        if (fallback)
            return Utf8ToAnsi(fallback);
        throw BookError(where + ": \"" + key + "\" is missing");
    }
    if (!it->is_string())
        throw BookError(where + ": \"" + key + "\" must be a text");
    return Utf8ToAnsi(it->get_ref<const std::string&>());
}

std::string RequiredText(const json& object, const char* key, const std::string& where)
{
    std::string text = Text(object, key, where);
    if (text.empty())
        throw BookError(where + ": \"" + key + "\" must not be empty");
    return text;
}

int64_t Integer(const json& object, const char* key, const std::string& where,
                std::optional<int64_t> fallback = std::nullopt, int64_t low = 0,
                int64_t high = std::numeric_limits<int64_t>::max() / 4)
{
    const auto it = object.find(key);
    if (it == object.end()) {
        if (fallback)
            return *fallback;
        throw BookError(where + ": \"" + key + "\" is missing");
    }
    if (!it->is_number_integer())
        throw BookError(where + ": \"" + key + "\" must be a whole number");
    const bool tooLarge =
        it->is_number_unsigned() && it->get<uint64_t>() > static_cast<uint64_t>(high);
    const int64_t value = tooLarge ? high : it->get<int64_t>();
    if (tooLarge || value < low || value > high)
        throw BookError(where + ": \"" + key + "\" is out of range (" + std::to_string(low) +
                        " to " + std::to_string(high) + ")");
    return value;
}

const json& Array(const json& object, const char* key, const std::string& where)
{
    const json& value = Member(object, key, where);
    if (!value.is_array())
        throw BookError(where + ": \"" + key + "\" must be a list");
    return value;
}

void RequireObject(const json& value, const std::string& where)
{
    if (!value.is_object())
        throw BookError(where + " must be an object");
}

bool AllDigits(std::string_view text)
{
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool ValidTimeOfDay(std::string_view text)
{
    if (text.size() != 6 || !AllDigits(text))
        return false;
    const int hour = (text[0] - '0') * 10 + (text[1] - '0');
    const int minute = (text[2] - '0') * 10 + (text[3] - '0');
    const int second = (text[4] - '0') * 10 + (text[5] - '0');
    return hour < 24 && minute < 60 && second < 60;
}

void RequireExchange(const std::string& exchangeType, const std::string& where)
{
    if (exchangeType != "1" && exchangeType != "2")
        throw BookError(where + ": exchange_type must be \"1\" (Shanghai) or \"2\" (Shenzhen)");
}

bool IsOpenStatus(std::string_view status)
{
    return status == "0" || status == "1" || status == "2";
}

BookOption ReadOption(const json& node, std::chrono::sys_days startDay, const std::string& where)
{
    RequireObject(node, where);
    BookOption option;
    option.exchangeType = RequiredText(node, "exchange_type", where);
    RequireExchange(option.exchangeType, where);
    option.soptCode = RequiredText(node, "sopt_code", where);
    option.soptName = RequiredText(node, "sopt_name", where);
    option.applyCode = Text(node, "apply_code", where, "");
    option.sourceCode = RequiredText(node, "source_code", where);
    option.stockName = RequiredText(node, "stock_name", where);
    option.applyPrice = RequiredText(node, "apply_price", where);
    option.grantPrice = Text(node, "grant_price", where, "");
    if (option.grantPrice.empty())
        option.grantPrice = option.applyPrice;
    const int64_t beginDay = Integer(node, "apply_begin_day", where, std::nullopt, -36500, 36500);
    const int64_t endDay = Integer(node, "apply_end_day", where, std::nullopt, -36500, 36500);
    if (endDay < beginDay)
        throw BookError(where + ": the exercise window ends before it begins");
    option.applyBeginDate = FormatDate(startDay + std::chrono::days{beginDay});
    option.applyEndDate = FormatDate(startDay + std::chrono::days{endDay});
    option.applyUnit = Integer(node, "apply_unit", where, std::nullopt, 1);
    option.applyLowAmount = Integer(node, "apply_low_amount", where, std::nullopt, 1);
    option.applyHighAmount = Integer(node, "apply_high_amount", where, std::nullopt, 1);
    if (option.applyHighAmount < option.applyLowAmount)
        throw BookError(where + ": apply_high_amount is below apply_low_amount");
    option.sopttaxKind = Text(node, "sopttax_kind", where, "0");
    option.sopttaxKindName = Text(node, "sopttax_kind_name", where, "");
    option.seatNo = Text(node, "seat_no", where, "");
    option.applyStatus = Text(node, "apply_status", where, "0");
    option.statusName = Text(node, "status_name", where, "正常");
    option.taxMonths = Text(node, "tax_months", where, "0");
    return option;
}

BookShareholderAccount ReadShareholderAccount(const json& node, const std::string& where)
{
    RequireObject(node, where);
    BookShareholderAccount account;
    account.exchangeType = RequiredText(node, "exchange_type", where);
    RequireExchange(account.exchangeType, where);
    account.exchangeName = ExchangeName(account.exchangeType);
    account.stockAccount = RequiredText(node, "stock_account", where);
    account.holderStatus = Text(node, "holder_status", where, "0");
    account.holderRights = Text(node, "holder_rights", where, "");
    account.mainFlag = Text(node, "main_flag", where, "1");
    if (account.mainFlag != "0" && account.mainFlag != "1")
        throw BookError(where + ": main_flag must be \"0\" or \"1\"");
    account.registerFlag = Text(node, "register", where, "1");
    account.seatNo = Text(node, "seat_no", where, "");
    account.enableAmount = Text(node, "enable_amount", where, "0");
    return account;
}

BookPosition ReadPosition(const json& node, const std::string& where)
{
    RequireObject(node, where);
    BookPosition position;
    position.stockAccount = RequiredText(node, "stock_account", where);
    position.soptCode = RequiredText(node, "sopt_code", where);
    position.enableAmount = Integer(node, "enable_amount", where);
    position.frozenAmount = Integer(node, "frozen_amount", where, 0);
    position.usedAmount = Integer(node, "used_amount", where, 0);
    const int64_t held = position.enableAmount + position.frozenAmount + position.usedAmount;
    position.confirmAmount = Integer(node, "confirm_amount", where, held);
    position.registerAmount = Integer(node, "register_amount", where, position.confirmAmount);
    if (position.confirmAmount < held)
        throw BookError(where + ": confirm_amount is below enable + frozen + used");
    position.executivesFlag = Text(node, "executives_flag", where, "0");
    position.limitsellDays = Text(node, "limitsell_days", where, "0");
    position.soptmatchFlag = Text(node, "soptmatch_flag", where, "1");
    position.soptregStatus = Text(node, "soptreg_status", where, "0");
    position.statusName = Text(node, "status_name", where, "正常");
    position.sumPayableTax = Text(node, "sum_payable_tax", where, "0.00");
    position.sumPaidTax = Text(node, "sum_paid_tax", where, "0.00");
    return position;
}

BookOrder ReadOrder(const json& node, std::chrono::sys_days startDay, const std::string& where)
{
    RequireObject(node, where);
    BookOrder order;
    const int64_t day = Integer(node, "day", where, std::nullopt, -3650, 0);
    order.initDate = FormatDate(startDay + std::chrono::days{day});
    order.stockAccount = RequiredText(node, "stock_account", where);
    order.soptCode = RequiredText(node, "sopt_code", where);
    order.entrustAmount = Integer(node, "entrust_amount", where, std::nullopt, 1);
    order.entrustStatus = RequiredText(node, "entrust_status", where);
    if (StatusName(order.entrustStatus).empty())
        throw BookError(where + ": entrust_status must be one of \"0\" to \"9\"");
    order.entrustTime = RequiredText(node, "entrust_time", where);
    if (!ValidTimeOfDay(order.entrustTime))
        throw BookError(where + ": entrust_time must be a time HHMMSS");
    order.cancelInfo = Text(node, "cancel_info", where, "");
    return order;
}

// Option code -> the option, for the checks of every customer's positions and orders.
using OptionIndex = std::unordered_map<std::string, const BookOption*>;

std::string PositionKey(const std::string& stockAccount, const std::string& soptCode)
{
    return stockAccount + '\0' + soptCode;
}

BookCustomer ReadCustomer(const json& node, const OptionIndex& optionIndex,
                          std::chrono::sys_days startDay, const std::string& where)
{
    RequireObject(node, where);
    BookCustomer customer;
    customer.account = RequiredText(node, "account", where);
    customer.password = RequiredText(node, "password", where);
    customer.fundAccount = RequiredText(node, "fund_account", where);
    uint32_t number = 0;
    const auto* end = customer.fundAccount.data() + customer.fundAccount.size();
    const auto parsed = std::from_chars(customer.fundAccount.data(), end, number);
    if (!AllDigits(customer.fundAccount) || parsed.ec != std::errc() || parsed.ptr != end)
        throw BookError(where + ": fund_account must be a number of at most 4294967295");
    customer.branchNo = RequiredText(node, "branch_no", where);
    customer.clientId = Text(node, "client_id", where, "");
    if (customer.clientId.empty())
        customer.clientId = customer.fundAccount;
    customer.clientName = RequiredText(node, "client_name", where);
    customer.moneyType = Text(node, "money_type", where, "0");
    customer.squareFlag = Text(node, "square_flag", where, "0");
    customer.enableBalance = Text(node, "enable_balance", where, "0.00");
    customer.currentBalance = Text(node, "current_balance", where, "0.00");
    customer.clientRights = Text(node, "client_rights", where, "");
    customer.bankNo = Text(node, "bank_no", where, "");

    const json& accounts = Array(node, "shareholder_accounts", where);
    if (accounts.empty())
        throw BookError(where + ": a customer needs at least one shareholder account");
    for (std::size_t i = 0; i < accounts.size(); ++i)
        customer.shareholderAccounts.push_back(ReadShareholderAccount(
            accounts[i], where + ", shareholder account " + std::to_string(i + 1)));

    // Every check below goes through an index, so that loading stays linear in the size of
    // the book (a large history is many orders of one customer).
    std::unordered_map<std::string, const BookShareholderAccount*> accountIndex;
    for (const auto& account : customer.shareholderAccounts)
        accountIndex.emplace(account.stockAccount, &account);
    const auto accountOf = [&](const std::string& stockAccount) -> const BookShareholderAccount* {
        const auto it = accountIndex.find(stockAccount);
        return it == accountIndex.end() ? nullptr : it->second;
    };
    const auto optionOf = [&](const std::string& code) -> const BookOption* {
        const auto it = optionIndex.find(code);
        return it == optionIndex.end() ? nullptr : it->second;
    };
    // Position key -> index in customer.positions.
    std::unordered_map<std::string, std::size_t> positionIndex;

    const json& positions = Array(node, "positions", where);
    for (std::size_t i = 0; i < positions.size(); ++i) {
        const std::string at = where + ", position " + std::to_string(i + 1);
        BookPosition position = ReadPosition(positions[i], at);
        const BookShareholderAccount* account = accountOf(position.stockAccount);
        if (!account)
            throw BookError(at + ": the customer has no shareholder account \"" +
                            AnsiToUtf8(position.stockAccount) + "\"");
        const BookOption* option = optionOf(position.soptCode);
        if (!option)
            throw BookError(at + ": unknown option code \"" + AnsiToUtf8(position.soptCode) + "\"");
        if (option->exchangeType != account->exchangeType)
            throw BookError(at + ": the option and the shareholder account are on different "
                                 "exchanges");
        if (!positionIndex
                 .emplace(PositionKey(position.stockAccount, position.soptCode),
                          customer.positions.size())
                 .second)
            throw BookError(at + ": the same option is listed twice for this account");
        customer.positions.push_back(std::move(position));
    }

    const auto it = node.find("orders");
    if (it != node.end()) {
        if (!it->is_array())
            throw BookError(where + ": \"orders\" must be a list");
        for (std::size_t i = 0; i < it->size(); ++i) {
            const std::string at = where + ", order " + std::to_string(i + 1);
            BookOrder order = ReadOrder((*it)[i], startDay, at);
            if (!accountOf(order.stockAccount))
                throw BookError(at + ": the customer has no shareholder account \"" +
                                AnsiToUtf8(order.stockAccount) + "\"");
            if (!optionOf(order.soptCode))
                throw BookError(at + ": unknown option code \"" + AnsiToUtf8(order.soptCode) +
                                "\"");
            customer.orders.push_back(std::move(order));
        }
    }

    // A cancel gives an open order's quantity back from frozen_amount, so today's open
    // orders must be covered by it.
    const std::string today = FormatDate(startDay);
    std::vector<int64_t> open(customer.positions.size(), 0);
    bool unheld = false;
    for (const auto& order : customer.orders) {
        if (order.initDate != today || !IsOpenStatus(order.entrustStatus))
            continue;
        const auto it = positionIndex.find(PositionKey(order.stockAccount, order.soptCode));
        if (it == positionIndex.end())
            unheld = true;
        else
            open[it->second] += order.entrustAmount;
    }
    for (std::size_t i = 0; i < customer.positions.size(); ++i)
        if (open[i] > customer.positions[i].frozenAmount)
            throw BookError(where + ": today's open orders of \"" +
                            AnsiToUtf8(customer.positions[i].soptCode) +
                            "\" exceed its frozen_amount");
    if (unheld)
        throw BookError(where + ": an open order of today has no position behind it");
    return customer;
}

void ReadBook(const json& root, std::chrono::sys_days startDay, DemoBook& book)
{
    RequireObject(root, "the book");
    const json& options = Array(root, "options", "the book");
    std::set<std::string> codes;
    for (std::size_t i = 0; i < options.size(); ++i) {
        const std::string where = "option " + std::to_string(i + 1);
        BookOption option = ReadOption(options[i], startDay, where);
        if (!codes.insert(option.soptCode).second)
            throw BookError(where + ": option code \"" + AnsiToUtf8(option.soptCode) +
                            "\" is listed twice");
        book.options.push_back(std::move(option));
    }
    OptionIndex optionIndex;
    for (const auto& option : book.options)
        optionIndex.emplace(option.soptCode, &option);

    const json& customers = Array(root, "customers", "the book");
    if (customers.empty())
        throw BookError("the book has no customer");
    std::set<std::string> logins;
    std::set<std::string> fundAccounts;
    std::set<std::string> stockAccounts;
    for (std::size_t i = 0; i < customers.size(); ++i) {
        const std::string where = "customer " + std::to_string(i + 1);
        BookCustomer customer = ReadCustomer(customers[i], optionIndex, startDay, where);
        if (!logins.insert(customer.account).second)
            throw BookError(where + ": account \"" + AnsiToUtf8(customer.account) +
                            "\" is listed twice");
        if (!fundAccounts.insert(customer.fundAccount).second)
            throw BookError(where + ": fund_account \"" + customer.fundAccount +
                            "\" is listed twice");
        for (const auto& account : customer.shareholderAccounts)
            if (!stockAccounts.insert(account.stockAccount).second)
                throw BookError(where + ": shareholder account \"" +
                                AnsiToUtf8(account.stockAccount) + "\" is listed twice");
        book.customers.push_back(std::move(customer));
    }

    // Order numbers follow the order in which the orders were placed, across customers.
    const int64_t first = Integer(root, "first_entrust_no", "the book", 100001, 1, 999'999'999'999);
    std::vector<BookOrder*> all;
    for (auto& customer : book.customers)
        for (auto& order : customer.orders)
            all.push_back(&order);
    std::stable_sort(all.begin(), all.end(), [](const BookOrder* a, const BookOrder* b) {
        return std::tie(a->initDate, a->entrustTime) < std::tie(b->initDate, b->entrustTime);
    });
    uint64_t next = static_cast<uint64_t>(first);
    for (BookOrder* order : all) {
        order->entrustNo = next++;
        if (order->entrustStatus != "0" && order->entrustStatus != "1") {
            order->reportNo = std::to_string(order->entrustNo);
            order->reportTime = order->entrustTime;
        }
    }
    for (auto& customer : book.customers)
        std::sort(customer.orders.begin(), customer.orders.end(),
                  [](const BookOrder& a, const BookOrder& b) { return a.entrustNo < b.entrustNo; });
    book.nextEntrustNo = next;
}
} // namespace

bool LoadDemoBook(std::string_view json, std::chrono::sys_days startDay, DemoBook& book,
                  std::string& error)
{
    DemoBook loaded;
    try {
        const nlohmann::json root = nlohmann::json::parse(json.begin(), json.end());
        ReadBook(root, startDay, loaded);
    } catch (const nlohmann::json::exception& e) {
        error = std::string("not valid JSON: ") + e.what();
        return false;
    } catch (const BookError& e) {
        error = e.what();
        return false;
    }
    book = std::move(loaded);
    return true;
}

std::chrono::sys_days LocalDay(std::time_t moment)
{
    std::tm local{};
    localtime_r(&moment, &local);
    const std::chrono::year_month_day day{std::chrono::year{local.tm_year + 1900},
                                          std::chrono::month{unsigned(local.tm_mon + 1)},
                                          std::chrono::day{unsigned(local.tm_mday)}};
    return std::chrono::sys_days{day};
}

namespace
{
// Appends value as exactly `width` decimal digits (value < 10^width). Every order and
// query formats dates, so this stays off the printf machinery.
void AppendDigits(std::string& text, unsigned value, int width)
{
    const std::size_t end = text.size() + static_cast<std::size_t>(width);
    text.resize(end);
    for (std::size_t i = end; i-- > end - static_cast<std::size_t>(width); value /= 10)
        text[i] = static_cast<char>('0' + value % 10);
}
} // namespace

std::string FormatDate(std::chrono::sys_days day)
{
    const std::chrono::year_month_day date{day};
    const int year = int(date.year());
    if (year < 0 || year > 9999) {
        char text[24];
        std::snprintf(text, sizeof text, "%04d%02u%02u", year, unsigned(date.month()),
                      unsigned(date.day()));
        return text;
    }
    std::string text;
    text.reserve(8);
    AppendDigits(text, static_cast<unsigned>(year), 4);
    AppendDigits(text, unsigned(date.month()), 2);
    AppendDigits(text, unsigned(date.day()), 2);
    return text;
}

std::string FormatTimeOfDay(std::time_t moment)
{
    std::tm local{};
    localtime_r(&moment, &local);
    std::string text;
    text.reserve(6);
    // A leap second reads 60; the fields never exceed two digits.
    AppendDigits(text, static_cast<unsigned>(local.tm_hour) % 100, 2);
    AppendDigits(text, static_cast<unsigned>(local.tm_min) % 100, 2);
    AppendDigits(text, static_cast<unsigned>(local.tm_sec) % 100, 2);
    return text;
}

bool ParseDate(std::string_view text, std::chrono::sys_days& day)
{
    if (text.size() != 8 || !AllDigits(text))
        return false;
    const auto number = [&](std::size_t pos, std::size_t len) {
        int value = 0;
        for (std::size_t i = pos; i < pos + len; ++i)
            value = value * 10 + (text[i] - '0');
        return value;
    };
    const std::chrono::year_month_day date{std::chrono::year{number(0, 4)},
                                           std::chrono::month{unsigned(number(4, 2))},
                                           std::chrono::day{unsigned(number(6, 2))}};
    if (!date.ok())
        return false;
    day = std::chrono::sys_days{date};
    return true;
}

std::string ExchangeName(std::string_view exchangeType)
{
    // Converted once: every order row of a query names its exchange.
    static const std::string shanghai = Utf8ToAnsi("上海");
    static const std::string shenzhen = Utf8ToAnsi("深圳");
    if (exchangeType == "1")
        return shanghai;
    if (exchangeType == "2")
        return shenzhen;
    return {};
}

std::string StatusName(std::string_view entrustStatus)
{
    static const std::map<std::string, std::string, std::less<>> names = [] {
        std::map<std::string, std::string, std::less<>> table;
        const char* const utf8[] = {"未报", "待报", "已报", "已报待撤", "部成待撤",
                                    "部撤", "已撤", "部成", "已成",     "废单"};
        for (int i = 0; i < 10; ++i)
            table.emplace(std::string(1, char('0' + i)), Utf8ToAnsi(utf8[i]));
        return table;
    }();
    const auto it = names.find(entrustStatus);
    return it == names.end() ? std::string() : it->second;
}
