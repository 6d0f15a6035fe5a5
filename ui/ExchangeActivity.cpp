#include "ui/ExchangeActivity.h"

#include <QApplication>
#include <QCursor>
#include <QDateTime>
#include <QThread>

#include "config/ClientConfig.h"
#include "net/FunctionNumbers.h"
#include "ui/GbkText.h"
#include "util/Clock.h"

namespace
{
const QString kSeparator = QStringLiteral(" · ");

bool OnUiThread()
{
    const QCoreApplication* const app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

bool IsRefresh(int32_t funId)
{
    switch (funId) {
    case kFunQryStockAcc:
    case kFunQryEntrust:
    case kFunQryHisEntrust:
    case kFunQryOptCode:
    case kFunQryPosCode:
        return true;
    default:
        return false;
    }
}

QString ServerText(const QString& host, uint16_t port)
{
    return host + QLatin1Char(':') + QString::number(port);
}

/// The configured server as the user wrote it: the port as text, so that one out of
/// range shows as written.
QString ConfiguredServer()
{
    return FromGbk(g_ClientConfig.GetTradeSrvIP()) + QLatin1Char(':') +
           FromGbk(g_ClientConfig.GetTradeSrvPort());
}
} // namespace

CExchangeActivity::CExchangeActivity(QObject* parent)
    : QObject(parent), m_previous(SetExchangeObserver(this)), m_server(ConfiguredServer())
{}

CExchangeActivity::~CExchangeActivity()
{
    if (GetExchangeObserver() == this)
        SetExchangeObserver(m_previous);
    // Whatever happens, the cursor comes back.
    for (; m_depth > 0; --m_depth)
        QApplication::restoreOverrideCursor();
}

void CExchangeActivity::OnExchangeStarted(int32_t funId)
{
    if (!OnUiThread())
        return;
    ++m_depth;
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    emit ExchangeStarted(funId);
}

void CExchangeActivity::OnExchangeFinished(const ExchangeReport& report)
{
    if (!OnUiThread())
        return;
    if (m_depth > 0) {
        --m_depth;
        QApplication::restoreOverrideCursor();
    }
    if (!m_waiting.isEmpty()) {
        m_waiting.clear();
        emit WaitingChanged(m_waiting);
    }
    m_server = report.outcome == ExchangeOutcome::BadPort
                   ? ConfiguredServer()
                   : ServerText(FromGbk(report.serverHost), report.serverPort);
    if (report.Succeeded()) {
        m_failure.clear();
        if (IsRefresh(report.funId))
            m_lastRefresh = Clock::Now();
    } else {
        m_failure = RequestName(report.funId) + QStringLiteral("失败：") + FailureReason(report);
    }
    emit StatusChanged(StatusText());
}

void CExchangeActivity::ShowWaiting(int32_t funId, qint64 elapsedMs)
{
    // Whole seconds: a line that changes a few times a second is hard to read.
    const qint64 seconds = elapsedMs / 1000;
    const QString text =
        seconds == 0 ? QStringLiteral("正在%1…").arg(RequestName(funId))
                     : QStringLiteral("正在%1，已等待 %2 秒").arg(RequestName(funId)).arg(seconds);
    if (text == m_waiting)
        return;
    m_waiting = text;
    emit WaitingChanged(m_waiting);
    emit StatusChanged(StatusText());
}

QString CExchangeActivity::StatusText() const
{
    QString text = QStringLiteral("服务器 ") + m_server + kSeparator;
    if (m_lastRefresh) {
        const QDateTime when = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(*m_lastRefresh));
        text += QStringLiteral("最近刷新 ") + when.toString(QStringLiteral("HH:mm:ss"));
    } else {
        text += QStringLiteral("尚未刷新");
    }
    if (!m_waiting.isEmpty())
        text += kSeparator + m_waiting;
    else if (!m_failure.isEmpty())
        text += kSeparator + m_failure;
    return text;
}

QString CExchangeActivity::RequestName(int32_t funId)
{
    switch (funId) {
    case kFunLogin:
        return QStringLiteral("登录");
    case kFunEntrust:
        return QStringLiteral("委托行权");
    case kFunCanEntrust:
        return QStringLiteral("撤单");
    case kFunQryStockAcc:
        return QStringLiteral("查询股东帐号");
    case kFunQryEntrust:
        return QStringLiteral("查询当日委托");
    case kFunQryHisEntrust:
        return QStringLiteral("查询历史委托");
    case kFunQryOptCode:
        return QStringLiteral("查询权证代码");
    case kFunQryPosCode:
        return QStringLiteral("查询可行权持仓");
    default:
        return QStringLiteral("请求 %1").arg(funId);
    }
}

QString CExchangeActivity::FailureReason(const ExchangeReport& report)
{
    if (report.Succeeded())
        return {};
    // What the server said, where it said anything, is the reason the user should read.
    if (!report.errorMsg.empty())
        return QStringLiteral("服务器拒绝：") + FromGbk(report.errorMsg);
    if (report.errorCode != 0)
        return QStringLiteral("服务器拒绝，代码 %1").arg(report.errorCode);
    switch (report.outcome) {
    case ExchangeOutcome::Completed:
        break;
    case ExchangeOutcome::BadAddress:
        return QStringLiteral("配置的服务器地址不是有效的 IPv4 地址");
    case ExchangeOutcome::BadPort:
        return QStringLiteral("配置的服务器端口不在 1 到 65535 之间");
    case ExchangeOutcome::LocalFailure:
        return QStringLiteral("本机无法发出请求");
    case ExchangeOutcome::ConnectionRefused:
        return QStringLiteral("连接被拒绝，服务器没有运行，或地址、端口不对");
    case ExchangeOutcome::ConnectFailed:
        return QStringLiteral("无法连接服务器，网络不通");
    case ExchangeOutcome::ConnectTimedOut:
        return QStringLiteral("连接服务器超时");
    case ExchangeOutcome::ReplyTimedOut:
        return QStringLiteral("等待服务器应答超时");
    case ExchangeOutcome::ClosedWithoutReply:
        return QStringLiteral("服务器没有应答就关闭了连接");
    case ExchangeOutcome::ReplyUnreadable:
        return QStringLiteral("服务器的应答无法读取");
    case ExchangeOutcome::ReplyTooLong:
        return QStringLiteral("服务器的应答过长");
    case ExchangeOutcome::NoToken:
        return QStringLiteral("服务器的应答缺少会话令牌");
    case ExchangeOutcome::PayloadUnreadable:
        return QStringLiteral("服务器的应答内容无法读取");
    }
    return QStringLiteral("原因不明");
}
