#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "net/ClientUtil.h"

// Result records: plain values of GBK text fields, named and ordered like the reply
// rows they come from. Every field of a row is kept, even those nothing reads.

/// The logged-in account: the 17 fields of the login reply, then the typed password.
struct login_result
{
    std::string content_type;
    std::string account_content;
    std::string branch_no;
    std::string fund_account;
    std::string client_id;
    std::string client_name;
    std::string fundaccount_count;
    std::string money_count;
    std::string money_type;
    std::string square_flag;
    std::string enable_balance;
    std::string current_balance;
    std::string client_rights;
    std::string bank_no;
    std::string exchange_type;
    std::string exchange_name;
    std::string stock_account;
    std::string password; ///< held for the whole run: every request carries it
};

/// One row of MsgQryStockAcc_res, field by field.
struct qry_stock_account_result
{
    std::string exchange_type;
    std::string exchange_name;
    std::string stock_account;
    std::string holder_status;
    std::string holder_rights;
    std::string main_flag;
    std::string register_;
    std::string seat_no;
    std::string enable_amount;
};

/// One row of MsgQryOptCode_res, field by field.
struct qry_opt_code_result
{
    std::string exchange_type;
    std::string exchange_type_name;
    std::string sopt_code;
    std::string sopt_name;
    std::string apply_code;
    std::string source_code;
    std::string stock_name;
    std::string grant_price;
    std::string apply_price;
    std::string apply_begin_date;
    std::string apply_end_date;
    std::string apply_unit;
    std::string apply_low_amount;
    std::string apply_high_amount;
    std::string sopttax_kind;
    std::string sopttax_kind_name;
    std::string seat_no;
    std::string apply_status;
    std::string status_name;
    std::string tax_months;
    std::string soptwindow_flag;
    std::string soptwindow_flag_name;
    std::string position_str;
};

/// One row of MsgQryPosCode_res, field by field.
struct qry_pos_code_result
{
    std::string exchange_type;
    std::string exchange_type_name;
    std::string stock_account;
    std::string sopt_code;
    std::string sopt_name;
    std::string source_code;
    std::string stock_name;
    std::string register_amount;
    std::string confirm_amount;
    std::string used_amount;
    std::string frozen_amount;
    std::string enable_amount;
    std::string sopttax_kind;
    std::string sopttax_kind_name;
    std::string seat_no;
    std::string executives_flag;
    std::string limitsell_days;
    std::string soptmatch_flag;
    std::string soptreg_status;
    std::string status_name;
    std::string tax_months;
    std::string sum_payable_tax;
    std::string sum_paid_tax;
    std::string position_str;
};

/// One row of MsgQryEntrust_res, field by field.
struct qry_entrust_result
{
    std::string init_date;
    std::string entrust_no;
    std::string exchange_type;
    std::string exchange_type_name;
    std::string stock_account;
    std::string sopt_code;
    std::string sopt_name;
    std::string entrust_bs;
    std::string entrust_price;
    std::string entrust_amount;
    std::string report_no;
    std::string report_time;
    std::string entrust_type;
    std::string type_name;
    std::string entrust_status;
    std::string status_name;
    std::string entrust_way;
    std::string entrust_way_name;
    std::string entrust_time;
    std::string entrust_prop;
    std::string cancel_info;
    std::string withdraw_flag;
    std::string position_str;
};

/// One row of MsgQryHisEntrust_res, field by field.
struct qry_his_entrust_result
{
    std::string init_date;
    std::string entrust_no;
    std::string exchange_type;
    std::string exchange_type_name;
    std::string stock_account;
    std::string sopt_code;
    std::string sopt_name;
    std::string entrust_bs;
    std::string entrust_price;
    std::string entrust_amount;
    std::string report_no;
    std::string report_time;
    std::string entrust_type;
    std::string type_name;
    std::string entrust_status;
    std::string status_name;
    std::string entrust_way;
    std::string entrust_way_name;
    std::string entrust_time;
    std::string entrust_prop;
    std::string cancel_info;
    std::string withdraw_flag;
    std::string position_str;
};

/// The standard text-to-integer conversion of an account text (leading white space,
/// optional sign, digits; 0 without digits; clamped to the signed 32-bit range), sent
/// as its unsigned 32-bit two's complement.
uint32_t FundAccountNumber(const std::string& text);

/// The trading context: the logged-in account, the five result lists, the code-name
/// tables and the session of the five queries. One instance, g_TradeData.
class CTradeData
{
public:
    CTradeData();
    ~CTradeData();
    CTradeData(const CTradeData&) = delete;
    CTradeData& operator=(const CTradeData&) = delete;

    /// Empties every result list.
    void ClearAll();

    /// Takes over the login reply: each of its 17 fields into the like-named field of
    /// m_login. The password is not part of the reply and stays as it is.
    void StoreLoginReply(const quorvanta::MsgLogin_res& reply);

    /// Option-code lookups: the first record of m_optCodes whose sopt_code equals the
    /// code byte for byte gives the field; "" when none does.
    std::string GetApplyPrice(const std::string& soptCode) const;
    std::string GetSoptName(const std::string& soptCode) const;
    std::string GetSourceCode(const std::string& soptCode) const;
    std::string GetStockName(const std::string& soptCode) const;

    /// Code-to-name lookups; an absent code gives "".
    std::string GetStatusName(const std::string& code) const;
    std::string GetPropName(const std::string& code) const;

    /// Queries. Each reports its own failure to the user and returns 0 when rows were
    /// stored, -1 after a reported failure.
    int QueryStockAcc();
    int QueryOptCode();
    int QueryPosCode();
    int QueryEntrust();
    int QueryHisEntrust();

    login_result m_login;
    std::vector<qry_stock_account_result> m_stockAccounts;
    std::vector<qry_entrust_result> m_curEntrusts;
    std::vector<qry_his_entrust_result> m_hisEntrusts;
    std::vector<qry_opt_code_result> m_optCodes;
    std::vector<qry_pos_code_result> m_positions;
    CClientUtil m_session;
    std::map<std::string, std::string> m_statusNames;
    std::map<std::string, std::string> m_propNames;

private:
    void InitStatusNames();
    void InitPropNames();
    /// A query's failure box: the fixed prefix (UTF-8 source text) followed directly by
    /// the server's description, as one GBK text.
    void ReportFailure(const char* prefix);
    /// Whether the session's exchange succeeded and the server reported no error.
    bool Succeeded(bool exchanged) const;
};

/// The terminal's one trading context.
extern CTradeData g_TradeData;
