// The order history on the real widgets: ten columns, the date as received, 20-pixel rows.

#include <gtest/gtest.h>

#include <string>

#include "PageTestSupport.h"
#include "trade/TradeData.h"
#include "ui/GbkText.h"
#include "ui/pages/HisEntrustDlg.h"
#include "ui/skin/SkinList.h"

using namespace PageTest;

namespace
{
qry_his_entrust_result HistoryRecord(const char* date, const char* time, const char* entrustNo,
                                     const char* account, const char* code, const char* name,
                                     const char* price, const char* amount, const char* status)
{
    qry_his_entrust_result record;
    record.init_date = date;
    record.entrust_time = time;
    record.entrust_no = entrustNo;
    record.stock_account = account;
    record.sopt_code = code;
    record.sopt_name = ToGbk(QString::fromUtf8(name));
    record.entrust_price = price;
    record.entrust_amount = amount;
    record.entrust_status = status;
    // Fields the page must not show where another column belongs.
    record.status_name = ToGbk(QStringLiteral("状态名"));
    record.entrust_prop = "P";
    return record;
}

class HisEntrustPageTest : public PageFixture
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(PageFixture::SetUp());
        ShowPage(m_hisEntrustPage);
        m_list = Child<CSkinListCtrl>(*m_hisEntrustPage, "hisEntrustList");
        ASSERT_NE(m_list, nullptr);
    }

    CSkinListCtrl* m_list = nullptr;
};

TEST_F(HisEntrustPageTest, RowsShowTheDateAsReceivedFormattedTimesAndStatusNames)
{
    EXPECT_EQ(m_list->GetItemCount(), 0) << "empty until the first fill";
    g_TradeData.m_hisEntrusts = {
        HistoryRecord("20240105", "100512", "100010", "A123456789", "1000012", "华信科技期权1",
                      "12.50", "1000", "8"),
        HistoryRecord("2024-1-5", "93840", "100011", "0123456789", "037021", "恒远医药期权1",
                      "8.36", "2000", "9"),
        HistoryRecord("240105", "9384", "100012", "A123456789", "1000013", "华信科技期权2", "15.80",
                      "500", "?"),
    };
    m_hisEntrustPage->FillHisEntrustList();

    const QStringList rows[] = {
        {"20240105", "10:05:12", "100010", "A123456789", "1000012", "华信科技期权1", "12.50",
         "1000", "已成", "0"},
        {"2024-1-5", "9:38:40", "100011", "0123456789", "037021", "恒远医药期权1", "8.36", "2000",
         "废单", "0"},
        {"240105", "", "100012", "A123456789", "1000013", "华信科技期权2", "15.80", "500", "", "0"},
    };
    ASSERT_EQ(m_list->GetColumnCount(), 10);
    ASSERT_EQ(m_list->GetItemCount(), 3);
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE("row " + std::to_string(row));
        EXPECT_EQ(RowTexts(*m_list, row), rows[row]);
        EXPECT_EQ(m_list->rowHeight(row), 20);
        for (int column = 0; column < 10; ++column) {
            EXPECT_EQ(m_list->Model().ItemStyle(row, column),
                      QStringLiteral("column%1").arg(column));
            EXPECT_EQ(m_list->Model().DrawStyle(row, column), QStringLiteral("textdefault"));
        }
    }

    g_TradeData.m_hisEntrusts.clear();
    m_hisEntrustPage->FillHisEntrustList();
    EXPECT_EQ(m_list->GetItemCount(), 0);
}

// The history as loaded at login from the demo book: every order before today.
TEST_F(HisEntrustPageTest, ShowsTheDemoHistoryAfterLogin)
{
    ASSERT_NO_FATAL_FAILURE(StartSession());
    ASSERT_FALSE(g_TradeData.m_hisEntrusts.empty());
    ASSERT_EQ(m_list->GetItemCount(), static_cast<int>(g_TradeData.m_hisEntrusts.size()));
    for (int row = 0; row < m_list->GetItemCount(); ++row) {
        const qry_his_entrust_result& order =
            g_TradeData.m_hisEntrusts[static_cast<std::size_t>(row)];
        SCOPED_TRACE(order.entrust_no);
        EXPECT_EQ(m_list->Model().Text(row, 0), Shown(order.init_date));
        EXPECT_EQ(m_list->Model().Text(row, 2), Shown(order.entrust_no));
        EXPECT_FALSE(m_list->Model().Text(row, 8).isEmpty()) << "every demo status has a name";
    }
}

} // namespace
