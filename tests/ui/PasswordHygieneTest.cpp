// The password goes on the wire and nowhere else: not into the configuration, not into any
// file, not onto standard output or standard error, not into the demo server's log, and no
// core dump can carry it away.

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "UiTestSupport.h"
#include "net/ClientUtil.h"
#include "net/FunctionNumbers.h"
#include "server/DemoBook.h"
#include "server/DemoServer.h"
#include "tests/support/ClientTarget.h"
#include "tests/support/DemoServerTarget.h"
#include "trade/TradeData.h"
#include "trade/TradeUi.h"
#include "ui/HalvornDlg.h"
#include "ui/LockDlg.h"
#include "ui/LoginDlg.h"
#include "ui/QtTradeUi.h"
#include "ui/pages/ConfirmDlg.h"
#include "ui/pages/CurEntrustDlg.h"
#include "ui/pages/EntrustDlg.h"
#include "ui/skin/SkinList.h"
#include "util/ProcessHardening.h"

namespace fs = std::filesystem;

namespace
{
/// The main account's password in this test's book: a text found nowhere else, so that
/// any copy of it anywhere is a leak.
constexpr const char* kCanary = "Kanarie7319xq";

constexpr int kWatchdogMs = 20000;
constexpr int kWaitMs = 5000;
/// Files bigger than this are not the terminal's; they are not read.
constexpr std::uintmax_t kMaxScannedBytes = 8 * 1024 * 1024;
constexpr int kMaxScannedFiles = 5000;

/// The canary as bytes and as UTF-16 (what a Qt string would leave behind).
std::vector<std::string> CanaryForms()
{
    std::string wide;
    for (const char c : std::string_view(kCanary)) {
        wide.push_back(c);
        wide.push_back('\0');
    }
    return {kCanary, wide};
}

bool HoldsCanary(std::string_view text)
{
    for (const std::string& form : CanaryForms())
        if (text.find(form) != std::string_view::npos)
            return true;
    return false;
}

std::string ReadWholeFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

/// Files below root, written since `since`, that hold the canary (skipping `except`).
std::vector<std::string> FilesHoldingCanary(const fs::path& root,
                                            fs::file_time_type since = fs::file_time_type::min(),
                                            const fs::path& except = {})
{
    std::vector<std::string> found;
    std::error_code error;
    int scanned = 0;
    for (auto it = fs::recursive_directory_iterator(
             root, fs::directory_options::skip_permission_denied, error);
         !error && it != fs::recursive_directory_iterator() && scanned < kMaxScannedFiles;
         it.increment(error), ++scanned) {
        const fs::path& path = it->path();
        if (!except.empty() && path == except) {
            it.disable_recursion_pending();
            continue;
        }
        std::error_code ignored;
        if (!it->is_regular_file(ignored) || it->file_size(ignored) > kMaxScannedBytes ||
            it->last_write_time(ignored) < since)
            continue;
        if (HoldsCanary(ReadWholeFile(path)))
            found.push_back(path.string());
    }
    return found;
}

/// Sends standard output and standard error into files while it lives; what was written
/// comes back through Output().
class CapturedOutput
{
public:
    CapturedOutput()
    {
        std::fflush(stdout);
        std::fflush(stderr);
        m_path = m_dir.path().toStdString() + "/output";
        const int file = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        EXPECT_GE(file, 0);
        for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
            m_saved.push_back(::dup(fd));
            ::dup2(file, fd);
        }
        ::close(file);
    }
    ~CapturedOutput() { Restore(); }
    CapturedOutput(const CapturedOutput&) = delete;
    CapturedOutput& operator=(const CapturedOutput&) = delete;

    /// Puts the real outputs back; then the captured text can be read.
    void Restore()
    {
        if (m_saved.empty())
            return;
        std::fflush(stdout);
        std::fflush(stderr);
        const int fds[] = {STDOUT_FILENO, STDERR_FILENO};
        for (std::size_t i = 0; i < m_saved.size(); ++i) {
            ::dup2(m_saved[i], fds[i]);
            ::close(m_saved[i]);
        }
        m_saved.clear();
    }
    std::string Output() const { return ReadWholeFile(m_path); }

private:
    QTemporaryDir m_dir;
    std::string m_path;
    std::vector<int> m_saved;
};

/// The demo server with the built-in book, the main account's password replaced by the
/// canary; it logs every request into Log() and notes which requests carried the canary.
class CanaryServer
{
public:
    CanaryServer()
    {
        std::string book(BuiltInDemoBookJson());
        const std::string from =
            std::string("\"password\": \"") + DemoAccounts::kMainPassword + "\"";
        const std::size_t at = book.find(from);
        EXPECT_NE(at, std::string::npos) << "the book names the main account's password";
        if (at == std::string::npos)
            return;
        book.replace(at, from.size(), std::string("\"password\": \"") + kCanary + "\"");
        const std::string bookPath = m_bookDir.path().toStdString() + "/book.json";
        std::ofstream(bookPath, std::ios::binary) << book;

        DemoServerOptions options;
        options.bookPath = bookPath;
        options.logSink = [this](const std::string& line) {
            const std::lock_guard<std::mutex> hold(m_mutex);
            m_log += line;
            m_log += '\n';
        };
        options.requestObserver = [this](int32_t funId, const std::string& payload) {
            if (HoldsCanary(payload)) {
                const std::lock_guard<std::mutex> hold(m_mutex);
                m_carriers.insert(funId);
            }
        };
        m_server = TestSupport::StartDemoServer(std::move(options));
    }

    DemoServer* Server() const { return m_server.get(); }
    std::string Log() const
    {
        const std::lock_guard<std::mutex> hold(m_mutex);
        return m_log;
    }
    /// Function numbers of the requests whose payload held the canary.
    std::set<int32_t> Carriers() const
    {
        const std::lock_guard<std::mutex> hold(m_mutex);
        return m_carriers;
    }

private:
    QTemporaryDir m_bookDir;
    mutable std::mutex m_mutex;
    std::string m_log;
    std::set<int32_t> m_carriers;
    std::unique_ptr<DemoServer> m_server;
};

/// The first row whose cell in `column` reads `text`, or -1.
int FindRow(const CSkinListCtrl& list, int column, const QString& text)
{
    for (int row = 0; row < list.GetItemCount(); ++row)
        if (list.Model().Text(row, column) == text)
            return row;
    return -1;
}

void ClickRow(CSkinListCtrl& list, int row)
{
    const QRect cell = list.visualRect(list.model()->index(row, 1));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
}

std::string BoxTexts(const MessageRecorder& boxes)
{
    std::string texts;
    for (const QString& text : boxes.Texts())
        texts += text.toStdString() + "\n";
    return texts;
}

// ---------------------------------------------------------------------------------------

TEST(CoreDumpTest, AfterTheSwitchTheCoreLimitIsZeroAndTheProcessIsNotDumpable)
{
    // In a child, so that this test program keeps its own settings.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int failures = 0;
        if (!DisableCoreDumps())
            failures |= 1;
        rlimit limit{};
        if (::getrlimit(RLIMIT_CORE, &limit) != 0 || limit.rlim_cur != 0 || limit.rlim_max != 0)
            failures |= 2;
        if (::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) != 0)
            failures |= 4;
        // Nothing later in the process can turn the limit up again (without privileges:
        // root could, and the dumpable flag still holds for root).
        const rlimit raise{RLIM_INFINITY, RLIM_INFINITY};
        if (::geteuid() != 0 && ::setrlimit(RLIMIT_CORE, &raise) == 0)
            failures |= 8;
        ::_exit(failures);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: call failed, 2: core limit not 0, 4: still "
                                         "dumpable, 8: limit could be raised again";
}

/// A full run of the terminal against the demo server with the canary as the password.
class PasswordHygieneTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TestSupport::ResetSessionToken();
        g_TradeData.ClearAll();
        g_TradeData.m_login = login_result{};
        m_started = fs::file_time_type::clock::now() - std::chrono::seconds(2);
        m_server = std::make_unique<CanaryServer>();
        ASSERT_NE(m_server->Server(), nullptr);
        g_ClientConfig.SetTradeSrvIP("127.0.0.1");
        g_ClientConfig.SetTradeSrvPort(std::to_string(m_server->Server()->Port()));
        SetTradeUi(&m_tradeUi);
    }

    void TearDown() override
    {
        m_window.reset();
        SetMainWindow(nullptr);
        SetTradeUi(nullptr);
        g_TradeData.ClearAll();
        g_TradeData.m_login = login_result{};
    }

    /// DoModal with `steps` acting inside its run; a watchdog ends a run left hanging.
    int Run(const std::function<void()>& steps)
    {
        m_window = std::make_unique<CHalvornDlg>();
        SetMainWindow(m_window.get());
        QTimer::singleShot(0, m_window.get(), steps);
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, m_window.get(), [this] {
            for (int i = 0; i < 5; ++i) {
                auto* const modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                if (!modal)
                    break;
                modal->done(QDialog::Rejected);
            }
            m_window->EndDialog(-1);
        });
        watchdog.start(kWatchdogMs);
        return m_window->DoModal();
    }

    /// Logs in through the login dialog; a wrong check code first, then the right one.
    bool LogIn()
    {
        CLoginDlg* const login = m_window->LoginDialog();
        if (!login)
            return false;
        auto* const user = Child<QLineEdit>(*login, "userNameEdit");
        auto* const secret = Child<QLineEdit>(*login, "passwordEdit");
        auto* const code = Child<QLineEdit>(*login, "checkCodeEdit");
        auto* const button = Child<QPushButton>(*login, "loginButton");
        if (!user || !secret || !code || !button)
            return false;
        user->clear();
        TypeText(user, QString::fromLatin1(DemoAccounts::kMainAccount));
        TypeText(secret, QString::fromLatin1(kCanary));
        TypeText(code, QStringLiteral("ZZ"));
        QTest::mouseClick(button, Qt::LeftButton);
        code->clear();
        TypeText(code, QString::fromStdString(login->CheckCode()));
        QTest::mouseClick(button, Qt::LeftButton);
        if (!QTest::qWaitFor([this] { return m_window->isVisible(); }, kWaitMs))
            return false;
        QCoreApplication::sendPostedEvents();
        return true;
    }

    /// Locks, types a wrong password, then the right one.
    bool LockAndUnlock()
    {
        bool unlocked = false;
        QTimer::singleShot(0, m_window.get(), [&] {
            CLockDlg* const lock = m_window->LockDialog();
            ASSERT_NE(lock, nullptr);
            auto* const edit = Child<QLineEdit>(*lock, "lockPasswordEdit");
            auto* const unlock = Child<QPushButton>(*lock, "unlockButton");
            ASSERT_TRUE(edit && unlock);
            TypeText(edit, QStringLiteral("not-the-password"));
            QTest::mouseClick(unlock, Qt::LeftButton);
            edit->clear();
            TypeText(edit, QString::fromLatin1(kCanary));
            QTest::mouseClick(unlock, Qt::LeftButton);
            unlocked = lock->IsUnlocked();
        });
        QTest::mouseClick(Child<QPushButton>(*m_window, "lockButton"), Qt::LeftButton);
        return unlocked;
    }

    MessageRecorder m_boxes;
    ScopedTempConfig m_config;
    CQtTradeUi m_tradeUi;
    fs::file_time_type m_started;
    std::unique_ptr<CanaryServer> m_server;
    std::unique_ptr<CHalvornDlg> m_window;
};

TEST_F(PasswordHygieneTest, LoginOrderCancelAndLockLeaveThePasswordOnlyOnTheWire)
{
    const QString code = QStringLiteral("1000012");
    bool reachedTheEnd = false;
    CapturedOutput output;
    const int result = Run([&] {
        ASSERT_TRUE(LogIn());

        // An exercise order, confirmed.
        CEntrustDlg& entrust = *m_window->EntrustPage();
        auto* const positions = Child<CSkinListCtrl>(entrust, "positionList");
        ASSERT_NE(positions, nullptr);
        const int position = FindRow(*positions, 1, code);
        ASSERT_GE(position, 0);
        ClickRow(*positions, position);
        TypeText(Child<QLineEdit>(entrust, "quantityEdit"), QStringLiteral("100"));
        QTest::mouseClick(Child<QPushButton>(entrust, "entrustButton"), Qt::LeftButton);
        CConfirmDlg* const confirm = entrust.ConfirmDialog();
        ASSERT_TRUE(confirm && confirm->isVisible());
        QTest::mouseClick(Child<QPushButton>(*confirm, "confirmButton"), Qt::LeftButton);
        const QString orderNo = QString::fromStdString(confirm->EntrustReply().entrust_no());
        ASSERT_FALSE(orderNo.isEmpty());
        QCoreApplication::sendPostedEvents();

        // The order cancelled from today's orders.
        QTest::mouseClick(Child<QPushButton>(*m_window, "curEntrustTabButton"), Qt::LeftButton);
        auto* const orders = Child<CSkinListCtrl>(*m_window->CurEntrustPage(), "entrustList");
        ASSERT_NE(orders, nullptr);
        const int orderRow = FindRow(*orders, 2, orderNo);
        ASSERT_GE(orderRow, 0);
        ClickRow(*orders, orderRow);
        QTest::mouseClick(Child<QPushButton>(*m_window->CurEntrustPage(), "cancelEntrustButton"),
                          Qt::LeftButton);
        QCoreApplication::sendPostedEvents();

        EXPECT_TRUE(LockAndUnlock());

        // What served its purpose keeps no copy: the login dialog's request and box, the
        // order's and the cancel's requests. The trading context holds the one copy.
        EXPECT_TRUE(m_window->LoginDialog()->LoginRequest().password().empty());
        EXPECT_TRUE(Child<QLineEdit>(*m_window->LoginDialog(), "passwordEdit")->text().isEmpty());
        EXPECT_TRUE(confirm->EntrustRequest().password().empty());
        EXPECT_TRUE(m_window->CurEntrustPage()->CancelRequest().password().empty());
        EXPECT_EQ(g_TradeData.m_login.password, kCanary);
        reachedTheEnd = true;
        m_window->close();
    });
    output.Restore();

    EXPECT_TRUE(reachedTheEnd);
    EXPECT_EQ(result, CHalvornDlg::kResultOk);
    // The run went as meant: the orders went through and the wrong unlock was refused.
    const std::string boxes = BoxTexts(m_boxes);
    EXPECT_NE(boxes.find("委托成功"), std::string::npos) << boxes;
    EXPECT_NE(boxes.find("撤单委托成功"), std::string::npos) << boxes;
    EXPECT_NE(boxes.find("解锁密码不正确"), std::string::npos) << boxes;
    EXPECT_NE(boxes.find("验证码错误"), std::string::npos) << boxes;

    // The wire: the login, the order, the cancel and the queries carried the password.
    const std::set<int32_t> carriers = m_server->Carriers();
    for (const int32_t funId : {kFunLogin, kFunEntrust, kFunCanEntrust, kFunQryEntrust})
        EXPECT_EQ(carriers.count(funId), 1u) << "function " << funId;

    // Nowhere else.
    EXPECT_FALSE(HoldsCanary(boxes)) << "a message box shows the password";
    const std::string captured = output.Output();
    EXPECT_FALSE(HoldsCanary(captured)) << "standard output or error holds the password";
    // Failures inside the run were reported into the capture; show them (the password
    // never: the run's output is shown only when it does not hold it).
    if (HasFailure() && !HoldsCanary(captured))
        std::fprintf(stderr, "output of the run:\n%s\n", captured.c_str());
    EXPECT_FALSE(m_server->Log().empty()) << "the server logged the run";
    EXPECT_FALSE(HoldsCanary(m_server->Log())) << "the server's log holds the password";
    EXPECT_EQ(FilesHoldingCanary(m_config.Path()), std::vector<std::string>{});
    EXPECT_EQ(FilesHoldingCanary(fs::current_path(), m_started), std::vector<std::string>{});
    const CClientConfig written = m_config.Reread();
    EXPECT_EQ(written.GetClientID(), DemoAccounts::kMainAccount) << "the account is remembered";
}

/// A login that does not succeed, whatever the reason, leaves the remembered account and
/// the remember flag as they were, on disk byte for byte.
TEST(RefusedLoginTest, LeavesTheRememberedAccountAndFlagAsTheyWere)
{
    const struct
    {
        const char* name;
        FaultMode fault;
        bool serverUp;
    } refusals[] = {
        {"WrongPassword", FaultMode::None, true},
        {"Refused", FaultMode::Refuse, true},
        {"NoToken", FaultMode::NoToken, true},
        {"NoServer", FaultMode::None, false},
    };
    const char* const files[] = {
        "[ClientID]\nISRECORD = true\nCLIENTID = 20005678\n",
        "[TradeSrv]\nIP = 127.0.0.1\n\n[ClientID]\n; who logged in last\nISRECORD = false\n"
        "CLIENTID = 20005678\n",
    };
    MessageRecorder boxes;
    MessageCatcher mainWindow;
    SetTransportTimeouts({std::chrono::milliseconds(500), std::chrono::milliseconds(3000)});
    for (const auto& refusal : refusals) {
        for (const char* const file : files) {
            SCOPED_TRACE(testing::Message() << refusal.name << " / " << file);
            TestSupport::ResetSessionToken();
            g_TradeData.m_login.password.clear();
            const ScopedTempConfig config(file);
            FaultOptions fault;
            fault.mode = refusal.fault;
            DemoServerOptions options;
            options.fault = fault;
            std::unique_ptr<DemoServer> server = TestSupport::StartDemoServer(std::move(options));
            ASSERT_NE(server, nullptr);
            const uint16_t port = server->Port();
            if (!refusal.serverUp)
                server.reset();
            const std::string iniPath = config.Path() + "/config/ClientConfig.ini";
            // The address is set before the bytes are taken: the login is what must not
            // write anything.
            g_ClientConfig.SetTradeSrvPort(std::to_string(port));
            const std::string before = ReadWholeFile(iniPath);

            CLoginDlg dialog;
            dialog.show();
            auto* const user = Child<QLineEdit>(dialog, "userNameEdit");
            auto* const secret = Child<QLineEdit>(dialog, "passwordEdit");
            auto* const code = Child<QLineEdit>(dialog, "checkCodeEdit");
            ASSERT_TRUE(user && secret && code);
            user->clear();
            TypeText(user, QString::fromLatin1(DemoAccounts::kMainAccount));
            TypeText(secret, QString::fromLatin1(kCanary));
            TypeText(code, QString::fromStdString(dialog.CheckCode()));
            QTest::mouseClick(Child<QPushButton>(dialog, "loginButton"), Qt::LeftButton);

            ASSERT_FALSE(boxes.Texts().empty());
            EXPECT_TRUE(boxes.Texts().back().startsWith(QStringLiteral("登录失败,错误原因:")));
            EXPECT_FALSE(HoldsCanary(BoxTexts(boxes)));
            EXPECT_TRUE(dialog.isVisible());
            EXPECT_TRUE(g_TradeData.m_login.password.empty());
            EXPECT_EQ(ReadWholeFile(iniPath), before);
            const CClientConfig reread = config.Reread();
            EXPECT_EQ(reread.GetClientID(), "20005678");
            EXPECT_EQ(reread.GetIsRecord(),
                      std::string_view(file).find("false") == std::string_view::npos);
            EXPECT_EQ(FilesHoldingCanary(config.Path()), std::vector<std::string>{});
        }
    }
    SetTransportTimeouts(TransportTimeouts{});
}
} // namespace
