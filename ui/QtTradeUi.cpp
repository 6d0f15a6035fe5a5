#include "ui/QtTradeUi.h"

#include <QString>

#include "ui/GbkText.h"
#include "ui/MessageBoxes.h"
#include "ui/WindowEvents.h"

void CQtTradeUi::ShowMessage(const std::string& gbkText)
{
    MessageBoxes::ShowApplication(FromGbk(gbkText));
}

void CQtTradeUi::PostToMainWindow(int message)
{
    PostWindowMessage(message);
}
