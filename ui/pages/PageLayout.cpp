#include "ui/pages/PageLayout.h"

#include <QKeyEvent>
#include <QLabel>
#include <QStringList>

#include "ui/GbkText.h"

namespace PageLayout
{
std::string ColumnStyle(int column)
{
    return "column" + std::to_string(column);
}

QString OrderToolTip(const std::string& statusName, const std::string& cancelInfo)
{
    QStringList lines;
    const QString status = FromGbk(statusName).trimmed();
    if (!status.isEmpty())
        lines << QStringLiteral("委托状态：") + status;
    const QString reason = FromGbk(cancelInfo).trimmed();
    if (!reason.isEmpty())
        lines << QStringLiteral("原因：") + reason;
    return lines.join(QLatin1Char('\n'));
}

void PlaceTitleRow(QLabel* const* labels, int count, int firstLeft, int firstWidth, int width,
                   int top)
{
    int left = firstLeft;
    for (int i = 0; i < count; ++i) {
        const int labelWidth = i == 0 ? firstWidth : width;
        labels[i]->setGeometry(left, top, labelWidth, kTitleHeight);
        left += labelWidth;
    }
}
} // namespace PageLayout

CPage::CPage(QWidget* parent) : QWidget(parent) {}

CPage::~CPage() = default;

void CPage::OnOK() {}

void CPage::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        OnOK();
        return;
    case Qt::Key_Escape:
        event->accept();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}
