// Every window at a scale factor of 2, as on a high-density screen (2560 x 1600 pixels,
// 1280 x 800 at that factor): no text is cut off, none lies over other text. A program of
// its own: the factor is fixed when the application starts.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "LayoutCheck.h"
#include "MainWindowFixture.h"
#include "UiTestSupport.h"
#include "ui/AboutDlg.h"
#include "ui/pages/ConfirmDlg.h"

namespace
{
using namespace MainWindowTesting;

constexpr qreal kScale = 2.0;
const QSize kScreenPixels(2560, 1600);

// The check-code label lies over the right end of its box on purpose.
const std::vector<LayoutCheck::Pair> kMeantToOverlap = {
    {QStringLiteral("checkCodeLabel"), QStringLiteral("checkCodeEdit")}};

/// The window's layout problems; a window without text to look at is one too.
std::vector<std::string> ProblemsOf(QWidget& window)
{
    int checked = 0;
    std::vector<std::string> problems = LayoutCheck::Problems(window, kMeantToOverlap, &checked);
    if (checked < 2)
        problems.push_back(window.objectName().toStdString() + ": only " + std::to_string(checked) +
                           " widgets with text shown");
    return problems;
}

// The check itself finds text without room, text cut off by its parent and text over text.
TEST(LayoutCheckTest, FindsCutOffAndOverlappingText)
{
    QWidget window;
    window.setObjectName(QStringLiteral("window"));
    window.resize(300, 200);
    QWidget panel(&window);
    panel.setObjectName(QStringLiteral("panel"));
    panel.setGeometry(0, 0, 150, 200);
    QLabel narrow(QStringLiteral("行权期剩余天数说明文字"), &window);
    narrow.setObjectName(QStringLiteral("narrow"));
    narrow.setGeometry(160, 10, 20, 30);
    QLabel beyond(QStringLiteral("可用数量"), &panel);
    beyond.setObjectName(QStringLiteral("beyond"));
    beyond.setGeometry(130, 60, 100, 30);
    QPushButton first(QStringLiteral("刷 新"), &window);
    first.setObjectName(QStringLiteral("first"));
    first.setGeometry(160, 100, 100, 30);
    QPushButton second(QStringLiteral("撤 单"), &window);
    second.setObjectName(QStringLiteral("second"));
    second.setGeometry(200, 110, 90, 30);
    QLabel fine(QStringLiteral("委托"), &window);
    fine.setObjectName(QStringLiteral("fine"));
    fine.setGeometry(160, 150, 100, 30);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    int checked = 0;
    std::vector<std::string> problems = LayoutCheck::Problems(window, {}, &checked);
    EXPECT_EQ(checked, 5);
    std::sort(problems.begin(), problems.end());
    const std::vector<std::string> expected = {
        "beyond: text cut off by panel", "first overlaps second",
        "narrow: width needs " +
            std::to_string(
                QFontMetrics(narrow.font())
                    .boundingRect(narrow.contentsRect(), int(narrow.alignment()), narrow.text())
                    .width()) +
            ", has 20"};
    EXPECT_EQ(problems, expected);
    EXPECT_EQ(
        LayoutCheck::Problems(window, {{QStringLiteral("second"), QStringLiteral("first")}}).size(),
        2u)
        << "an overlap listed as meant is not a problem";
}

TEST(HighDpiScreenTest, TheScreenIsScaledByTwo)
{
    QScreen* const screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(screen->devicePixelRatio(), kScale);
    EXPECT_EQ(screen->geometry().size(), kScreenPixels / kScale);
}

using HighDpiTest = MainWindowTest;

TEST_F(HighDpiTest, EveryWindowLaysOutItsTextAtScaleFactorTwo)
{
    std::vector<std::string> login;
    const int result = Run([&] {
        CLoginDlg* const loginDlg = m_window->LoginDialog();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(loginDlg, kWaitMs));
        EXPECT_EQ(loginDlg->devicePixelRatio(), kScale);
        login = ProblemsOf(*loginDlg);
        ASSERT_TRUE(LogIn());
        EXPECT_EQ(m_window->devicePixelRatio(), kScale);
        EXPECT_TRUE(m_window->screen()->availableGeometry().contains(m_window->frameGeometry()));

        const char* const tabs[] = {"entrustTabButton", "curEntrustTabButton",
                                    "hisEntrustTabButton"};
        for (const char* const tab : tabs) {
            SCOPED_TRACE(tab);
            QTest::mouseClick(Button(tab), Qt::LeftButton);
            EXPECT_EQ(ProblemsOf(*m_window), std::vector<std::string>{});
        }

        // The brand drawn on the dark strip ends before the greeting begins.
        QFont brand = m_window->font();
        brand.setPixelSize(17);
        brand.setBold(true);
        const int brandRight = 56 + QFontMetrics(brand).horizontalAdvance(m_window->windowTitle());
        EXPECT_LT(brandRight, Child<QLabel>(*m_window, "greetingLabel")->geometry().left());

        // The confirmation of an order.
        QTest::mouseClick(Button("entrustTabButton"), Qt::LeftButton);
        CEntrustDlg& entrust = *m_window->EntrustPage();
        auto* const positions = Child<CSkinListCtrl>(entrust, "positionList");
        ASSERT_TRUE(positions && positions->GetItemCount() > 0);
        ClickRow(*positions, 0);
        TypeText(Child<QLineEdit>(entrust, "quantityEdit"), QStringLiteral("100"));
        QTest::mouseClick(Child<QPushButton>(entrust, "entrustButton"), Qt::LeftButton);
        CConfirmDlg* const confirm = entrust.ConfirmDialog();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(confirm, kWaitMs));
        {
            SCOPED_TRACE("confirmation");
            EXPECT_EQ(ProblemsOf(*confirm), std::vector<std::string>{});
            EXPECT_TRUE(m_window->screen()->availableGeometry().contains(confirm->geometry()));
        }
        QTest::mouseClick(Child<QPushButton>(*confirm, "cancelConfirmButton"), Qt::LeftButton);

        // The lock dialog.
        std::vector<std::string> lock{"not looked at"};
        EXPECT_TRUE(LockAndUnlock([&](CLockDlg& dialog) {
            if (QTest::qWaitForWindowExposed(&dialog, kWaitMs))
                lock = ProblemsOf(dialog);
        }));
        EXPECT_EQ(lock, std::vector<std::string>{});

        // The About box.
        std::vector<std::string> about{"not looked at"};
        InsideModalRun([this] { m_window->OnAbout(); },
                       [&] {
                           auto* const box =
                               qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
                           ASSERT_NE(box, nullptr);
                           if (QTest::qWaitForWindowExposed(box, kWaitMs))
                               about = ProblemsOf(*box);
                           box->accept();
                       });
        EXPECT_EQ(about, std::vector<std::string>{});
        m_window->reject();
    });
    EXPECT_EQ(result, CHalvornDlg::kResultCancel);
    EXPECT_EQ(login, std::vector<std::string>{});
}
} // namespace

// The screen and the factor are fixed before the application starts.
int main(int argc, char** argv)
{
    QTemporaryDir folder;
    const QString screens = folder.filePath(QStringLiteral("screens.json"));
    QFile file(screens);
    if (!file.open(QIODevice::WriteOnly))
        return 2;
    file.write(QStringLiteral("{\"screens\": [{\"name\": \"hidpi\", \"x\": 0, \"y\": 0, "
                              "\"width\": %1, \"height\": %2, \"logicalDpi\": 96, "
                              "\"logicalBaseDpi\": 96, \"dpr\": 1}]}")
                   .arg(kScreenPixels.width())
                   .arg(kScreenPixels.height())
                   .toUtf8());
    file.close();
    qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + screens).toLocal8Bit());
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
