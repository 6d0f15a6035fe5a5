// The titles the desktop shows are the windows' own, with nothing appended.

#include <QApplication>
#include <QString>

#include <qpa/qplatformwindow.h>

#include <gtest/gtest.h>

#include "app/HalvornApp.h"

namespace
{
/// The title the platform hands to the window system for a window's title, formatted as
/// the X11 and Wayland platforms do it.
class PlatformTitle : public QPlatformWindow
{
public:
    static QString Of(const QString& title)
    {
        return formatWindowTitle(title, QString::fromUtf8(" \xE2\x80\x94 "));
    }
};

TEST(WindowTitleTest, TheDesktopShowsEachTitleAsTheWindowSetsIt)
{
    CHalvornApp::SetIdentity();
    for (const char* title : {"Vellora股票期权自主行权终端", "委托确认", "关于 Halvorn"}) {
        SCOPED_TRACE(title);
        EXPECT_EQ(PlatformTitle::Of(QString::fromUtf8(title)), QString::fromUtf8(title));
    }
    EXPECT_EQ(QApplication::applicationName(), QStringLiteral("Halvorn"))
        << "the application's boxes still carry its name";

    // A display name, as the terminal once set, is appended to every title.
    QApplication::setApplicationDisplayName(QStringLiteral("Halvorn"));
    EXPECT_EQ(PlatformTitle::Of(QStringLiteral("委托确认")),
              QString::fromUtf8("委托确认 \xE2\x80\x94 Halvorn"));
}
} // namespace
