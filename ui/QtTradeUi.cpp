#include "ui/QtTradeUi.h"

#include <QString>

#include "ui/MessageBoxes.h"
#include "ui/WindowEvents.h"
#include "util/util.h"

void CQtTradeUi::ShowMessage(const std::string& gbkText)
{
    MessageBoxes::ShowApplication(QString::fromStdString(AnsiToUtf8(gbkText)));
}

void CQtTradeUi::PostToMainWindow(int message)
{
    PostWindowMessage(message);
}
