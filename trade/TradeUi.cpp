#include "trade/TradeUi.h"

namespace
{
// Everything runs on the user-interface thread, so a plain pointer is enough.
ITradeUi* s_tradeUi = nullptr;
} // namespace

void SetTradeUi(ITradeUi* ui)
{
    s_tradeUi = ui;
}

ITradeUi* GetTradeUi()
{
    return s_tradeUi;
}
