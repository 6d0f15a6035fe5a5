#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "UiTestSupport.h"
#include "net/ClientUtil.h"
#include "net/FunctionNumbers.h"
#include "server/DemoServer.h"
#include "tests/support/DemoServerTarget.h"
#include "trade/TradeData.h"
#include "trade/WindowMessages.h"
#include "ui/CheckCodeWidgets.h"
#include "ui/LoginDlg.h"
#include "ui/skin/SkinEngine.h"
#include "util/Clock.h"
#include "util/util.h"

namespace
{
constexpr std::time_t kMoment = 1700000000;

/// A loopback port that nothing listens on: connecting is refused at once.
uint16_t ClosedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const uint16_t port = probe.serverPort();
    probe.close();
    return port;
}

/// The dialog with its widgets, against a temporary configuration, a message recorder
/// and a stand-in main window; the clock stands still unless a test moves it.
class LoginDlgTest : public ::testing::Test
{
protected:
    void SetUp() override { Clock::SetNowForTesting(kMoment); }
    void TearDown() override
    {
        Clock::SetNowForTesting(std::nullopt);
        g_TradeData.m_login.password.clear();
        SetTransportTimeouts(TransportTimeouts{});
    }

    /// Builds the dialog once the configuration is in place.
    void Open(const std::string& iniText = {})
    {
        // The previous configuration lets go of the global before the next one takes it.
        m_dialog.reset();
        m_config.reset();
        m_config = std::make_unique<ScopedTempConfig>(iniText);
        m_dialog = std::make_unique<CLoginDlg>();
        m_user = Child<QLineEdit>(*m_dialog, "userNameEdit");
        m_password = Child<QLineEdit>(*m_dialog, "passwordEdit");
        m_code = Child<QLineEdit>(*m_dialog, "checkCodeEdit");
        m_remember = Child<QCheckBox>(*m_dialog, "rememberCheckBox");
        m_login = Child<QPushButton>(*m_dialog, "loginButton");
        m_codeLabel = Child<CCheckCodeLabel>(*m_dialog, "checkCodeLabel");
        ASSERT_TRUE(m_user && m_password && m_code && m_remember && m_login && m_codeLabel);
        m_dialog->show();
    }

    /// Points the sessions at the given loopback port, in the temporary configuration.
    void ServeFrom(uint16_t port)
    {
        g_ClientConfig.SetTradeSrvIP("127.0.0.1");
        g_ClientConfig.SetTradeSrvPort(std::to_string(port));
        SetTransportTimeouts({std::chrono::milliseconds(500), std::chrono::milliseconds(3000)});
    }

    /// Types into the three boxes as a user would; an absent value leaves the box alone.
    void Type(const QString& user, const QString& password, const QString& code)
    {
        TypeText(m_user, user);
        TypeText(m_password, password);
        TypeText(m_code, code);
    }

    QString ShownCode() const { return QString::fromStdString(m_dialog->CheckCode()); }
    void ClickLogin() { QTest::mouseClick(m_login, Qt::LeftButton); }

    MessageRecorder m_boxes;
    MessageCatcher m_mainWindow;
    std::unique_ptr<ScopedTempConfig> m_config;
    std::unique_ptr<CLoginDlg> m_dialog;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QLineEdit* m_code = nullptr;
    QCheckBox* m_remember = nullptr;
    QPushButton* m_login = nullptr;
    CCheckCodeLabel* m_codeLabel = nullptr;
};

TEST_F(LoginDlgTest, SizesAndPositionsAreThoseOfTheLayout)
{
    Open();
    EXPECT_EQ(m_dialog->size(), QSize(782, 327));
    EXPECT_EQ(m_user->size(), QSize(249, 32));
    EXPECT_EQ(m_password->size(), QSize(249, 32));
    EXPECT_EQ(m_code->size(), QSize(149, 32));
    const std::pair<QWidget*, QPoint> places[] = {
        {m_user, {481, 79}},       {m_password, {481, 122}}, {m_code, {481, 166}},
        {m_codeLabel, {621, 171}}, {m_remember, {481, 211}}, {m_login, {481, 237}},
    };
    for (const auto& [control, place] : places)
        EXPECT_EQ(control->pos(), place) << control->objectName().toStdString();
    EXPECT_TRUE(m_dialog->windowTitle().isEmpty());
    EXPECT_EQ(m_password->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(m_login->isDefault());
}

TEST_F(LoginDlgTest, DialogAndControlsCarryTheirSkinNames)
{
    Open();
    const struct
    {
        QWidget* window;
        const char* name;
        int kind;
        int flag;
    } skins[] = {
        {m_dialog.get(), "login_dialog", 100, 1},   {m_login, "btn.login", 103, 0},
        {m_codeLabel, "check_code_static", 106, 0}, {m_code, "check_code_edit", 107, 0},
        {m_password, "password_edit", 107, 0},      {m_user, "username_edit", 107, 0},
    };
    for (const auto& skin : skins) {
        SCOPED_TRACE(skin.name);
        EXPECT_EQ(skin.window->property(kSkinNameProperty).toString(),
                  QString::fromLatin1(skin.name));
        EXPECT_EQ(skin.window->property(kSkinKindProperty).toInt(), skin.kind);
        EXPECT_EQ(skin.window->property(kSkinFlagProperty).toInt(), skin.flag);
    }
    EXPECT_FALSE(m_remember->property(kSkinNameProperty).isValid()) << "not skinned";
}

// The checks run in order and stop at the first that fails; nothing is sent.
TEST_F(LoginDlgTest, InputChecksShowTheFirstFailureOnlyAndFocusItsBox)
{
    const struct
    {
        const char* user;
        const char* password;
        bool rightCode;
        const char* message;
        const char* focus;
    } cases[] = {
        {"", "", false, "用户名不能为空！", "userNameEdit"},
        {"", "888888", true, "用户名不能为空！", "userNameEdit"},
        {"10001234", "", false, "密码不能为空！", "passwordEdit"},
        {"10001234", "888888", false, "验证码不能为空！", "checkCodeEdit"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        Open();
        const QString codeBefore = ShownCode();
        Type(QString::fromUtf8(c.user), QString::fromUtf8(c.password),
             c.rightCode ? ShownCode() : QString());
        m_boxes.Clear();
        ClickLogin();

        ASSERT_EQ(m_boxes.Requests().size(), 1u);
        EXPECT_EQ(m_boxes.Requests()[0].kind, MessageBoxes::Kind::Application);
        EXPECT_EQ(m_boxes.Requests()[0].text, QString::fromUtf8(c.message));
        EXPECT_EQ(m_dialog->focusWidget()->objectName(), QString::fromLatin1(c.focus));
        EXPECT_EQ(ShownCode(), codeBefore) << "the code stays";
        m_mainWindow.Deliver();
        EXPECT_TRUE(m_mainWindow.Messages().empty());
        EXPECT_FALSE(m_dialog->LoginRequest().has_input_content()) << "nothing sent";
    }
}

TEST_F(LoginDlgTest, CheckCodeBoxTurnsTypedLettersToUpperCase)
{
    Open();
    TypeText(m_code, QStringLiteral("a7k09"));
    EXPECT_EQ(m_code->text(), QStringLiteral("A7K09"));
}

// A code typed in lower case passes the check (the box turned it to upper case): the
// login goes on to the server, which here refuses the connection.
TEST_F(LoginDlgTest, LowerCaseTypedCodePassesTheCheck)
{
    Open();
    ServeFrom(ClosedPort());
    Type(QStringLiteral("10001234"), QStringLiteral("888888"), ShownCode().toLower());
    ClickLogin();
    ASSERT_EQ(m_boxes.Requests().size(), 1u);
    EXPECT_EQ(m_boxes.Requests()[0].text, QStringLiteral("登录失败,错误原因:"));
    EXPECT_TRUE(m_dialog->LoginRequest().has_input_content()) << "the request went out";
}

// The comparison itself is exact: one character off, a trailing or a leading space fail.
// (Lower case cannot reach it: the box turns every letter it is given to upper case.)
TEST_F(LoginDlgTest, CodeComparisonIsExact)
{
    const std::function<QString(const QString&)> wrongCodes[] = {
        [](const QString& shown) { return QLatin1Char(' ') + shown; },
        [](const QString& shown) {
            return shown.left(4) +
                   (shown.endsWith(QLatin1Char('0')) ? QStringLiteral("1") : QStringLiteral("0"));
        },
        [](const QString& shown) { return shown + QLatin1Char(' '); },
    };
    for (const auto& wrongCode : wrongCodes) {
        Open();
        const QString wrong = wrongCode(ShownCode());
        SCOPED_TRACE(wrong.toStdString());
        Type(QStringLiteral("10001234"), QStringLiteral("888888"), QString());
        m_code->setText(wrong);
        m_boxes.Clear();
        ClickLogin();
        EXPECT_EQ(m_boxes.Texts(), std::vector<QString>{QStringLiteral("验证码错误！")});
        EXPECT_FALSE(m_dialog->LoginRequest().has_input_content()) << "nothing sent";
    }
}

TEST_F(LoginDlgTest, WrongCodeShowsANewCodeAndKeepsTheTypedText)
{
    Open();
    const QString first = ShownCode();
    EXPECT_EQ(m_codeLabel->text(), first);
    Type(QStringLiteral("10001234"), QStringLiteral("888888"), QStringLiteral("Z9Z99"));
    Clock::SetNowForTesting(kMoment + 1); // a new second gives a new code
    ClickLogin();

    EXPECT_EQ(m_boxes.Texts(), std::vector<QString>{QStringLiteral("验证码错误！")});
    EXPECT_NE(ShownCode(), first);
    EXPECT_EQ(m_codeLabel->text(), ShownCode());
    EXPECT_EQ(m_code->text(), QStringLiteral("Z9Z99"));
    EXPECT_EQ(m_dialog->focusWidget(), m_code);
}

TEST_F(LoginDlgTest, ClickOnTheCodeShowsANewOneSameWithinOneSecond)
{
    Open();
    const QString first = ShownCode();
    QTest::mouseClick(m_codeLabel, Qt::LeftButton);
    EXPECT_EQ(ShownCode(), first) << "same second, same code";
    Clock::SetNowForTesting(kMoment + 7);
    QTest::mouseClick(m_codeLabel, Qt::LeftButton);
    EXPECT_NE(ShownCode(), first);
    EXPECT_EQ(m_codeLabel->text(), ShownCode());
}

TEST(CheckCodeTest, CodesAreLetterDigitLetterDigitDigitWithoutIOrO)
{
    std::map<char, int> first;
    std::map<char, int> third;
    constexpr int kSeeds = 26000;
    for (int seed = 0; seed < kSeeds; ++seed) {
        Clock::SetNowForTesting(kMoment + seed);
        const std::string code = CLoginDlg::GenerateCheckCode();
        ASSERT_EQ(code.size(), 5u);
        ASSERT_TRUE(code[0] >= 'A' && code[0] <= 'Z') << code;
        ASSERT_TRUE(code[1] >= '0' && code[1] <= '9') << code;
        ASSERT_TRUE(code[2] >= 'A' && code[2] <= 'Z') << code;
        ASSERT_TRUE(code[3] >= '0' && code[3] <= '9') << code;
        ASSERT_TRUE(code[4] >= '0' && code[4] <= '9') << code;
        ++first[code[0]];
        ++third[code[2]];
    }
    Clock::SetNowForTesting(std::nullopt);
    for (const char never : {'I', 'O'}) {
        EXPECT_EQ(first.count(never), 0u) << never;
        EXPECT_EQ(third.count(never), 0u) << never;
    }
    // I and O are replaced by Q and S in the first place and by M and X in the third, so
    // those letters come about twice as often as the others (1000 each on average).
    for (const char doubled : {'Q', 'S'})
        EXPECT_GT(first[doubled], 1600) << doubled;
    for (const char doubled : {'M', 'X'})
        EXPECT_GT(third[doubled], 1600) << doubled;
    for (const char plain : {'A', 'M', 'X', 'Z'})
        EXPECT_LT(first[plain], 1400) << plain;
    for (const char plain : {'A', 'Q', 'S', 'Z'})
        EXPECT_LT(third[plain], 1400) << plain;
}

TEST(CheckCodeTest, SameSecondGivesTheSameCode)
{
    Clock::SetNowForTesting(kMoment);
    const std::string a = CLoginDlg::GenerateCheckCode();
    const std::string b = CLoginDlg::GenerateCheckCode();
    Clock::SetNowForTesting(std::nullopt);
    EXPECT_EQ(a, b);
}

// The remember flag and account at start, from the configuration file.
TEST_F(LoginDlgTest, RememberedAccountIsRestoredOnlyWhenTheFlagIsSet)
{
    const struct
    {
        const char* ini;
        bool checked;
        const char* user;
        const char* focus;
    } cases[] = {
        {"", true, "", "userNameEdit"}, // no file: the flag defaults to true
        {"[ClientID]\nCLIENTID = 10001234\n", true, "10001234", "passwordEdit"},
        {"[ClientID]\nISRECORD = true\nCLIENTID = 10001234\n", true, "10001234", "passwordEdit"},
        {"[ClientID]\nISRECORD = false\nCLIENTID = 10001234\n", false, "", "userNameEdit"},
        {"[ClientID]\nISRECORD = true\nCLIENTID = \n", true, "", "userNameEdit"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ini);
        Open(c.ini);
        EXPECT_EQ(m_remember->isChecked(), c.checked);
        EXPECT_EQ(m_user->text(), QString::fromUtf8(c.user));
        EXPECT_TRUE(m_password->text().isEmpty());
        ASSERT_NE(m_dialog->focusWidget(), nullptr);
        EXPECT_EQ(m_dialog->focusWidget()->objectName(), QString::fromLatin1(c.focus));
    }
}

TEST_F(LoginDlgTest, RememberedChineseAccountIsShownDecoded)
{
    Open("[ClientID]\nISRECORD = true\nCLIENTID = " + Utf8ToAnsi("张三") + "\n");
    EXPECT_EQ(m_user->text(), QStringLiteral("张三"));
}

TEST_F(LoginDlgTest, RememberBoxWritesTheFlagAtOnce)
{
    Open("[ClientID]\nISRECORD = true\nCLIENTID = 10001234\n");
    QTest::mouseClick(m_remember, Qt::LeftButton, {}, QPoint(6, m_remember->height() / 2));
    ASSERT_FALSE(m_remember->isChecked());
    EXPECT_FALSE(m_config->Reread().GetIsRecord());
    EXPECT_EQ(m_config->Reread().GetClientID(), "10001234") << "the account waits for a login";
    QTest::mouseClick(m_remember, Qt::LeftButton, {}, QPoint(6, m_remember->height() / 2));
    EXPECT_TRUE(m_config->Reread().GetIsRecord());
}

// A configuration file that is there but cannot be read is said once, where the user looks
// first; the run goes on with the defaults.
TEST_F(LoginDlgTest, AConfigurationFileThatCannotBeReadIsSaidBelowTheButton)
{
    Open("[TradeSrv]\nPORT = 9001\n; " + std::string(2u << 20, 'x') + "\n");
    EXPECT_EQ(
        m_dialog->ReasonText(),
        QStringLiteral("配置文件无法读取（文件过大），本次使用默认设置，设置不会保存到该文件"));
    EXPECT_EQ(g_ClientConfig.GetTradeSrvPort(), "8000");
    Open("[TradeSrv]\nPORT = 9001\n");
    EXPECT_TRUE(m_dialog->ReasonText().isEmpty());
}

TEST_F(LoginDlgTest, EscapeLeavesTheDialogOpen)
{
    Open();
    QTest::keyClick(m_user, Qt::Key_Escape);
    QTest::keyClick(m_dialog.get(), Qt::Key_Escape);
    EXPECT_TRUE(m_dialog->isVisible());
    m_mainWindow.Deliver();
    EXPECT_TRUE(m_mainWindow.Messages().empty());
    EXPECT_TRUE(m_boxes.Requests().empty());
}

TEST_F(LoginDlgTest, CloseBoxPostsTheCancelMessageAndDoesNothingElse)
{
    Open();
    EXPECT_FALSE(m_dialog->close()) << "the close request is declined";
    EXPECT_TRUE(m_dialog->isVisible());
    m_mainWindow.Deliver();
    ASSERT_EQ(m_mainWindow.Messages().size(), 1u);
    EXPECT_EQ(m_mainWindow.Messages()[0].message, WM_LOGIN_CANCEL);
    EXPECT_EQ(m_mainWindow.Messages()[0].wParam, 0u);
    EXPECT_EQ(m_mainWindow.Messages()[0].lParam, nullptr);
}

/// Logins against the in-process demo trade server.
class LoginAgainstDemoServerTest : public LoginDlgTest
{
protected:
    void StartServer(const FaultOptions& fault = {})
    {
        DemoServerOptions options;
        options.fault = fault;
        options.requestObserver = [this](int32_t funId, const std::string& payload) {
            if (funId != kFunLogin)
                return;
            const std::lock_guard lock(m_mutex);
            m_loginPayload = payload;
        };
        m_server = TestSupport::StartDemoServer(std::move(options));
        ASSERT_NE(m_server, nullptr);
        ServeFrom(m_server->Port());
    }

    void TearDown() override
    {
        m_server.reset();
        LoginDlgTest::TearDown();
    }

    /// The last login request as the server received it.
    quorvanta::MsgLogin_req ReceivedLogin()
    {
        const std::lock_guard lock(m_mutex);
        quorvanta::MsgLogin_req request;
        request.ParsePartialFromString(m_loginPayload);
        return request;
    }

    std::unique_ptr<DemoServer> m_server;
    std::mutex m_mutex;
    std::string m_loginPayload;
};

TEST_F(LoginAgainstDemoServerTest, GoodLoginPostsTheReplyStoresThePasswordAndHides)
{
    for (const bool remember : {true, false}) {
        SCOPED_TRACE(remember);
        Open("[ClientID]\nISRECORD = true\nCLIENTID = 20005678\n");
        StartServer();
        ASSERT_TRUE(m_remember->isChecked());
        if (!remember)
            QTest::mouseClick(m_remember, Qt::LeftButton, {}, QPoint(6, m_remember->height() / 2));
        ASSERT_EQ(m_remember->isChecked(), remember);
        m_user->clear();
        Type(QString::fromLatin1(DemoAccounts::kMainAccount),
             QString::fromLatin1(DemoAccounts::kMainPassword), QString());
        TypeText(m_code, ShownCode());
        QTest::keyClick(m_code, Qt::Key_Return); // Enter presses the login button

        EXPECT_TRUE(m_boxes.Requests().empty());
        EXPECT_FALSE(m_dialog->isVisible());
        EXPECT_TRUE(g_TradeData.m_login.password == DemoAccounts::kMainPassword)
            << "the typed password is handed to the trading context";

        // The request as the terminal filled it, as it arrived.
        const quorvanta::MsgLogin_req request = ReceivedLogin();
        EXPECT_EQ(request.op_branch_no(), 9999u);
        EXPECT_EQ(request.op_entrust_way(), "5");
        EXPECT_EQ(request.input_content(), DemoAccounts::kMainAccount);
        EXPECT_EQ(request.content_type(), "0");
        EXPECT_EQ(request.account_content(), DemoAccounts::kMainAccount);
        EXPECT_TRUE(request.password() == DemoAccounts::kMainPassword);
        // Once sent, the dialog keeps no copy of the password: not in its request, not in
        // its box (the trading context holds the one copy).
        EXPECT_TRUE(m_dialog->LoginRequest().password().empty());
        EXPECT_TRUE(m_password->text().isEmpty());

        // WM_LOGIN_SUCCESS carries the dialog's own reply, which stays valid.
        m_mainWindow.Deliver();
        ASSERT_FALSE(m_mainWindow.Messages().empty());
        const MessageCatcher::Caught& caught = m_mainWindow.Messages().back();
        EXPECT_EQ(caught.message, WM_LOGIN_SUCCESS);
        EXPECT_EQ(caught.wParam, 0u);
        EXPECT_EQ(caught.lParam, &m_dialog->LoginReply());
        const auto* const reply = static_cast<const quorvanta::MsgLogin_res*>(caught.lParam);
        EXPECT_FALSE(reply->fund_account().empty());
        EXPECT_FALSE(reply->client_name().empty());

        const CClientConfig written = m_config->Reread();
        EXPECT_EQ(written.GetIsRecord(), remember);
        EXPECT_EQ(written.GetClientID(), remember ? DemoAccounts::kMainAccount : "");
        m_mainWindow.Clear();
    }
}

// A refusal shows the prefix and the server's own Chinese text, byte for byte, in a
// box owned by the dialog; a new code is shown and the configuration is not touched.
TEST_F(LoginAgainstDemoServerTest, RefusedLoginShowsTheServersReason)
{
    Open("[ClientID]\nISRECORD = true\nCLIENTID = 20005678\n");
    StartServer();
    m_user->clear();
    Type(QString::fromLatin1(DemoAccounts::kMainAccount), QStringLiteral("wrong-password"),
         ShownCode());
    Clock::SetNowForTesting(kMoment + 3);
    const QString codeBefore = ShownCode();
    ClickLogin();

    // What the server says to the same login, asked directly.
    quorvanta::MsgLogin_res directReply;
    CClientUtil direct;
    ASSERT_FALSE(direct.ReqLogin(ReceivedLogin(), directReply) && direct.GetErrorCode() == 0);
    const std::string reason = direct.GetErrorMsg();
    ASSERT_FALSE(reason.empty());
    ASSERT_TRUE(std::any_of(reason.begin(), reason.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x80;
    })) << "a Chinese text";

    ASSERT_EQ(m_boxes.Requests().size(), 1u);
    const MessageBoxes::Request& box = m_boxes.Requests()[0];
    EXPECT_EQ(box.kind, MessageBoxes::Kind::Owned);
    EXPECT_EQ(box.owner, m_dialog.get());
    EXPECT_TRUE(box.caption.isEmpty());
    EXPECT_EQ(Utf8ToAnsi(box.text.toStdString()), Utf8ToAnsi("登录失败,错误原因:") + reason);
    EXPECT_NE(ShownCode(), codeBefore);
    EXPECT_TRUE(m_dialog->isVisible());
    EXPECT_EQ(m_user->text(), QString::fromLatin1(DemoAccounts::kMainAccount));
    EXPECT_FALSE(m_password->text().isEmpty()) << "the boxes keep their texts";
    EXPECT_TRUE(g_TradeData.m_login.password.empty());
    m_mainWindow.Deliver();
    EXPECT_TRUE(m_mainWindow.Messages().empty());
    EXPECT_EQ(m_config->Reread().GetClientID(), "20005678");
}

TEST_F(LoginAgainstDemoServerTest, ServersChineseTextReachesTheBoxIntact)
{
    FaultOptions fault;
    fault.mode = FaultMode::Refuse;
    fault.refuseCode = 2001;
    fault.refuseText = "账户已冻结，请联系营业部";
    Open();
    StartServer(fault);
    Type(QStringLiteral("张三"), QStringLiteral("888888"), ShownCode());
    ClickLogin();
    ASSERT_EQ(m_boxes.Requests().size(), 1u);
    EXPECT_EQ(m_boxes.Requests()[0].text,
              QStringLiteral("登录失败,错误原因:账户已冻结，请联系营业部"));
    EXPECT_EQ(m_dialog->LoginRequest().input_content(), Utf8ToAnsi("张三"))
        << "the user name goes out in GBK";
}

// A login that did not reach the server, or got no usable answer, says why below the
// button in plain words; the box keeps its described text. A refusal says nothing there:
// its box carries the server's reason.
TEST_F(LoginAgainstDemoServerTest, ATransportFailureIsExplainedBelowTheButton)
{
    const struct
    {
        const char* name;
        FaultMode fault;
        bool noServer;
        const char* reason;
    } cases[] = {
        {"connection refused", FaultMode::None, true,
         "登录失败：连接被拒绝，服务器没有运行，或地址、端口不对"},
        {"closed without a reply", FaultMode::CloseAtOnce, false,
         "登录失败：服务器没有应答就关闭了连接"},
        {"no reply in time", FaultMode::NeverAnswer, false, "登录失败：等待服务器应答超时"},
        {"unreadable reply", FaultMode::Garbage, false, "登录失败：服务器的应答无法读取"},
        {"refused", FaultMode::Refuse, false, ""},
    };
    Open();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_boxes.Clear();
        FaultOptions fault;
        fault.mode = c.fault;
        fault.refuseText = "密码错误";
        StartServer(fault);
        SetTransportTimeouts({std::chrono::milliseconds(500), std::chrono::milliseconds(300)});
        if (c.noServer) {
            const uint16_t port = m_server->Port();
            m_server.reset();
            ServeFrom(port);
        }
        m_user->clear();
        m_password->clear();
        m_code->clear();
        Type(QString::fromLatin1(DemoAccounts::kMainAccount),
             QString::fromLatin1(DemoAccounts::kMainPassword), ShownCode());
        ClickLogin();
        ASSERT_EQ(m_boxes.Requests().size(), 1u);
        EXPECT_TRUE(m_boxes.Requests()[0].text.startsWith(QStringLiteral("登录失败,错误原因:")));
        EXPECT_EQ(m_dialog->ReasonText(), QString::fromUtf8(c.reason));
        const auto* const label = Child<QLabel>(*m_dialog, "loginReasonLabel");
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->isVisible(), true);
    }
}
} // namespace
