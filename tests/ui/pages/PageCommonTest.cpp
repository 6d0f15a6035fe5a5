// What the three pages share: the resize arithmetic, Enter and Escape that change nothing
// (the page never closes), 上一页 and 下一页 without action, and 刷 新.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "PageTestSupport.h"
#include "net/FunctionNumbers.h"
#include "trade/TradeData.h"
#include "trade/WindowMessages.h"
#include "ui/pages/ConfirmDlg.h"
#include "ui/pages/CurEntrustDlg.h"
#include "ui/pages/EntrustDlg.h"
#include "ui/pages/HisEntrustDlg.h"
#include "ui/skin/SkinEngine.h"
#include "ui/skin/SkinList.h"

using namespace PageTest;

namespace
{
/// A title label's horizontal span, right edge exclusive.
struct TitleSpan
{
    const char* title;
    int left;
    int right;
};

/// The title label above the list with that caption.
QLabel* TitleLabel(QWidget& page, const char* title)
{
    for (QLabel* const label : page.findChildren<QLabel*>()) {
        if (label->property(kSkinNameProperty).toString() == QStringLiteral("title_static") &&
            label->text() == QString::fromUtf8(title))
            return label;
    }
    ADD_FAILURE() << "no title label " << title;
    return nullptr;
}

class PageCommonTest : public PageFixture
{
protected:
    QWidget* Page(int index) const
    {
        QWidget* const pages[] = {m_entrustPage, m_curEntrustPage, m_hisEntrustPage};
        return pages[index];
    }

    /// Everything a key or a dead button could change: the form and confirmation texts,
    /// the rows and their selection, and which windows are shown.
    QStringList State(QWidget& page) const
    {
        QStringList state;
        for (const QLineEdit* const edit : page.findChildren<QLineEdit*>())
            state << edit->objectName() + QLatin1Char('=') + edit->text();
        for (const QComboBox* const combo : page.findChildren<QComboBox*>())
            state << combo->objectName() + QLatin1Char('=') + combo->currentText();
        for (const CSkinListCtrl* const list : page.findChildren<CSkinListCtrl*>()) {
            for (int row = 0; row < list->GetItemCount(); ++row)
                state << RowTexts(*list, row).join(QLatin1Char('|')) +
                             (list->IsRowSelected(row) ? QStringLiteral(" selected") : QString());
        }
        for (const CConfirmDlg* const confirm : page.findChildren<CConfirmDlg*>())
            state << QStringLiteral("confirmation shown=%1").arg(confirm->isVisible());
        state << QStringLiteral("page shown=%1").arg(page.isVisible());
        state << QStringLiteral("host shown=%1").arg(m_host->isVisible());
        return state;
    }

    void LoadLists()
    {
        qry_opt_code_result option;
        option.sopt_code = "1000012";
        option.apply_price = "12.50";
        g_TradeData.m_optCodes = {option};
        for (int i = 0; i < 3; ++i) {
            qry_pos_code_result position;
            position.stock_account = "A123456789";
            position.sopt_code = "1000012";
            position.enable_amount = std::to_string(1000 * (i + 1));
            g_TradeData.m_positions.push_back(position);

            qry_entrust_result order;
            order.entrust_no = std::to_string(300001 + i);
            order.entrust_time = "93015";
            order.entrust_status = "2";
            g_TradeData.m_curEntrusts.push_back(order);

            qry_his_entrust_result past;
            past.init_date = "20240105";
            past.entrust_no = std::to_string(200001 + i);
            g_TradeData.m_hisEntrusts.push_back(past);
        }
        m_entrustPage->FillPositionList();
        m_curEntrustPage->FillEntrustList();
        m_hisEntrustPage->FillHisEntrustList();
    }
};

TEST_F(PageCommonTest, ResizeLaysOutListColumnsTitlesAndButtons)
{
    const struct
    {
        const char* name;
        int page;
        QSize size;
        const char* list;
        QRect listRect;
        std::vector<int> columnWidths;
        std::vector<TitleSpan> titles; ///< all at y 15, 20 high
        std::vector<std::pair<const char*, QPoint>> buttons;
    } cases[] = {
        {"exercise entry, 901 wide",
         0,
         {901, 600},
         "positionList",
         QRect(220, 43, 680, 502),
         {136, 136, 136, 136, 136},
         {{"股东帐号", 266, 392},
          {"权证代码", 402, 538},
          {"权证名称", 538, 674},
          {"行权价格", 674, 810},
          {"可用数量", 810, 946}},
         {{"refreshPositionButton", {225, 560}},
          {"previousPageButton", {460, 560}},
          {"nextPageButton", {570, 560}}}},
        {"today's orders, 900 wide",
         1,
         {900, 600},
         "entrustList",
         QRect(1, 43, 898, 502),
         {50, 84, 84, 84, 84, 84, 84, 84, 84, 84, 84},
         {{"委托时间", 75, 159},
          {"委托号", 159, 243},
          {"股东帐号", 243, 327},
          {"委托属性", 327, 411},
          {"权证代码", 411, 495},
          {"权证名称", 495, 579},
          {"委托价格", 579, 663},
          {"委托数", 663, 747},
          {"委托状态", 747, 831},
          {"成交数", 831, 915}},
         {{"cancelEntrustButton", {5, 560}},
          {"refreshEntrustButton", {85, 560}},
          {"previousPageButton", {370, 560}},
          {"nextPageButton", {490, 560}}}},
        {"order history, 900 wide",
         2,
         {900, 600},
         "hisEntrustList",
         QRect(1, 43, 898, 502),
         {89, 89, 89, 89, 89, 89, 89, 89, 89, 89},
         {{"委托日期", 51, 110},
          {"委托时间", 110, 199},
          {"委托号", 199, 288},
          {"股东帐号", 288, 377},
          {"权证代码", 377, 466},
          {"权证名称", 466, 555},
          {"委托价格", 555, 644},
          {"委托数", 644, 733},
          {"委托状态", 733, 822},
          {"成交数", 822, 911}},
         {{"previousPageButton", {370, 560}}, {"nextPageButton", {490, 560}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget& page = *Page(c.page);
        ShowPage(&page);
        page.resize(c.size);

        CSkinListCtrl* const list = Child<CSkinListCtrl>(page, c.list);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->geometry(), c.listRect);
        ASSERT_EQ(list->GetColumnCount(), static_cast<int>(c.columnWidths.size()));
        for (int column = 0; column < list->GetColumnCount(); ++column)
            EXPECT_EQ(list->columnWidth(column), c.columnWidths[static_cast<std::size_t>(column)])
                << "column " << column;
        for (const TitleSpan& title : c.titles) {
            const QLabel* const label = TitleLabel(page, title.title);
            ASSERT_NE(label, nullptr);
            EXPECT_EQ(label->geometry(), QRect(title.left, 15, title.right - title.left, 20))
                << title.title;
        }
        for (const auto& [name, place] : c.buttons) {
            const QPushButton* const button = Child<QPushButton>(page, name);
            ASSERT_NE(button, nullptr);
            EXPECT_EQ(button->pos(), place) << name;
        }
    }
}

// Enter and Escape reach the page from its list, its boxes or the page itself and change
// nothing; neither closes the page or the window behind it (which Escape would close).
// On the exercise page Enter is 委托行权 and is shown with it. 上一页 and 下一页 do nothing.
TEST_F(PageCommonTest, EnterEscapeAndThePageButtonsChangeNothing)
{
    LoadLists();
    const struct
    {
        const char* name;
        int page;
        const char* list;
        bool withEnter;
    } cases[] = {
        {"exercise entry", 0, "positionList", false},
        {"today's orders", 1, "entrustList", true},
        {"order history", 2, "hisEntrustList", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget& page = *Page(c.page);
        ShowPage(&page);
        CSkinListCtrl* const list = Child<CSkinListCtrl>(page, c.list);
        ASSERT_NE(list, nullptr);
        ClickRow(*list, 1);
        std::vector<QWidget*> targets = {list, &page};
        if (QLineEdit* const quantity =
                page.findChild<QLineEdit*>(QStringLiteral("quantityEdit"))) {
            QTest::keyClicks(quantity, "100");
            targets.push_back(quantity);
        }
        const QStringList before = State(page);
        m_boxes.Clear();
        std::vector<std::pair<Qt::Key, Qt::KeyboardModifiers>> keys = {
            {Qt::Key_Escape, Qt::NoModifier}};
        if (c.withEnter) {
            keys.push_back({Qt::Key_Return, Qt::NoModifier});
            keys.push_back({Qt::Key_Enter, Qt::KeypadModifier});
        }
        for (QWidget* const target : targets) {
            for (const auto& [key, modifiers] : keys) {
                SCOPED_TRACE(target->objectName().toStdString() + " key " + std::to_string(key));
                target->setFocus();
                QTest::keyClick(target, key, modifiers);
                EXPECT_EQ(State(page), before);
            }
        }
        for (const char* const button : {"previousPageButton", "nextPageButton"}) {
            SCOPED_TRACE(button);
            QPushButton* const pushButton = Child<QPushButton>(page, button);
            ASSERT_NE(pushButton, nullptr);
            EXPECT_TRUE(pushButton->isVisible());
            QTest::mouseClick(pushButton, Qt::LeftButton);
            EXPECT_EQ(State(page), before);
        }
        EXPECT_TRUE(m_boxes.Texts().empty());
    }
}

TEST_F(PageCommonTest, RefreshRunsTheQueryAndTheListFollowsItsReadyMessage)
{
    ASSERT_NO_FATAL_FAILURE(StartSession());
    const struct
    {
        const char* name;
        int page;
        const char* button;
        const char* list;
        std::vector<int32_t> requests;
        int message;
        std::size_t rows;
    } cases[] = {
        {"exercise entry", 0, "refreshPositionButton", "positionList", PositionQueries(),
         WM_POSITION_READY, g_TradeData.m_positions.size()},
        {"today's orders",
         1,
         "refreshEntrustButton",
         "entrustList",
         {kFunQryEntrust},
         WM_CURENTRUST_READY,
         g_TradeData.m_curEntrusts.size()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget& page = *Page(c.page);
        ShowPage(&page);
        CSkinListCtrl* const list = Child<CSkinListCtrl>(page, c.list);
        ASSERT_NE(list, nullptr);
        ASSERT_GT(c.rows, 0u);
        // Empty the list first, so that the refill shows.
        list->DeleteAllItems();
        m_trace.Clear();
        m_host->ClearMessages();

        QTest::mouseClick(Child<QPushButton>(page, c.button), Qt::LeftButton);
        EXPECT_EQ(m_trace.Sequence(), c.requests);
        EXPECT_EQ(list->GetItemCount(), 0) << "not before the ready message";
        m_host->Deliver();
        EXPECT_EQ(m_host->Messages(), std::vector<int>{c.message});
        EXPECT_EQ(list->GetItemCount(), static_cast<int>(c.rows));
    }
    EXPECT_TRUE(m_boxes.Texts().empty());
}

} // namespace
