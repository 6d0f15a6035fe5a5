#include "ui/HalvornDlg.h"

#include <QAction>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>

#include <vector>

#include "trade/TradeData.h"
#include "ui/AboutDlg.h"
#include "ui/AppIcon.h"
#include "ui/GbkText.h"
#include "ui/LockDlg.h"
#include "ui/LoginDlg.h"
#include "ui/WindowEvents.h"
#include "ui/WindowPos.h"
#include "ui/pages/CurEntrustDlg.h"
#include "ui/pages/EntrustDlg.h"
#include "ui/pages/HisEntrustDlg.h"
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

/// A rectangle from its four edges (right and bottom exclusive).
QRect FromEdges(int left, int top, int right, int bottom)
{
    return {left, top, right - left, bottom - top};
}
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

    m_actionAbout = new QAction(QStringLiteral("关于 Halvorn(&A)..."), this);
    m_actionAbout->setObjectName(QStringLiteral("aboutAction"));
    m_actionAbout->setShortcut(QKeySequence(Qt::Key_F1));
    m_actionAbout->setShortcutContext(Qt::WindowShortcut);
    addAction(m_actionAbout);

    connect(m_btnTabEntrust, &QPushButton::clicked, this, &CHalvornDlg::OnTabEntrust);
    connect(m_btnTabCurEntrust, &QPushButton::clicked, this, &CHalvornDlg::OnTabCurEntrust);
    connect(m_btnTabHisEntrust, &QPushButton::clicked, this, &CHalvornDlg::OnTabHisEntrust);
    connect(m_btnLock, &QPushButton::clicked, this, &CHalvornDlg::OnLock);
    connect(m_actionAbout, &QAction::triggered, this, &CHalvornDlg::OnAbout);
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

    m_loginDlg = std::make_unique<CLoginDlg>();
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

    g_TradeData.QueryStockAcc();
    g_TradeData.QueryOptCode();
    g_TradeData.QueryEntrust();
    g_TradeData.QueryHisEntrust();
    g_TradeData.QueryPosCode();

    if (m_entrustDlg)
        m_entrustDlg->FillAccountCombo();

    m_strGreeting = QStringLiteral("您好，") + FromGbk(g_TradeData.m_login.client_name);
    m_labelGreeting->setText(m_strGreeting);
    m_loggedIn = true;

    setGeometry(m_savedRect);
    update();
    showMaximized();
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
    // The window's own open windows (an order waiting in its confirmation) show the
    // account's data too: they go out of sight with it and come back with it.
    std::vector<QPointer<QWidget>> ownWindows;
    for (QWidget* const child : findChildren<QWidget*>()) {
        if (child->isWindow() && child->isVisible()) {
            ownWindows.emplace_back(child);
            child->hide();
        }
    }

    CLockDlg lock(nullptr);
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
    about.exec();
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
    m_dialogManager.MoveAll(FromEdges(7, kPageTop, w - 7, h - 4));
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
