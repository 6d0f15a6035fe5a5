#include "ui/pages/ConfirmDlg.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QStyle>

#include <algorithm>

#include "trade/OrderCheck.h"
#include "trade/RequestEnding.h"
#include "trade/TradeData.h"
#include "ui/GbkText.h"
#include "ui/MessageBoxes.h"
#include "ui/pages/UnknownOutcome.h"
#include "ui/skin/SkinEngine.h"
#include "util/Clock.h"
#include "util/util.h"

namespace
{
struct FieldSpec
{
    const char* caption;
    const char* objectName;
};

// Top to bottom, as the user reads the order.
constexpr FieldSpec kFields[CConfirmDlg::kFieldCount] = {
    {"股东帐号", "confirmAccountEdit"},    {"权证代码", "confirmCodeEdit"},
    {"行权价格", "confirmPriceEdit"},      {"权证名称", "confirmNameEdit"},
    {"标的代码", "confirmSourceCodeEdit"}, {"标的证券", "confirmStockNameEdit"},
    {"行权数量", "confirmQuantityEdit"},
};

// The skin takes the labels and boxes in the order of their control numbers, which puts
// the option name after the underlying code.
constexpr int kSkinOrder[CConfirmDlg::kFieldCount] = {
    CConfirmDlg::kAccount,  CConfirmDlg::kCode,       CConfirmDlg::kPrice,
    CConfirmDlg::kSoptName, CConfirmDlg::kSourceCode, CConfirmDlg::kStockName,
    CConfirmDlg::kQuantity,
};

constexpr int kLabelX = 28;
constexpr int kEditX = 104;
constexpr int kFirstRowY = 22;
constexpr int kRowStep = 36;
constexpr int kEditWidth = 206;
constexpr int kEditHeight = 26;
constexpr int kButtonWidth = 96;
constexpr int kButtonHeight = 32;
constexpr int kPreviewTop = kFirstRowY + CConfirmDlg::kFieldCount * kRowStep + 4;
constexpr int kPreviewWidth = kEditX + kEditWidth - kLabelX;
constexpr int kPreviewLineHeight = 22;
constexpr int kPreviewStep = 24;
constexpr int kButtonGap = 18;
constexpr int kBottomMargin = 20;
} // namespace

CConfirmDlg::CConfirmDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("confirmDialog"));
    setWindowTitle(QStringLiteral("委托确认"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setModal(false);
    CreateControls();
    SkinControls();
    LayoutPreview();
}

CConfirmDlg::~CConfirmDlg() = default;

void CConfirmDlg::CreateControls()
{
    for (int i = 0; i < kFieldCount; ++i) {
        const int y = kFirstRowY + i * kRowStep;
        m_labels[i] = new QLabel(QString::fromUtf8(kFields[i].caption), this);
        m_labels[i]->setGeometry(kLabelX, y, kEditX - kLabelX - 8, kEditHeight);
        m_edits[i] = new QLineEdit(this);
        m_edits[i]->setObjectName(QString::fromLatin1(kFields[i].objectName));
        m_edits[i]->setReadOnly(true);
        m_edits[i]->setGeometry(kEditX, y, kEditWidth, kEditHeight);
        m_edits[i]->setAccessibleName(m_labels[i]->text());
        m_labels[i]->setBuddy(m_edits[i]);
    }

    // No fixed accessible names: a screen reader reads each line whole, caption and value
    // ("预计行权金额：1250.00"), and the warnings themselves.
    m_lblEstimate = new QLabel(this);
    m_lblEstimate->setObjectName(QStringLiteral("estimateLabel"));
    m_lblFunds = new QLabel(this);
    m_lblFunds->setObjectName(QStringLiteral("fundsLabel"));
    m_lblWarning = new QLabel(this);
    m_lblWarning->setObjectName(QStringLiteral("warningLabel"));
    m_lblWarning->setWordWrap(true);
    m_lblWarning->setStyleSheet(QStringLiteral("QLabel[passed=\"true\"] { color: #0f7b4a; }"
                                               "QLabel[passed=\"false\"] { color: #b3261e; }"));
    for (QLabel* const label : {m_lblEstimate, m_lblFunds, m_lblWarning})
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_btnConfirm = new QPushButton(QStringLiteral("确认"), this);
    m_btnConfirm->setObjectName(QStringLiteral("confirmButton"));
    m_btnCancel = new QPushButton(QStringLiteral("取消"), this);
    m_btnCancel->setObjectName(QStringLiteral("cancelConfirmButton"));
    // Neither is the default button: Enter must never send an order.
    for (QPushButton* const button : {m_btnConfirm, m_btnCancel}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    for (QPushButton* const button : {m_btnConfirm, m_btnCancel})
        button->resize(kButtonWidth, kButtonHeight);

    connect(m_btnConfirm, &QPushButton::clicked, this, &CConfirmDlg::OnConfirm);
    connect(m_btnCancel, &QPushButton::clicked, this, &CConfirmDlg::OnCancelConfirm);
}

void CConfirmDlg::SkinControls()
{
    dsSkinWindow(this, SkinKind::kDialog, "confirm_dialog", 0);
    for (const int field : kSkinOrder)
        dsSkinWindow(m_labels[field], SkinKind::kStatic, "normal_static", 0);
    for (const int field : kSkinOrder)
        dsSkinWindow(m_edits[field], SkinKind::kEdit, "confrim_normal_edit", 0);
    dsSkinWindow(m_btnConfirm, SkinKind::kPushButton, "btn.confirm", 0);
    dsSkinWindow(m_btnCancel, SkinKind::kPushButton, "btn.cancel_", 0);
}

void CConfirmDlg::SetOrder(const std::string& account, const std::string& code,
                           const std::string& price, const std::string& soptName,
                           const std::string& sourceCode, const std::string& stockName,
                           const std::string& quantity)
{
    m_strAccount = account;
    m_strCode = code;
    m_strPrice = price;
    m_strQuantity = quantity;

    const std::string* const texts[kFieldCount] = {&account,    &code,      &price,   &soptName,
                                                   &sourceCode, &stockName, &quantity};
    for (int i = 0; i < kFieldCount; ++i) {
        m_edits[i]->setText(FromGbk(*texts[i]));
        m_edits[i]->setCursorPosition(0);
    }
    UpdatePreview();
}

void CConfirmDlg::UpdatePreview()
{
    const OrderCheck::Order order{m_strAccount, m_strCode, m_strPrice, m_strQuantity};
    OrderCheck::Context context =
        OrderCheck::ContextFor(g_TradeData, m_strAccount, m_strCode, Clock::Now());
    context.sameOrderToday = OrderCheck::FindStandingSameOrder(g_TradeData.m_curEntrusts, order);
    const OrderCheck::Preview preview = OrderCheck::CheckOrder(order, context);

    m_lblEstimate->setText(QStringLiteral("预计行权金额：") + (preview.amount.empty()
                                                                   ? QStringLiteral("无法估算")
                                                                   : FromGbk(preview.amount)));
    m_lblFunds->setText(QStringLiteral("可用资金：") +
                        (context.funds.empty() ? QStringLiteral("未知") : FromGbk(context.funds)));

    QStringList lines;
    for (const OrderCheck::Finding& finding : preview.warnings)
        lines.push_back(FromGbk(finding.text));
    const bool passed = lines.isEmpty();
    m_lblWarning->setText(passed ? FromGbk(OrderCheck::PassedText())
                                 : lines.join(QLatin1Char('\n')));
    m_lblWarning->setProperty("passed", passed);
    m_lblWarning->style()->unpolish(m_lblWarning);
    m_lblWarning->style()->polish(m_lblWarning);
    LayoutPreview();
}

void CConfirmDlg::LayoutPreview()
{
    int y = kPreviewTop;
    m_lblEstimate->setGeometry(kLabelX, y, kPreviewWidth, kPreviewLineHeight);
    y += kPreviewStep;
    m_lblFunds->setGeometry(kLabelX, y, kPreviewWidth, kPreviewLineHeight);
    y += kPreviewStep;
    const int warningHeight =
        std::max(kPreviewLineHeight, m_lblWarning->heightForWidth(kPreviewWidth));
    m_lblWarning->setGeometry(kLabelX, y, kPreviewWidth, warningHeight);
    y += warningHeight + kButtonGap;

    const int gap = 24;
    const int left = (kWidth - 2 * kButtonWidth - gap) / 2;
    m_btnConfirm->move(left, y);
    m_btnCancel->move(left + kButtonWidth + gap, y);
    setFixedSize(kWidth, y + kButtonHeight + kBottomMargin);
}

void CConfirmDlg::OnConfirm()
{
    hide();
    m_entrustReq.Clear();
    m_entrustRes.Clear();

    const login_result& login = g_TradeData.m_login;
    m_entrustReq.set_fund_account(FundAccountNumber(login.fund_account));
    m_entrustReq.set_exchange_type(login.exchange_type);
    m_entrustReq.set_stock_account(m_strAccount);
    m_entrustReq.set_sopt_code(m_strCode);
    // The field named Amount carries the exercise price; the quantity goes as typed.
    m_entrustReq.set_amount(m_strPrice);
    m_entrustReq.set_entrust_amount(m_strQuantity);
    m_entrustReq.set_password(login.password);
    m_entrustReq.set_branch_no(login.branch_no);

    // Today's orders as they were when the order went out: an order found later that is
    // not among them was placed since.
    const std::vector<std::string> knownBefore = OrderNumbers(g_TradeData.m_curEntrusts);
    const bool exchanged = m_session.ReqEntrust(m_entrustReq, m_entrustRes);
    // The request has served: the trading context keeps the one copy of the password.
    SecureErase(*m_entrustReq.mutable_password());
    if (exchanged && m_session.GetErrorCode() == 0) {
        MessageBoxes::ShowApplication(QStringLiteral("委托成功，委托号是：") +
                                      FromGbk(m_entrustRes.entrust_no()));
        g_TradeData.QueryPosCode();
        g_TradeData.QueryEntrust();
        return;
    }
    const ExchangeReport report = m_session.GetLastReport();
    if (EndingOf(report) == RequestEnding::Unknown) {
        // Not a failure: the order may well have been placed, and a user who believed it
        // failed would exercise twice.
        MessageBoxes::ShowApplication(UnknownOutcome::AfterOrder(
            report, {m_strAccount, m_strCode, m_strPrice, m_strQuantity}, knownBefore));
        return;
    }
    MessageBoxes::ShowOwned(this, QStringLiteral("委托失败,错误原因:") +
                                      FromGbk(m_session.GetErrorMsg()));
}

void CConfirmDlg::OnCancelConfirm()
{
    hide();
}

void CConfirmDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            hide();
            event->accept();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

void CConfirmDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    m_btnCancel->setFocus();
}
