#include "ui/pages/UnknownOutcome.h"

#include "trade/RequestEnding.h"
#include "trade/TradeData.h"
#include "ui/ExchangeActivity.h"
#include "ui/GbkText.h"

namespace UnknownOutcome
{
namespace
{
/// The status of an order as the list shows it, or as the server named it.
QString StatusOf(const qry_entrust_result& entrust)
{
    const std::string name = g_TradeData.GetStatusName(entrust.entrust_status);
    return FromGbk(name.empty() ? entrust.status_name : name);
}

/// Positions, then today's orders, as after an answered request; true when today's
/// orders came back.
bool Refresh()
{
    g_TradeData.QueryPosCode();
    return g_TradeData.QueryEntrust() == 0;
}
} // namespace

QString AfterOrder(const ExchangeReport& report, const OrderCheck::Order& order,
                   const std::vector<std::string>& knownBefore)
{
    QString text =
        QStringLiteral("委托结果未知：委托已经发出，但没有收到服务器可用的答复（") +
        CExchangeActivity::FailureReason(report) +
        QStringLiteral("）。这笔委托可能已经成功，请先核对当日委托，不要急于重新委托。\n");
    if (!Refresh())
        return text + QStringLiteral("当日委托没能刷新，请稍后按 刷 新 核对是否已有这笔委托。");
    if (const qry_entrust_result* const found =
            FindNewSameOrder(g_TradeData.m_curEntrusts, knownBefore, order))
        return text + QStringLiteral("当日委托中已有这笔委托：委托号 ") +
               FromGbk(found->entrust_no) + QStringLiteral("，状态 ") + StatusOf(*found) +
               QStringLiteral("。");
    return text + QStringLiteral("当日委托中暂时没有这笔委托（股东帐号 ") + FromGbk(order.account) +
           QStringLiteral("，权证代码 ") + FromGbk(order.code) + QStringLiteral("，数量 ") +
           FromGbk(order.quantity) +
           QStringLiteral("）。请稍后再按 刷 新 核对，确认没有后再重新委托。");
}

QString AfterCancel(const ExchangeReport& report, const std::string& entrustNo)
{
    QString text = QStringLiteral("撤单结果未知：撤单已经发出，但没有收到服务器可用的答复（") +
                   CExchangeActivity::FailureReason(report) +
                   QStringLiteral("）。撤单可能已经成功。\n");
    const QString number = FromGbk(entrustNo);
    if (!Refresh())
        return text + QStringLiteral("当日委托没能刷新，请稍后按 刷 新 核对委托号 ") + number +
               QStringLiteral(" 的状态。");
    const qry_entrust_result* const found = FindOrderByNumber(g_TradeData.m_curEntrusts, entrustNo);
    if (!found)
        return text + QStringLiteral("当日委托中没有委托号 ") + number + QStringLiteral("。");
    const QString status = QStringLiteral("当日委托中委托号 ") + number +
                           QStringLiteral(" 的状态是 ") + StatusOf(*found);
    return text + status +
           (OrderCheck::IsWithdrawn(*found) ? QStringLiteral("：撤单已经生效。")
                                            : QStringLiteral("：尚未撤单。"));
}
} // namespace UnknownOutcome
