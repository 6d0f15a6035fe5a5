#include "ui/pages/CurEntrustDlg.h"

#include <QLabel>
#include <QPushButton>

#include "trade/RequestEnding.h"
#include "trade/TradeData.h"
#include "ui/GbkText.h"
#include "ui/ListExport.h"
#include "ui/MessageBoxes.h"
#include "ui/pages/UnknownOutcome.h"
#include "ui/skin/SkinEngine.h"
#include "ui/skin/SkinList.h"
#include "util/util.h"

namespace
{
// Column 0 has no title and no text: it only carries its item style.
const char* const kTitles[CCurEntrustDlg::kColumnCount - 1] = {
    "委托时间", "委托号",   "股东帐号", "委托属性", "权证代码",
    "权证名称", "委托价格", "委托数",   "委托状态", "成交数"};
constexpr int kFirstColumnWidth = 50;
constexpr int kListTop = 43;
constexpr int kTitleTop = 15;
constexpr int kTitleOffset = 74;
} // namespace

CCurEntrustDlg::CCurEntrustDlg(QWidget* parent) : CPage(parent)
{
    setObjectName(QStringLiteral("curEntrustPage"));
    setAccessibleName(QStringLiteral("当日委托"));
    CreateControls();
    SkinControls();
    InitEntrustColumns();
    LayoutPage();
}

CCurEntrustDlg::~CCurEntrustDlg() = default;

void CCurEntrustDlg::CreateControls()
{
    for (std::size_t i = 0; i < m_titleLabels.size(); ++i)
        m_titleLabels[i] = new QLabel(QString::fromUtf8(kTitles[i]), this);

    m_listEntrust = new CSkinListCtrl(this);
    m_listEntrust->setObjectName(QStringLiteral("entrustList"));
    m_listEntrust->setAccessibleName(QStringLiteral("当日委托"));
    ListExport::AttachContextMenu(*m_listEntrust, QStringLiteral("当日委托"));

    m_btnCancel = new QPushButton(QStringLiteral("撤 单"), this);
    m_btnCancel->setObjectName(QStringLiteral("cancelEntrustButton"));
    m_btnRefresh = new QPushButton(QStringLiteral("刷 新"), this);
    m_btnRefresh->setObjectName(QStringLiteral("refreshEntrustButton"));
    m_btnPrevPage = new QPushButton(QStringLiteral("上一页"), this);
    m_btnPrevPage->setObjectName(QStringLiteral("previousPageButton"));
    m_btnNextPage = new QPushButton(QStringLiteral("下一页"), this);
    m_btnNextPage->setObjectName(QStringLiteral("nextPageButton"));
    for (QPushButton* const button : {m_btnCancel, m_btnRefresh, m_btnPrevPage, m_btnNextPage})
        button->resize(PageLayout::kButtonWidth, PageLayout::kButtonHeight);

    connect(m_listEntrust, &CSkinListCtrl::RowClicked, this, &CCurEntrustDlg::OnEntrustListClick);
    connect(m_btnCancel, &QPushButton::clicked, this, &CCurEntrustDlg::OnCancelEntrust);
    connect(m_btnRefresh, &QPushButton::clicked, this, &CCurEntrustDlg::OnRefreshEntrust);
    // 上一页 and 下一页 have no action: the list always shows every order.
}

void CCurEntrustDlg::SkinControls()
{
    dsSkinWindow(this, SkinKind::kDialog, "curentrust_dialog", 0);
    dsSkinWindow(m_btnPrevPage, SkinKind::kPushButton, "btn.prepage", 0);
    dsSkinWindow(m_btnNextPage, SkinKind::kPushButton, "btn.nextpage", 0);
    dsSkinWindow(m_btnCancel, SkinKind::kPushButton, "btn.cancel", 0);
    dsSkinWindow(m_btnRefresh, SkinKind::kPushButton, "btn.refresh", 0);
    for (QLabel* const label : m_titleLabels)
        dsSkinWindow(label, SkinKind::kStatic, "title_static", 0);
}

void CCurEntrustDlg::InitEntrustColumns()
{
    m_listEntrust->InsertColumn(QString(), kFirstColumnWidth);
    for (const char* const title : kTitles)
        m_listEntrust->InsertColumn(QString::fromUtf8(title), PageLayout::kInitialColumnWidth);
    dsSkinWindow(m_listEntrust, SkinKind::kListView, "listctrl_curentrust", 0);
    m_listEntrust->SetRowHeight(kRowHeight);
}

void CCurEntrustDlg::FillEntrustList()
{
    const CSkinListCtrl::Fill fill(*m_listEntrust);
    m_listEntrust->DeleteAllItems();
    m_rowOrders.clear();
    for (const qry_entrust_result& order : g_TradeData.m_curEntrusts) {
        AddEntrustRow(FormatTime(order.entrust_time), order.entrust_no, order.stock_account,
                      g_TradeData.GetPropName(order.entrust_prop), order.sopt_code, order.sopt_name,
                      order.entrust_price, order.entrust_amount,
                      g_TradeData.GetStatusName(order.entrust_status), "0");
        m_listEntrust->Model().SetRowToolTip(
            m_listEntrust->GetItemCount() - 1,
            PageLayout::OrderToolTip(order.status_name, order.cancel_info));
        m_rowOrders.push_back({order.entrust_no, order.exchange_type});
    }
}

void CCurEntrustDlg::AddEntrustRow(const std::string& time, const std::string& entrustNo,
                                   const std::string& account, const std::string& propName,
                                   const std::string& code, const std::string& name,
                                   const std::string& price, const std::string& amount,
                                   const std::string& statusName, const std::string& businessAmount)
{
    const int row = m_listEntrust->InsertItem();
    for (int column = 0; column < kColumnCount; ++column)
        dsSetItemStyle(m_listEntrust, row, column, PageLayout::ColumnStyle(column), 0);
    const std::string* const texts[kColumnCount - 1] = {
        &time, &entrustNo, &account, &propName,   &code,
        &name, &price,     &amount,  &statusName, &businessAmount};
    for (int column = 1; column < kColumnCount; ++column)
        dsSetDrawItemValueEx(m_listEntrust, row, column, "textdefault", *texts[column - 1], 0);
}

void CCurEntrustDlg::OnEntrustListClick(int row)
{
    m_listEntrust->DeselectAllBut(row);
}

void CCurEntrustDlg::OnCancelEntrust()
{
    const int row = m_listEntrust->FirstSelectedRow();
    if (row < 0) {
        MessageBoxes::ShowApplication(QStringLiteral("请先选中撤单委托"));
        return;
    }
    if (static_cast<std::size_t>(row) >= m_rowOrders.size())
        return;
    // A copy: the cancel's own refresh replaces the rows it came from.
    const RowOrder order = m_rowOrders[static_cast<std::size_t>(row)];
    CancelEntrust(order.entrustNo, order.exchangeType);
}

void CCurEntrustDlg::CancelEntrust(const std::string& entrustNo, const std::string& exchangeType)
{
    m_cancelReq.Clear();
    m_cancelRes.Clear();
    const login_result& login = g_TradeData.m_login;
    m_cancelReq.set_fund_account(FundAccountNumber(login.fund_account));
    m_cancelReq.set_exchange_type(exchangeType);
    m_cancelReq.set_entrust_no(entrustNo);
    m_cancelReq.set_password(login.password);
    m_cancelReq.set_branch_no(login.branch_no);

    const bool exchanged = m_session.ReqCanEntrust(m_cancelReq, m_cancelRes);
    // The request has served: the trading context keeps the one copy of the password.
    SecureErase(*m_cancelReq.mutable_password());
    if (exchanged && m_session.GetErrorCode() == 0) {
        MessageBoxes::ShowApplication(QStringLiteral("撤单委托成功，委托号是：") +
                                      FromGbk(m_cancelRes.entrust_no()));
        g_TradeData.QueryPosCode();
        g_TradeData.QueryEntrust();
        return;
    }
    const ExchangeReport report = m_session.GetLastReport();
    if (EndingOf(report) == RequestEnding::Unknown) {
        // The cancel may have taken effect: say so, and what today's orders show now.
        MessageBoxes::ShowApplication(UnknownOutcome::AfterCancel(report, entrustNo));
        return;
    }
    MessageBoxes::ShowOwned(this, QStringLiteral("撤单委托失败,错误原因:") +
                                      FromGbk(m_session.GetErrorMsg()));
}

void CCurEntrustDlg::OnRefreshEntrust()
{
    g_TradeData.QueryEntrust();
}

void CCurEntrustDlg::resizeEvent(QResizeEvent* event)
{
    CPage::resizeEvent(event);
    LayoutPage();
}

void CCurEntrustDlg::LayoutPage()
{
    if (!m_btnPrevPage)
        return;
    const int width = this->width();
    const int height = this->height();
    const int buttonY = height - 40;
    m_btnCancel->move(5, buttonY);
    m_btnRefresh->move(85, buttonY);
    m_btnPrevPage->move(width / 2 - 80, buttonY);
    m_btnNextPage->move(width / 2 - 80 + 120, buttonY);

    const QRect list = PageLayout::FromEdges(1, kListTop, width - 1, height - 55);
    m_listEntrust->setGeometry(list);
    const int columns = m_listEntrust->GetColumnCount();
    const int columnWidth = columns > 1 ? (list.width() - kFirstColumnWidth) / (columns - 1) : 100;
    if (columns > 0)
        m_listEntrust->setColumnWidth(0, kFirstColumnWidth);
    for (int column = 1; column < columns; ++column)
        m_listEntrust->setColumnWidth(column, columnWidth);

    PageLayout::PlaceTitleRow(m_titleLabels.data(), static_cast<int>(m_titleLabels.size()),
                              list.left() + kTitleOffset, columnWidth, columnWidth, kTitleTop);
}
