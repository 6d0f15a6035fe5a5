#include "ui/pages/EntrustDlg.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

#include <algorithm>
#include <ctime>

#include "trade/OrderCheck.h"
#include "trade/TradeData.h"
#include "ui/GbkText.h"
#include "ui/MessageBoxes.h"
#include "ui/WindowPos.h"
#include "ui/pages/ConfirmDlg.h"
#include "ui/pages/PageLayout.h"
#include "ui/skin/SkinEngine.h"
#include "ui/skin/SkinList.h"
#include "util/Clock.h"

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

// The terms panel sits in the left column below 委托行权, clear of the form and the list.
constexpr int kTermsTop = kFirstFieldY + 4 * kFieldStep + 8 + kEntrustButtonHeight + 16;
constexpr int kTermsWidth = kFieldX + kFieldWidth - kLabelX;

struct TermsSpec
{
    const char* caption;
    const char* objectName;
};

constexpr TermsSpec kTermsFields[CEntrustDlg::kTermsFieldCount] = {
    {"行权价格", "termsPriceLabel"},    {"授予价格", "termsGrantPriceLabel"},
    {"行权开始", "termsBeginLabel"},    {"行权截止", "termsEndLabel"},
    {"剩余期限", "termsDaysLeftLabel"}, {"行权单位", "termsUnitLabel"},
    {"行权下限", "termsLowLabel"},      {"行权上限", "termsHighLabel"},
    {"纳税方式", "termsTaxKindLabel"},  {"可用数量", "termsAvailableLabel"},
};

const qry_opt_code_result* FirstOption(const std::string& code)
{
    for (const qry_opt_code_result& option : g_TradeData.m_optCodes) {
        if (option.sopt_code == code)
            return &option;
    }
    return nullptr;
}
} // namespace

CEntrustDlg::CEntrustDlg(QWidget* parent) : CPage(parent)
{
    setObjectName(QStringLiteral("entrustPage"));
    setAccessibleName(QStringLiteral("委托行权"));
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
    UpdateTermsPanel();
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
    m_editQuantity->setGeometry(kFieldX, kFirstFieldY + 3 * kFieldStep, kFieldWidth, kFieldHeight);

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

    CreateTermsPanel();

    connect(m_listPosition, &CSkinListCtrl::RowClicked, this, &CEntrustDlg::OnPositionListClick);
    connect(m_btnEntrust, &QPushButton::clicked, this, &CEntrustDlg::OnEntrust);
    connect(m_btnRefresh, &QPushButton::clicked, this, &CEntrustDlg::OnRefreshPosition);
    // 上一页 and 下一页 have no action: the list always shows every position.
    connect(m_comboAccount, &QComboBox::editTextChanged, this, &CEntrustDlg::UpdateTermsPanel);
    connect(m_editCode, &QLineEdit::textChanged, this, &CEntrustDlg::UpdateTermsPanel);
}

void CEntrustDlg::CreateTermsPanel()
{
    m_termsPanel = new QFrame(this);
    m_termsPanel->setObjectName(QStringLiteral("termsPanel"));
    m_termsPanel->setAccessibleName(QStringLiteral("行权条款"));
    m_termsPanel->setFrameShape(QFrame::StyledPanel);
    m_termsPanel->setStyleSheet(QStringLiteral(
        "QFrame#termsPanel { background-color: #ffffff; border: 1px solid #c7d3e0; }"
        "QLabel[termsValue=\"true\"] { color: #1c2b3a; }"
        "QLabel#termsDaysLeftLabel[endsSoon=\"true\"] { color: #8a4b00; font-weight: 600; }"));

    QGridLayout* const grid = new QGridLayout(m_termsPanel);
    grid->setContentsMargins(8, 6, 8, 6);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(4);

    QLabel* const title = new QLabel(QStringLiteral("行权条款"), m_termsPanel);
    title->setObjectName(QStringLiteral("termsTitleLabel"));
    title->setAccessibleName(title->text());
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    grid->addWidget(title, 0, 0, 1, 2);

    for (int i = 0; i < kTermsFieldCount; ++i) {
        QLabel* const caption =
            new QLabel(QString::fromUtf8(kTermsFields[i].caption), m_termsPanel);
        caption->setObjectName(QString::fromLatin1(kTermsFields[i].objectName)
                                   .replace(QStringLiteral("Label"), QStringLiteral("Caption")));
        caption->setAccessibleName(caption->text());
        dsSkinWindow(caption, SkinKind::kStatic, "normal_static", 0);
        QLabel* const value = new QLabel(m_termsPanel);
        value->setObjectName(QString::fromLatin1(kTermsFields[i].objectName));
        value->setAccessibleName(caption->text());
        value->setProperty("termsValue", true);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(caption, i + 1, 0);
        grid->addWidget(value, i + 1, 1);
        m_termsValues[static_cast<std::size_t>(i)] = value;
    }

    m_termsNote = new QLabel(m_termsPanel);
    m_termsNote->setObjectName(QStringLiteral("termsNoteLabel"));
    m_termsNote->setAccessibleName(QStringLiteral("行权条款说明"));
    m_termsNote->setWordWrap(true);
    grid->addWidget(m_termsNote, kTermsFieldCount + 1, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(kTermsFieldCount + 2, 1);
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
    {
        const CSkinListCtrl::Fill fill(*m_listPosition);
        m_listPosition->DeleteAllItems();
        for (const qry_pos_code_result& position : g_TradeData.m_positions) {
            AddPositionRow(position.stock_account, position.sopt_code, position.sopt_name,
                           g_TradeData.GetApplyPrice(position.sopt_code), position.enable_amount);
            MarkEndingWindow(m_listPosition->GetItemCount() - 1, position.sopt_code);
        }
    }
    // The available quantity in the panel follows the new positions.
    UpdateTermsPanel();
}

void CEntrustDlg::MarkEndingWindow(int row, const std::string& code)
{
    const qry_opt_code_result* const option = FirstOption(code);
    if (!option)
        return;
    const OrderCheck::WindowStatus window =
        OrderCheck::ExerciseWindow(option->apply_begin_date, option->apply_end_date, Clock::Now());
    if (!OrderCheck::EndsWithin(window, kEndsSoonDays))
        return;
    CSkinListModel& model = m_listPosition->Model();
    model.SetRowColors(row, QColor(QRgb(kEndsSoonForeground)), QColor(QRgb(kEndsSoonBackground)));
    model.SetRowToolTip(row, QStringLiteral("行权期将于 ") +
                                 FromGbk(OrderCheck::FormatDate(option->apply_end_date)) +
                                 QStringLiteral(" 结束，") +
                                 FromGbk(OrderCheck::WindowText(window)));
}

void CEntrustDlg::UpdateTermsPanel()
{
    const std::string account = ToGbk(m_comboAccount->currentText());
    const std::string code = ToGbk(m_editCode->text());
    const std::time_t now = Clock::Now();
    const OrderCheck::Context context = OrderCheck::ContextFor(g_TradeData, account, code, now);

    std::array<std::string, kTermsFieldCount> values{};
    bool endsSoon = false;
    if (const qry_opt_code_result* const option = context.option) {
        const OrderCheck::WindowStatus window =
            OrderCheck::ExerciseWindow(option->apply_begin_date, option->apply_end_date, now);
        endsSoon = OrderCheck::EndsWithin(window, kEndsSoonDays);
        values[kTermsPrice] = option->apply_price;
        values[kTermsGrantPrice] = option->grant_price;
        values[kTermsBegin] = OrderCheck::FormatDate(option->apply_begin_date);
        values[kTermsEnd] = OrderCheck::FormatDate(option->apply_end_date);
        values[kTermsDaysLeft] = OrderCheck::WindowText(window);
        values[kTermsUnit] = option->apply_unit;
        values[kTermsLow] = option->apply_low_amount;
        values[kTermsHigh] = option->apply_high_amount;
        values[kTermsTaxKind] = option->sopttax_kind_name;
    }
    if (context.position)
        values[kTermsAvailable] = context.position->enable_amount;
    for (int i = 0; i < kTermsFieldCount; ++i) {
        QLabel* const label = m_termsValues[static_cast<std::size_t>(i)];
        label->setText(FromGbk(values[static_cast<std::size_t>(i)]));
        // A screen reader says the term with its value ("行权价格：12.50").
        const QString caption = QString::fromUtf8(kTermsFields[i].caption);
        label->setAccessibleName(
            label->text().isEmpty() ? caption : caption + QStringLiteral("：") + label->text());
        label->setAccessibleDescription(label->text());
    }

    QLabel* const daysLeft = m_termsValues[kTermsDaysLeft];
    if (daysLeft->property("endsSoon").toBool() != endsSoon) {
        daysLeft->setProperty("endsSoon", endsSoon);
        daysLeft->style()->unpolish(daysLeft);
        daysLeft->style()->polish(daysLeft);
    }

    QString note;
    if (code.empty())
        note = QStringLiteral("点选右侧的持仓或输入权证代码，这里显示它的行权条款");
    else if (!context.option)
        note = QStringLiteral("没有权证代码 ") + FromGbk(code) + QStringLiteral(" 的行权条款");
    else if (!context.position)
        note = QStringLiteral("该股东帐号没有此权证的持仓");
    m_termsNote->setText(note);
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
    // Down to the foot of the list; the panel keeps its own size when the page is short.
    m_termsPanel->setGeometry(
        kLabelX, kTermsTop, kTermsWidth,
        std::max(m_termsPanel->minimumSizeHint().height(), height - 55 - kTermsTop));

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
