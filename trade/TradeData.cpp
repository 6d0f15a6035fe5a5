#include "trade/TradeData.h"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <limits>

#include "trade/TradeUi.h"
#include "trade/WindowMessages.h"
#include "util/Clock.h"
#include "util/util.h"

using namespace quorvanta;

CTradeData g_TradeData;

namespace
{
/// Sends a query through the session, then wipes the password from the request: the
/// account record keeps the one copy of it that the session needs.
template <typename Req, typename Res>
bool Ask(CClientUtil& session, bool (CClientUtil::*operation)(const Req&, Res&), Req& req,
         Res& reply)
{
    const bool exchanged = (session.*operation)(req, reply);
    SecureErase(*req.mutable_password());
    return exchanged;
}

// Fixed request texts: the server reads one blank as "no filter" where it needs a value.
constexpr const char* kOneBlank = " ";
constexpr const char* kStockAccPositionStr = "1";
constexpr const char* kRequestNum = "50";
constexpr const char* kHisRequestNum = "100";

constexpr int kHistoryDays = 90;

// Failure prefixes, shown directly followed by the server's own description.
constexpr const char* kQueryFailed = "查询失败,错误原因:";
constexpr const char* kQueryEntrustFailed = "查询委托列表失败,错误原因:";
constexpr const char* kQueryHisEntrustFailed = "查询历史委托列表失败,错误原因:";

/// The local calendar date the given number of calendar days before a moment, as eight
/// digits; empty when the moment cannot be expressed in local time. Days are counted on
/// the calendar, not as 24-hour periods, so a night that loses or gains an hour never
/// shifts the date and no day drops out between the history and today's orders.
std::string LocalDateDaysBefore(std::time_t moment, int days)
{
    std::tm local{};
    if (::localtime_r(&moment, &local) == nullptr)
        return {};
    local.tm_mday -= days;
    local.tm_hour = 12; // midday: clear of any clock change
    local.tm_min = 0;
    local.tm_sec = 0;
    local.tm_isdst = -1;
    if (std::mktime(&local) == static_cast<std::time_t>(-1))
        return {};
    char text[16] = {};
    if (std::strftime(text, sizeof text, "%Y%m%d", &local) == 0)
        return {};
    return text;
}

void PostToMainWindow(WindowMessage message)
{
    if (ITradeUi* ui = GetTradeUi())
        ui->PostToMainWindow(message);
}

qry_stock_account_result ToRecord(const MsgQryStockAcc_res& row)
{
    qry_stock_account_result r;
    r.exchange_type = row.exchange_type();
    r.exchange_name = row.exchange_name();
    r.stock_account = row.stock_account();
    r.holder_status = row.holder_status();
    r.holder_rights = row.holder_rights();
    r.main_flag = row.main_flag();
    r.register_ = row.register_();
    r.seat_no = row.seat_no();
    r.enable_amount = row.enable_amount();
    return r;
}

qry_opt_code_result ToRecord(const MsgQryOptCode_res& row)
{
    qry_opt_code_result r;
    r.exchange_type = row.exchange_type();
    r.exchange_type_name = row.exchange_type_name();
    r.sopt_code = row.sopt_code();
    r.sopt_name = row.sopt_name();
    r.apply_code = row.apply_code();
    r.source_code = row.source_code();
    r.stock_name = row.stock_name();
    r.grant_price = row.grant_price();
    r.apply_price = row.apply_price();
    r.apply_begin_date = row.apply_begin_date();
    r.apply_end_date = row.apply_end_date();
    r.apply_unit = row.apply_unit();
    r.apply_low_amount = row.apply_low_amount();
    r.apply_high_amount = row.apply_high_amount();
    r.sopttax_kind = row.sopttax_kind();
    r.sopttax_kind_name = row.sopttax_kind_name();
    r.seat_no = row.seat_no();
    r.apply_status = row.apply_status();
    r.status_name = row.status_name();
    r.tax_months = row.tax_months();
    r.soptwindow_flag = row.soptwindow_flag();
    r.soptwindow_flag_name = row.soptwindow_flag_name();
    r.position_str = row.position_str();
    return r;
}

qry_pos_code_result ToRecord(const MsgQryPosCode_res& row)
{
    qry_pos_code_result r;
    r.exchange_type = row.exchange_type();
    r.exchange_type_name = row.exchange_type_name();
    r.stock_account = row.stock_account();
    r.sopt_code = row.sopt_code();
    r.sopt_name = row.sopt_name();
    r.source_code = row.source_code();
    r.stock_name = row.stock_name();
    r.register_amount = row.register_amount();
    r.confirm_amount = row.confirm_amount();
    r.used_amount = row.used_amount();
    r.frozen_amount = row.frozen_amount();
    r.enable_amount = row.enable_amount();
    r.sopttax_kind = row.sopttax_kind();
    r.sopttax_kind_name = row.sopttax_kind_name();
    r.seat_no = row.seat_no();
    r.executives_flag = row.executives_flag();
    r.limitsell_days = row.limitsell_days();
    r.soptmatch_flag = row.soptmatch_flag();
    r.soptreg_status = row.soptreg_status();
    r.status_name = row.status_name();
    r.tax_months = row.tax_months();
    r.sum_payable_tax = row.sum_payable_tax();
    r.sum_paid_tax = row.sum_paid_tax();
    r.position_str = row.position_str();
    return r;
}

/// Today's orders and the history share their row layout but not their types.
template <typename Record, typename Row> Record ToEntrustRecord(const Row& row)
{
    Record r;
    r.init_date = row.init_date();
    r.entrust_no = row.entrust_no();
    r.exchange_type = row.exchange_type();
    r.exchange_type_name = row.exchange_type_name();
    r.stock_account = row.stock_account();
    r.sopt_code = row.sopt_code();
    r.sopt_name = row.sopt_name();
    r.entrust_bs = row.entrust_bs();
    r.entrust_price = row.entrust_price();
    r.entrust_amount = row.entrust_amount();
    r.report_no = row.report_no();
    r.report_time = row.report_time();
    r.entrust_type = row.entrust_type();
    r.type_name = row.type_name();
    r.entrust_status = row.entrust_status();
    r.status_name = row.status_name();
    r.entrust_way = row.entrust_way();
    r.entrust_way_name = row.entrust_way_name();
    r.entrust_time = row.entrust_time();
    r.entrust_prop = row.entrust_prop();
    r.cancel_info = row.cancel_info();
    r.withdraw_flag = row.withdraw_flag();
    r.position_str = row.position_str();
    return r;
}

qry_entrust_result ToRecord(const MsgQryEntrust_res& row)
{
    return ToEntrustRecord<qry_entrust_result>(row);
}

qry_his_entrust_result ToRecord(const MsgQryHisEntrust_res& row)
{
    return ToEntrustRecord<qry_his_entrust_result>(row);
}

template <typename Record, typename Collection>
void AppendRows(std::vector<Record>& list, const Collection& reply)
{
    list.reserve(list.size() + static_cast<std::size_t>(reply.res_collection_size()));
    for (const auto& row : reply.res_collection())
        list.push_back(ToRecord(row));
}

/// The name of a code, or empty text; the table is left as it is.
std::string LookUp(const std::map<std::string, std::string>& table, const std::string& code)
{
    const auto found = table.find(code);
    return found != table.end() ? found->second : std::string();
}

/// The first option-code record with exactly this code, or nullptr.
const qry_opt_code_result* FindOptCode(const std::vector<qry_opt_code_result>& optCodes,
                                       const std::string& soptCode)
{
    for (const auto& record : optCodes) {
        if (record.sopt_code == soptCode)
            return &record;
    }
    return nullptr;
}
} // namespace

uint32_t FundAccountNumber(const std::string& text)
{
    // The C library's text-to-integer rules, with the out-of-range results pinned to the
    // ends of the signed 32-bit range instead of left undefined.
    constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    constexpr int64_t kMin = std::numeric_limits<int32_t>::min();

    std::size_t i = 0;
    const auto isSpace = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
    };
    while (i < text.size() && isSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        // Past 2^31 the value is clamped anyway; stop growing so nothing overflows.
        if (magnitude <= kMax + 1)
            magnitude = magnitude * 10 + (text[i] - '0');
    }
    const int64_t value = negative ? std::max(-magnitude, kMin) : std::min(magnitude, kMax);
    // Sent unsigned: a negative number travels as its two's complement.
    return static_cast<uint32_t>(static_cast<int32_t>(value));
}

CTradeData::CTradeData()
{
    InitStatusNames();
    InitPropNames();
}

CTradeData::~CTradeData()
{
    ClearAll();
}

void CTradeData::StoreLoginReply(const MsgLogin_res& reply)
{
    m_login.content_type = reply.content_type();
    m_login.account_content = reply.account_content();
    m_login.branch_no = reply.branch_no();
    m_login.fund_account = reply.fund_account();
    m_login.client_id = reply.client_id();
    m_login.client_name = reply.client_name();
    m_login.fundaccount_count = reply.fundaccount_count();
    m_login.money_count = reply.money_count();
    m_login.money_type = reply.money_type();
    m_login.square_flag = reply.square_flag();
    m_login.enable_balance = reply.enable_balance();
    m_login.current_balance = reply.current_balance();
    m_login.client_rights = reply.client_rights();
    m_login.bank_no = reply.bank_no();
    m_login.exchange_type = reply.exchange_type();
    m_login.exchange_name = reply.exchange_name();
    m_login.stock_account = reply.stock_account();
}

void CTradeData::ClearAll()
{
    m_stockAccounts.clear();
    m_curEntrusts.clear();
    m_hisEntrusts.clear();
    m_optCodes.clear();
    m_positions.clear();
}

std::string CTradeData::GetApplyPrice(const std::string& soptCode) const
{
    const qry_opt_code_result* record = FindOptCode(m_optCodes, soptCode);
    return record != nullptr ? record->apply_price : std::string();
}

std::string CTradeData::GetSoptName(const std::string& soptCode) const
{
    const qry_opt_code_result* record = FindOptCode(m_optCodes, soptCode);
    return record != nullptr ? record->sopt_name : std::string();
}

std::string CTradeData::GetSourceCode(const std::string& soptCode) const
{
    const qry_opt_code_result* record = FindOptCode(m_optCodes, soptCode);
    return record != nullptr ? record->source_code : std::string();
}

std::string CTradeData::GetStockName(const std::string& soptCode) const
{
    const qry_opt_code_result* record = FindOptCode(m_optCodes, soptCode);
    return record != nullptr ? record->stock_name : std::string();
}

std::string CTradeData::GetStatusName(const std::string& code) const
{
    return LookUp(m_statusNames, code);
}

std::string CTradeData::GetPropName(const std::string& code) const
{
    return LookUp(m_propNames, code);
}

void CTradeData::InitStatusNames()
{
    static constexpr const char* kNames[][2] = {
        {"0", "未报"}, {"1", "待报"}, {"2", "已报"}, {"3", "已报待撤"}, {"4", "部成待撤"},
        {"5", "部撤"}, {"6", "已撤"}, {"7", "部成"}, {"8", "已成"},     {"9", "废单"},
    };
    for (const auto& [code, name] : kNames)
        m_statusNames.emplace(code, Utf8ToAnsi(name));
}

void CTradeData::InitPropNames()
{
    static constexpr const char* kNames[][2] = {
        {"0", "买卖"},     {"1", "配股"},     {"2", "转托"},         {"3", "申购"},
        {"4", "回购"},     {"5", "配售"},     {"6", "指定"},         {"7", "转股"},
        {"8", "回售"},     {"9", "股息"},     {"A", "深圳配售确认"}, {"B", "配售放弃"},
        {"G", "配售冲正"}, {"P", "权证行权"},
    };
    for (const auto& [code, name] : kNames)
        m_propNames.emplace(code, Utf8ToAnsi(name));
}

void CTradeData::ReportFailure(const char* prefix)
{
    if (ITradeUi* ui = GetTradeUi())
        ui->ShowMessage(Utf8ToAnsi(prefix) + m_session.GetErrorMsg());
}

bool CTradeData::Succeeded(bool exchanged) const
{
    return exchanged && m_session.GetErrorCode() == 0;
}

int CTradeData::QueryStockAcc()
{
    MsgQryStockAcc_req req;
    req.set_fund_account(FundAccountNumber(m_login.fund_account));
    req.set_password(m_login.password);
    req.set_branch_no(m_login.branch_no);
    req.set_position_str(kStockAccPositionStr);
    req.set_request_num(kRequestNum);

    MsgQryStockAcc_res_collection reply;
    if (!Succeeded(Ask(m_session, &CClientUtil::ReqQryStockAcc, req, reply))) {
        ReportFailure(kQueryFailed);
        return -1;
    }
    // Appended, not replaced: the accounts are loaded once, right after login.
    AppendRows(m_stockAccounts, reply);
    return 0;
}

int CTradeData::QueryOptCode()
{
    MsgQryOptCode_req req;
    req.set_fund_account(FundAccountNumber(m_login.fund_account));
    req.set_sopt_code(kOneBlank);
    req.set_position_str(kOneBlank);
    req.set_request_num(kRequestNum);
    req.set_password(m_login.password);
    req.set_branch_no(m_login.branch_no);

    MsgQryOptCode_res_collection reply;
    if (!Succeeded(Ask(m_session, &CClientUtil::ReqQryOptCode, req, reply))) {
        ReportFailure(kQueryFailed);
        return -1;
    }
    // Appended, not replaced: the option codes are loaded once, right after login.
    AppendRows(m_optCodes, reply);
    return 0;
}

int CTradeData::QueryPosCode()
{
    // A failure box runs its own event loop; walk a copy of the account codes so that
    // nothing handled meanwhile can pull the list out from under the walk.
    std::vector<std::string> stockAccounts;
    stockAccounts.reserve(m_stockAccounts.size());
    for (const auto& account : m_stockAccounts)
        stockAccounts.push_back(account.stock_account);

    MsgQryPosCode_req req;
    MsgQryPosCode_res_collection reply;
    bool emptied = false;
    int status = 0;
    for (const auto& stockAccount : stockAccounts) {
        req.Clear();
        reply.Clear();
        req.set_fund_account(FundAccountNumber(m_login.fund_account));
        req.set_position_str("");
        req.set_request_num(kRequestNum);
        req.set_password(m_login.password);
        req.set_branch_no(m_login.branch_no);
        req.set_stock_account(stockAccount);

        if (!Succeeded(Ask(m_session, &CClientUtil::ReqQryPosCode, req, reply))) {
            ReportFailure(kQueryFailed);
            status = -1;
            continue;
        }
        // The old list goes when the first account of this refresh answers, whichever
        // that is: a refresh where every account fails keeps what was shown, and a
        // failing first account cannot leave old rows in front of new copies of them.
        if (!emptied) {
            m_positions.clear();
            emptied = true;
        }
        AppendRows(m_positions, reply);
    }
    PostToMainWindow(WM_POSITION_READY);
    return status;
}

int CTradeData::QueryEntrust()
{
    MsgQryEntrust_req req;
    req.set_fund_account(FundAccountNumber(m_login.fund_account));
    req.set_stock_account(kOneBlank);
    req.set_position_str("");
    req.set_request_num(kRequestNum);
    req.set_password(m_login.password);
    req.set_branch_no(m_login.branch_no);

    MsgQryEntrust_res_collection reply;
    if (!Succeeded(Ask(m_session, &CClientUtil::ReqQryEntrust, req, reply))) {
        ReportFailure(kQueryEntrustFailed);
        return -1;
    }
    // Emptied and refilled completely before the page is told to rebuild.
    m_curEntrusts.clear();
    AppendRows(m_curEntrusts, reply);
    PostToMainWindow(WM_CURENTRUST_READY);
    return 0;
}

int CTradeData::QueryHisEntrust()
{
    // The ninety days before today, today excluded: today's orders come from QueryEntrust.
    const std::time_t now = Clock::Now();
    const std::string startDate = LocalDateDaysBefore(now, kHistoryDays);
    const std::string endDate = LocalDateDaysBefore(now, 1);

    MsgQryHisEntrust_req req;
    req.set_fund_account(FundAccountNumber(m_login.fund_account));
    req.set_stock_account(kOneBlank);
    req.set_position_str(kOneBlank);
    req.set_request_num(kHisRequestNum);
    req.set_start_date(startDate);
    req.set_end_date(endDate);
    req.set_password(m_login.password);
    req.set_branch_no(m_login.branch_no);

    MsgQryHisEntrust_res_collection reply;
    if (!Succeeded(Ask(m_session, &CClientUtil::ReqQryHisEntrust, req, reply))) {
        ReportFailure(kQueryHisEntrustFailed);
        return -1;
    }
    m_hisEntrusts.clear();
    AppendRows(m_hisEntrusts, reply);
    PostToMainWindow(WM_HISENTRUST_READY);
    return 0;
}
