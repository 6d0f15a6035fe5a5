#include "server/TradeService.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <limits>
#include <optional>
#include <utility>

#include <openssl/rand.h>

#include "net/FunctionNumbers.h"
#include "server/ServerErrors.h"
#include "util/Clock.h"
#include "util/util.h"

using namespace quorvanta;

namespace
{
// More sessions than this and the least recently used one goes, so that endless logins
// cannot grow the table without bound.
constexpr std::size_t kMaxSessions = 4096;

std::string Gbk(const std::string& utf8)
{
    return Utf8ToAnsi(utf8);
}

std::string_view TrimBlanks(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// A whole number of decimal digits, blanks around it allowed; absurdly long numbers
// saturate instead of wrapping, so they still compare as too large.
std::optional<int64_t> ParseWholeNumber(std::string_view text)
{
    text = TrimBlanks(text);
    if (text.empty())
        return std::nullopt;
    int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        if (value > (std::numeric_limits<int64_t>::max() - 9) / 10)
            value = std::numeric_limits<int64_t>::max();
        else
            value = value * 10 + (c - '0');
    }
    return value;
}

// The number a request carries for a book's account text. A book's account is decimal
// digits up to 4294967295 (checked when the book is loaded), so this is a plain conversion;
// the terminal's FundAccountNumber instead applies the C library's rules to any text and
// clamps to the signed 32-bit range, so a book account above 2147483647 never matches.
uint32_t ParseFundAccount(const std::string& text)
{
    uint32_t number = 0;
    std::from_chars(text.data(), text.data() + text.size(), number);
    return number;
}

// Compares secrets without stopping at the first difference.
bool SameSecret(std::string_view a, std::string_view b)
{
    unsigned char diff = a.size() == b.size() ? 0 : 1;
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

bool IsCancellable(std::string_view status)
{
    // Unreported, waiting to be reported, reported: nothing has been filled yet.
    return status == "0" || status == "1" || status == "2";
}

std::string PositionStr(std::size_t index)
{
    char text[32];
    std::snprintf(text, sizeof text, "%06zu", index + 1);
    return text;
}

// Buff is taken by value: a serialised answer moves into the reply instead of being copied.
WrappedMessage MakeReply(const WrappedMessage& request, const std::string& token, int32_t code,
                         const std::string& text, std::string buff, const CCrc32& crc)
{
    WrappedMessage reply;
    reply.set_errorcode(code);
    reply.set_msgdesc(text);
    reply.set_tokenkey(token);
    reply.set_macid(request.macid());
    reply.set_funid(request.funid());
    reply.set_crc(crc.Calc(buff));
    reply.set_buffsize(static_cast<int32_t>(buff.size()));
    reply.set_buff(std::move(buff));
    return reply;
}
} // namespace

TradeService::TradeService(DemoBook book, std::chrono::milliseconds sessionIdleTimeout)
    : m_book(std::move(book)), m_sessionIdleTimeout(sessionIdleTimeout)
{
    BuildIndexes();
}

namespace
{
std::string PositionKey(const std::string& stockAccount, const std::string& soptCode)
{
    std::string key;
    key.reserve(stockAccount.size() + 1 + soptCode.size());
    key.append(stockAccount).append(1, '\0').append(soptCode);
    return key;
}

// The first order that may lie on firstDay or later. Orders are kept in entrust number
// order, which is also the order of their days unless the clock was set back.
auto OrdersFrom(const std::vector<BookOrder>& orders, const std::string& firstDay, bool daysInOrder)
{
    if (!daysInOrder)
        return orders.begin();
    return std::partition_point(orders.begin(), orders.end(),
                                [&](const BookOrder& o) { return o.initDate < firstDay; });
}

bool DaysInOrder(const std::vector<BookOrder>& orders)
{
    return std::is_sorted(orders.begin(), orders.end(), [](const BookOrder& a, const BookOrder& b) {
        return a.initDate < b.initDate;
    });
}
} // namespace

void TradeService::BuildIndexes()
{
    for (std::size_t i = 0; i < m_book.options.size(); ++i)
        m_options.emplace(m_book.options[i].soptCode, i);
    m_customerIndexes.resize(m_book.customers.size());
    for (std::size_t c = 0; c < m_book.customers.size(); ++c) {
        const BookCustomer& customer = m_book.customers[c];
        // The last of equal logins wins, as a scan from the front that keeps going would.
        m_logins[customer.account] = c;
        CustomerIndex& index = m_customerIndexes[c];
        for (std::size_t a = 0; a < customer.shareholderAccounts.size(); ++a)
            index.accounts.emplace(customer.shareholderAccounts[a].stockAccount, a);
        for (std::size_t p = 0; p < customer.positions.size(); ++p) {
            const BookPosition& position = customer.positions[p];
            index.positions.emplace(PositionKey(position.stockAccount, position.soptCode), p);
            const auto option = m_options.find(position.soptCode);
            if (option != m_options.end())
                index.heldOptions.push_back(option->second);
        }
        index.daysInOrder = DaysInOrder(customer.orders);
        std::sort(index.heldOptions.begin(), index.heldOptions.end());
        index.heldOptions.erase(std::unique(index.heldOptions.begin(), index.heldOptions.end()),
                                index.heldOptions.end());
    }
}

std::string TradeService::NewToken()
{
    unsigned char bytes[16];
    if (RAND_bytes(bytes, sizeof bytes) != 1)
        return {};
    static const char digits[] = "0123456789abcdef";
    std::string token;
    for (const unsigned char b : bytes) {
        token += digits[b >> 4];
        token += digits[b & 0x0f];
    }
    return token;
}

std::string TradeService::TokenForReply(const std::string& requestToken)
{
    if (!requestToken.empty() && m_sessions.count(requestToken))
        return requestToken;
    // A refusal still carries a token, as every reply does; this one opens no session.
    std::string token = NewToken();
    return token.empty() ? std::string("0") : token;
}

WrappedMessage TradeService::Handle(const WrappedMessage& request)
{
    if (m_crc.Calc(request.buff()) != request.crc()) {
        const std::lock_guard lock(m_mutex);
        return MakeReply(request, TokenForReply(request.tokenkey()), DemoError::kBadCrc,
                         Gbk("校验码错误"), {}, m_crc);
    }
    switch (request.funid()) {
    case kFunLogin:
        return Login(request);
    case kFunQryStockAcc:
        return Serve<MsgQryStockAcc_req, MsgQryStockAcc_res_collection>(
            request,
            [this](std::size_t c, const auto& req, auto& res) { return QryStockAcc(c, req, res); });
    case kFunQryOptCode:
        return Serve<MsgQryOptCode_req, MsgQryOptCode_res_collection>(
            request,
            [this](std::size_t c, const auto& req, auto& res) { return QryOptCode(c, req, res); });
    case kFunQryPosCode:
        return Serve<MsgQryPosCode_req, MsgQryPosCode_res_collection>(
            request,
            [this](std::size_t c, const auto& req, auto& res) { return QryPosCode(c, req, res); });
    case kFunQryEntrust:
        return Serve<MsgQryEntrust_req, MsgQryEntrust_res_collection>(
            request,
            [this](std::size_t c, const auto& req, auto& res) { return QryEntrust(c, req, res); });
    case kFunQryHisEntrust:
        return Serve<MsgQryHisEntrust_req, MsgQryHisEntrust_res_collection>(
            request, [this](std::size_t c, const auto& req, auto& res) {
                return QryHisEntrust(c, req, res);
            });
    case kFunEntrust:
        return Serve<MsgEntrust_req, MsgEntrust_res>(
            request,
            [this](std::size_t c, const auto& req, auto& res) { return Entrust(c, req, res); });
    case kFunCanEntrust:
        return Serve<MsgCanEntrust_req, MsgCanEntrust_res>(
            request,
            [this](std::size_t c, const auto& req, auto& res) { return CanEntrust(c, req, res); });
    default:
        break;
    }
    const std::lock_guard lock(m_mutex);
    return MakeReply(request, TokenForReply(request.tokenkey()), DemoError::kUnknownFunction,
                     Gbk("不支持的功能号" + std::to_string(request.funid())), {}, m_crc);
}

template <typename Req, typename Res, typename Op>
WrappedMessage TradeService::Serve(const WrappedMessage& request, Op op)
{
    Req req;
    const bool parsed = req.ParsePartialFromString(request.buff());
    std::unique_lock lock(m_mutex);
    if (!parsed)
        return MakeReply(request, TokenForReply(request.tokenkey()), DemoError::kBadPayload,
                         Gbk("请求数据格式错误"), {}, m_crc);
    std::size_t customer = 0;
    Refusal refusal = Authenticate(request.tokenkey(), req.fund_account(), req.password(),
                                   req.branch_no(), customer);
    if (refusal.code != 0)
        return MakeReply(request, TokenForReply(request.tokenkey()), refusal.code, refusal.text, {},
                         m_crc);
    Res res;
    refusal = op(customer, req, res);
    // The answer is decided; turning it into bytes needs none of the shared state.
    lock.unlock();
    if (refusal.code != 0)
        return MakeReply(request, request.tokenkey(), refusal.code, refusal.text, {}, m_crc);
    return MakeReply(request, request.tokenkey(), 0, {}, res.SerializePartialAsString(), m_crc);
}

WrappedMessage TradeService::Login(const WrappedMessage& request)
{
    MsgLogin_req req;
    const bool parsed = req.ParsePartialFromString(request.buff());
    const std::lock_guard lock(m_mutex);
    if (!parsed)
        return MakeReply(request, TokenForReply(request.tokenkey()), DemoError::kBadPayload,
                         Gbk("请求数据格式错误"), {}, m_crc);

    const auto login = m_logins.find(req.account_content());
    const std::size_t index = login == m_logins.end() ? m_book.customers.size() : login->second;
    // The same answer for an unknown account and a wrong password: a caller learns nothing
    // about which accounts exist.
    if (index == m_book.customers.size() ||
        !SameSecret(req.password(), m_book.customers[index].password))
        return MakeReply(request, TokenForReply(request.tokenkey()), DemoError::kBadLogin,
                         Gbk("账号或密码错误"), {}, m_crc);

    const std::string token = NewToken();
    if (token.empty())
        return MakeReply(request, "0", DemoError::kSystemError, Gbk("系统错误，请稍后再试"), {},
                         m_crc);

    const auto now = std::chrono::steady_clock::now();
    while (!m_sessionUseOrder.empty() &&
           now - m_sessions.at(m_sessionUseOrder.front()).lastUse > m_sessionIdleTimeout) {
        m_sessions.erase(m_sessionUseOrder.front());
        m_sessionUseOrder.pop_front();
    }
    if (m_sessions.size() >= kMaxSessions) {
        m_sessions.erase(m_sessionUseOrder.front());
        m_sessionUseOrder.pop_front();
    }
    if (const auto same = m_sessions.find(token); same != m_sessions.end()) {
        m_sessionUseOrder.erase(same->second.useOrder);
        m_sessions.erase(same);
    }
    m_sessionUseOrder.push_back(token);
    m_sessions[token] = Session{index, now, std::prev(m_sessionUseOrder.end())};

    const BookCustomer& customer = m_book.customers[index];
    const BookShareholderAccount* main = &customer.shareholderAccounts.front();
    for (const auto& account : customer.shareholderAccounts)
        if (account.mainFlag == "0") {
            main = &account;
            break;
        }
    MsgLogin_res res;
    res.set_content_type(req.content_type());
    res.set_account_content(customer.account);
    res.set_branch_no(customer.branchNo);
    res.set_fund_account(customer.fundAccount);
    res.set_client_id(customer.clientId);
    res.set_client_name(customer.clientName);
    res.set_fundaccount_count("1");
    res.set_money_count("1");
    res.set_money_type(customer.moneyType);
    res.set_square_flag(customer.squareFlag);
    res.set_enable_balance(customer.enableBalance);
    res.set_current_balance(customer.currentBalance);
    res.set_client_rights(customer.clientRights);
    res.set_bank_no(customer.bankNo);
    res.set_exchange_type(main->exchangeType);
    res.set_exchange_name(main->exchangeName);
    res.set_stock_account(main->stockAccount);
    return MakeReply(request, token, 0, {}, res.SerializePartialAsString(), m_crc);
}

TradeService::Refusal TradeService::Authenticate(const std::string& token, uint32_t fundAccount,
                                                 const std::string& password,
                                                 const std::string& branchNo, std::size_t& customer)
{
    const auto now = std::chrono::steady_clock::now();
    const auto it = token.empty() ? m_sessions.end() : m_sessions.find(token);
    if (it == m_sessions.end())
        return {DemoError::kSessionExpired, Gbk("会话已过期，请重新登录")};
    if (now - it->second.lastUse > m_sessionIdleTimeout) {
        m_sessionUseOrder.erase(it->second.useOrder);
        m_sessions.erase(it);
        return {DemoError::kSessionExpired, Gbk("会话已过期，请重新登录")};
    }
    const BookCustomer& owner = m_book.customers[it->second.customer];
    if (fundAccount != ParseFundAccount(owner.fundAccount))
        return {DemoError::kFundAccountMismatch, Gbk("资金账号与登录账号不符")};
    if (!SameSecret(password, owner.password))
        return {DemoError::kWrongPassword, Gbk("密码错误")};
    if (branchNo != owner.branchNo)
        return {DemoError::kBranchMismatch, Gbk("营业部号与登录账号不符")};
    it->second.lastUse = now;
    m_sessionUseOrder.splice(m_sessionUseOrder.end(), m_sessionUseOrder, it->second.useOrder);
    customer = it->second.customer;
    return {};
}

namespace
{
// The number of rows asked for; a query without a sensible one is refused.
std::optional<std::size_t> RequestRows(const std::string& requestNum)
{
    const auto rows = ParseWholeNumber(requestNum);
    if (!rows || *rows < 1)
        return std::nullopt;
    return static_cast<std::size_t>(std::min<int64_t>(*rows, 1'000'000));
}
} // namespace

TradeService::Refusal TradeService::BadRequestNum()
{
    return {DemoError::kBadRequestNum, Gbk("请求行数无效")};
}

TradeService::Refusal TradeService::QryStockAcc(std::size_t customer, const MsgQryStockAcc_req& req,
                                                MsgQryStockAcc_res_collection& res)
{
    const auto rows = RequestRows(req.request_num());
    if (!rows)
        return BadRequestNum();
    for (const auto& account : m_book.customers[customer].shareholderAccounts) {
        if (static_cast<std::size_t>(res.res_collection_size()) >= *rows)
            break;
        MsgQryStockAcc_res* row = res.add_res_collection();
        row->set_exchange_type(account.exchangeType);
        row->set_exchange_name(account.exchangeName);
        row->set_stock_account(account.stockAccount);
        row->set_holder_status(account.holderStatus);
        row->set_holder_rights(account.holderRights);
        row->set_main_flag(account.mainFlag);
        row->set_register_(account.registerFlag);
        row->set_seat_no(account.seatNo);
        row->set_enable_amount(account.enableAmount);
    }
    return {};
}

TradeService::Refusal TradeService::QryOptCode(std::size_t customer, const MsgQryOptCode_req& req,
                                               MsgQryOptCode_res_collection& res)
{
    const auto rows = RequestRows(req.request_num());
    if (!rows)
        return BadRequestNum();
    const std::vector<std::size_t>& held = m_customerIndexes[customer].heldOptions;
    const std::string wanted(TrimBlanks(req.sopt_code()));
    // Only the codes the customer holds are the customer's to exercise.
    auto first = held.begin();
    auto last = held.end();
    if (!wanted.empty()) {
        const auto named = m_options.find(wanted);
        const std::size_t at = named == m_options.end() ? m_book.options.size() : named->second;
        first = std::lower_bound(held.begin(), held.end(), at);
        last = first != held.end() && *first == at ? first + 1 : first;
    }
    const std::string today = FormatDate(LocalDay(Clock::Now()));
    for (auto it = first; it != last; ++it) {
        const std::size_t i = *it;
        const BookOption& option = m_book.options[i];
        if (static_cast<std::size_t>(res.res_collection_size()) >= *rows)
            break;
        const bool open = option.applyBeginDate <= today && today <= option.applyEndDate;
        MsgQryOptCode_res* row = res.add_res_collection();
        row->set_exchange_type(option.exchangeType);
        row->set_exchange_type_name(ExchangeName(option.exchangeType));
        row->set_sopt_code(option.soptCode);
        row->set_sopt_name(option.soptName);
        row->set_apply_code(option.applyCode);
        row->set_source_code(option.sourceCode);
        row->set_stock_name(option.stockName);
        row->set_grant_price(option.grantPrice);
        row->set_apply_price(option.applyPrice);
        row->set_apply_begin_date(option.applyBeginDate);
        row->set_apply_end_date(option.applyEndDate);
        row->set_apply_unit(std::to_string(option.applyUnit));
        row->set_apply_low_amount(std::to_string(option.applyLowAmount));
        row->set_apply_high_amount(std::to_string(option.applyHighAmount));
        row->set_sopttax_kind(option.sopttaxKind);
        row->set_sopttax_kind_name(option.sopttaxKindName);
        row->set_seat_no(option.seatNo);
        row->set_apply_status(option.applyStatus);
        row->set_status_name(option.statusName);
        row->set_tax_months(option.taxMonths);
        row->set_soptwindow_flag(open ? "1" : "0");
        static const std::string inWindow = Gbk("行权窗口期内");
        static const std::string outOfWindow = Gbk("非行权窗口期");
        row->set_soptwindow_flag_name(open ? inWindow : outOfWindow);
        row->set_position_str(PositionStr(i));
    }
    return {};
}

TradeService::Refusal TradeService::QryPosCode(std::size_t customer, const MsgQryPosCode_req& req,
                                               MsgQryPosCode_res_collection& res)
{
    const auto rows = RequestRows(req.request_num());
    if (!rows)
        return BadRequestNum();
    const BookCustomer& owner = m_book.customers[customer];
    const bool all = TrimBlanks(req.stock_account()).empty();
    if (!all && !FindAccount(customer, req.stock_account()))
        return {DemoError::kUnknownStockAccount, Gbk("股东帐号不存在")};
    for (std::size_t i = 0; i < owner.positions.size(); ++i) {
        const BookPosition& position = owner.positions[i];
        if (!all && position.stockAccount != req.stock_account())
            continue;
        if (static_cast<std::size_t>(res.res_collection_size()) >= *rows)
            break;
        const BookShareholderAccount* account = FindAccount(customer, position.stockAccount);
        const BookOption* option = FindOption(position.soptCode);
        MsgQryPosCode_res* row = res.add_res_collection();
        row->set_exchange_type(account->exchangeType);
        row->set_exchange_type_name(account->exchangeName);
        row->set_stock_account(position.stockAccount);
        row->set_sopt_code(position.soptCode);
        row->set_sopt_name(option->soptName);
        row->set_source_code(option->sourceCode);
        row->set_stock_name(option->stockName);
        row->set_register_amount(std::to_string(position.registerAmount));
        row->set_confirm_amount(std::to_string(position.confirmAmount));
        row->set_used_amount(std::to_string(position.usedAmount));
        row->set_frozen_amount(std::to_string(position.frozenAmount));
        row->set_enable_amount(std::to_string(position.enableAmount));
        row->set_sopttax_kind(option->sopttaxKind);
        row->set_sopttax_kind_name(option->sopttaxKindName);
        row->set_seat_no(account->seatNo);
        row->set_executives_flag(position.executivesFlag);
        row->set_limitsell_days(position.limitsellDays);
        row->set_soptmatch_flag(position.soptmatchFlag);
        row->set_soptreg_status(position.soptregStatus);
        row->set_status_name(position.statusName);
        row->set_tax_months(option->taxMonths);
        row->set_sum_payable_tax(position.sumPayableTax);
        row->set_sum_paid_tax(position.sumPaidTax);
        row->set_position_str(PositionStr(i));
    }
    return {};
}

template <typename Row>
void TradeService::FillOrderRow(std::size_t customer, const BookOrder& order, Row& row) const
{
    const BookOption* option = FindOption(order.soptCode);
    const BookShareholderAccount* account = FindAccount(customer, order.stockAccount);
    const std::string exchangeType = account ? account->exchangeType : std::string();
    row.set_init_date(order.initDate);
    row.set_entrust_no(std::to_string(order.entrustNo));
    row.set_exchange_type(exchangeType);
    row.set_exchange_type_name(ExchangeName(exchangeType));
    row.set_stock_account(order.stockAccount);
    row.set_sopt_code(order.soptCode);
    row.set_sopt_name(option ? option->soptName : std::string());
    row.set_entrust_bs("1");
    row.set_entrust_price(option ? option->applyPrice : std::string());
    row.set_entrust_amount(std::to_string(order.entrustAmount));
    row.set_report_no(order.reportNo);
    row.set_report_time(order.reportTime);
    row.set_entrust_type("0");
    // Texts every row carries, converted once.
    static const std::string typeName = Gbk("委托");
    static const std::string wayName = Gbk("网上委托");
    row.set_type_name(typeName);
    row.set_entrust_status(order.entrustStatus);
    row.set_status_name(StatusName(order.entrustStatus));
    row.set_entrust_way("5");
    row.set_entrust_way_name(wayName);
    row.set_entrust_time(order.entrustTime);
    row.set_entrust_prop("P");
    row.set_cancel_info(order.cancelInfo);
    row.set_withdraw_flag("0");
    row.set_position_str(order.initDate + std::to_string(order.entrustNo));
}

TradeService::Refusal TradeService::QryEntrust(std::size_t customer, const MsgQryEntrust_req& req,
                                               MsgQryEntrust_res_collection& res)
{
    const auto rows = RequestRows(req.request_num());
    if (!rows)
        return BadRequestNum();
    const BookCustomer& owner = m_book.customers[customer];
    const bool all = TrimBlanks(req.stock_account()).empty();
    if (!all && !FindAccount(customer, req.stock_account()))
        return {DemoError::kUnknownStockAccount, Gbk("股东帐号不存在")};
    const std::string today = FormatDate(LocalDay(Clock::Now()));
    const bool inOrder = m_customerIndexes[customer].daysInOrder;
    for (auto it = OrdersFrom(owner.orders, today, inOrder); it != owner.orders.end(); ++it) {
        const BookOrder& order = *it;
        if (order.initDate != today) {
            if (inOrder && order.initDate > today)
                break; // every later order is of a later day
            continue;
        }
        if (!all && order.stockAccount != req.stock_account())
            continue;
        if (static_cast<std::size_t>(res.res_collection_size()) >= *rows)
            break;
        FillOrderRow(customer, order, *res.add_res_collection());
    }
    return {};
}

TradeService::Refusal TradeService::QryHisEntrust(std::size_t customer,
                                                  const MsgQryHisEntrust_req& req,
                                                  MsgQryHisEntrust_res_collection& res)
{
    const auto rows = RequestRows(req.request_num());
    if (!rows)
        return BadRequestNum();
    std::chrono::sys_days start{};
    std::chrono::sys_days end{};
    if (!ParseDate(req.start_date(), start) || !ParseDate(req.end_date(), end) || end < start)
        return {DemoError::kBadDates, Gbk("起止日期无效")};
    const BookCustomer& owner = m_book.customers[customer];
    const bool all = TrimBlanks(req.stock_account()).empty();
    if (!all && !FindAccount(customer, req.stock_account()))
        return {DemoError::kUnknownStockAccount, Gbk("股东帐号不存在")};
    // Today's orders belong to the today's-orders query, whatever range is asked for.
    const std::string today = FormatDate(LocalDay(Clock::Now()));
    const std::string first = FormatDate(start);
    const std::string last = FormatDate(end);
    const bool inOrder = m_customerIndexes[customer].daysInOrder;
    for (auto it = OrdersFrom(owner.orders, first, inOrder); it != owner.orders.end(); ++it) {
        const BookOrder& order = *it;
        if (order.initDate > last || order.initDate >= today) {
            if (inOrder)
                break; // every later order is of a later day
            continue;
        }
        if (order.initDate < first)
            continue;
        if (!all && order.stockAccount != req.stock_account())
            continue;
        if (static_cast<std::size_t>(res.res_collection_size()) >= *rows)
            break;
        FillOrderRow(customer, order, *res.add_res_collection());
    }
    return {};
}

TradeService::Refusal TradeService::Entrust(std::size_t customer, const MsgEntrust_req& req,
                                            MsgEntrust_res& res)
{
    BookCustomer& owner = m_book.customers[customer];
    const BookOption* option = FindOption(req.sopt_code());
    if (!option)
        return {DemoError::kUnknownOptionCode, Gbk("权证代码不存在")};
    // The order goes to the exchange of the shareholder account; the request's
    // exchange_type is the login account's and need not be that one.
    if (!FindAccount(customer, req.stock_account()))
        return {DemoError::kUnknownStockAccount, Gbk("股东帐号不存在")};
    BookPosition* const position = FindPosition(customer, req.stock_account(), req.sopt_code());
    if (!position)
        return {DemoError::kNoPosition, Gbk("该股东帐号没有此权证的持仓")};

    const std::time_t now = Clock::Now();
    const std::string today = FormatDate(LocalDay(now));
    if (today < option->applyBeginDate || today > option->applyEndDate)
        return {DemoError::kOutsideWindow, Gbk("不在行权期内，行权期为" + option->applyBeginDate +
                                               "至" + option->applyEndDate)};

    const auto quantity = ParseWholeNumber(req.entrust_amount());
    if (!quantity)
        return {DemoError::kNotWholeNumber, Gbk("行权数量必须是正整数")};
    if (*quantity < option->applyLowAmount)
        return {DemoError::kBelowMinimum,
                Gbk("行权数量低于最低行权数量" + std::to_string(option->applyLowAmount))};
    if (*quantity > option->applyHighAmount)
        return {DemoError::kAboveMaximum,
                Gbk("行权数量超过最高行权数量" + std::to_string(option->applyHighAmount))};
    if (*quantity % option->applyUnit != 0)
        return {DemoError::kNotMultipleOfUnit,
                Gbk("行权数量必须是行权单位" + std::to_string(option->applyUnit) + "的整数倍")};
    if (*quantity > position->enableAmount)
        return {DemoError::kAboveAvailable,
                Gbk("行权数量超过可用数量，可用数量为" + std::to_string(position->enableAmount))};

    position->enableAmount -= *quantity;
    position->frozenAmount += *quantity;
    BookOrder order;
    order.entrustNo = m_book.nextEntrustNo++;
    order.initDate = today;
    order.stockAccount = req.stock_account();
    order.soptCode = req.sopt_code();
    order.entrustAmount = *quantity;
    order.entrustStatus = "2";
    order.entrustTime = FormatTimeOfDay(now);
    order.reportNo = std::to_string(order.entrustNo);
    order.reportTime = order.entrustTime;
    if (!owner.orders.empty() && order.initDate < owner.orders.back().initDate)
        m_customerIndexes[customer].daysInOrder = false;
    res.set_entrust_no(std::to_string(order.entrustNo));
    res.set_init_date(order.initDate);
    owner.orders.push_back(std::move(order));
    return {};
}

TradeService::Refusal TradeService::CanEntrust(std::size_t customer, const MsgCanEntrust_req& req,
                                               MsgCanEntrust_res& res)
{
    BookCustomer& owner = m_book.customers[customer];
    const auto number = ParseWholeNumber(req.entrust_no());
    // Orders are kept in entrust number order.
    const auto order = !number || *number < 0
                           ? owner.orders.end()
                           : std::partition_point(
                                 owner.orders.begin(), owner.orders.end(), [&](const BookOrder& o) {
                                     return static_cast<int64_t>(o.entrustNo) < *number;
                                 });
    if (order == owner.orders.end() || static_cast<int64_t>(order->entrustNo) != *number)
        return {DemoError::kOrderNotFound, Gbk("委托号不存在")};
    const BookShareholderAccount* account = FindAccount(customer, order->stockAccount);
    if (req.exchange_type() != account->exchangeType)
        return {DemoError::kExchangeMismatch, Gbk("交易类别与委托不符")};
    if (order->initDate != FormatDate(LocalDay(Clock::Now())))
        return {DemoError::kNotTodaysOrder, Gbk("只能撤销当日委托")};
    if (!IsCancellable(order->entrustStatus))
        return {DemoError::kNotCancellable,
                StatusName(order->entrustStatus) + Gbk("状态的委托不能撤单")};

    if (BookPosition* const position =
            FindPosition(customer, order->stockAccount, order->soptCode)) {
        const int64_t back = std::min(order->entrustAmount, position->frozenAmount);
        position->frozenAmount -= back;
        position->enableAmount += back;
    }
    order->entrustStatus = "6";
    order->cancelInfo = Gbk("客户撤单");
    res.set_entrust_no(std::to_string(order->entrustNo));
    return {};
}

const BookOption* TradeService::FindOption(const std::string& code) const
{
    const auto it = m_options.find(code);
    return it == m_options.end() ? nullptr : &m_book.options[it->second];
}

const BookShareholderAccount* TradeService::FindAccount(std::size_t customer,
                                                        const std::string& stockAccount) const
{
    const auto& accounts = m_customerIndexes[customer].accounts;
    const auto it = accounts.find(stockAccount);
    return it == accounts.end() ? nullptr
                                : &m_book.customers[customer].shareholderAccounts[it->second];
}

BookPosition* TradeService::FindPosition(std::size_t customer, const std::string& stockAccount,
                                         const std::string& soptCode)
{
    const auto& positions = m_customerIndexes[customer].positions;
    const auto it = positions.find(PositionKey(stockAccount, soptCode));
    return it == positions.end() ? nullptr : &m_book.customers[customer].positions[it->second];
}
