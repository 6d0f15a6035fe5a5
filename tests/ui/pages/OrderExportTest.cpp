// Orders taken out of the terminal and their reasons: the tooltip with the server's status
// name and cancel reason on every row of today's orders and the history, the CSV file of
// a list read back equal, and the tab-separated rows that 复制 puts on the clipboard.

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "PageTestSupport.h"
#include "trade/TradeData.h"
#include "ui/GbkText.h"
#include "ui/ListExport.h"
#include "ui/pages/CurEntrustDlg.h"
#include "ui/pages/HisEntrustDlg.h"
#include "ui/skin/SkinList.h"
#include "util/Clock.h"

using namespace PageTest;

namespace
{
/// An RFC 4180 reader, for reading back what the export wrote.
std::vector<QStringList> ParseCsv(const QString& text)
{
    std::vector<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const QChar next = i + 1 < text.size() ? text[i + 1] : QChar();
        if (quoted) {
            if (c == QLatin1Char('"') && next == QLatin1Char('"')) {
                field += c;
                ++i;
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            record << field;
            field.clear();
        } else if (c == QLatin1Char('\r') && next == QLatin1Char('\n')) {
            record << field;
            records.push_back(record);
            record.clear();
            field.clear();
            ++i;
        } else {
            field += c;
        }
    }
    if (!field.isEmpty() || !record.isEmpty()) {
        record << field;
        records.push_back(record);
    }
    return records;
}

/// Answers the export's file question for the test's scope and keeps what was asked.
class ScopedChooser
{
public:
    explicit ScopedChooser(QString answer) : m_answer(std::move(answer))
    {
        m_previous = ListExport::SetFileNameChooser(
            [this](QWidget* parent, const QString& caption, const QString& suggested) {
                m_parents.push_back(parent);
                m_suggested.push_back(suggested);
                EXPECT_FALSE(caption.isEmpty());
                return m_answer;
            });
    }
    ~ScopedChooser() { ListExport::SetFileNameChooser(m_previous); }
    ScopedChooser(const ScopedChooser&) = delete;
    ScopedChooser& operator=(const ScopedChooser&) = delete;

    std::vector<QWidget*> m_parents;
    std::vector<QString> m_suggested;

private:
    QString m_answer;
    ListExport::FileNameChooser m_previous;
};

class ScopedNow
{
public:
    explicit ScopedNow(std::time_t now) { Clock::SetNowForTesting(now); }
    ~ScopedNow() { Clock::SetNowForTesting(std::nullopt); }
    ScopedNow(const ScopedNow&) = delete;
    ScopedNow& operator=(const ScopedNow&) = delete;
};

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

std::string Gbk(const char* utf8)
{
    return ToGbk(QString::fromUtf8(utf8));
}

template <typename Record>
Record Order(const char* entrustNo, const char* name, const char* statusName,
             const char* cancelInfo)
{
    Record record;
    record.init_date = "20240105";
    record.entrust_time = "93015";
    record.entrust_no = entrustNo;
    record.exchange_type = "1";
    record.stock_account = "A123456789";
    record.entrust_prop = "P";
    record.sopt_code = "1000012";
    record.sopt_name = Gbk(name);
    record.entrust_price = "12.50";
    record.entrust_amount = "1000";
    record.entrust_status = "6";
    record.status_name = Gbk(statusName);
    record.cancel_info = Gbk(cancelInfo);
    return record;
}

/// Both lists hold the same orders: names with a comma, quotes and a line break, and
/// statuses with and without reasons.
void LoadOrders()
{
    const struct
    {
        const char* entrustNo;
        const char* name;
        const char* statusName;
        const char* cancelInfo;
    } orders[] = {
        {"100001", "华信科技期权1", "已撤", "客户撤单"},
        {"100002", "恒远医药期权1,A类", "废单", "超出行权额度"},
        {"100003", "\"东方\"新材\t期权", "已报", ""},
        {"100004", "两行\n名称", " ", "  "},
        {"100005", "华信科技期权2", "", "不在行权期内"},
    };
    g_TradeData.m_curEntrusts.clear();
    g_TradeData.m_hisEntrusts.clear();
    for (const auto& o : orders) {
        g_TradeData.m_curEntrusts.push_back(
            Order<qry_entrust_result>(o.entrustNo, o.name, o.statusName, o.cancelInfo));
        g_TradeData.m_hisEntrusts.push_back(
            Order<qry_his_entrust_result>(o.entrustNo, o.name, o.statusName, o.cancelInfo));
    }
}

const QStringList kExpectedTips = {"委托状态：已撤\n原因：客户撤单",
                                   "委托状态：废单\n原因：超出行权额度", "委托状态：已报", "",
                                   "原因：不在行权期内"};

class OrderExportTest : public PageFixture
{
protected:
    struct ListCase
    {
        const char* name;
        QWidget* page;
        CSkinListCtrl* list;
        int firstColumn; ///< columns before it have no heading and are not taken out
        QString baseName;
    };

    std::vector<ListCase> Lists()
    {
        LoadOrders();
        m_curEntrustPage->FillEntrustList();
        m_hisEntrustPage->FillHisEntrustList();
        return {{"today's orders", m_curEntrustPage,
                 Child<CSkinListCtrl>(*m_curEntrustPage, "entrustList"), 1,
                 QStringLiteral("当日委托")},
                {"order history", m_hisEntrustPage,
                 Child<CSkinListCtrl>(*m_hisEntrustPage, "hisEntrustList"), 0,
                 QStringLiteral("历史委托")}};
    }
    static QStringList ShownRow(const CSkinListCtrl& list, int row, int firstColumn)
    {
        return RowTexts(list, row).mid(firstColumn);
    }
    static QStringList Headings(const CSkinListCtrl& list, int firstColumn)
    {
        QStringList headings;
        for (int column = firstColumn; column < list.GetColumnCount(); ++column)
            headings << list.Model().Heading(column);
        return headings;
    }
    static QAction* Action(CSkinListCtrl& list, const char* name)
    {
        for (QAction* const action : list.actions()) {
            if (action->objectName() == QLatin1String(name))
                return action;
        }
        ADD_FAILURE() << "no action " << name;
        return nullptr;
    }
};

TEST_F(OrderExportTest, RowsExplainTheServerStatusAndReasonInATooltip)
{
    for (const ListCase& c : Lists()) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(c.list, nullptr);
        ASSERT_EQ(c.list->GetItemCount(), static_cast<int>(kExpectedTips.size()));
        for (int row = 0; row < c.list->GetItemCount(); ++row) {
            for (int column = 0; column < c.list->GetColumnCount(); ++column)
                EXPECT_EQ(c.list->Model().index(row, column).data(Qt::ToolTipRole).toString(),
                          kExpectedTips[row])
                    << "row " << row << " column " << column;
        }
    }

    // As the demo server sends them: every order of today with a reason shows it.
    ASSERT_NO_FATAL_FAILURE(StartSession());
    const CSkinListCtrl* const list = Child<CSkinListCtrl>(*m_curEntrustPage, "entrustList");
    ASSERT_NE(list, nullptr);
    int withReason = 0;
    for (int row = 0; row < list->GetItemCount(); ++row) {
        const qry_entrust_result& order = g_TradeData.m_curEntrusts[static_cast<std::size_t>(row)];
        const QString tip = list->Model().index(row, 1).data(Qt::ToolTipRole).toString();
        EXPECT_TRUE(tip.startsWith(QStringLiteral("委托状态：") + Shown(order.status_name)))
            << tip.toStdString();
        if (!order.cancel_info.empty()) {
            ++withReason;
            EXPECT_TRUE(tip.endsWith(QStringLiteral("\n原因：") + Shown(order.cancel_info)))
                << tip.toStdString();
        }
    }
    EXPECT_GT(withReason, 0) << "the demo book has refused and cancelled orders today";
}

TEST_F(OrderExportTest, ContextMenuOffersCopyAndCsvExport)
{
    for (const ListCase& c : Lists()) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(c.list, nullptr);
        EXPECT_EQ(c.list->contextMenuPolicy(), Qt::ActionsContextMenu);
        QStringList texts;
        for (const QAction* const action : c.list->actions())
            texts << action->text();
        EXPECT_EQ(texts, QStringList({"复制", "导出 CSV…"}));
    }
}

// Every row, under the headings of the columns shown, into the file the user picked; the
// file is UTF-8 with a byte-order mark and reads back equal through an RFC 4180 reader.
TEST_F(OrderExportTest, CsvOfEveryRowReadsBackEqual)
{
    const ScopedNow now(LocalMidday(2024, 1, 15));
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const ListCase& c : Lists()) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(c.list, nullptr);
        const QString path = dir.filePath(c.baseName + QStringLiteral(".csv"));
        {
            // A longer file of the same name is replaced whole.
            QFile old(path);
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write(QByteArray(100000, 'x'));
        }
        ScopedChooser chooser(path);
        QAction* const exportCsv = Action(*c.list, "exportCsvAction");
        ASSERT_NE(exportCsv, nullptr);
        exportCsv->trigger();

        ASSERT_EQ(chooser.m_suggested.size(), 1u);
        EXPECT_EQ(chooser.m_suggested[0], c.baseName + QStringLiteral("_20240115.csv"));
        EXPECT_EQ(chooser.m_parents[0], c.page);
        EXPECT_TRUE(m_boxes.Texts().empty());

        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF")) << "UTF-8 with a byte-order mark";
        const std::vector<QStringList> records = ParseCsv(QString::fromUtf8(bytes.mid(3)));
        ASSERT_EQ(records.size(), static_cast<std::size_t>(c.list->GetItemCount()) + 1);
        EXPECT_EQ(records[0], Headings(*c.list, c.firstColumn));
        for (int row = 0; row < c.list->GetItemCount(); ++row)
            EXPECT_EQ(records[static_cast<std::size_t>(row) + 1],
                      ShownRow(*c.list, row, c.firstColumn))
                << "row " << row;
        EXPECT_TRUE(records[2].contains(QStringLiteral("恒远医药期权1,A类")));
        EXPECT_TRUE(records[4].contains(QStringLiteral("两行\n名称")));
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files),
              QStringList({"历史委托.csv", "当日委托.csv"}))
        << "no temporary file left behind";
}

TEST_F(OrderExportTest, CancelledChoiceWritesNothingAndAFailedWriteSaysSo)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const ListCase& c : Lists()) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(c.list, nullptr);
        {
            ScopedChooser cancelled{QString()};
            Action(*c.list, "exportCsvAction")->trigger();
            EXPECT_EQ(cancelled.m_suggested.size(), 1u);
            EXPECT_TRUE(m_boxes.Texts().empty());
        }
        const QString path = dir.filePath(QStringLiteral("missing/orders.csv"));
        ScopedChooser chooser(path);
        m_boxes.Clear();
        Action(*c.list, "exportCsvAction")->trigger();
        ASSERT_EQ(m_boxes.Requests().size(), 1u);
        EXPECT_EQ(m_boxes.Requests()[0].kind, MessageBoxes::Kind::Owned);
        EXPECT_EQ(m_boxes.Requests()[0].owner, c.page);
        EXPECT_TRUE(m_boxes.Requests()[0].text.startsWith(
            QStringLiteral("导出失败，未能写入文件 ") + QDir::toNativeSeparators(path) +
            QStringLiteral("：")))
            << m_boxes.Requests()[0].text.toStdString();
        EXPECT_GT(m_boxes.Requests()[0].text.size(),
                  QStringLiteral("导出失败，未能写入文件 ：").size() + path.size())
            << "with the reason";
        m_boxes.Clear();
    }
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

// 复制 (or Ctrl+C in the list) puts the selected rows, lowest first, on the clipboard as
// tab-separated text of the columns shown; with nothing selected the clipboard stays.
TEST_F(OrderExportTest, CopyPutsTheSelectedRowsOnTheClipboardAsTabSeparatedText)
{
    QClipboard* const clipboard = QGuiApplication::clipboard();
    for (const ListCase& c : Lists()) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(c.list, nullptr);
        ShowPage(c.page);
        clipboard->setText(QStringLiteral("before"));
        c.list->clearSelection();
        Action(*c.list, "copyAction")->trigger();
        EXPECT_EQ(clipboard->text(), QStringLiteral("before")) << "nothing selected";

        c.list->SelectRow(3, false);
        c.list->SelectRow(0, true);
        const QString firstRow = ShownRow(*c.list, 0, c.firstColumn).join(QLatin1Char('\t'));
        QString fourthRow = ShownRow(*c.list, 3, c.firstColumn).join(QLatin1Char('\t'));
        fourthRow.replace(QLatin1Char('\n'), QLatin1Char(' ')); // one line per row
        const QString expected = firstRow + QLatin1Char('\n') + fourthRow + QLatin1Char('\n');
        Action(*c.list, "copyAction")->trigger();
        EXPECT_EQ(clipboard->text(), expected);

        clipboard->setText(QStringLiteral("before"));
        m_host->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_host.get(), 2000));
        c.list->setFocus();
        QTest::keyClick(c.list, Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(clipboard->text(), expected) << "Ctrl+C";
        EXPECT_TRUE(m_boxes.Texts().empty());
    }
}

TEST(ListExportTextTest, CsvQuotesPerRfc4180AndTsvKeepsOneLinePerRow)
{
    const QStringList headings = {"权证名称", "说明"};
    const std::vector<QStringList> rows = {
        {"华信科技期权1", "a,b"}, {"引号\"x\"", "两行\r\n文字"}, {"", " 空格 "}};
    EXPECT_EQ(ListExport::ToCsv(headings, rows),
              QByteArray("\xEF\xBB\xBF") + QStringLiteral("权证名称,说明\r\n"
                                                          "华信科技期权1,\"a,b\"\r\n"
                                                          "\"引号\"\"x\"\"\",\"两行\r\n文字\"\r\n"
                                                          ", 空格 \r\n")
                                               .toUtf8());
    EXPECT_EQ(ParseCsv(QString::fromUtf8(ListExport::ToCsv(headings, rows).mid(3))),
              (std::vector<QStringList>{headings, rows[0], rows[1], rows[2]}));
    EXPECT_EQ(ListExport::ToTsv({{"a\tb", "c"}, {"两行\n文字", ""}}),
              QStringLiteral("a b\tc\n两行 文字\t\n"));
    EXPECT_EQ(ListExport::ToCsv({}, {}), QByteArray("\xEF\xBB\xBF\r\n"));
}

} // namespace
