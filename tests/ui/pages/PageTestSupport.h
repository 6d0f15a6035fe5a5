#pragma once

#include <QDialog>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "server/DemoBook.h"
#include "server/DemoServer.h"
#include "tests/support/ClientTarget.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/QtTradeUi.h"

/// Failure messages show widget texts as text, not as bytes.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

class CCurEntrustDlg;
class CEntrustDlg;
class CHisEntrustDlg;
class CSkinListCtrl;

namespace PageTest
{

/// What the demo server was asked, in order, with a mark for every message box shown in
/// between. Requests arrive on the server's threads, boxes on the test's.
class RequestTrace
{
public:
    static constexpr int32_t kBox = 0; ///< a message box, in Sequence()

    struct Request
    {
        int32_t funId = 0;
        std::string payload; ///< the serialized inner request
    };

    void AddRequest(int32_t funId, const std::string& payload);
    void AddBox();
    /// Function numbers in the order they came, kBox for each box.
    std::vector<int32_t> Sequence() const;
    /// The requests alone, in order.
    std::vector<Request> Requests() const;
    void Clear();

private:
    mutable std::mutex m_mutex;
    std::vector<Request> m_entries; ///< funId kBox for a box
};

/// Stands in for the main window: a dialog (so that an Escape reaching it would close
/// it) holding the three pages, which it refills on the ready messages as the main
/// window does. Keeps the messages in the order they came.
class PageHost : public QDialog
{
public:
    PageHost();
    ~PageHost() override;

    void SetPages(CEntrustDlg* entrust, CCurEntrustDlg* curEntrust, CHisEntrustDlg* hisEntrust);
    /// Delivers what has been posted so far.
    void Deliver();
    const std::vector<int>& Messages() const { return m_messages; }
    void ClearMessages() { m_messages.clear(); }

protected:
    bool event(QEvent* event) override;

private:
    CEntrustDlg* m_entrust = nullptr;
    CCurEntrustDlg* m_curEntrust = nullptr;
    CHisEntrustDlg* m_hisEntrust = nullptr;
    std::vector<int> m_messages;
};

/// The three pages in a stand-in main window, with message boxes recorded (and marked in
/// the request trace), the trading core talking through the real CQtTradeUi, and, once
/// StartSession has run, the demo server logged in as the main demo customer with the
/// lists loaded as after login. TearDown leaves the trading context as at start.
class PageFixture : public ::testing::Test
{
protected:
    static constexpr int kPageWidth = 900;
    static constexpr int kPageHeight = 600;

    void SetUp() override;
    void TearDown() override;

    /// A fresh demo server, a login as the main demo customer and the queries of the
    /// main window after login, delivered to the pages; trace, boxes and messages are
    /// cleared afterwards. Use with ASSERT_NO_FATAL_FAILURE.
    void StartSession();
    /// Points the client at a loopback port with nothing listening.
    void PointAtNothing();
    /// Shows `page` alone in the host, kPageWidth x kPageHeight.
    void ShowPage(QWidget* page);

    /// The main demo customer as the book has it.
    const BookCustomer& MainCustomer() const;
    /// The function numbers expected of QueryPosCode: one request per shareholder account.
    static std::vector<int32_t> PositionQueries();
    /// The payload of the one request with that function number, parsed; a failure when
    /// there is not exactly one.
    template <typename Message> Message SentOnce(int32_t funId) const
    {
        Message message;
        int count = 0;
        for (const RequestTrace::Request& request : m_trace.Requests()) {
            if (request.funId != funId)
                continue;
            ++count;
            message.ParsePartialFromString(request.payload);
        }
        EXPECT_EQ(count, 1) << "requests of function " << funId;
        return message;
    }

    MessageRecorder m_boxes;
    RequestTrace m_trace;
    CQtTradeUi m_tradeUi;
    TestSupport::ScopedTransportTimeouts m_timeouts{
        {std::chrono::milliseconds(2000), std::chrono::milliseconds(5000)}};
    std::unique_ptr<PageHost> m_host;
    CEntrustDlg* m_entrustPage = nullptr;
    CCurEntrustDlg* m_curEntrustPage = nullptr;
    CHisEntrustDlg* m_hisEntrustPage = nullptr;
    std::unique_ptr<DemoServer> m_server;
    DemoBook m_book; ///< the built-in book as the server sees it today

private:
    ITradeUi* m_previousUi = nullptr;
    MessageBoxes::Handler m_recorderHandler;
};

/// The centre of a row in the list's viewport.
QPoint RowCenter(const CSkinListCtrl& list, int row);
/// A real left click on a row of the list (on its viewport), with optional modifiers.
void ClickRow(CSkinListCtrl& list, int row, Qt::KeyboardModifiers modifiers = {});
/// A real left click on the list's empty space below its last row.
void ClickBelowRows(CSkinListCtrl& list, Qt::KeyboardModifiers modifiers = {});
/// Every cell text of a row, column 0 first.
QStringList RowTexts(const CSkinListCtrl& list, int row);
/// The selected rows, lowest first.
std::vector<int> SelectedRows(const CSkinListCtrl& list);
/// A QString from GBK record text, for comparing with what a widget shows.
QString Shown(const std::string& gbk);

} // namespace PageTest
