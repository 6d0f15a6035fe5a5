#include "ui/pages/EntrustDlg.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "trade/TradeData.h"
#include "ui/GbkText.h"
#include "ui/MessageBoxes.h"
#include "ui/WindowPos.h"
#include "ui/pages/ConfirmDlg.h"
#include "ui/pages/PageLayout.h"
#include "ui/skin/SkinEngine.h"
#include "ui/skin/SkinList.h"

namespace
{
// The form keeps these places whatever the page's size; the list fills the rest.
constexpr int kLabelX = 14;
constexpr int kFieldX = 80;
constexpr int kFieldWidth = 132;
constexpr int kFieldHeight = 26;
constexpr int kFirstFieldY = 43;
constexpr int kFieldStep = 42;
constexpr int kEntrustButtonWidth = 132;
constexpr int kEntrustButtonHeight = 34;

constexpr int kListLeft = 220;
constexpr int kListTop = 43;
constexpr int kTitleLeft = 266;
constexpr int kTitleTop = 15;

const char* const kColumnHeadings[CEntrustDlg::kColumnCount] = {"股东帐号", "权证代码", "权证名称",
                                                                "行权价格", "可用数量"};
const char* const kFormCaptions[4] = {"股东帐号", "权证代码", "行权价格", "行权数量"};
} // namespace

CEntrustDlg::CEntrustDlg(QWidget* parent) : CPage(parent)
{
    setObjectName(QStringLiteral("entrustPage"));
    CreateControls();
    SkinControls();

    // The confirmation belongs to this page and waits hidden until an order is ready.
    m_confirmDlg = new CConfirmDlg(this);
    m_confirmDlg->hide();

    // The form starts empty.
    m_comboAccount->setEditText(FromGbk(m_strAccount));
    m_editCode->setText(FromGbk(m_strCode));
    m_editPrice->setText(FromGbk(m_strPrice));
    m_editQuantity->setText(FromGbk(m_strQuantity));

    InitPositionColumns();
    LayoutPage();
}

CEntrustDlg::~CEntrustDlg() = default;

void CEntrustDlg::CreateControls()
{
    // Created in tab order: the form from top to bottom, then the list and its buttons.
    for (int i = 0; i < 4; ++i) {
        m_formLabels[i] = new QLabel(QString::fromUtf8(kFormCaptions[i]), this);
        m_formLabels[i]->setGeometry(kLabelX, kFirstFieldY + i * kFieldStep, kFieldX - kLabelX,
                                     kFieldHeight);
    }

    m_comboAccount = new QComboBox(this);
    m_comboAccount->setObjectName(QStringLiteral("accountComboBox"));
    m_comboAccount->setEditable(true);
    // Typed accounts are used as they are, never added to the list.
    m_comboAccount->setInsertPolicy(QComboBox::NoInsert);
    m_comboAccount->setGeometry(kFieldX, kFirstFieldY, kFieldWidth, kFieldHeight);

    m_editCode = new QLineEdit(this);
    m_editCode->setObjectName(QStringLiteral("codeEdit"));
    m_editCode->setGeometry(kFieldX, kFirstFieldY + kFieldStep, kFieldWidth, kFieldHeight);

    m_editPrice = new QLineEdit(this);
    m_editPrice->setObjectName(QStringLiteral("priceEdit"));
    m_editPrice->setReadOnly(true);
    m_editPrice->setFocusPolicy(Qt::NoFocus);
    m_editPrice->setGeometry(kFieldX, kFirstFieldY + 2 * kFieldStep, kFieldWidth, kFieldHeight);

    m_editQuantity = new QLineEdit(this);
    m_editQuantity->setObjectName(QStringLiteral("quantityEdit"));
    m_editQuantity->setGeometry(kFieldX, kFirstFieldY + 3 * kFieldStep, kFieldWidth,
                                kFieldHeight);

    QWidget* const fields[4] = {m_comboAccount, m_editCode, m_editPrice, m_editQuantity};
    for (int i = 0; i < 4; ++i) {
        m_formLabels[i]->setBuddy(fields[i]);
        fields[i]->setAccessibleName(m_formLabels[i]->text());
    }

    m_btnEntrust = new QPushButton(QStringLiteral("委托行权"), this);
    m_btnEntrust->setObjectName(QStringLiteral("entrustButton"));
    m_btnEntrust->setGeometry(kFieldX, kFirstFieldY + 4 * kFieldStep + 8, kEntrustButtonWidth,
                              kEntrustButtonHeight);

    for (int i = 0; i < kColumnCount; ++i)
        m_titleLabels[i] = new QLabel(QString::fromUtf8(kColumnHeadings[i]), this);

    m_listPosition = new CSkinListCtrl(this);
    m_listPosition->setObjectName(QStringLiteral("positionList"));
    m_listPosition->setAccessibleName(QStringLiteral("可行权持仓"));

    m_btnRefresh = new QPushButton(QStringLiteral("刷 新"), this);
    m_btnRefresh->setObjectName(QStringLiteral("refreshPositionButton"));
    m_btnPrevPage = new QPushButton(QStringLiteral("上一页"), this);
    m_btnPrevPage->setObjectName(QStringLiteral("previousPageButton"));
    m_btnNextPage = new QPushButton(QStringLiteral("下一页"), this);
    m_btnNextPage->setObjectName(QStringLiteral("nextPageButton"));
    for (QPushButton* const button : {m_btnRefresh, m_btnPrevPage, m_btnNextPage})
        button->resize(PageLayout::kButtonWidth, PageLayout::kButtonHeight);

    connect(m_listPosition, &CSkinListCtrl::RowClicked, this, &CEntrustDlg::OnPositionListClick);
    connect(m_btnEntrust, &QPushButton::clicked, this, &CEntrustDlg::OnEntrust);
    connect(m_btnRefresh, &QPushButton::clicked, this, &CEntrustDlg::OnRefreshPosition);
    // 上一页 and 下一页 have no action: the list always shows every position.
}

void CEntrustDlg::SkinControls()
{
    dsSkinWindow(this, SkinKind::kDialog, "entrust_dialog", 0);
    for (QLabel* const label : m_formLabels)
        dsSkinWindow(label, SkinKind::kStatic, "normal_static", 0);
    for (QLineEdit* const edit : {m_editCode, m_editQuantity, m_editPrice})
        dsSkinWindow(edit, SkinKind::kEdit, "entrust_edit_nor", 0);
    dsSkinWindow(m_comboAccount, SkinKind::kComboBox, "normal.combobox", 0);
    dsSkinWindow(m_btnRefresh, SkinKind::kPushButton, "btn.refresh", 0);
    dsSkinWindow(m_btnEntrust, SkinKind::kPushButton, "btn.entrust", 0);
    dsSkinWindow(m_btnPrevPage, SkinKind::kPushButton, "btn.prepage", 0);
    dsSkinWindow(m_btnNextPage, SkinKind::kPushButton, "btn.nextpage", 0);
    for (QLabel* const label : m_titleLabels)
        dsSkinWindow(label, SkinKind::kStatic, "title_static", 0);
}

void CEntrustDlg::InitPositionColumns()
{
    for (const char* const heading : kColumnHeadings)
        m_listPosition->InsertColumn(QString::fromUtf8(heading), PageLayout::kInitialColumnWidth);
    dsSkinWindow(m_listPosition, SkinKind::kListView, "listctrl_positon", 0);
    m_listPosition->SetRowHeight(kRowHeight);
}

void CEntrustDlg::FillAccountCombo()
{
    for (const qry_stock_account_result& account : g_TradeData.m_stockAccounts) {
        const QString text = FromGbk(account.stock_account);
        AddAccountSorted(text);
        if (account.main_flag == "0")
            m_comboAccount->setEditText(text);
    }
}

void CEntrustDlg::AddAccountSorted(const QString& account)
{
    // Alphabetical, letters without regard to case; an equal one goes after its peers.
    int index = 0;
    while (index < m_comboAccount->count() &&
           QString::compare(m_comboAccount->itemText(index), account, Qt::CaseInsensitive) <= 0)
        ++index;
    // Inserting must not replace what the user sees in the box.
    const QString shown = m_comboAccount->currentText();
    m_comboAccount->insertItem(index, account);
    m_comboAccount->setEditText(shown);
}

void CEntrustDlg::FillPositionList()
{
    const CSkinListCtrl::Fill fill(*m_listPosition);
    m_listPosition->DeleteAllItems();
    for (const qry_pos_code_result& position : g_TradeData.m_positions)
        AddPositionRow(position.stock_account, position.sopt_code, position.sopt_name,
                       g_TradeData.GetApplyPrice(position.sopt_code), position.enable_amount);
}

void CEntrustDlg::AddPositionRow(const std::string& account, const std::string& code,
                                 const std::string& name, const std::string& price,
                                 const std::string& available)
{
    const int row = m_listPosition->InsertItem();
    for (int column = 0; column < kColumnCount; ++column)
        dsSetItemStyle(m_listPosition, row, column, PageLayout::ColumnStyle(column), 0);
    const std::string* const texts[kColumnCount] = {&account, &code, &name, &price, &available};
    for (int column = 0; column < kColumnCount; ++column)
        dsSetDrawItemValueEx(m_listPosition, row, column, "textdefault", *texts[column], 0);
}

void CEntrustDlg::OnPositionListClick(int row)
{
    if (row < 0 || static_cast<std::size_t>(row) >= g_TradeData.m_positions.size())
        return;
    const qry_pos_code_result& position = g_TradeData.m_positions[static_cast<std::size_t>(row)];
    m_comboAccount->setEditText(FromGbk(position.stock_account));
    m_editCode->setText(FromGbk(position.sopt_code));
    m_editPrice->setText(FromGbk(g_TradeData.GetApplyPrice(position.sopt_code)));
    m_editQuantity->setFocus();
}

void CEntrustDlg::ReadControls()
{
    m_strAccount = ToGbk(m_comboAccount->currentText());
    m_strCode = ToGbk(m_editCode->text());
    m_strPrice = ToGbk(m_editPrice->text());
    m_strQuantity = ToGbk(m_editQuantity->text());
}

void CEntrustDlg::OnEntrust()
{
    ReadControls();
    if (m_strAccount.empty()) {
        MessageBoxes::ShowApplication(QStringLiteral("股东帐号不能为空！"));
        m_comboAccount->setFocus();
        return;
    }
    if (m_strCode.empty()) {
        MessageBoxes::ShowApplication(QStringLiteral("权证代码不能为空！"));
        m_editCode->setFocus();
        return;
    }
    if (m_strQuantity.empty()) {
        MessageBoxes::ShowApplication(QStringLiteral("行权数量不能为空！"));
        m_editQuantity->setFocus();
        return;
    }

    // The confirmation takes the price from the option codes, not from the form.
    const std::string price = g_TradeData.GetApplyPrice(m_strCode);
    const std::string soptName = g_TradeData.GetSoptName(m_strCode);
    const std::string sourceCode = g_TradeData.GetSourceCode(m_strCode);
    const std::string stockName = g_TradeData.GetStockName(m_strCode);
    m_confirmDlg->SetOrder(m_strAccount, m_strCode, price, soptName, sourceCode, stockName,
                           m_strQuantity);
    m_confirmDlg->show();
    CenterWindowPos(m_confirmDlg, CenterMode::kScreen);
}

void CEntrustDlg::OnRefreshPosition()
{
    g_TradeData.QueryPosCode();
}

void CEntrustDlg::OnOK()
{
    OnEntrust();
}

void CEntrustDlg::resizeEvent(QResizeEvent* event)
{
    CPage::resizeEvent(event);
    LayoutPage();
}

void CEntrustDlg::LayoutPage()
{
    if (!m_btnPrevPage)
        return;
    const int width = this->width();
    const int height = this->height();
    const int buttonY = height - 40;
    m_btnRefresh->move(225, buttonY);
    m_btnPrevPage->move(width / 2 + 10, buttonY);
    m_btnNextPage->move(width / 2 + 120, buttonY);

    const QRect list = PageLayout::FromEdges(kListLeft, kListTop, width - 1, height - 55);
    m_listPosition->setGeometry(list);

    const int listWidth = width - 221;
    const int columnWidth = listWidth / kColumnCount;
    for (int column = 0; column < kColumnCount; ++column)
        m_listPosition->setColumnWidth(column, columnWidth);
    m_listPosition->viewport()->update();

    // Each title starts one column further right; the first is 10 pixels narrower.
    for (int i = 0; i < kColumnCount; ++i) {
        const int titleWidth = i == 0 ? columnWidth - 10 : columnWidth;
        m_titleLabels[i]->setGeometry(kTitleLeft + i * columnWidth, kTitleTop, titleWidth,
                                      PageLayout::kTitleHeight);
    }
}
