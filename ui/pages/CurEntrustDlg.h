#pragma once

#include <array>
#include <string>
#include <vector>

#include "WrappedMessage.pb.h"
#include "net/ClientUtil.h"
#include "ui/pages/PageLayout.h"

class CSkinListCtrl;
class QLabel;
class QPushButton;

/// The "当日委托" page: today's exercise orders, one row per order of the trading
/// context's list, with 撤 单 for the selected order and 刷 新 to query again. It owns
/// the session of its one request, the cancel. Enter and Escape do nothing here.
///
/// Widgets by objectName: entrustList, cancelEntrustButton, refreshEntrustButton,
/// previousPageButton, nextPageButton.
class CCurEntrustDlg : public CPage
{
    Q_OBJECT

public:
    static constexpr int kColumnCount = 11;
    static constexpr int kRowHeight = 40;

    /// A child page of `parent` (the main window); its list is empty until filled.
    explicit CCurEntrustDlg(QWidget* parent = nullptr);
    ~CCurEntrustDlg() override;

    /// Rebuilds every row from today's orders, row i = order i; drops the selection.
    void FillEntrustList();
    /// Appends one row with the texts of columns 1 to 10 (GBK): time, order number,
    /// shareholder account, property name, option code, option name, price, amount,
    /// status name, filled amount.
    void AddEntrustRow(const std::string& time, const std::string& entrustNo,
                       const std::string& account, const std::string& propName,
                       const std::string& code, const std::string& name, const std::string& price,
                       const std::string& amount, const std::string& statusName,
                       const std::string& businessAmount);

    /// Handler of 撤 单: cancels the selected order with the lowest row.
    void OnCancelEntrust();
    /// Sends the cancel of one order and reports the outcome; after a success the
    /// positions and today's orders are queried again.
    void CancelEntrust(const std::string& entrustNo, const std::string& exchangeType);
    /// Handler of 刷 新: reruns today's-orders query; the list follows its ready message.
    void OnRefreshEntrust();
    /// Handler of a click in the list: every other row loses its selection.
    void OnEntrustListClick(int row);

    /// The last cancel request and reply.
    const quorvanta::MsgCanEntrust_req& CancelRequest() const { return m_cancelReq; }
    const quorvanta::MsgCanEntrust_res& CancelReply() const { return m_cancelRes; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    /// The order a row shows, kept with the row so that a cancel always names the
    /// order the user selected, even when today's orders were replaced since the fill.
    struct RowOrder
    {
        std::string entrustNo;
        std::string exchangeType;
    };

    void CreateControls();
    void SkinControls();
    void InitEntrustColumns();
    void LayoutPage();

    CSkinListCtrl* m_listEntrust = nullptr;
    CClientUtil m_session;
    quorvanta::MsgCanEntrust_req m_cancelReq;
    quorvanta::MsgCanEntrust_res m_cancelRes;
    std::vector<RowOrder> m_rowOrders;

    std::array<QLabel*, kColumnCount - 1> m_titleLabels{};
    QPushButton* m_btnPrevPage = nullptr;
    QPushButton* m_btnNextPage = nullptr;
    QPushButton* m_btnCancel = nullptr;
    QPushButton* m_btnRefresh = nullptr;
};
