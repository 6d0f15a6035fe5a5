// Filling the history page with 10,000 orders, beside a plain QAbstractTableModel and
// QTableView that show the same texts, built from the same records, in the same run. The
// ratio says what the page's list (skin styles per cell, title labels, the row-by-row
// fill the page does) costs on top of the plainest model a Qt list can have. Run:
//   build/bench/halvorn_page_fill_bench

#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QPixmap>
#include <QTableView>

#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "trade/TradeData.h"
#include "ui/GbkText.h"
#include "ui/pages/HisEntrustDlg.h"
#include "ui/skin/SkinEngine.h"
#include "ui/skin/SkinList.h"
#include "util/util.h"

namespace
{
using Clock = std::chrono::steady_clock;

constexpr int kRows = 10000;
constexpr int kColumns = CHisEntrustDlg::kColumnCount;
constexpr int kViewWidth = 900;
constexpr int kViewHeight = 420;

std::vector<qry_his_entrust_result> MakeHistory()
{
    const std::string names[] = {Utf8ToAnsi("华信科技期权1"), Utf8ToAnsi("恒远医药期权1"),
                                 Utf8ToAnsi("东方新材期权1")};
    const char* const statuses[] = {"2", "6", "8", "9"};
    std::vector<qry_his_entrust_result> rows;
    rows.reserve(kRows);
    for (int i = 0; i < kRows; ++i) {
        qry_his_entrust_result row;
        row.init_date = "202611" + std::to_string(10 + i % 20);
        row.entrust_no = std::to_string(100001 + i);
        row.exchange_type = "1";
        row.stock_account = "A123456789";
        row.sopt_code = "10000" + std::to_string(12 + i % 3);
        row.sopt_name = names[i % 3];
        row.entrust_price = "12.50";
        row.entrust_amount = std::to_string(100 * (1 + i % 50));
        row.entrust_status = statuses[i % 4];
        row.entrust_time = i % 2 ? "93015" : "141502";
        rows.push_back(std::move(row));
    }
    return rows;
}

/// The plainest list Qt offers: one QString per cell in a vector of rows.
class PlainHistoryModel : public QAbstractTableModel
{
public:
    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : kColumns;
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid())
            return {};
        return m_rows[static_cast<std::size_t>(index.row())]
                     [static_cast<std::size_t>(index.column())];
    }

    /// The same texts as the page's columns, from the same records.
    void Fill(const std::vector<qry_his_entrust_result>& records)
    {
        beginResetModel();
        m_rows.clear();
        m_rows.reserve(records.size());
        for (const qry_his_entrust_result& r : records) {
            m_rows.push_back(
                {FromGbk(r.init_date), FromGbk(FormatTime(r.entrust_time)), FromGbk(r.entrust_no),
                 FromGbk(r.stock_account), FromGbk(r.sopt_code), FromGbk(r.sopt_name),
                 FromGbk(r.entrust_price), FromGbk(r.entrust_amount),
                 FromGbk(g_TradeData.GetStatusName(r.entrust_status)), QStringLiteral("0")});
        }
        endResetModel();
    }

private:
    std::vector<std::array<QString, kColumns>> m_rows;
};

struct Subjects
{
    Subjects()
    {
        page.resize(kViewWidth, kViewHeight);
        list = page.findChild<CSkinListCtrl*>(QStringLiteral("hisEntrustList"));
        plainView.setModel(&plainModel);
        plainView.horizontalHeader()->hide();
        plainView.verticalHeader()->hide();
        plainView.verticalHeader()->setDefaultSectionSize(CHisEntrustDlg::kRowHeight);
        plainView.setSelectionBehavior(QAbstractItemView::SelectRows);
        if (list)
            plainView.resize(list->size());
    }

    /// Fills the page and renders its list as the screen would show it.
    bool FillPage()
    {
        page.FillHisEntrustList();
        const QPixmap shown = list->viewport()->grab();
        return list->GetItemCount() == kRows && !shown.isNull();
    }
    bool FillPlain()
    {
        plainModel.Fill(g_TradeData.m_hisEntrusts);
        const QPixmap shown = plainView.viewport()->grab();
        return plainModel.rowCount() == kRows && !shown.isNull();
    }

    CHisEntrustDlg page;
    CSkinListCtrl* list = nullptr;
    PlainHistoryModel plainModel;
    QTableView plainView;
};

// Made inside main, after the QApplication, and gone before it.
std::unique_ptr<Subjects> g_subjects;

Subjects& Shared()
{
    return *g_subjects;
}

void BM_HistoryPageFill(benchmark::State& state)
{
    Subjects& s = Shared();
    for (auto _ : state) {
        if (!s.FillPage()) {
            state.SkipWithError("the page did not fill");
            break;
        }
    }
}
BENCHMARK(BM_HistoryPageFill)->Unit(benchmark::kMillisecond);

void BM_PlainModelFill(benchmark::State& state)
{
    Subjects& s = Shared();
    for (auto _ : state) {
        if (!s.FillPlain()) {
            state.SkipWithError("the plain list did not fill");
            break;
        }
    }
}
BENCHMARK(BM_PlainModelFill)->Unit(benchmark::kMillisecond);

// Both side by side in the same iterations, so that the ratio compares like with like.
void BM_HistoryFillRatio(benchmark::State& state)
{
    Subjects& s = Shared();
    Clock::duration page{};
    Clock::duration plain{};
    for (auto _ : state) {
        const auto t0 = Clock::now();
        const bool pageOk = s.FillPage();
        const auto t1 = Clock::now();
        const bool plainOk = s.FillPlain();
        const auto t2 = Clock::now();
        if (!pageOk || !plainOk) {
            state.SkipWithError("a list did not fill");
            break;
        }
        page += t1 - t0;
        plain += t2 - t1;
    }
    const double iterations = static_cast<double>(state.iterations());
    if (iterations > 0 && plain.count() > 0) {
        using Milli = std::chrono::duration<double, std::milli>;
        state.counters["page_ms"] = Milli(page).count() / iterations;
        state.counters["plain_ms"] = Milli(plain).count() / iterations;
        state.counters["ratio"] = Milli(page).count() / Milli(plain).count();
    }
}
BENCHMARK(BM_HistoryFillRatio)->Unit(benchmark::kMillisecond);
} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    dsLoadSkin("", 1);
    g_TradeData.m_hisEntrusts = MakeHistory();
    g_subjects = std::make_unique<Subjects>();

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_subjects.reset();
    return 0;
}
