#include "ui/pages/HisEntrustDlg.h"

#include <QLabel>
#include <QPushButton>

#include "trade/TradeData.h"
#include "ui/ListExport.h"
#include "ui/skin/SkinEngine.h"
#include "ui/skin/SkinList.h"
#include "util/util.h"

namespace
{
const char* const kTitles[CHisEntrustDlg::kColumnCount] = {
    "委托日期", "委托时间", "委托号", "股东帐号", "权证代码",
    "权证名称", "委托价格", "委托数", "委托状态", "成交数"};
constexpr int kFirstColumnWidth = 50;
constexpr int kListTop = 43;
constexpr int kTitleTop = 15;
constexpr int kTitleOffset = 50;
constexpr int kFirstTitleNarrower = 30;
} // namespace

CHisEntrustDlg::CHisEntrustDlg(QWidget* parent) : CPage(parent)
{
    setObjectName(QStringLiteral("hisEntrustPage"));
    setAccessibleName(QStringLiteral("历史委托"));
    CreateControls();
    SkinControls();
    InitHisEntrustColumns();
    LayoutPage();
}

CHisEntrustDlg::~CHisEntrustDlg() = default;

void CHisEntrustDlg::CreateControls()
{
    for (int i = 0; i < kColumnCount; ++i)
        m_titleLabels[i] = new QLabel(QString::fromUtf8(kTitles[i]), this);

    m_listHisEntrust = new CSkinListCtrl(this);
    m_listHisEntrust->setObjectName(QStringLiteral("hisEntrustList"));
    m_listHisEntrust->setAccessibleName(QStringLiteral("历史委托"));
    ListExport::AttachContextMenu(*m_listHisEntrust, QStringLiteral("历史委托"));

    m_btnPrevPage = new QPushButton(QStringLiteral("上一页"), this);
    m_btnPrevPage->setObjectName(QStringLiteral("previousPageButton"));
    m_btnNextPage = new QPushButton(QStringLiteral("下一页"), this);
    m_btnNextPage->setObjectName(QStringLiteral("nextPageButton"));
    for (QPushButton* const button : {m_btnPrevPage, m_btnNextPage})
        button->resize(PageLayout::kButtonWidth, PageLayout::kButtonHeight);
    // 上一页 and 下一页 have no action: the list always shows every loaded order.
}

void CHisEntrustDlg::SkinControls()
{
    dsSkinWindow(this, SkinKind::kDialog, "hisentrust_dialog", 0);
    dsSkinWindow(m_btnPrevPage, SkinKind::kPushButton, "btn.prepage", 0);
    dsSkinWindow(m_btnNextPage, SkinKind::kPushButton, "btn.nextpage", 0);
    for (QLabel* const label : m_titleLabels)
        dsSkinWindow(label, SkinKind::kStatic, "title_static", 0);
}

void CHisEntrustDlg::InitHisEntrustColumns()
{
    for (int column = 0; column < kColumnCount; ++column)
        m_listHisEntrust->InsertColumn(QString::fromUtf8(kTitles[column]),
                                       column == 0 ? kFirstColumnWidth
                                                   : PageLayout::kInitialColumnWidth);
    dsSkinWindow(m_listHisEntrust, SkinKind::kListView, "listctrl_hisentrust", 0);
    // The skin's rows are 40 pixels; history rows are half that.
    m_listHisEntrust->SetRowHeight(kRowHeight);
}

void CHisEntrustDlg::FillHisEntrustList()
{
    const CSkinListCtrl::Fill fill(*m_listHisEntrust);
    m_listHisEntrust->DeleteAllItems();
    for (const qry_his_entrust_result& order : g_TradeData.m_hisEntrusts) {
        AddHisEntrustRow(order.init_date, FormatTime(order.entrust_time), order.entrust_no,
                         order.stock_account, order.sopt_code, order.sopt_name, order.entrust_price,
                         order.entrust_amount, g_TradeData.GetStatusName(order.entrust_status),
                         "0");
        m_listHisEntrust->Model().SetRowToolTip(
            m_listHisEntrust->GetItemCount() - 1,
            PageLayout::OrderToolTip(order.status_name, order.cancel_info));
    }
}

void CHisEntrustDlg::AddHisEntrustRow(const std::string& date, const std::string& time,
                                      const std::string& entrustNo, const std::string& account,
                                      const std::string& code, const std::string& name,
                                      const std::string& price, const std::string& amount,
                                      const std::string& statusName,
                                      const std::string& businessAmount)
{
    const int row = m_listHisEntrust->InsertItem();
    for (int column = 0; column < kColumnCount; ++column)
        dsSetItemStyle(m_listHisEntrust, row, column, PageLayout::ColumnStyle(column), 0);
    const std::string* const texts[kColumnCount] = {
        &date, &time,  &entrustNo, &account,    &code,
        &name, &price, &amount,    &statusName, &businessAmount};
    for (int column = 0; column < kColumnCount; ++column)
        dsSetDrawItemValueEx(m_listHisEntrust, row, column, "textdefault", *texts[column], 0);
}

void CHisEntrustDlg::resizeEvent(QResizeEvent* event)
{
    CPage::resizeEvent(event);
    LayoutPage();
}

void CHisEntrustDlg::LayoutPage()
{
    if (!m_btnPrevPage)
        return;
    const int width = this->width();
    const int height = this->height();
    const int buttonY = height - 40;
    m_btnPrevPage->move(width / 2 - 80, buttonY);
    m_btnNextPage->move(width / 2 - 80 + 120, buttonY);

    const QRect list = PageLayout::FromEdges(1, kListTop, width - 1, height - 55);
    m_listHisEntrust->setGeometry(list);
    const int columns = m_listHisEntrust->GetColumnCount();
    const int columnWidth = columns > 0 ? list.width() / columns : 100;
    for (int column = 0; column < columns; ++column)
        m_listHisEntrust->setColumnWidth(column, columnWidth);

    PageLayout::PlaceTitleRow(m_titleLabels.data(), kColumnCount, list.left() + kTitleOffset,
                              columnWidth - kFirstTitleNarrower, columnWidth, kTitleTop);
}
