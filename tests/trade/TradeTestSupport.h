#pragma once

#include <cstdlib>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <google/protobuf/message.h>
#include <gtest/gtest.h>

#include "trade/TradeData.h"
#include "trade/TradeUi.h"

namespace TradeTest
{

/// Stands in for the user interface: keeps every failure text and posted message, in
/// the order they came.
class RecordingTradeUi : public ITradeUi
{
public:
    struct Event
    {
        bool isMessage = false;
        std::string text; ///< message box text (GBK)
        int message = 0;  ///< posted window message
    };

    void ShowMessage(const std::string& gbkText) override
    {
        m_events.push_back({true, gbkText, 0});
    }
    void PostToMainWindow(int message) override { m_events.push_back({false, {}, message}); }

    std::vector<std::string> Messages() const
    {
        std::vector<std::string> texts;
        for (const auto& event : m_events) {
            if (event.isMessage)
                texts.push_back(event.text);
        }
        return texts;
    }
    std::vector<int> Posts() const
    {
        std::vector<int> posts;
        for (const auto& event : m_events) {
            if (!event.isMessage)
                posts.push_back(event.message);
        }
        return posts;
    }
    const std::vector<Event>& Events() const { return m_events; }
    void Clear() { m_events.clear(); }

private:
    std::vector<Event> m_events;
};

/// Installs a user interface for the life of the object.
class ScopedTradeUi
{
public:
    explicit ScopedTradeUi(ITradeUi* ui) : m_previous(GetTradeUi()) { SetTradeUi(ui); }
    ~ScopedTradeUi() { SetTradeUi(m_previous); }
    ScopedTradeUi(const ScopedTradeUi&) = delete;
    ScopedTradeUi& operator=(const ScopedTradeUi&) = delete;

private:
    ITradeUi* m_previous;
};

/// Switches the process to another time zone and back.
class ScopedTimeZone
{
public:
    explicit ScopedTimeZone(const char* zone)
    {
        if (const char* previous = std::getenv("TZ"))
            m_previous = previous;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ScopedTimeZone()
    {
        if (m_previous)
            ::setenv("TZ", m_previous->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<std::string> m_previous;
};

/// A moment given as local wall-clock time in the current time zone.
inline std::time_t LocalMoment(int year, int month, int day, int hour, int minute)
{
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

/// A reply row with every field set to a text of its own: the field's name, the row's
/// tag and a GBK character, so a field stored under the wrong name or cut short shows.
template <typename Row> Row MakeRow(const std::string& tag)
{
    Row row;
    const auto* descriptor = row.GetDescriptor();
    const auto* reflection = row.GetReflection();
    for (int i = 0; i < descriptor->field_count(); ++i) {
        const auto* field = descriptor->field(i);
        reflection->SetString(&row, field, field->name() + "-" + tag + "\xD6\xD0");
    }
    return row;
}

template <typename Collection> Collection MakeCollection(const std::string& tag, int rows)
{
    Collection collection;
    for (int i = 0; i < rows; ++i)
        *collection.add_res_collection() =
            MakeRow<typename std::decay_t<decltype(collection.res_collection(0))>>(
                tag + std::to_string(i));
    return collection;
}

/// Which member of a record holds which field of its reply row.
template <typename Record>
using FieldMap = std::vector<std::pair<const char*, std::string Record::*>>;

FieldMap<qry_stock_account_result> StockAccountFields();
FieldMap<qry_opt_code_result> OptCodeFields();
FieldMap<qry_pos_code_result> PosCodeFields();
FieldMap<qry_entrust_result> EntrustFields();
FieldMap<qry_his_entrust_result> HisEntrustFields();

/// Every field of the row is in the record, under the member of the same name.
template <typename Record, typename Row>
void ExpectRecordHoldsRow(const Record& record, const Row& row, const FieldMap<Record>& fields)
{
    const auto* descriptor = row.GetDescriptor();
    ASSERT_EQ(fields.size(), static_cast<std::size_t>(descriptor->field_count()))
        << "the record must keep every field of " << descriptor->name();
    for (const auto& [name, member] : fields) {
        const auto* field = descriptor->FindFieldByName(name);
        ASSERT_NE(field, nullptr) << name;
        EXPECT_EQ(record.*member, row.GetReflection()->GetString(row, field)) << name;
    }
}

/// The list holds exactly the rows, in reply order.
template <typename Record, typename Collection>
void ExpectListHoldsRows(const std::vector<Record>& list, const Collection& reply,
                         const FieldMap<Record>& fields)
{
    ASSERT_EQ(list.size(), static_cast<std::size_t>(reply.res_collection_size()));
    for (std::size_t i = 0; i < list.size(); ++i) {
        SCOPED_TRACE("row " + std::to_string(i));
        ExpectRecordHoldsRow(list[i], reply.res_collection(static_cast<int>(i)), fields);
    }
}

/// Every field of the request is present and has the expected value (numbers as decimal
/// text); expected must name every field. A password is compared without being printed.
void ExpectRequestFields(const google::protobuf::Message& request,
                         const std::map<std::string, std::string>& expected);

} // namespace TradeTest
