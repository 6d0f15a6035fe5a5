#include "TradeTestSupport.h"

namespace TradeTest
{

FieldMap<qry_stock_account_result> StockAccountFields()
{
    using R = qry_stock_account_result;
    return {{"exchange_type", &R::exchange_type}, {"exchange_name", &R::exchange_name},
            {"stock_account", &R::stock_account}, {"holder_status", &R::holder_status},
            {"holder_rights", &R::holder_rights}, {"main_flag", &R::main_flag},
            {"register", &R::register_},          {"seat_no", &R::seat_no},
            {"enable_amount", &R::enable_amount}};
}

FieldMap<qry_opt_code_result> OptCodeFields()
{
    using R = qry_opt_code_result;
    return {{"exchange_type", &R::exchange_type},
            {"exchange_type_name", &R::exchange_type_name},
            {"sopt_code", &R::sopt_code},
            {"sopt_name", &R::sopt_name},
            {"apply_code", &R::apply_code},
            {"source_code", &R::source_code},
            {"stock_name", &R::stock_name},
            {"grant_price", &R::grant_price},
            {"apply_price", &R::apply_price},
            {"apply_begin_date", &R::apply_begin_date},
            {"apply_end_date", &R::apply_end_date},
            {"apply_unit", &R::apply_unit},
            {"apply_low_amount", &R::apply_low_amount},
            {"apply_high_amount", &R::apply_high_amount},
            {"sopttax_kind", &R::sopttax_kind},
            {"sopttax_kind_name", &R::sopttax_kind_name},
            {"seat_no", &R::seat_no},
            {"apply_status", &R::apply_status},
            {"status_name", &R::status_name},
            {"tax_months", &R::tax_months},
            {"soptwindow_flag", &R::soptwindow_flag},
            {"soptwindow_flag_name", &R::soptwindow_flag_name},
            {"position_str", &R::position_str}};
}

FieldMap<qry_pos_code_result> PosCodeFields()
{
    using R = qry_pos_code_result;
    return {{"exchange_type", &R::exchange_type},
            {"exchange_type_name", &R::exchange_type_name},
            {"stock_account", &R::stock_account},
            {"sopt_code", &R::sopt_code},
            {"sopt_name", &R::sopt_name},
            {"source_code", &R::source_code},
            {"stock_name", &R::stock_name},
            {"register_amount", &R::register_amount},
            {"confirm_amount", &R::confirm_amount},
            {"used_amount", &R::used_amount},
            {"frozen_amount", &R::frozen_amount},
            {"enable_amount", &R::enable_amount},
            {"sopttax_kind", &R::sopttax_kind},
            {"sopttax_kind_name", &R::sopttax_kind_name},
            {"seat_no", &R::seat_no},
            {"executives_flag", &R::executives_flag},
            {"limitsell_days", &R::limitsell_days},
            {"soptmatch_flag", &R::soptmatch_flag},
            {"soptreg_status", &R::soptreg_status},
            {"status_name", &R::status_name},
            {"tax_months", &R::tax_months},
            {"sum_payable_tax", &R::sum_payable_tax},
            {"sum_paid_tax", &R::sum_paid_tax},
            {"position_str", &R::position_str}};
}

namespace
{
template <typename R> FieldMap<R> EntrustLikeFields()
{
    return {{"init_date", &R::init_date},           {"entrust_no", &R::entrust_no},
            {"exchange_type", &R::exchange_type},   {"exchange_type_name", &R::exchange_type_name},
            {"stock_account", &R::stock_account},   {"sopt_code", &R::sopt_code},
            {"sopt_name", &R::sopt_name},           {"entrust_bs", &R::entrust_bs},
            {"entrust_price", &R::entrust_price},   {"entrust_amount", &R::entrust_amount},
            {"report_no", &R::report_no},           {"report_time", &R::report_time},
            {"entrust_type", &R::entrust_type},     {"type_name", &R::type_name},
            {"entrust_status", &R::entrust_status}, {"status_name", &R::status_name},
            {"entrust_way", &R::entrust_way},       {"entrust_way_name", &R::entrust_way_name},
            {"entrust_time", &R::entrust_time},     {"entrust_prop", &R::entrust_prop},
            {"cancel_info", &R::cancel_info},       {"withdraw_flag", &R::withdraw_flag},
            {"position_str", &R::position_str}};
}
} // namespace

FieldMap<qry_entrust_result> EntrustFields()
{
    return EntrustLikeFields<qry_entrust_result>();
}

FieldMap<qry_his_entrust_result> HisEntrustFields()
{
    return EntrustLikeFields<qry_his_entrust_result>();
}

void ExpectRequestFields(const google::protobuf::Message& request,
                         const std::map<std::string, std::string>& expected)
{
    using google::protobuf::FieldDescriptor;
    const auto* descriptor = request.GetDescriptor();
    const auto* reflection = request.GetReflection();
    EXPECT_EQ(expected.size(), static_cast<std::size_t>(descriptor->field_count()))
        << "the test must name every field of " << descriptor->name();

    for (int i = 0; i < descriptor->field_count(); ++i) {
        const FieldDescriptor* field = descriptor->field(i);
        const std::string& name = field->name();
        EXPECT_TRUE(reflection->HasField(request, field))
            << name << " must be set, even when empty";

        std::string actual;
        switch (field->cpp_type()) {
        case FieldDescriptor::CPPTYPE_STRING:
            actual = reflection->GetString(request, field);
            break;
        case FieldDescriptor::CPPTYPE_UINT32:
            actual = std::to_string(reflection->GetUInt32(request, field));
            break;
        default:
            ADD_FAILURE() << "unexpected field type of " << name;
            continue;
        }
        const auto wanted = expected.find(name);
        if (wanted == expected.end()) {
            ADD_FAILURE() << "no expectation for " << name;
        } else if (name == "password") {
            EXPECT_TRUE(actual == wanted->second) << "the password field differs";
        } else {
            EXPECT_EQ(actual, wanted->second) << name;
        }
    }
}

} // namespace TradeTest
