// What the exercise page and its confirmation tell before an order goes: the terms panel
// of the position in the form, the mark on positions whose window ends within a week, and
// the estimate, funds and warnings of the confirmation, which never change the request.

#include <QApplication>
#include <QColor>
#include <QComboBox>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTest>

#include <gtest/gtest.h>

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "PageTestSupport.h"
#include "net/FunctionNumbers.h"
#include "trade/TradeData.h"
#include "ui/GbkText.h"
#include "ui/pages/ConfirmDlg.h"
#include "ui/pages/EntrustDlg.h"
#include "ui/skin/SkinEngine.h"
#include "ui/skin/SkinList.h"
#include "util/Clock.h"

using namespace PageTest;

namespace
{
/// Midday of a local calendar day.
std::time_t LocalMidday(int year, int month, int day)
{
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = 12;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

/// The terminal's skin for the test's scope; the look before it comes back afterwards.
class ScopedSkin
{
public:
    ScopedSkin()
        : m_styleName(QApplication::style()->name()), m_font(QApplication::font()),
          m_sheet(qApp->styleSheet())
    {
        EXPECT_EQ(dsLoadSkin("", 1), 1);
    }
    ~ScopedSkin()
    {
        qApp->setStyleSheet(m_sheet);
        QApplication::setFont(m_font);
        QApplication::setStyle(m_styleName);
    }
    ScopedSkin(const ScopedSkin&) = delete;
    ScopedSkin& operator=(const ScopedSkin&) = delete;

private:
    QString m_styleName;
    QFont m_font;
    QString m_sheet;
};

/// "Now" fixed for the test's scope.
class ScopedNow
{
public:
    explicit ScopedNow(std::time_t now) { Clock::SetNowForTesting(now); }
    ~ScopedNow() { Clock::SetNowForTesting(std::nullopt); }
    ScopedNow(const ScopedNow&) = delete;
    ScopedNow& operator=(const ScopedNow&) = delete;
};

qry_opt_code_result Terms(const char* code, const char* begin, const char* end)
{
    qry_opt_code_result option;
    option.sopt_code = code;
    option.sopt_name = ToGbk(QStringLiteral("华信科技期权1"));
    option.source_code = "600123";
    option.stock_name = ToGbk(QStringLiteral("华信科技"));
    option.grant_price = "11.00";
    option.apply_price = "12.50";
    option.apply_begin_date = begin;
    option.apply_end_date = end;
    option.apply_unit = "100";
    option.apply_low_amount = "100";
    option.apply_high_amount = "50000";
    option.sopttax_kind_name = ToGbk(QStringLiteral("递延纳税"));
    return option;
}

qry_pos_code_result Position(const char* account, const char* code, const char* available)
{
    qry_pos_code_result position;
    position.stock_account = account;
    position.sopt_code = code;
    position.sopt_name = ToGbk(QStringLiteral("华信科技期权1"));
    position.enable_amount = available;
    return position;
}

const char* const kTermsValueNames[CEntrustDlg::kTermsFieldCount] = {
    "termsPriceLabel",    "termsGrantPriceLabel", "termsBeginLabel", "termsEndLabel",
    "termsDaysLeftLabel", "termsUnitLabel",       "termsLowLabel",   "termsHighLabel",
    "termsTaxKindLabel",  "termsAvailableLabel"};

class ExerciseTermsTest : public PageFixture
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(PageFixture::SetUp());
        ShowPage(m_entrustPage);
        QWidget& page = *m_entrustPage;
        m_account = Child<QComboBox>(page, "accountComboBox");
        m_code = Child<QLineEdit>(page, "codeEdit");
        m_quantity = Child<QLineEdit>(page, "quantityEdit");
        m_list = Child<CSkinListCtrl>(page, "positionList");
        m_panel = Child<QFrame>(page, "termsPanel");
        m_note = Child<QLabel>(page, "termsNoteLabel");
        m_confirm = Child<CConfirmDlg>(page, "confirmDialog");
        ASSERT_TRUE(m_account && m_code && m_quantity && m_list && m_panel && m_note && m_confirm);
        for (int i = 0; i < CEntrustDlg::kTermsFieldCount; ++i) {
            m_terms[i] = Child<QLabel>(*m_panel, kTermsValueNames[i]);
            ASSERT_NE(m_terms[i], nullptr);
        }
        m_estimate = Child<QLabel>(*m_confirm, "estimateLabel");
        m_funds = Child<QLabel>(*m_confirm, "fundsLabel");
        m_warning = Child<QLabel>(*m_confirm, "warningLabel");
        m_confirmButton = Child<QPushButton>(*m_confirm, "confirmButton");
        ASSERT_TRUE(m_estimate && m_funds && m_warning && m_confirmButton);
    }

    QStringList TermsTexts() const
    {
        QStringList texts;
        for (const QLabel* const label : m_terms)
            texts.push_back(label->text());
        return texts;
    }
    void Type(QLineEdit* edit, const QString& text)
    {
        edit->clear();
        TypeText(edit, text);
    }
    void PrepareOrder(int row, const QString& quantity)
    {
        ClickRow(*m_list, row);
        Type(m_quantity, quantity);
        QTest::mouseClick(Child<QPushButton>(*m_entrustPage, "entrustButton"), Qt::LeftButton);
    }

    QComboBox* m_account = nullptr;
    QLineEdit* m_code = nullptr;
    QLineEdit* m_quantity = nullptr;
    CSkinListCtrl* m_list = nullptr;
    QFrame* m_panel = nullptr;
    QLabel* m_note = nullptr;
    QLabel* m_terms[CEntrustDlg::kTermsFieldCount] = {};
    CConfirmDlg* m_confirm = nullptr;
    QLabel* m_estimate = nullptr;
    QLabel* m_funds = nullptr;
    QLabel* m_warning = nullptr;
    QPushButton* m_confirmButton = nullptr;
};

// A click puts the position in the form and its terms in the panel; where today stands
// in the window follows the clock.
TEST_F(ExerciseTermsTest, PanelShowsTheTermsOfThePositionInsideBeforeAndAfterItsWindow)
{
    g_TradeData.m_optCodes = {Terms("037021", "20231001", "20231231"),
                              Terms("1000012", "20240101", "20240131")};
    g_TradeData.m_positions = {Position("0123456789", "037021", "6800"),
                               Position("A123456789", "1000012", "20000")};
    const struct
    {
        const char* name;
        int month, day; ///< of 2024
        const char* daysLeft;
    } cases[] = {
        {"inside the window", 1, 15, "还剩 17 天"},
        {"on its last day", 1, 31, "还剩 1 天"},
        {"before the window", 1, 0, "未到行权期"}, // 31 December 2023
        {"after the window", 2, 1, "行权期已过"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ScopedNow now(LocalMidday(2024, c.month, c.day));
        m_entrustPage->FillPositionList();
        ClickRow(*m_list, 1);
        EXPECT_EQ(TermsTexts(), QStringList({"12.50", "11.00", "2024-01-01", "2024-01-31",
                                             QString::fromUtf8(c.daysLeft), "100", "100", "50000",
                                             "递延纳税", "20000"}));
        EXPECT_EQ(m_note->text(), QString());
        m_code->clear();
    }

    // The panel follows what is typed: another code, an account without that position,
    // a code without terms, nothing.
    const ScopedNow now(LocalMidday(2024, 1, 15));
    ClickRow(*m_list, 1);
    Type(m_code, QStringLiteral("037021"));
    EXPECT_EQ(TermsTexts(), QStringList({"12.50", "11.00", "2023-10-01", "2023-12-31", "行权期已过",
                                         "100", "100", "50000", "递延纳税", ""}))
        << "the account is still A123456789";
    EXPECT_EQ(m_note->text(), QStringLiteral("该股东帐号没有此权证的持仓"));
    m_account->setEditText(QStringLiteral("0123456789"));
    EXPECT_EQ(m_terms[CEntrustDlg::kTermsAvailable]->text(), QStringLiteral("6800"));
    EXPECT_EQ(m_note->text(), QString());
    Type(m_code, QStringLiteral("7777777"));
    EXPECT_EQ(TermsTexts(), QStringList(CEntrustDlg::kTermsFieldCount, QString()));
    EXPECT_EQ(m_note->text(), QStringLiteral("没有权证代码 7777777 的行权条款"));
    m_code->clear();
    EXPECT_EQ(TermsTexts(), QStringList(CEntrustDlg::kTermsFieldCount, QString()));
    EXPECT_FALSE(m_note->text().isEmpty());

    // Beside the form, in the left column: clear of the form, 委托行权 and the list.
    const QRect panel = m_panel->geometry();
    EXPECT_FALSE(m_panel->accessibleName().isEmpty());
    EXPECT_TRUE(m_panel->isVisible());
    EXPECT_LT(panel.right(), m_list->geometry().left());
    for (const char* const name : {"accountComboBox", "codeEdit", "priceEdit", "quantityEdit",
                                   "entrustButton", "refreshPositionButton"}) {
        const QWidget* const widget = Child<QWidget>(*m_entrustPage, name);
        ASSERT_NE(widget, nullptr);
        EXPECT_FALSE(panel.intersects(widget->geometry())) << name;
    }
    for (const QLabel* const label : m_terms) {
        EXPECT_FALSE(label->accessibleName().isEmpty()) << label->objectName().toStdString();
        EXPECT_TRUE(m_panel->rect().contains(label->geometry()))
            << label->objectName().toStdString();
    }
    EXPECT_TRUE(m_boxes.Texts().empty());
}

// A window whose last day is at most a week away, today counted, colours its row and
// explains it in a tooltip; no other row is touched. A refill on a later day follows.
TEST_F(ExerciseTermsTest, PositionsWhoseWindowEndsWithinAWeekAreMarked)
{
    g_TradeData.m_optCodes = {
        Terms("1000001", "20240101", "20240121"), // 7 days left on the 15th
        Terms("1000002", "20240101", "20240122"), // 8 days left
        Terms("1000003", "20240101", "20240115"), // its last day
        Terms("1000004", "20240101", "20240114"), // over
        Terms("1000005", "20240118", "20240120"), // not started, but ends within the week
    };
    for (const char* const code : {"1000001", "1000002", "1000003", "1000004", "1000005",
                                   "1000006"}) // the last without terms
        g_TradeData.m_positions.push_back(Position("A123456789", code, "1000"));

    const QColor foreground{QRgb(CEntrustDlg::kEndsSoonForeground)};
    const QColor background{QRgb(CEntrustDlg::kEndsSoonBackground)};
    const struct
    {
        int day;                       ///< of January 2024
        std::vector<const char*> tips; ///< per row; "" for an unmarked row
    } cases[] = {
        {15,
         {"行权期将于 2024-01-21 结束，还剩 7 天", "", "行权期将于 2024-01-15 结束，还剩 1 天", "",
          "行权期将于 2024-01-20 结束，未到行权期", ""}},
        {16,
         {"行权期将于 2024-01-21 结束，还剩 6 天", "行权期将于 2024-01-22 结束，还剩 7 天", "", "",
          "行权期将于 2024-01-20 结束，未到行权期", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("January " + std::to_string(c.day));
        const ScopedNow now(LocalMidday(2024, 1, c.day));
        m_entrustPage->FillPositionList();
        ASSERT_EQ(m_list->GetItemCount(), static_cast<int>(c.tips.size()));
        for (int row = 0; row < m_list->GetItemCount(); ++row) {
            SCOPED_TRACE("row " + std::to_string(row));
            const QString tip = QString::fromUtf8(c.tips[static_cast<std::size_t>(row)]);
            for (int column = 0; column < CEntrustDlg::kColumnCount; ++column) {
                const QModelIndex cell = m_list->Model().index(row, column);
                EXPECT_EQ(cell.data(Qt::ToolTipRole).toString(), tip);
                EXPECT_EQ(cell.data(Qt::BackgroundRole).value<QColor>(),
                          tip.isEmpty() ? QColor() : background);
                EXPECT_EQ(cell.data(Qt::ForegroundRole).value<QColor>(),
                          tip.isEmpty() ? QColor() : foreground);
            }
        }
        EXPECT_EQ(m_list->GetColumnCount(), CEntrustDlg::kColumnCount) << "no new column";
    }

    // The colour shows through the skin, on plain and alternate rows alike; unmarked
    // rows keep the skin's.
    const ScopedSkin skin;
    m_list->clearSelection();
    const QImage image = m_list->viewport()->grab().toImage();
    const auto pixelLeftOf = [&](int row) {
        const QRect cell = m_list->visualRect(m_list->Model().index(row, 0));
        return image.pixelColor(cell.left() + 2, cell.center().y());
    };
    EXPECT_EQ(pixelLeftOf(0), background);
    EXPECT_EQ(pixelLeftOf(1), background);
    EXPECT_NE(pixelLeftOf(2), background);
    EXPECT_NE(pixelLeftOf(3), background);
}

// The confirmation shows the exact estimate, the funds, and each warning in words, and
// grows to fit them; with none it says the order passed.
TEST_F(ExerciseTermsTest, ConfirmationShowsEstimateFundsAndWarnings)
{
    g_TradeData.m_optCodes = {Terms("1000012", "20240101", "20240131")};
    g_TradeData.m_positions = {Position("A123456789", "1000012", "20000")};
    g_TradeData.m_login.enable_balance = "5000.00";
    m_entrustPage->FillPositionList();
    const struct
    {
        const char* name;
        int month, day; ///< of 2024
        const char* quantity;
        const char* estimate;
        QStringList warnings;
    } cases[] = {
        {"passes", 1, 15, "100", "1250.00", {"已通过委托前检查"}},
        {"not a multiple", 1, 15, "150", "1875.00", {"行权数量不是行权单位 100 的整数倍"}},
        {"above the funds",
         1,
         15,
         "1000",
         "12500.00",
         {"预计行权金额 12500.00 超过可用资金 5000.00"}},
        {"not a number", 1, 15, "abc", "无法估算", {"行权数量不是正整数"}},
        {"after the window and above the available quantity",
         2,
         1,
         "20100",
         "251250.00",
         {"行权数量超过可用数量 20000", "行权期已过：行权期已于 2024-01-31 结束",
          "预计行权金额 251250.00 超过可用资金 5000.00"}},
    };
    int passedHeight = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ScopedNow now(LocalMidday(2024, c.month, c.day));
        PrepareOrder(0, QString::fromLatin1(c.quantity));
        ASSERT_TRUE(m_confirm->isVisible());
        EXPECT_EQ(m_estimate->text(),
                  QStringLiteral("预计行权金额：") + QString::fromUtf8(c.estimate));
        EXPECT_EQ(m_funds->text(), QStringLiteral("可用资金：5000.00"));
        EXPECT_EQ(m_warning->text(), c.warnings.join(QLatin1Char('\n')));

        // Below the seven boxes, above the buttons, inside the window.
        const QLineEdit* const lastBox = Child<QLineEdit>(*m_confirm, "confirmQuantityEdit");
        ASSERT_NE(lastBox, nullptr);
        EXPECT_GT(m_estimate->geometry().top(), lastBox->geometry().bottom());
        EXPECT_GT(m_funds->geometry().top(), m_estimate->geometry().bottom());
        EXPECT_GT(m_warning->geometry().top(), m_funds->geometry().bottom());
        EXPECT_GE(m_warning->height(), m_warning->heightForWidth(m_warning->width()));
        EXPECT_GT(m_confirmButton->geometry().top(), m_warning->geometry().bottom());
        EXPECT_TRUE(m_confirm->rect().contains(m_confirmButton->geometry()));
        if (c.warnings.size() == 1 && passedHeight == 0)
            passedHeight = m_confirm->height();
        if (c.warnings.size() > 1) {
            EXPECT_GT(m_confirm->height(), passedHeight) << "grows with the warnings";
        }
        EXPECT_TRUE(m_boxes.Texts().empty());
        m_confirm->hide();
    }

    // Before login nothing is known of the funds.
    g_TradeData.m_login.enable_balance.clear();
    const ScopedNow now(LocalMidday(2024, 1, 15));
    PrepareOrder(0, QStringLiteral("100"));
    EXPECT_EQ(m_funds->text(), QStringLiteral("可用资金：未知"));
    EXPECT_EQ(m_warning->text(), QStringLiteral("已通过委托前检查"));
}

// 确认 sends the request the order describes whatever the warnings say: the same bytes
// with and without a warning, and the quantity as typed when it is the one warned about.
TEST_F(ExerciseTermsTest, ConfirmSendsTheSameRequestWithAndWithoutWarnings)
{
    const struct
    {
        const char* name;
        const char* quantity;
        const char* funds; ///< replaces the login reply's funds when given
        bool warned;
        QString outcome;
    } cases[] = {
        // 1100: no order of today has that quantity, so no warning of a second order.
        {"no warning", "1100", nullptr, false, QStringLiteral("委托成功，委托号是：")},
        {"above the funds", "1100", "1.00", true, QStringLiteral("委托成功，委托号是：")},
        {"not a multiple, as typed", " 150", nullptr, true,
         QStringLiteral("委托失败,错误原因:行权数量必须是行权单位100的整数倍")},
    };
    std::vector<std::string> payloads;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(StartSession());
        if (c.funds)
            g_TradeData.m_login.enable_balance = c.funds;
        int row = -1;
        for (std::size_t i = 0; i < g_TradeData.m_positions.size(); ++i) {
            if (g_TradeData.m_positions[i].stock_account == "A123456789" &&
                g_TradeData.m_positions[i].sopt_code == "1000012")
                row = static_cast<int>(i);
        }
        ASSERT_GE(row, 0);
        PrepareOrder(row, QString::fromLatin1(c.quantity));
        ASSERT_TRUE(m_confirm->isVisible());
        EXPECT_EQ(m_warning->text() != QStringLiteral("已通过委托前检查"), c.warned)
            << m_warning->text().toStdString();
        QTest::mouseClick(m_confirmButton, Qt::LeftButton);

        const std::vector<RequestTrace::Request> requests = m_trace.Requests();
        ASSERT_FALSE(requests.empty());
        EXPECT_EQ(requests.front().funId, kFunEntrust);
        payloads.push_back(requests.front().payload);
        ASSERT_FALSE(m_boxes.Texts().empty());
        EXPECT_TRUE(m_boxes.Texts().front().startsWith(c.outcome))
            << m_boxes.Texts().front().toStdString();
    }
    ASSERT_EQ(payloads.size(), 3u);
    EXPECT_EQ(payloads[1], payloads[0]) << "a warning changes no byte";
    quorvanta::MsgEntrust_req plain;
    quorvanta::MsgEntrust_req warned;
    ASSERT_TRUE(plain.ParsePartialFromString(payloads[0]));
    ASSERT_TRUE(warned.ParsePartialFromString(payloads[2]));
    EXPECT_EQ(warned.entrust_amount(), " 150");
    warned.set_entrust_amount(plain.entrust_amount());
    EXPECT_EQ(warned.SerializePartialAsString(), payloads[0]) << "every other field the same";
}

} // namespace
