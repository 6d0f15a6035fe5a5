// Today's orders on the real widgets: the eleven columns, the click that keeps one row
// selected, and the cancel against the demo server, which must always name the order of
// the row the user sees.

#include <QItemSelectionModel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "PageTestSupport.h"
#include "net/FunctionNumbers.h"
#include "tests/trade/TradeTestSupport.h"
#include "trade/TradeData.h"
#include "trade/WindowMessages.h"
#include "ui/GbkText.h"
#include "ui/pages/CurEntrustDlg.h"
#include "ui/skin/SkinList.h"

using namespace PageTest;

namespace
{
const QString kAskForSelection = QStringLiteral("请先选中撤单委托");
const QString kSuccessPrefix = QStringLiteral("撤单委托成功，委托号是：");
const QString kFailurePrefix = QStringLiteral("撤单委托失败,错误原因:");

qry_entrust_result OrderRecord(const char* time, const char* entrustNo, const char* account,
                               const char* prop, const char* code, const char* name,
                               const char* price, const char* amount, const char* status)
{
    qry_entrust_result record;
    record.entrust_time = time;
    record.entrust_no = entrustNo;
    record.exchange_type = "1";
    record.stock_account = account;
    record.entrust_prop = prop;
    record.sopt_code = code;
    record.sopt_name = ToGbk(QString::fromUtf8(name));
    record.entrust_price = price;
    record.entrust_amount = amount;
    record.entrust_status = status;
    // Fields the page must not show where another column belongs.
    record.status_name = ToGbk(QStringLiteral("状态名"));
    record.init_date = "20240105";
    return record;
}

class CurEntrustPageTest : public PageFixture
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(PageFixture::SetUp());
        ShowPage(m_curEntrustPage);
        m_list = Child<CSkinListCtrl>(*m_curEntrustPage, "entrustList");
        m_cancel = Child<QPushButton>(*m_curEntrustPage, "cancelEntrustButton");
        m_refresh = Child<QPushButton>(*m_curEntrustPage, "refreshEntrustButton");
        ASSERT_TRUE(m_list && m_cancel && m_refresh);
    }

    void LoadOrders(int count)
    {
        g_TradeData.m_curEntrusts.clear();
        for (int i = 0; i < count; ++i) {
            const std::string number = std::to_string(200001 + i);
            g_TradeData.m_curEntrusts.push_back(OrderRecord("93015", number.c_str(), "A123456789",
                                                            "P", "1000012", "华信科技期权1",
                                                            "12.50", "100", "2"));
        }
        m_curEntrustPage->FillEntrustList();
    }
    void ClickCancel() { QTest::mouseClick(m_cancel, Qt::LeftButton); }
    /// The row showing that order number, or -1.
    int RowOf(const std::string& entrustNo) const
    {
        for (int row = 0; row < m_list->GetItemCount(); ++row) {
            if (m_list->Model().Text(row, 2) == Shown(entrustNo))
                return row;
        }
        return -1;
    }
    std::vector<QStringList> AllRows() const
    {
        std::vector<QStringList> rows;
        for (int row = 0; row < m_list->GetItemCount(); ++row)
            rows.push_back(RowTexts(*m_list, row));
        return rows;
    }

    CSkinListCtrl* m_list = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_refresh = nullptr;
};

TEST_F(CurEntrustPageTest, RowsShowElevenColumnsWithFormattedTimesAndNames)
{
    g_TradeData.m_curEntrusts = {
        OrderRecord("93015", "100007", "A123456789", "P", "1000012", "华信科技期权1", "12.50",
                    "1000", "2"),
        OrderRecord("143005", "100008", "0123456789", "0", "037021", "恒远医药期权1", "8.36", "300",
                    "6"),
        OrderRecord("1234", "100009", "A123456789", "Z", "1000013", "华信科技期权2", "15.80", "500",
                    "x"),
    };
    m_curEntrustPage->FillEntrustList();

    const QStringList rows[] = {
        {"", "9:30:15", "100007", "A123456789", "权证行权", "1000012", "华信科技期权1", "12.50",
         "1000", "已报", "0"},
        {"", "14:30:05", "100008", "0123456789", "买卖", "037021", "恒远医药期权1", "8.36", "300",
         "已撤", "0"},
        {"", "", "100009", "A123456789", "", "1000013", "华信科技期权2", "15.80", "500", "", "0"},
    };
    ASSERT_EQ(m_list->GetColumnCount(), 11);
    ASSERT_EQ(m_list->GetItemCount(), 3);
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE("row " + std::to_string(row));
        EXPECT_EQ(RowTexts(*m_list, row), rows[row]);
        EXPECT_EQ(m_list->rowHeight(row), 40);
        for (int column = 0; column < 11; ++column) {
            EXPECT_EQ(m_list->Model().ItemStyle(row, column),
                      QStringLiteral("column%1").arg(column));
            EXPECT_EQ(m_list->Model().DrawStyle(row, column),
                      column == 0 ? QString() : QStringLiteral("textdefault"));
        }
    }

    g_TradeData.m_curEntrusts.clear();
    m_curEntrustPage->FillEntrustList();
    EXPECT_EQ(m_list->GetItemCount(), 0);
}

// Three rows are selected (as the keyboard can) and the focus mark is on the third; a
// click keeps at most the clicked row selected and focused.
TEST_F(CurEntrustPageTest, AClickDeselectsEveryOtherRow)
{
    const struct
    {
        const char* name;
        int row; ///< -1: the empty space below the rows
        Qt::KeyboardModifiers modifiers;
        std::vector<int> selected;
    } cases[] = {
        {"Ctrl+click on a row", 3, Qt::ControlModifier, {3}},
        {"click on a row", 1, Qt::NoModifier, {1}},
        {"Ctrl+click on empty space", -1, Qt::ControlModifier, {}},
        {"click on empty space", -1, Qt::NoModifier, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoadOrders(4);
        for (int row = 0; row < 3; ++row)
            m_list->SelectRow(row, true);
        m_list->selectionModel()->setCurrentIndex(m_list->Model().index(2, 0),
                                                  QItemSelectionModel::NoUpdate);
        ASSERT_EQ(SelectedRows(*m_list), (std::vector<int>{0, 1, 2}));

        if (c.row >= 0)
            ClickRow(*m_list, c.row, c.modifiers);
        else
            ClickBelowRows(*m_list, c.modifiers);

        EXPECT_EQ(SelectedRows(*m_list), c.selected);
        const QModelIndex current = m_list->currentIndex();
        if (c.row >= 0) {
            EXPECT_EQ(current.row(), c.row);
        } else {
            EXPECT_FALSE(current.isValid()) << "focus mark on row " << current.row();
        }
    }
    EXPECT_TRUE(m_boxes.Texts().empty());
}

TEST_F(CurEntrustPageTest, CancelWithoutASelectedRowAsksForOneAndSendsNothing)
{
    ASSERT_NO_FATAL_FAILURE(StartSession());
    ASSERT_GE(m_list->GetItemCount(), 2);
    const struct
    {
        const char* name;
        std::function<void()> prepare;
    } cases[] = {
        {"nothing selected", [] {}},
        {"a row selected before 刷 新 refilled the list",
         [this] {
             ClickRow(*m_list, 1);
             ASSERT_EQ(SelectedRows(*m_list), std::vector<int>{1});
             const std::vector<QStringList> before = AllRows();
             QTest::mouseClick(m_refresh, Qt::LeftButton);
             m_host->Deliver();
             ASSERT_EQ(m_host->Messages(), std::vector<int>{WM_CURENTRUST_READY});
             EXPECT_EQ(AllRows(), before) << "the same orders again";
         }},
        {"an empty list",
         [this] {
             g_TradeData.m_curEntrusts.clear();
             m_curEntrustPage->FillEntrustList();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(c.prepare());
        m_trace.Clear();
        m_boxes.Clear();
        ClickCancel();
        ASSERT_EQ(m_boxes.Requests().size(), 1u);
        EXPECT_EQ(m_boxes.Requests()[0].kind, MessageBoxes::Kind::Application);
        EXPECT_EQ(m_boxes.Requests()[0].text, kAskForSelection);
        EXPECT_EQ(m_trace.Requests().size(), 0u) << "nothing sent";
    }
}

// Whichever way the row was selected, the cancel names the order that row shows; a
// success refreshes positions before today's orders, and the list then shows it cancelled.
TEST_F(CurEntrustPageTest, CancelSendsTheOrderOfTheRowTheUserSees)
{
    const struct
    {
        const char* name;
        std::function<void()> select;
        std::vector<int> selected;
    } cases[] = {
        {"the clicked row", [this] { ClickRow(*m_list, 1); }, {1}},
        {"two rows selected: the lower one",
         [this] {
             ClickRow(*m_list, 1);
             QTest::keyClick(m_list, Qt::Key_Down, Qt::ShiftModifier);
         },
         {1, 2}},
        {"today's orders replaced but the list not yet refilled",
         [this] {
             ClickRow(*m_list, 1);
             std::reverse(g_TradeData.m_curEntrusts.begin(), g_TradeData.m_curEntrusts.end());
         },
         {1}},
    };
    const BookCustomer& customer = MainCustomer();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(StartSession());
        ASSERT_GE(g_TradeData.m_curEntrusts.size(), 4u);
        const qry_entrust_result shown = g_TradeData.m_curEntrusts[1];
        ASSERT_EQ(m_list->Model().Text(1, 2), Shown(shown.entrust_no));
        ASSERT_EQ(shown.entrust_status, "1") << "the demo book's second order can be cancelled";

        c.select();
        ASSERT_EQ(SelectedRows(*m_list), c.selected);
        ClickCancel();

        std::vector<int32_t> expected = {kFunCanEntrust, RequestTrace::kBox};
        const std::vector<int32_t> positions = PositionQueries();
        expected.insert(expected.end(), positions.begin(), positions.end());
        expected.push_back(kFunQryEntrust);
        EXPECT_EQ(m_trace.Sequence(), expected);
        TradeTest::ExpectRequestFields(SentOnce<quorvanta::MsgCanEntrust_req>(kFunCanEntrust),
                                       {{"fund_account", customer.fundAccount},
                                        {"exchange_type", shown.exchange_type},
                                        {"entrust_no", shown.entrust_no},
                                        {"password", customer.password},
                                        {"branch_no", customer.branchNo}});
        ASSERT_EQ(m_boxes.Requests().size(), 1u);
        EXPECT_EQ(m_boxes.Requests()[0].kind, MessageBoxes::Kind::Application);
        EXPECT_EQ(m_boxes.Requests()[0].text, kSuccessPrefix + Shown(shown.entrust_no));

        m_host->Deliver();
        EXPECT_EQ(m_host->Messages(), (std::vector<int>{WM_POSITION_READY, WM_CURENTRUST_READY}));
        const int row = RowOf(shown.entrust_no);
        ASSERT_GE(row, 0);
        EXPECT_EQ(m_list->Model().Text(row, 9), QStringLiteral("已撤"));
        EXPECT_TRUE(SelectedRows(*m_list).empty()) << "a refill drops the selection";
    }
}

TEST_F(CurEntrustPageTest, FailedCancelShowsThePrefixAndTheReasonAndRefreshesNothing)
{
    const struct
    {
        const char* name;
        int row;
        bool noServer;
        const char* reason;
        std::vector<int32_t> trace;
    } cases[] = {
        {"refused by the server",
         2,
         false,
         "已成状态的委托不能撤单",
         {kFunCanEntrust, RequestTrace::kBox}},
        {"no connection", 1, true, "", {RequestTrace::kBox}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(StartSession());
        ASSERT_GE(g_TradeData.m_curEntrusts.size(), 3u);
        ASSERT_EQ(g_TradeData.m_curEntrusts[2].entrust_status, "8") << "filled, not cancellable";
        const std::string entrustNo =
            g_TradeData.m_curEntrusts[static_cast<std::size_t>(c.row)].entrust_no;
        if (c.noServer)
            PointAtNothing();
        const std::vector<QStringList> before = AllRows();

        ClickRow(*m_list, c.row);
        ClickCancel();

        EXPECT_EQ(m_trace.Sequence(), c.trace);
        EXPECT_EQ(m_curEntrustPage->CancelRequest().entrust_no(), entrustNo);
        ASSERT_EQ(m_boxes.Requests().size(), 1u);
        EXPECT_EQ(m_boxes.Requests()[0].kind, MessageBoxes::Kind::Owned);
        EXPECT_EQ(m_boxes.Requests()[0].owner, m_curEntrustPage);
        EXPECT_TRUE(m_boxes.Requests()[0].caption.isEmpty());
        EXPECT_EQ(m_boxes.Requests()[0].text, kFailurePrefix + QString::fromUtf8(c.reason));
        m_host->Deliver();
        EXPECT_TRUE(m_host->Messages().empty());
        EXPECT_EQ(AllRows(), before);
        EXPECT_EQ(SelectedRows(*m_list), std::vector<int>{c.row});
    }
}

// A cancel whose answer was lost is not called failed: the terminal says the outcome is
// unknown, refreshes at once and says what status the order shows now.
TEST_F(CurEntrustPageTest, ACancelWithoutAUsableAnswerIsToldAsUnknown)
{
    const struct
    {
        const char* name;
        FaultMode fault;
        const char* reason;
        const char* told; ///< what today's orders show afterwards
    } cases[] = {
        {"closed without a reply", FaultMode::CloseAtOnce, "服务器没有应答就关闭了连接",
         " 的状态是 待报：尚未撤单。"},
        {"stalled past the bound", FaultMode::NeverAnswer, "等待服务器应答超时",
         " 的状态是 待报：尚未撤单。"},
        {"served, payload unreadable", FaultMode::MalformedBuff, "服务器的应答内容无法读取",
         " 的状态是 已撤：撤单已经生效。"},
    };
    const TestSupport::ScopedTransportTimeouts shortWait(
        {std::chrono::milliseconds(2000), std::chrono::milliseconds(300)});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(StartSession());
        ASSERT_GE(g_TradeData.m_curEntrusts.size(), 2u);
        const std::string entrustNo = g_TradeData.m_curEntrusts[1].entrust_no;
        ASSERT_EQ(g_TradeData.m_curEntrusts[1].entrust_status, "1");
        FaultOptions fault;
        fault.mode = c.fault;
        fault.funId = kFunCanEntrust;
        m_server->SetFault(fault);

        ClickRow(*m_list, 1);
        ClickCancel();

        std::vector<int32_t> expected = {kFunCanEntrust};
        const std::vector<int32_t> positions = PositionQueries();
        expected.insert(expected.end(), positions.begin(), positions.end());
        expected.push_back(kFunQryEntrust);
        expected.push_back(RequestTrace::kBox);
        EXPECT_EQ(m_trace.Sequence(), expected) << "positions and today's orders at once";
        ASSERT_EQ(m_boxes.Requests().size(), 1u);
        EXPECT_EQ(m_boxes.Requests()[0].text,
                  QStringLiteral("撤单结果未知：撤单已经发出，但没有收到服务器可用的答复（") +
                      QString::fromUtf8(c.reason) +
                      QStringLiteral("）。撤单可能已经成功。\n当日委托中委托号 ") +
                      Shown(entrustNo) + QString::fromUtf8(c.told));
    }
}

} // namespace
