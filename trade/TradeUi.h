#pragma once

#include <string>

/// What the trading core asks of the user interface. The core includes no Qt header;
/// the terminal installs an implementation at start-up and tests install a recorder.
class ITradeUi
{
public:
    virtual ~ITradeUi() = default;
    /// An application message box with an OK button; gbkText is complete GBK text.
    /// Returns when the user has closed it.
    virtual void ShowMessage(const std::string& gbkText) = 0;
    /// Posts a parameterless WindowMessage to the application's main window.
    virtual void PostToMainWindow(int message) = 0;
};

/// Installs the user interface (nullptr: none; messages and posts are then dropped).
void SetTradeUi(ITradeUi* ui);
ITradeUi* GetTradeUi();
