// The exercise page and its confirmation on the real widgets: the position list, the
// click that fills the form, the three checks of 委托行权, and the order that 确认 sends
// to the demo server.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
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
#include "ui/pages/ConfirmDlg.h"
#include "ui/pages/CurEntrustDlg.h"
#include "ui/pages/EntrustDlg.h"
#include "ui/skin/SkinList.h"

using namespace PageTest;

namespace
{
const QString kSuccessPrefix = QStringLiteral("委托成功，委托号是：");
const QString kFailurePrefix = QStringLiteral("委托失败,错误原因:");

qry_opt_code_result OptionRecord(const char* code, const char* name, const char* sourceCode,
                                 const char* stockName, const char* applyPrice)
{
    qry_opt_code_result record;
    record.sopt_code = code;
    record.sopt_name = ToGbk(QString::fromUtf8(name));
    record.source_code = sourceCode;
    record.stock_name = ToGbk(QString::fromUtf8(stockName));
    record.apply_price = applyPrice;
    return record;
}

qry_pos_code_result PositionRecord(const char* account, const char* code, const char* name,
                                   const char* available)
{
    qry_pos_code_result record;
    record.stock_account = account;
    record.sopt_code = code;
    record.sopt_name = ToGbk(QString::fromUtf8(name));
    record.enable_amount = available;
    return record;
}

class EntrustPageTest : public PageFixture
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(PageFixture::SetUp());
        ShowPage(m_entrustPage);
        QWidget& page = *m_entrustPage;
        m_account = Child<QComboBox>(page, "accountComboBox");
        m_code = Child<QLineEdit>(page, "codeEdit");
        m_price = Child<QLineEdit>(page, "priceEdit");
        m_quantity = Child<QLineEdit>(page, "quantityEdit");
        m_entrust = Child<QPushButton>(page, "entrustButton");
        m_list = Child<CSkinListCtrl>(page, "positionList");
        m_confirm = Child<CConfirmDlg>(page, "confirmDialog");
        ASSERT_TRUE(m_account && m_code && m_price && m_quantity && m_entrust && m_list &&
                    m_confirm);
        const char* const names[CConfirmDlg::kFieldCount] = {
            "confirmAccountEdit", "confirmCodeEdit",       "confirmPriceEdit",
            "confirmNameEdit",    "confirmSourceCodeEdit", "confirmStockNameEdit",
            "confirmQuantityEdit"};
        for (int i = 0; i < CConfirmDlg::kFieldCount; ++i) {
            m_confirmEdits[i] = Child<QLineEdit>(*m_confirm, names[i]);
            ASSERT_NE(m_confirmEdits[i], nullptr);
        }
        m_confirmButton = Child<QPushButton>(*m_confirm, "confirmButton");
        m_cancelButton = Child<QPushButton>(*m_confirm, "cancelConfirmButton");
        ASSERT_TRUE(m_confirmButton && m_cancelButton);
        ASSERT_FALSE(m_confirm->isVisible()) << "created hidden";
    }

    /// Three positions in an order of their own, and option codes in another order.
    void LoadThreePositions()
    {
        g_TradeData.m_optCodes = {
            OptionRecord("037021", "恒远医药期权1", "002456", "恒远医药", "8.36"),
            OptionRecord("1000013", "华信科技期权2", "600123", "华信科技", "15.80"),
            OptionRecord("1000012", "华信科技期权1", "600123", "华信科技", "12.50"),
        };
        g_TradeData.m_positions = {
            PositionRecord("A123456789", "1000012", "华信科技期权1", "20000"),
            PositionRecord("0123456789", "037021", "恒远医药期权1", "6800"),
            PositionRecord("A123456789", "1000013", "华信科技期权2", "9500"),
        };
        m_entrustPage->FillPositionList();
    }

    /// Account, code, price and quantity as the form shows them.
    QStringList FormTexts() const
    {
        return {m_account->currentText(), m_code->text(), m_price->text(), m_quantity->text()};
    }
    QStringList ConfirmTexts() const
    {
        QStringList texts;
        for (const QLineEdit* const edit : m_confirmEdits)
            texts.push_back(edit->text());
        return texts;
    }
    /// What the confirmation shows for an order of a demo book option.
    QStringList ConfirmTextsFor(const std::string& account, const std::string& code,
                                const QString& quantity) const
    {
        const BookOption* const option = BookOptionOf(code);
        EXPECT_NE(option, nullptr) << code;
        if (!option)
            return {};
        return {Shown(account),
                Shown(code),
                Shown(option->applyPrice),
                Shown(option->soptName),
                Shown(option->sourceCode),
                Shown(option->stockName),
                quantity};
    }
    const BookOption* BookOptionOf(const std::string& code) const
    {
        for (const BookOption& option : m_book.options) {
            if (option.soptCode == code)
                return &option;
        }
        return nullptr;
    }
    /// The row of the position of that account and code in the trading context, or -1.
    static int PositionRow(const std::string& account, const std::string& code)
    {
        for (std::size_t i = 0; i < g_TradeData.m_positions.size(); ++i) {
            const qry_pos_code_result& position = g_TradeData.m_positions[i];
            if (position.stock_account == account && position.sopt_code == code)
                return static_cast<int>(i);
        }
        return -1;
    }

    bool FocusIsIn(const QWidget* widget) const
    {
        const QWidget* const focus = m_host->focusWidget();
        return focus && (focus == widget || widget->isAncestorOf(focus));
    }
    QString FocusName() const
    {
        const QWidget* const focus = m_host->focusWidget();
        return focus ? focus->objectName() : QStringLiteral("(none)");
    }
    void ClickEntrust() { QTest::mouseClick(m_entrust, Qt::LeftButton); }
    void SetQuantity(const QString& text)
    {
        m_quantity->clear();
        TypeText(m_quantity, text);
    }
    /// Clicks the position row, types the quantity and presses 委托行权.
    void PrepareOrder(int row, const QString& quantity)
    {
        ClickRow(*m_list, row);
        SetQuantity(quantity);
        ClickEntrust();
    }

    QComboBox* m_account = nullptr;
    QLineEdit* m_code = nullptr;
    QLineEdit* m_price = nullptr;
    QLineEdit* m_quantity = nullptr;
    QPushButton* m_entrust = nullptr;
    CSkinListCtrl* m_list = nullptr;
    CConfirmDlg* m_confirm = nullptr;
    QLineEdit* m_confirmEdits[CConfirmDlg::kFieldCount] = {};
    QPushButton* m_confirmButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
};

TEST_F(EntrustPageTest, PositionsShowInOrderAndAClickOnTheSecondFillsTheForm)
{
    LoadThreePositions();
    const QStringList rows[] = {
        {"A123456789", "1000012", "华信科技期权1", "12.50", "20000"},
        {"0123456789", "037021", "恒远医药期权1", "8.36", "6800"},
        {"A123456789", "1000013", "华信科技期权2", "15.80", "9500"},
    };
    ASSERT_EQ(m_list->GetItemCount(), 3);
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE("row " + std::to_string(row));
        EXPECT_EQ(RowTexts(*m_list, row), rows[row]);
        EXPECT_EQ(m_list->rowHeight(row), 40);
        for (int column = 0; column < CEntrustDlg::kColumnCount; ++column) {
            EXPECT_EQ(m_list->Model().ItemStyle(row, column),
                      QStringLiteral("column%1").arg(column));
            EXPECT_EQ(m_list->Model().DrawStyle(row, column), QStringLiteral("textdefault"));
        }
    }

    TypeText(m_quantity, QStringLiteral("300"));
    ClickBelowRows(*m_list);
    EXPECT_EQ(FormTexts(), QStringList({"", "", "", "300"})) << "a click outside the rows";

    ClickRow(*m_list, 1);
    const QStringList second = {"0123456789", "037021", "8.36", "300"};
    EXPECT_EQ(FormTexts(), second) << "the quantity keeps what it holds";
    EXPECT_TRUE(FocusIsIn(m_quantity)) << FocusName().toStdString();

    ClickBelowRows(*m_list);
    EXPECT_EQ(FormTexts(), second) << "a click outside the rows";
    EXPECT_TRUE(m_boxes.Texts().empty());
    EXPECT_FALSE(m_confirm->isVisible());
}

// The checks run in order and stop at the first empty field; the confirmation stays shut.
TEST_F(EntrustPageTest, EntrustChecksAccountThenCodeThenQuantity)
{
    const struct
    {
        const char* typeInto; ///< the field filled in before this press, or none
        const char* text;
        const char* message;
        const char* focus;
    } steps[] = {
        {nullptr, "", "股东帐号不能为空！", "accountComboBox"},
        {"accountComboBox", "A123456789", "权证代码不能为空！", "codeEdit"},
        {"codeEdit", "1000012", "行权数量不能为空！", "quantityEdit"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.message);
        if (step.typeInto) {
            QWidget* const field = Child<QWidget>(*m_entrustPage, step.typeInto);
            ASSERT_NE(field, nullptr);
            QComboBox* const combo = qobject_cast<QComboBox*>(field);
            TypeText(combo ? combo->lineEdit() : field, QString::fromUtf8(step.text));
        }
        m_boxes.Clear();
        ClickEntrust();

        ASSERT_EQ(m_boxes.Requests().size(), 1u);
        EXPECT_EQ(m_boxes.Requests()[0].kind, MessageBoxes::Kind::Application);
        EXPECT_EQ(m_boxes.Requests()[0].text, QString::fromUtf8(step.message));
        EXPECT_TRUE(FocusIsIn(Child<QWidget>(*m_entrustPage, step.focus)))
            << FocusName().toStdString();
        EXPECT_FALSE(m_confirm->isVisible());
    }
}

// Enter in the quantity box presses 委托行权. The confirmation looks the code up in the
// option codes (not in the form's price box); a code without a record gives empty texts.
TEST_F(EntrustPageTest, EnterInQuantityOpensTheConfirmationWithTheLookedUpValues)
{
    LoadThreePositions();
    const struct
    {
        const char* name;
        const char* typedCode; ///< replaces the clicked position's code, when given
        const char* quantity;
        QStringList confirmation;
    } cases[] = {
        {"a position's code",
         nullptr,
         " 500",
         {"A123456789", "1000012", "12.50", "华信科技期权1", "600123", "华信科技", " 500"}},
        {"a typed code without option-code record",
         "7777777",
         "100",
         {"A123456789", "7777777", "", "", "", "", "100"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ClickRow(*m_list, 0);
        if (c.typedCode) {
            m_code->clear();
            TypeText(m_code, QString::fromLatin1(c.typedCode));
        }
        SetQuantity(QString::fromLatin1(c.quantity));
        QTest::keyClick(m_quantity, Qt::Key_Return);

        EXPECT_TRUE(m_confirm->isVisible());
        EXPECT_EQ(ConfirmTexts(), c.confirmation);
        EXPECT_EQ(m_price->text(), QStringLiteral("12.50")) << "the form's price stays";
        EXPECT_TRUE(m_boxes.Texts().empty());
        m_confirm->hide();
    }
}

TEST_F(EntrustPageTest, ConfirmSendsTheEightFieldsAndTheListsShowTheNewOrder)
{
    ASSERT_NO_FATAL_FAILURE(StartSession());
    const BookCustomer& customer = MainCustomer();
    std::string mainExchange;
    for (const BookShareholderAccount& account : customer.shareholderAccounts) {
        if (account.mainFlag == "0")
            mainExchange = account.exchangeType;
    }
    m_entrustPage->FillAccountCombo();
    ASSERT_EQ(m_account->count(), 2);
    EXPECT_EQ(m_account->itemText(0), QStringLiteral("0123456789")) << "sorted";
    EXPECT_EQ(m_account->itemText(1), QStringLiteral("A123456789"));
    EXPECT_EQ(m_account->currentText(), QStringLiteral("A123456789")) << "the main account";

    const int row = PositionRow("A123456789", "1000012");
    ASSERT_GE(row, 0);
    const std::string available =
        g_TradeData.m_positions[static_cast<std::size_t>(row)].enable_amount;
    ASSERT_EQ(RowTexts(*m_list, row).value(4), Shown(available));
    const QStringList shownBefore = RowTexts(*m_list, row);

    PrepareOrder(row, QStringLiteral(" 1000"));
    ASSERT_TRUE(m_confirm->isVisible());
    EXPECT_EQ(ConfirmTexts(), ConfirmTextsFor("A123456789", "1000012", QStringLiteral(" 1000")));
    QTest::mouseClick(m_confirmButton, Qt::LeftButton);
    EXPECT_FALSE(m_confirm->isVisible());

    // The order, its box, then the positions before today's orders.
    std::vector<int32_t> expected = {kFunEntrust, RequestTrace::kBox};
    const std::vector<int32_t> positions = PositionQueries();
    expected.insert(expected.end(), positions.begin(), positions.end());
    expected.push_back(kFunQryEntrust);
    EXPECT_EQ(m_trace.Sequence(), expected);

    const quorvanta::MsgEntrust_req sent = SentOnce<quorvanta::MsgEntrust_req>(kFunEntrust);
    TradeTest::ExpectRequestFields(sent, {{"fund_account", customer.fundAccount},
                                          {"exchange_type", mainExchange},
                                          {"stock_account", "A123456789"},
                                          {"sopt_code", "1000012"},
                                          {"Amount", BookOptionOf("1000012")->applyPrice},
                                          {"entrust_amount", " 1000"},
                                          {"password", customer.password},
                                          {"branch_no", customer.branchNo}});
    EXPECT_TRUE(sent.GetReflection()->GetUnknownFields(sent).empty());

    const QString entrustNo = QString::number(m_book.nextEntrustNo);
    ASSERT_EQ(m_boxes.Requests().size(), 1u);
    EXPECT_EQ(m_boxes.Requests()[0].kind, MessageBoxes::Kind::Application);
    EXPECT_EQ(m_boxes.Requests()[0].text, kSuccessPrefix + entrustNo);

    EXPECT_EQ(RowTexts(*m_list, row), shownBefore) << "the list follows the ready message";
    m_host->Deliver();
    EXPECT_EQ(m_host->Messages(), (std::vector<int>{WM_POSITION_READY, WM_CURENTRUST_READY}));
    EXPECT_EQ(RowTexts(*m_list, row).value(4), QString::number(std::stoll(available) - 1000));

    const CSkinListCtrl* const orders = Child<CSkinListCtrl>(*m_curEntrustPage, "entrustList");
    ASSERT_NE(orders, nullptr);
    ASSERT_EQ(orders->GetItemCount(), static_cast<int>(g_TradeData.m_curEntrusts.size()));
    const QStringList newOrder = RowTexts(*orders, orders->GetItemCount() - 1);
    ASSERT_EQ(newOrder.size(), CCurEntrustDlg::kColumnCount);
    EXPECT_EQ(newOrder[2], entrustNo);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{1,2}:\\d\\d:\\d\\d$"))
                    .match(newOrder[1])
                    .hasMatch())
        << newOrder[1].toStdString();
    EXPECT_EQ(newOrder.mid(3), QStringList({"A123456789", "权证行权", "1000012", "华信科技期权1",
                                            "12.50", "1000", "已报", "0"}));
    EXPECT_EQ(m_boxes.Requests().size(), 1u) << "the queries succeed quietly";
}

TEST_F(EntrustPageTest, RefusedOrderShowsTheServerReasonAndQueriesNothing)
{
    const struct
    {
        const char* name;
        const char* typedCode; ///< replaces the clicked position's code, when given
        const char* quantity;
        const char* reason; ///< followed by the available quantity when `withAvailable`
        bool withAvailable;
    } cases[] = {
        {"more than available", nullptr, "30000", "行权数量超过可用数量，可用数量为", true},
        {"an option code the server does not know", "7777777", "100", "权证代码不存在", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(StartSession());
        const int row = PositionRow("A123456789", "1000012");
        ASSERT_GE(row, 0);
        const std::string available =
            g_TradeData.m_positions[static_cast<std::size_t>(row)].enable_amount;
        const QStringList shownBefore = RowTexts(*m_list, row);

        ClickRow(*m_list, row);
        if (c.typedCode) {
            m_code->clear();
            TypeText(m_code, QString::fromLatin1(c.typedCode));
        }
        SetQuantity(QString::fromLatin1(c.quantity));
        ClickEntrust();
        ASSERT_TRUE(m_confirm->isVisible());
        QTest::mouseClick(m_confirmButton, Qt::LeftButton);

        EXPECT_FALSE(m_confirm->isVisible());
        EXPECT_EQ(m_trace.Sequence(), (std::vector<int32_t>{kFunEntrust, RequestTrace::kBox}))
            << "no query after a refusal";
        ASSERT_EQ(m_boxes.Requests().size(), 1u);
        EXPECT_EQ(m_boxes.Requests()[0].kind, MessageBoxes::Kind::Owned);
        EXPECT_EQ(m_boxes.Requests()[0].owner, m_confirm);
        EXPECT_TRUE(m_boxes.Requests()[0].caption.isEmpty());
        const QString reason =
            QString::fromUtf8(c.reason) + (c.withAvailable ? Shown(available) : QString());
        EXPECT_EQ(m_boxes.Requests()[0].text, kFailurePrefix + reason);
        m_host->Deliver();
        EXPECT_TRUE(m_host->Messages().empty());
        EXPECT_EQ(RowTexts(*m_list, row), shownBefore);
    }
}

// While the confirmation is open the page stays usable; 委托行权 again replaces the texts,
// 取消 hides it and keeps them, and opening it again replaces them once more.
TEST_F(EntrustPageTest, EntrustAgainReplacesTheTextsAndCancelSendsNothing)
{
    ASSERT_NO_FATAL_FAILURE(StartSession());
    ASSERT_GE(g_TradeData.m_positions.size(), 2u);
    const qry_pos_code_result first = g_TradeData.m_positions[0];
    const qry_pos_code_result second = g_TradeData.m_positions[1];
    ASSERT_NE(first.sopt_code, second.sopt_code);

    PrepareOrder(0, QStringLiteral("100"));
    ASSERT_TRUE(m_confirm->isVisible());
    const QStringList firstTexts =
        ConfirmTextsFor(first.stock_account, first.sopt_code, QStringLiteral("100"));
    EXPECT_EQ(ConfirmTexts(), firstTexts);

    PrepareOrder(1, QStringLiteral("200"));
    EXPECT_TRUE(m_confirm->isVisible());
    const QStringList secondTexts =
        ConfirmTextsFor(second.stock_account, second.sopt_code, QStringLiteral("200"));
    EXPECT_EQ(ConfirmTexts(), secondTexts);

    QTest::mouseClick(m_cancelButton, Qt::LeftButton);
    EXPECT_FALSE(m_confirm->isVisible());
    EXPECT_EQ(ConfirmTexts(), secondTexts) << "取消 keeps the texts";

    PrepareOrder(0, QStringLiteral("100"));
    EXPECT_TRUE(m_confirm->isVisible());
    EXPECT_EQ(ConfirmTexts(), firstTexts);

    EXPECT_TRUE(m_trace.Sequence().empty()) << "nothing sent";
    EXPECT_TRUE(m_boxes.Texts().empty());
    EXPECT_EQ(m_confirm->EntrustRequest().ByteSizeLong(), 0u);
}

TEST_F(EntrustPageTest, EnterEscapeAndTheCloseBoxHideTheConfirmationAndSendNothing)
{
    ASSERT_NO_FATAL_FAILURE(StartSession());
    const struct
    {
        const char* name;
        std::function<void()> act;
    } cases[] = {
        {"Enter in a box",
         [this] {
             m_confirmEdits[0]->setFocus();
             QTest::keyClick(m_confirmEdits[0], Qt::Key_Return);
         }},
        {"Enter on the keypad",
         [this] { QTest::keyClick(m_confirmEdits[6], Qt::Key_Enter, Qt::KeypadModifier); }},
        {"Enter with 确认 focused",
         [this] {
             m_confirmButton->setFocus();
             QTest::keyClick(m_confirmButton, Qt::Key_Return);
         }},
        {"Escape", [this] { QTest::keyClick(m_confirmEdits[0], Qt::Key_Escape); }},
        {"the close box", [this] { m_confirm->close(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PrepareOrder(0, QStringLiteral("100"));
        ASSERT_TRUE(m_confirm->isVisible());
        const QStringList texts = ConfirmTexts();
        c.act();
        EXPECT_FALSE(m_confirm->isVisible());
        EXPECT_EQ(ConfirmTexts(), texts);
        EXPECT_TRUE(m_trace.Sequence().empty()) << "nothing sent";
        EXPECT_TRUE(m_boxes.Texts().empty());
    }
    EXPECT_EQ(m_confirm->EntrustRequest().ByteSizeLong(), 0u);
}

} // namespace

namespace
{
/// How an order or a cancel whose answer was lost begins, with the reason in plain words.
QString UnknownHead(const char* what, const char* reason)
{
    return QString::fromUtf8(what) + QStringLiteral("结果未知：") + QString::fromUtf8(what) +
           QStringLiteral("已经发出，但没有收到服务器可用的答复（") + QString::fromUtf8(reason) +
           QStringLiteral("）。");
}

/// The one order of today that is not among `before`, or null.
const qry_entrust_result* NewOrder(const std::vector<std::string>& before)
{
    const qry_entrust_result* found = nullptr;
    for (const qry_entrust_result& entrust : g_TradeData.m_curEntrusts) {
        if (std::find(before.begin(), before.end(), entrust.entrust_no) == before.end()) {
            EXPECT_EQ(found, nullptr) << "more than one new order";
            found = &entrust;
        }
    }
    return found;
}
} // namespace

// The three endings of an order: refused (the server's reason), not sent (the described
// text alone), and sent without a usable answer: then the terminal says the outcome is
// unknown, refreshes at once and says whether the order is now among today's orders.
// Afterwards, the same order again is flagged as a possible second order.
TEST_F(EntrustPageTest, EveryEndingOfAnOrderIsToldAsItIs)
{
    enum class Told
    {
        Refused,
        NotSent,
        Present,
        Absent,
    };
    const struct
    {
        const char* name;
        FaultMode fault;
        bool noServer;
        const char* reason; ///< the server's reason, or the lost answer's in plain words
        Told told;
    } cases[] = {
        {"refused", FaultMode::Refuse, false, "额度不足", Told::Refused},
        {"connection refused", FaultMode::None, true, "", Told::NotSent},
        {"closed without a reply", FaultMode::CloseAtOnce, false, "服务器没有应答就关闭了连接",
         Told::Absent},
        {"stalled past the bound", FaultMode::NeverAnswer, false, "等待服务器应答超时",
         Told::Absent},
        {"unreadable reply", FaultMode::Garbage, false, "服务器的应答无法读取", Told::Absent},
        {"served, reply without a token", FaultMode::NoToken, false, "服务器的应答缺少会话令牌",
         Told::Present},
        {"served, payload unreadable", FaultMode::MalformedBuff, false, "服务器的应答内容无法读取",
         Told::Present},
    };
    const TestSupport::ScopedTransportTimeouts shortWait(
        {std::chrono::milliseconds(2000), std::chrono::milliseconds(300)});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(StartSession());
        const int row = PositionRow("A123456789", "1000012");
        ASSERT_GE(row, 0);
        if (c.noServer) {
            PointAtNothing();
        } else {
            FaultOptions fault;
            fault.mode = c.fault;
            fault.funId = kFunEntrust;
            fault.refuseText = c.reason;
            m_server->SetFault(fault);
        }
        std::vector<std::string> before;
        for (const qry_entrust_result& entrust : g_TradeData.m_curEntrusts)
            before.push_back(entrust.entrust_no);

        PrepareOrder(row, QStringLiteral("1100"));
        ASSERT_TRUE(m_confirm->isVisible());
        QTest::mouseClick(m_confirmButton, Qt::LeftButton);

        ASSERT_EQ(m_boxes.Requests().size(), 1u);
        const MessageBoxes::Request& box = m_boxes.Requests()[0];
        std::vector<int32_t> expected;
        if (!c.noServer)
            expected.push_back(kFunEntrust);
        if (c.told == Told::Refused || c.told == Told::NotSent) {
            EXPECT_EQ(box.text, kFailurePrefix + QString::fromUtf8(c.reason));
            EXPECT_EQ(box.kind, MessageBoxes::Kind::Owned);
            expected.push_back(RequestTrace::kBox);
            EXPECT_EQ(m_trace.Sequence(), expected) << "nothing refreshed";
            continue;
        }
        const std::vector<int32_t> positions = PositionQueries();
        expected.insert(expected.end(), positions.begin(), positions.end());
        expected.push_back(kFunQryEntrust);
        expected.push_back(RequestTrace::kBox);
        EXPECT_EQ(m_trace.Sequence(), expected) << "positions and today's orders at once";
        const QString head = UnknownHead("委托", c.reason) +
                             QStringLiteral("这笔委托可能已经成功，请先核对当日委托，不要急于"
                                            "重新委托。\n");
        const qry_entrust_result* const placed = NewOrder(before);
        if (c.told == Told::Present) {
            ASSERT_NE(placed, nullptr);
            EXPECT_EQ(box.text, head + QStringLiteral("当日委托中已有这笔委托：委托号 ") +
                                    Shown(placed->entrust_no) + QStringLiteral("，状态 已报。"));
            // The same order again: the confirmation warns of a second order.
            m_boxes.Clear();
            m_server->SetFault({});
            PrepareOrder(row, QStringLiteral("1100"));
            EXPECT_TRUE(Child<QLabel>(*m_confirm, "warningLabel")
                            ->text()
                            .contains(QStringLiteral("今日已有相同的委托（委托号 ") +
                                      Shown(placed->entrust_no)));
            m_confirm->OnCancelConfirm();
        } else {
            EXPECT_EQ(placed, nullptr);
            EXPECT_EQ(box.text, head + QStringLiteral("当日委托中暂时没有这笔委托（股东帐号 "
                                                      "A123456789，权证代码 1000012，数量 "
                                                      "1100）。请稍后再按 刷 新 核对，确认没有"
                                                      "后再重新委托。"));
        }
    }
}
