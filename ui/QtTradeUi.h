#pragma once

#include "trade/TradeUi.h"

/// The trading core's user interface on Qt: its messages become application message
/// boxes (GBK converted once, here at the widget boundary) and its posts go to the
/// application's main window. Installed at start-up with SetTradeUi.
class CQtTradeUi : public ITradeUi
{
public:
    void ShowMessage(const std::string& gbkText) override;
    void PostToMainWindow(int message) override;
};
