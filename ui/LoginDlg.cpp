#include "ui/LoginDlg.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

#include <cstdlib>

#include "config/ClientConfig.h"
#include "trade/LoginRequest.h"
#include "trade/TradeData.h"
#include "trade/WindowMessages.h"
#include "ui/CheckCodeWidgets.h"
#include "ui/ExchangeActivity.h"
#include "ui/GbkText.h"
#include "ui/MessageBoxes.h"
#include "ui/WindowEvents.h"
#include "ui/skin/SkinEngine.h"
#include "util/Clock.h"
#include "util/util.h"

namespace
{
constexpr int kBaseX = CLoginDlg::kControlsLeft;
constexpr int kBaseY = 79;
constexpr int kLoginButtonHeight = 40;
constexpr int kCheckCodeLabelWidth = 109;
constexpr int kCheckCodeLabelHeight = 22;
constexpr int kReasonHeight = 40;
constexpr int kPanelWidth = 456;

/// Why the configuration file could not be used, in plain words; empty when it could.
QString ConfigProblemText(CClientConfig::LoadProblem problem)
{
    QString why;
    switch (problem) {
    case CClientConfig::LoadProblem::None:
        return {};
    case CClientConfig::LoadProblem::TooLarge:
        why = QStringLiteral("文件过大");
        break;
    case CClientConfig::LoadProblem::NotRegularFile:
        why = QStringLiteral("不是普通文件");
        break;
    case CClientConfig::LoadProblem::Unreadable:
        why = QStringLiteral("没有读取权限");
        break;
    case CClientConfig::LoadProblem::Unparsable:
        why = QStringLiteral("内容无法识别");
        break;
    }
    return QStringLiteral("配置文件无法读取（") + why +
           QStringLiteral("），本次使用默认设置，设置不会保存到该文件");
}

char CheckCodeLetter(char instead_of_i, char instead_of_o)
{
    char letter = static_cast<char>('A' + std::rand() % 26);
    if (letter == 'I')
        letter = instead_of_i;
    else if (letter == 'O')
        letter = instead_of_o;
    return letter;
}

char CheckCodeDigit()
{
    return static_cast<char>('0' + std::rand() % 10);
}
} // namespace

CLoginDlg::CLoginDlg(QWidget* parent) : QDialog(parent)
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QString());
    setObjectName(QStringLiteral("loginDialog"));
    // Its caption is empty; a screen reader still names the window.
    setAccessibleName(QStringLiteral("账户登录"));

    CreateControls();
    SkinControls();

    setFixedSize(kWidth, kHeight);
    m_editUser->resize(kEditWidth, kEditHeight);
    m_editPassword->resize(kEditWidth, kEditHeight);
    m_editCheckCode->resize(kCheckCodeEditWidth, kEditHeight);

    RefreshCheckCode();
    LayoutControls();
    RestoreRememberedAccount();

    // Said once, where the user looks first: the settings in use are not the file's.
    const QString problem = ConfigProblemText(g_ClientConfig.GetLoadProblem());
    if (!problem.isEmpty()) {
        SetReason(problem, false);
        m_labelReason->setToolTip(FromGbk(g_ClientConfig.FilePath()));
    }
}

CLoginDlg::~CLoginDlg() = default;

void CLoginDlg::CreateControls()
{
    // Created in tab order; the check-code label comes last so it lies on top of the
    // right end of the check-code box.
    m_editUser = new QLineEdit(this);
    m_editUser->setObjectName(QStringLiteral("userNameEdit"));
    m_editUser->setPlaceholderText(QStringLiteral("资金账号"));

    m_editPassword = new QLineEdit(this);
    m_editPassword->setObjectName(QStringLiteral("passwordEdit"));
    m_editPassword->setEchoMode(QLineEdit::Password);
    m_editPassword->setPlaceholderText(QStringLiteral("交易密码"));

    m_editCheckCode = new QLineEdit(this);
    m_editCheckCode->setObjectName(QStringLiteral("checkCodeEdit"));
    m_editCheckCode->setValidator(new CUpperCaseValidator(m_editCheckCode));
    m_editCheckCode->setPlaceholderText(QStringLiteral("验证码"));

    m_chkRemember = new QCheckBox(QStringLiteral("记住账号"), this);
    m_chkRemember->setObjectName(QStringLiteral("rememberCheckBox"));
    m_chkRemember->adjustSize();

    m_btnLogin = new QPushButton(QStringLiteral("登 录"), this);
    m_btnLogin->setObjectName(QStringLiteral("loginButton"));
    m_btnLogin->setDefault(true);
    m_btnLogin->resize(kEditWidth, kLoginButtonHeight);

    m_labelReason = new QLabel(this);
    m_labelReason->setObjectName(QStringLiteral("loginReasonLabel"));
    m_labelReason->setAccessibleName(QStringLiteral("登录状态"));
    m_labelReason->setTextFormat(Qt::PlainText);
    m_labelReason->setWordWrap(true);
    m_labelReason->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_labelReason->resize(kEditWidth, kReasonHeight);

    m_labelCheckCode = new CCheckCodeLabel(this);
    m_labelCheckCode->setObjectName(QStringLiteral("checkCodeLabel"));
    m_labelCheckCode->resize(kCheckCodeLabelWidth, kCheckCodeLabelHeight);

    connect(m_btnLogin, &QPushButton::clicked, this, &CLoginDlg::OnLogin);
    connect(m_labelCheckCode, &CCheckCodeLabel::clicked, this, &CLoginDlg::OnCheckCodeClick);
    connect(m_chkRemember, &QCheckBox::clicked, this, &CLoginDlg::OnRememberClick);
}

void CLoginDlg::SkinControls()
{
    dsSkinWindow(this, SkinKind::kDialog, "login_dialog", 1);
    dsSkinWindow(m_btnLogin, SkinKind::kPushButton, "btn.login", 0);
    dsSkinWindow(m_labelCheckCode, SkinKind::kStatic, "check_code_static", 0);
    dsSkinWindow(m_editCheckCode, SkinKind::kEdit, "check_code_edit", 0);
    dsSkinWindow(m_editPassword, SkinKind::kEdit, "password_edit", 0);
    dsSkinWindow(m_editUser, SkinKind::kEdit, "username_edit", 0);
}

void CLoginDlg::PlaceControl(QWidget* control, int x, int y)
{
    control->move(x, y);
    control->update();
}

void CLoginDlg::LayoutControls()
{
    PlaceControl(m_editUser, kBaseX, kBaseY);
    PlaceControl(m_editPassword, kBaseX, kBaseY + 43);
    PlaceControl(m_editCheckCode, kBaseX, kBaseY + 87);
    PlaceControl(m_labelCheckCode, kBaseX + 140, kBaseY + 92);
    PlaceControl(m_chkRemember, kBaseX, kBaseY + 132);
    PlaceControl(m_btnLogin, kBaseX, kBaseY + 158);
    PlaceControl(m_labelReason, kBaseX, kBaseY + 158 + kLoginButtonHeight + 4);
    m_labelCheckCode->raise();

    // The bound texts go back into their boxes (both still empty here).
    m_editUser->setText(FromGbk(m_strUser));
    m_editPassword->setText(FromGbk(m_strPassword));
}

void CLoginDlg::RestoreRememberedAccount()
{
    const std::string account = g_ClientConfig.GetClientID();
    const bool record = g_ClientConfig.GetIsRecord();
    m_chkRemember->setChecked(record);
    if (record && !account.empty()) {
        m_editUser->setText(FromGbk(account));
        m_editPassword->setFocus();
    } else {
        m_editUser->setFocus();
    }
}

std::string CLoginDlg::GenerateCheckCode()
{
    std::srand(static_cast<unsigned>(Clock::Now()));
    std::string code;
    code += CheckCodeLetter('Q', 'S');
    code += CheckCodeDigit();
    code += CheckCodeLetter('M', 'X');
    code += CheckCodeDigit();
    code += CheckCodeDigit();
    return code;
}

void CLoginDlg::RefreshCheckCode()
{
    m_strCheckCode = GenerateCheckCode();
    m_labelCheckCode->setText(FromGbk(m_strCheckCode));
}

void CLoginDlg::OnCheckCodeClick()
{
    RefreshCheckCode();
}

void CLoginDlg::OnRememberClick()
{
    g_ClientConfig.SetIsRecord(m_chkRemember->isChecked());
}

void CLoginDlg::OnLogin()
{
    m_strUser = ToGbk(m_editUser->text());
    m_strPassword = ToGbk(m_editPassword->text());
    if (m_strUser.empty()) {
        MessageBoxes::ShowApplication(QStringLiteral("用户名不能为空！"));
        m_editUser->setFocus();
        return;
    }
    if (m_strPassword.empty()) {
        MessageBoxes::ShowApplication(QStringLiteral("密码不能为空！"));
        m_editPassword->setFocus();
        return;
    }
    m_strInputCode = ToGbk(m_editCheckCode->text());
    if (m_strInputCode.empty()) {
        MessageBoxes::ShowApplication(QStringLiteral("验证码不能为空！"));
        m_editCheckCode->setFocus();
        return;
    }
    if (m_strInputCode != m_strCheckCode) {
        MessageBoxes::ShowApplication(QStringLiteral("验证码错误！"));
        m_editCheckCode->setFocus();
        RefreshCheckCode();
        return;
    }

    m_loginRes.Clear();
    FillLoginRequest(m_strUser, m_strPassword, m_loginReq);

    SetReason(QString(), false);
    const bool exchanged = m_session.ReqLogin(m_loginReq, m_loginRes);
    // After the login the trading context holds the one copy of the password it needs.
    SecureErase(*m_loginReq.mutable_password());
    if (!exchanged) {
        // The box keeps its described text; the reason is told here, in plain words.
        const ExchangeReport report = m_session.GetLastReport();
        SetReason(QStringLiteral("登录失败：") + CExchangeActivity::FailureReason(report), false);
    }
    if (exchanged && m_session.GetErrorCode() == 0) {
        PostWindowMessage(WM_LOGIN_SUCCESS, 0, &m_loginRes);
        g_TradeData.m_login.password = m_strPassword;
        SecureErase(m_strPassword);
        m_editPassword->clear();
        hide();
        if (m_chkRemember->isChecked()) {
            g_ClientConfig.SetClientID(m_strUser);
            g_ClientConfig.SetIsRecord(true);
        } else {
            g_ClientConfig.SetClientID(std::string());
            g_ClientConfig.SetIsRecord(false);
        }
        return;
    }

    // The box keeps the typed password for another try; no other copy stays.
    SecureErase(m_strPassword);
    // The server's reason stays GBK up to here and is converted once, for display.
    MessageBoxes::ShowOwned(this,
                            FromGbk(Utf8ToAnsi("登录失败,错误原因:") + m_session.GetErrorMsg()));
    RefreshCheckCode();
}

void CLoginDlg::SetReason(const QString& text, bool waiting)
{
    m_labelReason->setText(text);
    m_labelReason->setStyleSheet(waiting ? QStringLiteral("color: #3d5166;")
                                         : QStringLiteral("color: #b3261e;"));
    m_reasonIsWaiting = waiting;
}

void CLoginDlg::ShowWaiting(const QString& text)
{
    if (!text.isEmpty())
        SetReason(text, true);
    else if (m_reasonIsWaiting)
        SetReason(QString(), false);
}

QString CLoginDlg::ReasonText() const
{
    return m_labelReason->text();
}

void CLoginDlg::accept() {}

void CLoginDlg::reject() {}

void CLoginDlg::closeEvent(QCloseEvent* event)
{
    // The main window ends the program; the dialog itself neither hides nor goes away.
    PostWindowMessage(WM_LOGIN_CANCEL);
    event->ignore();
}

void CLoginDlg::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    PaintProductPanel(painter);

    // Heading of the form.
    QFont heading = font();
    heading.setPixelSize(20);
    heading.setBold(true);
    painter.setFont(heading);
    painter.setPen(QColor(0x12, 0x3a, 0x63));
    painter.drawText(QRect(kBaseX, 24, kEditWidth, 28), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("账户登录"));
    QFont hint = font();
    hint.setPixelSize(12);
    painter.setFont(hint);
    painter.setPen(QColor(0x5b, 0x6b, 0x7d));
    painter.drawText(QRect(kBaseX, 52, kEditWidth + 40, 20), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("请输入资金账号、交易密码和验证码"));
}

void CLoginDlg::PaintProductPanel(QPainter& painter) const
{
    const QRectF panel(0, 0, kPanelWidth, height());

    QLinearGradient ground(panel.topLeft(), panel.bottomRight());
    ground.setColorAt(0.0, QColor(0x0b, 0x25, 0x40));
    ground.setColorAt(0.55, QColor(0x12, 0x3a, 0x63));
    ground.setColorAt(1.0, QColor(0x0f, 0x6e, 0x78));
    painter.fillRect(panel, ground);

    painter.save();
    painter.setClipRect(panel);

    // Soft rings, far in the background.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 14));
    painter.drawEllipse(QPointF(panel.width() - 40, 40), 150, 150);
    painter.setBrush(QColor(0x13, 0xa3, 0xa0, 40));
    painter.drawEllipse(QPointF(60, panel.height() + 20), 140, 140);

    // A calm rising line over a faint grid: the value the plan is meant to grow.
    painter.setPen(QPen(QColor(255, 255, 255, 18), 1));
    for (int y = 190; y < panel.height(); y += 24)
        painter.drawLine(QPointF(36, y), QPointF(panel.width() - 36, y));
    const QPointF points[] = {{36, 292},  {96, 276},  {146, 284}, {206, 252},
                              {262, 260}, {318, 226}, {370, 232}, {420, 198}};
    QPainterPath line;
    line.moveTo(points[0]);
    for (const QPointF& point : points)
        line.lineTo(point);
    QPainterPath area = line;
    area.lineTo(points[std::size(points) - 1].x(), panel.height());
    area.lineTo(points[0].x(), panel.height());
    area.closeSubpath();
    QLinearGradient fill(0, 190, 0, panel.height());
    fill.setColorAt(0.0, QColor(0x3f, 0xd6, 0xcf, 70));
    fill.setColorAt(1.0, QColor(0x3f, 0xd6, 0xcf, 0));
    painter.fillPath(area, fill);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(
        QPen(QColor(0x7f, 0xe6, 0xe0, 220), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(line);
    painter.setBrush(QColor(0xff, 0xff, 0xff));
    painter.setPen(QPen(QColor(0x3f, 0xd6, 0xcf), 2));
    painter.drawEllipse(points[std::size(points) - 1], 4, 4);

    // The mark: a teal tile with a rising chevron.
    const QRectF mark(36, 40, 40, 40);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x13, 0xa3, 0xa0));
    painter.drawRoundedRect(mark, 9, 9);
    QPainterPath chevron;
    chevron.moveTo(mark.left() + 10, mark.bottom() - 13);
    chevron.lineTo(mark.center().x(), mark.top() + 13);
    chevron.lineTo(mark.right() - 10, mark.bottom() - 13);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 3.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(chevron);

    // The product's name.
    QFont brand = font();
    brand.setPixelSize(15);
    brand.setBold(true);
    painter.setFont(brand);
    painter.setPen(QColor(255, 255, 255, 230));
    painter.drawText(QRectF(88, 40, 300, 40), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Halvorn"));

    QFont title = font();
    title.setPixelSize(24);
    title.setBold(true);
    painter.setFont(title);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(36, 100, panel.width() - 60, 36), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Vellora股票期权自主行权终端"));

    QFont subtitle = font();
    subtitle.setPixelSize(13);
    painter.setFont(subtitle);
    painter.setPen(QColor(255, 255, 255, 170));
    painter.drawText(QRectF(36, 140, panel.width() - 60, 22), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("股权激励 · 自主行权 · 委托查询"));

    painter.restore();
}
