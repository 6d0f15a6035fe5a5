#pragma once

#include <QDialog>
#include <QPointer>
#include <QRect>
#include <QString>

#include <chrono>
#include <cstdint>
#include <memory>

#include "WrappedMessage.pb.h"
#include "ui/DialogManager.h"

class CCurEntrustDlg;
class CEntrustDlg;
class CExchangeActivity;
class CHisEntrustDlg;
class CIdleWatcher;
class CLockDlg;
class CLoginDlg;
class CResponsiveWait;
class QAction;
class QButtonGroup;
class QEventLoop;
class QKeySequence;
class QLabel;
class QPushButton;

/// The terminal's main window and the receiver of every window message. Its modal run
/// (DoModal) is the terminal's whole life: it shows the login dialog while it stays
/// hidden, takes over the login, runs the five queries, switches the three pages with
/// its tab buttons, forwards the ready messages to the pages, locks, and asks before it
/// closes. Enter does nothing; Escape on its own controls ends the run at once.
///
/// Around that: a wait cursor while a request is in flight and a status line left of the
/// tabs (server, last refresh, the reason of a failed request); after [Lock] IDLE_MINUTES
/// without input while logged in it locks itself as 锁定 does; keys Ctrl+1, Ctrl+2,
/// Ctrl+3 (the tabs), F5 (the visible page's 刷 新), Ctrl+L (锁定) and F1 (About).
///
/// Widgets by objectName: lockButton, greetingLabel, statusLabel, entrustTabButton,
/// curEntrustTabButton, hisEntrustTabButton; the pages entrustPage, curEntrustPage,
/// hisEntrustPage; the actions aboutAction, entrustTabAction, curEntrustTabAction,
/// hisEntrustTabAction, refreshAction, lockAction.
class CHalvornDlg : public QDialog
{
    Q_OBJECT

public:
    /// Results of the modal run.
    static constexpr int kResultOk = 1;
    static constexpr int kResultCancel = 2;
    /// Size given at initialisation, before login.
    static constexpr int kInitialWidth = 990;
    static constexpr int kInitialHeight = 400;
    /// Registry ids of the pages.
    static constexpr int32_t kCurEntrustPageId = 0;
    static constexpr int32_t kHisEntrustPageId = 1;
    static constexpr int32_t kEntrustPageId = 2;

    explicit CHalvornDlg(QWidget* parent = nullptr);
    ~CHalvornDlg() override;

    /// Initialises the window and runs it until the run is ended; returns kResultOk or
    /// kResultCancel.
    int DoModal();
    /// Ends the modal run with the result and hides the window.
    void EndDialog(int result);
    /// Whether the modal run has been ended.
    bool IsEnded() const { return m_ended; }

    /// Tab handlers: show the page of the tab.
    void OnTabEntrust();
    void OnTabCurEntrust();
    void OnTabHisEntrust();
    /// Hides the window around a modal lock dialog.
    void OnLock();
    /// Opens the About box.
    void OnAbout();
    /// F5: the visible page's 刷 新, where it has one.
    void OnRefreshVisiblePage();
    /// An idle period passed: locks as 锁定 does while logged in, unless already locked or
    /// a request is on its way; a box waiting for its answer goes out of sight with the
    /// window and comes back after unlocking, the close prompt is answered with Cancel.
    void OnIdle();

    /// The time without input after which the terminal locks itself; 0 when off. Read
    /// from the configuration at login; tests set a short one.
    std::chrono::milliseconds IdleLockInterval() const;
    void SetIdleLockInterval(std::chrono::milliseconds interval);
    /// The full text of the status line (the label shows it elided when it is too long).
    QString StatusText() const;

    /// Message handlers (WM_LOGIN_SUCCESS with the login reply or null, and the rest).
    void OnLoginSuccess(const quorvanta::MsgLogin_res* reply);
    void OnLoginCancel();
    void OnCurEntrustReady();
    void OnHisEntrustReady();
    void OnPositionReady();

    /// What the user should see now: the login dialog while logging in, the lock dialog
    /// while locked, otherwise this window.
    QWidget* WindowToBringForward() const;
    /// Brings that window forward: restored from minimised, raised and activated. What
    /// a second start of the terminal asks for.
    void BringForward();

    /// The pages and dialogs, for the application and tests (null before DoModal).
    CEntrustDlg* EntrustPage() const { return m_entrustDlg.get(); }
    CCurEntrustDlg* CurEntrustPage() const { return m_curEntrustDlg.get(); }
    CHisEntrustDlg* HisEntrustPage() const { return m_hisEntrustDlg.get(); }
    CLoginDlg* LoginDialog() const { return m_loginDlg.get(); }
    /// The lock dialog while the terminal is locked, else null.
    CLockDlg* LockDialog() const;
    CDialogManager& Registry() { return m_dialogManager; }
    /// The wait cursor and the status line's source.
    CExchangeActivity* Activity() const { return m_activity; }
    /// What keeps the windows painting while a request waits.
    CResponsiveWait* Wait() const { return m_wait; }
    /// The rectangle the pages occupy in a window of the given size.
    static QRect PageRect(int width, int height);

signals:
    /// BringForward has brought this window forward.
    void BroughtForward(QWidget* window);
    /// The terminal is about to lock (by 锁定, Ctrl+L or an idle period).
    void Locking();

public slots:
    /// Enter: nothing.
    void accept() override;
    /// Escape: ends the run without asking.
    void reject() override;

protected:
    bool event(QEvent* event) override;
    /// Enter does nothing here; Escape goes on to reject().
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void CreateControls();
    void OnInitDialog();
    void CreatePages();
    static QRect AdjustPageRect(const QRect& rect);
    void ShowPage(QWidget* page);
    void LayoutWindow();
    void CreateShortcuts();
    QAction* AddShortcut(const char* objectName, const QString& text, const QKeySequence& keys);
    void ShowStatus(const QString& text);

    // The registry comes first: it is built first and destroyed last.
    CDialogManager m_dialogManager;
    std::unique_ptr<CLoginDlg> m_loginDlg;
    std::unique_ptr<CEntrustDlg> m_entrustDlg;
    std::unique_ptr<CCurEntrustDlg> m_curEntrustDlg;
    std::unique_ptr<CHisEntrustDlg> m_hisEntrustDlg;
    int32_t m_nextPageId = 0;
    QRect m_savedRect;
    QString m_strGreeting;

    QPushButton* m_btnLock = nullptr;
    QLabel* m_labelGreeting = nullptr;
    QPushButton* m_btnTabEntrust = nullptr;
    QPushButton* m_btnTabCurEntrust = nullptr;
    QPushButton* m_btnTabHisEntrust = nullptr;
    QButtonGroup* m_tabGroup = nullptr;
    QAction* m_actionAbout = nullptr;
    QLabel* m_labelStatus = nullptr;
    QString m_strStatus;
    CExchangeActivity* m_activity = nullptr;
    CResponsiveWait* m_wait = nullptr;
    CIdleWatcher* m_idleWatcher = nullptr;
    QPointer<CLockDlg> m_lockDlg;

    QEventLoop* m_loop = nullptr;
    int m_result = kResultCancel;
    bool m_ended = false;
    bool m_loggedIn = false;
    bool m_loadingAfterLogin = false;
};
