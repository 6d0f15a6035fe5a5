#include "PageTestSupport.h"

#include <QCoreApplication>
#include <QModelIndex>
#include <QTest>

#include <string>

#include "net/FunctionNumbers.h"
#include "tests/support/DemoServerTarget.h"
#include "trade/LoginRequest.h"
#include "trade/TradeData.h"
#include "trade/WindowMessages.h"
#include "ui/GbkText.h"
#include "ui/WindowEvents.h"
#include "ui/pages/CurEntrustDlg.h"
#include "ui/pages/EntrustDlg.h"
#include "ui/pages/HisEntrustDlg.h"
#include "ui/skin/SkinList.h"
#include "util/Clock.h"

namespace PageTest
{

void RequestTrace::AddRequest(int32_t funId, const std::string& payload)
{
    const std::lock_guard lock(m_mutex);
    m_entries.push_back({funId, payload});
}

void RequestTrace::AddBox()
{
    const std::lock_guard lock(m_mutex);
    m_entries.push_back({kBox, {}});
}

std::vector<int32_t> RequestTrace::Sequence() const
{
    const std::lock_guard lock(m_mutex);
    std::vector<int32_t> sequence;
    for (const Request& entry : m_entries)
        sequence.push_back(entry.funId);
    return sequence;
}

std::vector<RequestTrace::Request> RequestTrace::Requests() const
{
    const std::lock_guard lock(m_mutex);
    std::vector<Request> requests;
    for (const Request& entry : m_entries) {
        if (entry.funId != kBox)
            requests.push_back(entry);
    }
    return requests;
}

void RequestTrace::Clear()
{
    const std::lock_guard lock(m_mutex);
    m_entries.clear();
}

PageHost::PageHost()
{
    setObjectName(QStringLiteral("pageHost"));
    SetMainWindow(this);
}

PageHost::~PageHost()
{
    if (GetMainWindow() == this)
        SetMainWindow(nullptr);
}

void PageHost::SetPages(CEntrustDlg* entrust, CCurEntrustDlg* curEntrust,
                        CHisEntrustDlg* hisEntrust)
{
    m_entrust = entrust;
    m_curEntrust = curEntrust;
    m_hisEntrust = hisEntrust;
}

void PageHost::Deliver()
{
    QCoreApplication::sendPostedEvents(this);
}

bool PageHost::event(QEvent* event)
{
    const CWindowMessageEvent* const message = AsWindowMessage(event);
    if (!message)
        return QDialog::event(event);
    m_messages.push_back(message->Message());
    switch (message->Message()) {
    case WM_CURENTRUST_READY:
        m_curEntrust->FillEntrustList();
        break;
    case WM_HISENTRUST_READY:
        m_hisEntrust->FillHisEntrustList();
        break;
    case WM_POSITION_READY:
        m_entrust->FillPositionList();
        break;
    default:
        break;
    }
    return true;
}

void PageFixture::SetUp()
{
    TestSupport::ResetSessionToken();
    m_previousUi = GetTradeUi();
    SetTradeUi(&m_tradeUi);
    // Every box is marked in the trace, then answered by the recorder.
    m_recorderHandler = MessageBoxes::SetHandler([this](const MessageBoxes::Request& request) {
        m_trace.AddBox();
        return m_recorderHandler(request);
    });

    m_host = std::make_unique<PageHost>();
    m_host->resize(kPageWidth, kPageHeight);
    m_entrustPage = new CEntrustDlg(m_host.get());
    m_curEntrustPage = new CCurEntrustDlg(m_host.get());
    m_hisEntrustPage = new CHisEntrustDlg(m_host.get());
    m_host->SetPages(m_entrustPage, m_curEntrustPage, m_hisEntrustPage);
    for (QWidget* const page :
         std::initializer_list<QWidget*>{m_entrustPage, m_curEntrustPage, m_hisEntrustPage})
        page->setGeometry(0, 0, kPageWidth, kPageHeight);

    std::string error;
    ASSERT_TRUE(LoadDemoBook(BuiltInDemoBookJson(), LocalDay(Clock::Now()), m_book, error))
        << error;
}

void PageFixture::TearDown()
{
    m_host.reset();
    m_server.reset();
    g_TradeData.ClearAll();
    g_TradeData.m_login = login_result{};
    TestSupport::ResetSessionToken();
    SetTradeUi(m_previousUi);
    MessageBoxes::SetHandler(m_recorderHandler);
}

void PageFixture::StartSession()
{
    m_server.reset();
    TestSupport::ResetSessionToken();
    m_boxes.Clear();
    DemoServerOptions options;
    options.requestObserver = [this](int32_t funId, const std::string& payload) {
        m_trace.AddRequest(funId, payload);
    };
    m_server = TestSupport::StartDemoServer(std::move(options));
    ASSERT_NE(m_server, nullptr);
    TestSupport::PointClientAt(m_server->Port());

    // As the login dialog and the main window do it.
    quorvanta::MsgLogin_req request;
    FillLoginRequest(DemoAccounts::kMainAccount, DemoAccounts::kMainPassword, request);
    quorvanta::MsgLogin_res reply;
    CClientUtil session;
    ASSERT_TRUE(session.ReqLogin(request, reply) && session.GetErrorCode() == 0);
    g_TradeData.StoreLoginReply(reply);
    g_TradeData.m_login.password = DemoAccounts::kMainPassword;

    g_TradeData.ClearAll();
    ASSERT_EQ(g_TradeData.QueryStockAcc(), 0);
    ASSERT_EQ(g_TradeData.QueryOptCode(), 0);
    ASSERT_EQ(g_TradeData.QueryEntrust(), 0);
    ASSERT_EQ(g_TradeData.QueryHisEntrust(), 0);
    ASSERT_EQ(g_TradeData.QueryPosCode(), 0);
    m_host->Deliver();
    ASSERT_EQ(m_boxes.Texts(), std::vector<QString>{});

    m_trace.Clear();
    m_boxes.Clear();
    m_host->ClearMessages();
}

void PageFixture::PointAtNothing()
{
    TestSupport::PointClientAt(TestSupport::UnusedLoopbackPort());
}

void PageFixture::ShowPage(QWidget* page)
{
    for (QWidget* const other :
         std::initializer_list<QWidget*>{m_entrustPage, m_curEntrustPage, m_hisEntrustPage})
        other->setVisible(other == page);
    m_host->show();
}

const BookCustomer& PageFixture::MainCustomer() const
{
    for (const BookCustomer& customer : m_book.customers) {
        if (customer.account == DemoAccounts::kMainAccount)
            return customer;
    }
    ADD_FAILURE() << "no main demo customer";
    return m_book.customers.front();
}

std::vector<int32_t> PageFixture::PositionQueries()
{
    return std::vector<int32_t>(g_TradeData.m_stockAccounts.size(), kFunQryPosCode);
}

QPoint RowCenter(const CSkinListCtrl& list, int row)
{
    const QRect rect = list.visualRect(list.Model().index(row, 1));
    EXPECT_TRUE(rect.isValid() && list.viewport()->rect().contains(rect.center()))
        << "row " << row << " is not on screen";
    return rect.center();
}

void ClickRow(CSkinListCtrl& list, int row, Qt::KeyboardModifiers modifiers)
{
    QTest::mouseClick(list.viewport(), Qt::LeftButton, modifiers, RowCenter(list, row));
}

void ClickBelowRows(CSkinListCtrl& list, Qt::KeyboardModifiers modifiers)
{
    const QPoint point(list.viewport()->width() / 2, list.GetItemCount() * list.RowHeight() + 10);
    ASSERT_TRUE(list.viewport()->rect().contains(point)) << "no empty space below the rows";
    ASSERT_FALSE(list.indexAt(point).isValid());
    QTest::mouseClick(list.viewport(), Qt::LeftButton, modifiers, point);
}

QStringList RowTexts(const CSkinListCtrl& list, int row)
{
    QStringList texts;
    for (int column = 0; column < list.GetColumnCount(); ++column)
        texts.push_back(list.Model().Text(row, column));
    return texts;
}

std::vector<int> SelectedRows(const CSkinListCtrl& list)
{
    std::vector<int> rows;
    for (int row = 0; row < list.GetItemCount(); ++row) {
        if (list.IsRowSelected(row))
            rows.push_back(row);
    }
    return rows;
}

QString Shown(const std::string& gbk)
{
    return FromGbk(gbk);
}

} // namespace PageTest
