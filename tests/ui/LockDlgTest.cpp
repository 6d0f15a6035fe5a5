#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "UiTestSupport.h"
#include "trade/TradeData.h"
#include "ui/LockDlg.h"
#include "ui/skin/SkinEngine.h"
#include "util/util.h"

namespace
{
const QString kWrongPassword = QStringLiteral("解锁密码不正确！请输入服务密码解锁！");

class LockDlgTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_password = Child<QLineEdit>(m_dialog, "lockPasswordEdit");
        m_unlock = Child<QPushButton>(m_dialog, "unlockButton");
        m_prompt = Child<QLabel>(m_dialog, "lockPromptLabel");
        ASSERT_TRUE(m_password && m_unlock && m_prompt);
    }
    void TearDown() override { g_TradeData.m_login.password.clear(); }

    static void SetLoginPassword(const std::string& gbk) { g_TradeData.m_login.password = gbk; }

    /// Runs the dialog modally; `steps` acts inside the modal loop. A watchdog ends a run
    /// that the steps fail to end, so a fault shows up as a result of -1, not a hang.
    int RunModal(const std::function<void()>& steps)
    {
        QTimer act;
        act.setSingleShot(true);
        QObject::connect(&act, &QTimer::timeout, steps);
        act.start(0);
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [this] { m_dialog.done(-1); });
        watchdog.start(3000);
        return m_dialog.exec();
    }

    MessageRecorder m_boxes;
    CLockDlg m_dialog;
    QLineEdit* m_password = nullptr;
    QPushButton* m_unlock = nullptr;
    QLabel* m_prompt = nullptr;
};

TEST_F(LockDlgTest, ShowsThePromptAMaskedBoxAndTheDefaultUnlockButton)
{
    EXPECT_EQ(m_prompt->text(),
              QStringLiteral("Vellora股权业务自主行权终端已经锁定，请输入密码解锁"));
    EXPECT_EQ(m_password->echoMode(), QLineEdit::Password);
    EXPECT_EQ(m_unlock->text(), QStringLiteral("解锁"));
    EXPECT_TRUE(m_unlock->isDefault());
    EXPECT_TRUE(m_dialog.windowTitle().isEmpty());
    EXPECT_EQ(m_dialog.focusWidget(), m_password);
    EXPECT_FALSE(m_dialog.IsUnlocked());

    const std::pair<QWidget*, const char*> skins[] = {{&m_dialog, "lock_dialog"},
                                                      {m_prompt, "normal_static"},
                                                      {m_password, "lock_passwd_edit"},
                                                      {m_unlock, "btn.unlock"}};
    for (const auto& [window, name] : skins)
        EXPECT_EQ(window->property(kSkinNameProperty).toString(), QString::fromLatin1(name));
}

// The typed text must equal the login password byte for byte.
TEST_F(LockDlgTest, UnlocksOnlyWithExactlyTheLoginPassword)
{
    const struct
    {
        const char* login;
        const char* typed;
        bool unlocks;
    } cases[] = {
        {"888888", "888888", true},
        {"Secret", "secret", false},
        {"888888", "888888 ", false},
        {"888888", " 888888", false},
        {"888888", "", false},
        {"", "", true},
        {"", "x", false},
        {"密码123", "密码123", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case typed length " << std::string(c.typed).size());
        CLockDlg dialog;
        SetLoginPassword(Utf8ToAnsi(c.login));
        auto* const edit = Child<QLineEdit>(dialog, "lockPasswordEdit");
        auto* const button = Child<QPushButton>(dialog, "unlockButton");
        ASSERT_TRUE(edit && button);
        dialog.show();
        TypeText(edit, QString::fromUtf8(c.typed));
        m_boxes.Clear();
        QTest::mouseClick(button, Qt::LeftButton);

        EXPECT_EQ(dialog.IsUnlocked(), c.unlocks);
        EXPECT_EQ(dialog.isVisible(), !c.unlocks);
        if (c.unlocks) {
            EXPECT_EQ(dialog.result(), QDialog::Accepted);
            EXPECT_TRUE(m_boxes.Requests().empty());
        } else {
            EXPECT_EQ(m_boxes.Texts(), std::vector<QString>{kWrongPassword});
            EXPECT_EQ(dialog.focusWidget(), edit);
            // Compared without printing: the text is a password.
            EXPECT_TRUE(edit->text() == QString::fromUtf8(c.typed)) << "the typed text stays";
        }
    }
}

// While locked, Escape, the close box (Alt+F4 asks the same) and reject() change nothing;
// the right password then ends the modal run with Enter.
TEST_F(LockDlgTest, NoWayOutWhileLockedThenEnterUnlocks)
{
    SetLoginPassword("888888");
    bool stillOpen = false;
    const int result = RunModal([&] {
        QTest::keyClick(m_password, Qt::Key_Escape);
        QTest::keyClick(&m_dialog, Qt::Key_Escape);
        m_dialog.close();
        m_dialog.reject();
        m_dialog.accept();
        QTest::keyClick(&m_dialog, Qt::Key_F4, Qt::AltModifier);
        stillOpen = m_dialog.isVisible() && !m_dialog.IsUnlocked();
        TypeText(m_password, QStringLiteral("888888"));
        QTest::keyClick(m_password, Qt::Key_Return);
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_TRUE(m_dialog.IsUnlocked());
    EXPECT_TRUE(m_boxes.Requests().empty()) << "closing attempts show nothing";
}

TEST_F(LockDlgTest, WrongPasswordInTheModalRunKeepsItLocked)
{
    SetLoginPassword("888888");
    bool stillOpenAfterWrong = false;
    const int result = RunModal([&] {
        TypeText(m_password, QStringLiteral("88888"));
        QTest::mouseClick(m_unlock, Qt::LeftButton);
        stillOpenAfterWrong = m_dialog.isVisible();
        m_password->clear();
        TypeText(m_password, QStringLiteral("888888"));
        QTest::mouseClick(m_unlock, Qt::LeftButton);
    });
    EXPECT_TRUE(stillOpenAfterWrong);
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(m_boxes.Texts(), std::vector<QString>{kWrongPassword});
}

// Once unlocked the dialog ends like any other: a fresh dialog starts locked and empty.
TEST_F(LockDlgTest, EachLockStartsLockedWithAnEmptyBox)
{
    SetLoginPassword("888888");
    TypeText(m_password, QStringLiteral("888888"));
    QTest::mouseClick(m_unlock, Qt::LeftButton);
    ASSERT_TRUE(m_dialog.IsUnlocked());

    CLockDlg again;
    EXPECT_FALSE(again.IsUnlocked());
    auto* const edit = Child<QLineEdit>(again, "lockPasswordEdit");
    ASSERT_NE(edit, nullptr);
    EXPECT_TRUE(edit->text().isEmpty());
}
} // namespace
