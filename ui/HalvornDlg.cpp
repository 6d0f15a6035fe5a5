#include "ui/HalvornDlg.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>

#include <algorithm>
#include <vector>

#include "config/ClientConfig.h"
#include "trade/TradeData.h"
#include "ui/AboutDlg.h"
#include "ui/Accessibility.h"
#include "ui/AppIcon.h"
#include "ui/ExchangeActivity.h"
#include "ui/GbkText.h"
#include "ui/IdleWatcher.h"
#include "ui/LockDlg.h"
#include "ui/LoginDlg.h"
#include "ui/MessageBoxes.h"
#include "ui/ResponsiveWait.h"
#include "ui/WindowEvents.h"
#include "ui/WindowPos.h"
#include "ui/pages/CurEntrustDlg.h"
#include "ui/pages/EntrustDlg.h"
#include "ui/pages/HisEntrustDlg.h"
#include "ui/pages/PageLayout.h"
#include "ui/skin/SkinEngine.h"

namespace
{
const char* const kTitle = "Vellora股票期权自主行权终端";
const char* const kCloseCaption = "Vellora股权业务自主行权终端";
// It begins with a space, as the terminal has always shown it.
const char* const kCloseQuestion = " 行权终端退出！";

// The band above the pages: the brand on a dark strip, the tabs below it.
constexpr int kBrandBandHeight = 50;
constexpr int kPageTop = 86;
// The status line sits left of the tabs, on their row.
constexpr int kStatusLeft = 7;
constexpr int kStatusGap = 6;
constexpr int kTabsLeftFromRight = 360;

using PageLayout::FromEdges;
} // namespace

CHalvornDlg::CHalvornDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QString::fromUtf8(kTitle));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    CreateControls();
}

CHalvornDlg::~CHalvornDlg()
{
    if (GetMainWindow() == this)
        SetMainWindow(nullptr);
}

void CHalvornDlg::CreateControls()
{
    m_btnTabEntrust = new QPushButton(QStringLiteral("委托行权"), this);
    m_btnTabEntrust->setObjectName(QStringLiteral("entrustTabButton"));
    m_btnTabCurEntrust = new QPushButton(QStringLiteral("当日委托"), this);
    m_btnTabCurEntrust->setObjectName(QStringLiteral("curEntrustTabButton"));
    m_btnTabHisEntrust = new QPushButton(QStringLiteral("历史委托"), this);
    m_btnTabHisEntrust->setObjectName(QStringLiteral("hisEntrustTabButton"));
    m_tabGroup = new QButtonGroup(this);
    for (QPushButton* const tab : {m_btnTabEntrust, m_btnTabCurEntrust, m_btnTabHisEntrust}) {
        tab->setCheckable(true);
        tab->setAutoDefault(false);
        tab->setAccessibleName(tab->text());
        m_tabGroup->addButton(tab);
    }
    m_tabGroup->setExclusive(true);

    m_btnLock = new QPushButton(QStringLiteral("锁定"), this);
    m_btnLock->setObjectName(QStringLiteral("lockButton"));
    m_btnLock->setAutoDefault(false);
    m_btnLock->setAccessibleName(m_btnLock->text());

    m_labelGreeting = new QLabel(QStringLiteral("你好,"), this);
    m_labelGreeting->setObjectName(QStringLiteral("greetingLabel"));
    m_labelGreeting->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    m_labelStatus = new QLabel(this);
    m_labelStatus->setObjectName(QStringLiteral("statusLabel"));
    m_labelStatus->setAccessibleName(QStringLiteral("连接状态"));
    m_labelStatus->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_labelStatus->setTextFormat(Qt::PlainText);

    m_actionAbout =
        AddShortcut("aboutAction", QStringLiteral("关于 Halvorn(&A)..."), QKeySequence(Qt::Key_F1));

    // The tabs first, then the lock: the keyboard walks the header as it reads.
    setTabOrder(m_btnTabEntrust, m_btnTabCurEntrust);
    setTabOrder(m_btnTabCurEntrust, m_btnTabHisEntrust);
    setTabOrder(m_btnTabHisEntrust, m_btnLock);

    // A tab shows its page whenever it becomes the checked one, whatever checked it: a
    // click, Space, its shortcut or the accessibility interface's Toggle. The checked tab
    // and the visible page cannot disagree.
    const struct
    {
        QPushButton* tab;
        void (CHalvornDlg::*show)();
    } tabs[] = {{m_btnTabEntrust, &CHalvornDlg::OnTabEntrust},
                {m_btnTabCurEntrust, &CHalvornDlg::OnTabCurEntrust},
                {m_btnTabHisEntrust, &CHalvornDlg::OnTabHisEntrust}};
    for (const auto& entry : tabs) {
        connect(entry.tab, &QAbstractButton::toggled, this, [this, show = entry.show](bool on) {
            if (on)
                (this->*show)();
        });
    }
    connect(m_btnLock, &QPushButton::clicked, this, &CHalvornDlg::OnLock);
    connect(m_actionAbout, &QAction::triggered, this, &CHalvornDlg::OnAbout);
    CreateShortcuts();

    m_activity = new CExchangeActivity(this);
    connect(m_activity, &CExchangeActivity::StatusChanged, this, &CHalvornDlg::ShowStatus);
    ShowStatus(m_activity->StatusText());
    // While a request waits the windows keep painting, and the status line (or, before
    // login, the login dialog) says what is waited for.
    m_wait = new CResponsiveWait(this);
    connect(m_wait, &CResponsiveWait::StillWaiting, m_activity, &CExchangeActivity::ShowWaiting);
    connect(m_activity, &CExchangeActivity::WaitingChanged, this, [this](const QString& text) {
        if (m_loggedIn || !m_loginDlg)
            return;
        m_loginDlg->ShowWaiting(text);
        // The queries after login run while no window shows: a slow one brings the login
        // dialog back to say what is waited for, until the main window comes up.
        if (m_loadingAfterLogin && !text.isEmpty() && !m_loginDlg->isVisible())
            m_loginDlg->show();
    });

    m_idleWatcher = new CIdleWatcher(this);
    connect(m_idleWatcher, &CIdleWatcher::Idle, this, &CHalvornDlg::OnIdle);
}

QAction* CHalvornDlg::AddShortcut(const char* objectName, const QString& text,
                                  const QKeySequence& keys)
{
    auto* const action = new QAction(text, this);
    action->setObjectName(QString::fromLatin1(objectName));
    action->setShortcut(keys);
    // Anywhere in this window, pages included; not in the windows over it.
    action->setShortcutContext(Qt::WindowShortcut);
    addAction(action);
    return action;
}

void CHalvornDlg::CreateShortcuts()
{
    const struct
    {
        const char* name;
        QPushButton* tab;
        Qt::Key key;
    } tabs[] = {
        {"entrustTabAction", m_btnTabEntrust, Qt::Key_1},
        {"curEntrustTabAction", m_btnTabCurEntrust, Qt::Key_2},
        {"hisEntrustTabAction", m_btnTabHisEntrust, Qt::Key_3},
    };
    for (const auto& entry : tabs) {
        QAction* const action =
            AddShortcut(entry.name, entry.tab->text(), QKeySequence(Qt::CTRL | entry.key));
        // As if the tab were clicked: it checks itself and shows its page.
        QPushButton* const tab = entry.tab;
        connect(action, &QAction::triggered, tab, &QPushButton::click);
    }
    QAction* const refresh =
        AddShortcut("refreshAction", QStringLiteral("刷新"), QKeySequence(Qt::Key_F5));
    connect(refresh, &QAction::triggered, this, &CHalvornDlg::OnRefreshVisiblePage);
    QAction* const lock =
        AddShortcut("lockAction", QStringLiteral("锁定"), QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(lock, &QAction::triggered, this, [this] {
        if (m_loggedIn && !m_ended && !m_lockDlg)
            OnLock();
    });
}

int CHalvornDlg::DoModal()
{
    m_ended = false;
    m_result = kResultCancel;
    OnInitDialog();
    if (!m_ended) {
        QEventLoop loop;
        m_loop = &loop;
        loop.exec(QEventLoop::DialogExec);
        m_loop = nullptr;
    }
    return m_result;
}

void CHalvornDlg::EndDialog(int result)
{
    m_result = result;
    m_ended = true;
    m_idleWatcher->Stop();
    hide();
    if (m_loop)
        m_loop->exit(result);
}

void CHalvornDlg::OnInitDialog()
{
    setWindowIcon(HalvornIcon());

    dsSkinWindow(this, SkinKind::kDialog, "main_dialog", 0);
    dsSkinWindow(m_btnLock, SkinKind::kPushButton, "btn.locking", 0);
    dsSkinWindow(m_labelGreeting, SkinKind::kStatic, "hall_static", 0);
    for (QPushButton* const tab : {m_btnTabEntrust, m_btnTabCurEntrust, m_btnTabHisEntrust})
        dsSkinWindow(tab, SkinKind::kTabButton, "TabButton", 0);

    m_btnTabEntrust->setChecked(true);
    resize(kInitialWidth, kInitialHeight);
    CreatePages();
    // No button of this window or its pages ever becomes the default one: a button that
    // had the focus once would otherwise take every later Enter, wherever it is pressed.
    for (QPushButton* const button : findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    Accessibility::NameControls(*this);

    m_loginDlg = std::make_unique<CLoginDlg>();
    Accessibility::NameControls(*m_loginDlg);
    m_loginDlg->show();
    CenterWindowPos(m_loginDlg.get(), CenterMode::kScreen);

    // Hidden, at no size, until the login succeeds.
    m_savedRect = geometry();
    setGeometry(0, 0, 0, 0);
    update();
    hide();
}

QRect CHalvornDlg::AdjustPageRect(const QRect& rect)
{
    return FromEdges(rect.left() + 7, rect.top() + kPageTop, rect.left() + rect.width() - 7,
                     rect.top() + rect.height() - 4);
}

QRect CHalvornDlg::PageRect(int width, int height)
{
    return AdjustPageRect(QRect(0, 0, width, height));
}

void CHalvornDlg::CreatePages()
{
    const QRect pageRect = AdjustPageRect(QRect(QPoint(0, 0), size()));

    m_curEntrustDlg = std::make_unique<CCurEntrustDlg>(this);
    m_hisEntrustDlg = std::make_unique<CHisEntrustDlg>(this);
    m_entrustDlg = std::make_unique<CEntrustDlg>(this);

    struct PageAndTab
    {
        QWidget* page;
        QPushButton* tab;
    };
    const PageAndTab pages[] = {{m_curEntrustDlg.get(), m_btnTabCurEntrust},
                                {m_hisEntrustDlg.get(), m_btnTabHisEntrust},
                                {m_entrustDlg.get(), m_btnTabEntrust}};
    for (const PageAndTab& entry : pages) {
        auto record = std::make_unique<DialogInstance>(m_nextPageId++, entry.page, entry.tab, 1);
        const int32_t id = record->GetId();
        m_dialogManager.AddDialog(std::move(record));
        entry.page->setGeometry(pageRect);
        entry.page->update();
        m_dialogManager.ShowOnly(id);
        entry.page->show();
    }
    // The exercise page was shown last; ShowOnly has unchecked the other tabs.
    m_btnTabEntrust->setChecked(true);
}

void CHalvornDlg::ShowPage(QWidget* page)
{
    DialogInstance* record = nullptr;
    if (!m_dialogManager.FindByDialog(page, record) || !record)
        return;
    m_dialogManager.ShowOnly(record->GetId());
    page->show();
}

void CHalvornDlg::OnTabEntrust()
{
    ShowPage(m_entrustDlg.get());
}

void CHalvornDlg::OnTabCurEntrust()
{
    ShowPage(m_curEntrustDlg.get());
}

void CHalvornDlg::OnTabHisEntrust()
{
    ShowPage(m_hisEntrustDlg.get());
}

void CHalvornDlg::OnLoginSuccess(const quorvanta::MsgLogin_res* reply)
{
    if (reply) {
        // A copy first: the reply belongs to the login dialog.
        const quorvanta::MsgLogin_res login = *reply;
        g_TradeData.StoreLoginReply(login);
    }

    m_loadingAfterLogin = true;
    g_TradeData.QueryStockAcc();
    g_TradeData.QueryOptCode();
    g_TradeData.QueryEntrust();
    g_TradeData.QueryHisEntrust();
    g_TradeData.QueryPosCode();
    m_loadingAfterLogin = false;
    if (m_loginDlg) {
        m_loginDlg->ShowWaiting(QString());
        m_loginDlg->hide();
    }

    if (m_entrustDlg)
        m_entrustDlg->FillAccountCombo();

    m_strGreeting = QStringLiteral("您好，") + FromGbk(g_TradeData.m_login.client_name);
    m_labelGreeting->setText(m_strGreeting);
    m_loggedIn = true;

    setGeometry(m_savedRect);
    update();
    showMaximized();

    m_idleWatcher->SetInterval(std::chrono::minutes(g_ClientConfig.GetIdleLockMinutes()));
    m_idleWatcher->Start();
}

void CHalvornDlg::OnLoginCancel()
{
    EndDialog(kResultOk);
}

void CHalvornDlg::OnCurEntrustReady()
{
    if (m_curEntrustDlg)
        m_curEntrustDlg->FillEntrustList();
}

void CHalvornDlg::OnHisEntrustReady()
{
    if (m_hisEntrustDlg)
        m_hisEntrustDlg->FillHisEntrustList();
}

void CHalvornDlg::OnPositionReady()
{
    if (m_entrustDlg)
        m_entrustDlg->FillPositionList();
}

void CHalvornDlg::OnLock()
{
    emit Locking();
    // A menu that is open goes; so do the close prompt and the other modal windows that
    // hold nothing to come back to (About): answered with Cancel, they leave the main
    // window as it was.
    while (QWidget* const popup = QApplication::activePopupWidget())
        popup->close();
    std::vector<QPointer<QWidget>> ownWindows;
    const std::vector<MessageBoxes::OpenBox> boxes = MessageBoxes::OpenBoxes();
    for (const MessageBoxes::OpenBox& open : boxes) {
        if (open.kind == MessageBoxes::Kind::Skinned)
            open.box->reject();
    }
    for (QWidget* const window : QApplication::topLevelWidgets()) {
        auto* const dialog = qobject_cast<QDialog*>(window);
        const bool isBox = std::any_of(boxes.begin(), boxes.end(),
                                       [&](const auto& open) { return open.box == window; });
        if (dialog && !isBox && dialog != this && dialog->isVisible() && dialog->isModal())
            dialog->reject();
    }
    // Every other window that shows the account goes out of sight with the main window
    // and comes back with it: a message box waiting for its answer, an order waiting in
    // its confirmation.
    for (const MessageBoxes::OpenBox& open : boxes) {
        if (open.kind != MessageBoxes::Kind::Skinned && open.box->isVisible()) {
            ownWindows.emplace_back(open.box);
            open.box->hide();
        }
    }
    for (QWidget* const child : findChildren<QWidget*>()) {
        if (child->isWindow() && child->isVisible()) {
            ownWindows.emplace_back(child);
            child->hide();
        }
    }

    CLockDlg lock(nullptr);
    Accessibility::NameControls(lock);
    m_lockDlg = &lock;
    hide();
    CenterWindowPos(&lock, CenterMode::kScreen);
    lock.exec();
    m_lockDlg = nullptr;
    if (m_ended)
        return;
    show();
    for (const QPointer<QWidget>& window : ownWindows) {
        if (window)
            window->show();
    }
}

void CHalvornDlg::OnAbout()
{
    CAboutDlg about(this);
    Accessibility::NameControls(about);
    about.exec();
}

void CHalvornDlg::OnRefreshVisiblePage()
{
    if (!m_loggedIn || m_ended)
        return;
    if (m_entrustDlg && m_entrustDlg->isVisible())
        m_entrustDlg->OnRefreshPosition();
    else if (m_curEntrustDlg && m_curEntrustDlg->isVisible())
        m_curEntrustDlg->OnRefreshEntrust();
    // The history has no 刷 新: it is what was loaded at login.
}

void CHalvornDlg::OnIdle()
{
    // A request on its way finishes first; the next idle period locks.
    if (!m_loggedIn || m_ended || m_lockDlg || m_wait->IsWaiting())
        return;
    // Whatever is open on top (a box waiting for its answer, the close prompt) goes out of
    // sight with the window: OnLock takes care of it.
    OnLock();
}

std::chrono::milliseconds CHalvornDlg::IdleLockInterval() const
{
    return m_idleWatcher->Interval();
}

void CHalvornDlg::SetIdleLockInterval(std::chrono::milliseconds interval)
{
    m_idleWatcher->SetInterval(interval);
}

QString CHalvornDlg::StatusText() const
{
    return m_strStatus;
}

void CHalvornDlg::ShowStatus(const QString& text)
{
    m_strStatus = text;
    // Elided rather than cut off when the window is narrow; the whole text stays at hand.
    const int width = m_labelStatus->width();
    m_labelStatus->setText(
        width > 0 ? m_labelStatus->fontMetrics().elidedText(text, Qt::ElideRight, width) : text);
    m_labelStatus->setToolTip(text);
    m_labelStatus->setAccessibleDescription(text);
    const bool failed = m_activity && !m_activity->FailureText().isEmpty();
    const QString colour =
        failed ? QStringLiteral("color: #b3261e;") : QStringLiteral("color: #3d5166;");
    if (m_labelStatus->styleSheet() != colour)
        m_labelStatus->setStyleSheet(colour);
}

CLockDlg* CHalvornDlg::LockDialog() const
{
    return m_lockDlg.data();
}

QWidget* CHalvornDlg::WindowToBringForward() const
{
    if (m_lockDlg)
        return m_lockDlg.data();
    if (!m_loggedIn && m_loginDlg)
        return m_loginDlg.get();
    return const_cast<CHalvornDlg*>(this);
}

void CHalvornDlg::BringForward()
{
    if (m_ended)
        return;
    QWidget* const window = WindowToBringForward();
    if (window->isMinimized())
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
    emit BroughtForward(window);
}

void CHalvornDlg::accept() {}

void CHalvornDlg::keyPressEvent(QKeyEvent* event)
{
    // Enter on the window's own controls does nothing, whatever had the focus before. The
    // pages take their own Enter before it gets here.
    const bool plain =
        event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier;
    if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CHalvornDlg::reject()
{
    EndDialog(kResultCancel);
}

bool CHalvornDlg::event(QEvent* event)
{
    const CWindowMessageEvent* const message = AsWindowMessage(event);
    if (!message)
        return QDialog::event(event);
    switch (message->Message()) {
    case WM_LOGIN_SUCCESS:
        OnLoginSuccess(static_cast<const quorvanta::MsgLogin_res*>(message->LParam()));
        break;
    case WM_LOGIN_CANCEL:
        OnLoginCancel();
        break;
    case WM_CURENTRUST_READY:
        OnCurEntrustReady();
        break;
    case WM_HISENTRUST_READY:
        OnHisEntrustReady();
        break;
    case WM_POSITION_READY:
        OnPositionReady();
        break;
    default:
        break;
    }
    return true;
}

void CHalvornDlg::closeEvent(QCloseEvent* event)
{
    event->ignore();
    if (m_ended)
        return;
    const int answer = dsMessageBox(this, ToGbk(QString::fromUtf8(kCloseQuestion)),
                                    ToGbk(QString::fromUtf8(kCloseCaption)), kMessageBoxOkCancel);
    if (answer == 1)
        EndDialog(kResultOk);
}

void CHalvornDlg::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    LayoutWindow();
}

void CHalvornDlg::LayoutWindow()
{
    if (!m_labelGreeting || isMinimized())
        return;
    const int w = width();
    const int h = height();
    m_labelGreeting->setGeometry(FromEdges(w - 246, 4, w - 145, 20));
    m_btnLock->setGeometry(FromEdges(w - 140, 4, w - 100, 18));
    m_btnTabEntrust->setGeometry(FromEdges(w - 360, 55, w - 281, 85));
    m_btnTabCurEntrust->setGeometry(FromEdges(w - 279, 55, w - 200, 85));
    m_btnTabHisEntrust->setGeometry(FromEdges(w - 198, 55, w - 119, 85));
    m_labelStatus->setGeometry(
        FromEdges(kStatusLeft, 55, std::max(kStatusLeft, w - kTabsLeftFromRight - kStatusGap), 85));
    ShowStatus(m_strStatus);
    m_dialogManager.MoveAll(PageRect(w, h));
}

void CHalvornDlg::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    QPainter painter(this);
    const QRect band(0, 0, width(), kBrandBandHeight);
    QLinearGradient ground(band.topLeft(), band.topRight());
    ground.setColorAt(0.0, QColor(0x0b, 0x25, 0x40));
    ground.setColorAt(0.7, QColor(0x12, 0x3a, 0x63));
    ground.setColorAt(1.0, QColor(0x0f, 0x6e, 0x78));
    painter.fillRect(band, ground);
    painter.fillRect(QRect(0, kBrandBandHeight, width(), 2), QColor(0x13, 0xa3, 0xa0));

    painter.setRenderHint(QPainter::Antialiasing, true);
    HalvornIcon().paint(&painter, QRect(14, 9, 32, 32));
    QFont brand = font();
    brand.setPixelSize(17);
    brand.setBold(true);
    painter.setFont(brand);
    painter.setPen(Qt::white);
    painter.drawText(QRect(56, 0, 420, kBrandBandHeight), Qt::AlignLeft | Qt::AlignVCenter,
                     QString::fromUtf8(kTitle));
    // A thin line under the tabs joins them to the page.
    painter.fillRect(QRect(7, kPageTop - 1, width() - 14, 1), QColor(0xc7, 0xd3, 0xe0));
}

void CHalvornDlg::contextMenuEvent(QContextMenuEvent* event)
{
    // The header band stands in for the window menu.
    if (event->pos().y() >= kPageTop) {
        QDialog::contextMenuEvent(event);
        return;
    }
    QMenu menu(this);
    menu.addAction(m_actionAbout);
    menu.exec(event->globalPos());
}
