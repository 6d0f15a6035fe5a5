#include <QApplication>

#include "trade/TradeUi.h"
#include "ui/ProvisionalHost.h"
#include "ui/QtTradeUi.h"
#include "ui/skin/SkinEngine.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Halvorn"));
    QApplication::setApplicationDisplayName(QStringLiteral("Halvorn"));

    // Sockets need no start-up here; the skin's result is not examined.
    dsLoadSkin("optionSkin.pmf", 1);

    CQtTradeUi tradeUi;
    SetTradeUi(&tradeUi);

    CProvisionalLoginHost host;
    host.Start();
    const int result = QApplication::exec();

    SetTradeUi(nullptr);
    return result;
}
