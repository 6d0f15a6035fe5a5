#include "ui/ProvisionalHost.h"

#include <QCoreApplication>

#include "WrappedMessage.pb.h"
#include "trade/TradeData.h"
#include "ui/LoginDlg.h"
#include "ui/MessageBoxes.h"
#include "ui/WindowEvents.h"
#include "ui/WindowPos.h"

namespace
{
void StoreLoginReply(const quorvanta::MsgLogin_res& reply, login_result& login)
{
    login.content_type = reply.content_type();
    login.account_content = reply.account_content();
    login.branch_no = reply.branch_no();
    login.fund_account = reply.fund_account();
    login.client_id = reply.client_id();
    login.client_name = reply.client_name();
    login.fundaccount_count = reply.fundaccount_count();
    login.money_count = reply.money_count();
    login.money_type = reply.money_type();
    login.square_flag = reply.square_flag();
    login.enable_balance = reply.enable_balance();
    login.current_balance = reply.current_balance();
    login.client_rights = reply.client_rights();
    login.bank_no = reply.bank_no();
    login.exchange_type = reply.exchange_type();
    login.exchange_name = reply.exchange_name();
    login.stock_account = reply.stock_account();
}
// exit(), not quit(): quit() first asks every window to close, and the login dialog
// declines (its close box means "cancel", which would post WM_LOGIN_CANCEL again).
void EndApplication()
{
    QCoreApplication::exit(0);
}
} // namespace

CProvisionalLoginHost::CProvisionalLoginHost() = default;

CProvisionalLoginHost::~CProvisionalLoginHost()
{
    if (GetMainWindow() == this)
        SetMainWindow(nullptr);
}

void CProvisionalLoginHost::Start()
{
    SetMainWindow(this);
    m_loginDlg = std::make_unique<CLoginDlg>();
    m_loginDlg->show();
    CenterWindowPos(m_loginDlg.get(), CenterMode::kScreen);
}

bool CProvisionalLoginHost::event(QEvent* event)
{
    const CWindowMessageEvent* const message = AsWindowMessage(event);
    if (!message)
        return QObject::event(event);

    switch (message->Message()) {
    case WM_LOGIN_SUCCESS:
        if (const auto* const reply =
                static_cast<const quorvanta::MsgLogin_res*>(message->LParam()))
            StoreLoginReply(*reply, g_TradeData.m_login);
        MessageBoxes::ShowApplication(QStringLiteral("登录成功"));
        EndApplication();
        break;
    case WM_LOGIN_CANCEL:
        EndApplication();
        break;
    default:
        break;
    }
    return true;
}
