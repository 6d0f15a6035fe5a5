#pragma once

#include <QDialog>

#include <array>
#include <string>

#include "WrappedMessage.pb.h"
#include "net/ClientUtil.h"

class QLabel;
class QLineEdit;
class QPushButton;

/// The order confirmation ("委托确认"): a modeless window, created hidden by the exercise
/// page, that shows the seven values of the order and sends it on 确认. It is the only
/// place that sends an exercise order. 取消, Enter, Escape and the close box hide it and
/// send nothing.
///
/// Below the seven boxes it shows what the order will cost (price × quantity, exact), the
/// available funds and the warnings of the checks before an order, or that it passed
/// them; the window grows to fit. The warnings never stop 确认: the order goes as shown
/// and the server decides.
///
/// Widgets by objectName: confirmAccountEdit, confirmCodeEdit, confirmPriceEdit,
/// confirmNameEdit, confirmSourceCodeEdit, confirmStockNameEdit, confirmQuantityEdit,
/// estimateLabel, fundsLabel, warningLabel, confirmButton, cancelConfirmButton.
class CConfirmDlg : public QDialog
{
    Q_OBJECT

public:
    /// The seven values in the order the window shows them, top to bottom.
    enum Field
    {
        kAccount,
        kCode,
        kPrice,
        kSoptName,
        kSourceCode,
        kStockName,
        kQuantity,
        kFieldCount,
    };

    static constexpr int kWidth = 340;

    /// `parent` is the exercise page; the window stays hidden until shown.
    explicit CConfirmDlg(QWidget* parent = nullptr);
    ~CConfirmDlg() override;

    /// Keeps account, code, price and quantity for the order and shows all seven texts
    /// (GBK) with the estimate, the funds and the warnings; does not show the window.
    void SetOrder(const std::string& account, const std::string& code, const std::string& price,
                  const std::string& soptName, const std::string& sourceCode,
                  const std::string& stockName, const std::string& quantity);

    /// Handler of 确认: hides the window, sends the order and reports the outcome; after a
    /// success the positions and today's orders are queried again.
    void OnConfirm();
    /// Handler of 取消: hides the window.
    void OnCancelConfirm();

    /// The last order request and reply.
    const quorvanta::MsgEntrust_req& EntrustRequest() const { return m_entrustReq; }
    const quorvanta::MsgEntrust_res& EntrustReply() const { return m_entrustRes; }

protected:
    /// Enter ends the window as Escape does: hidden, nothing sent.
    void keyPressEvent(QKeyEvent* event) override;
    /// The keyboard starts on 取消, so a stray key never sends an order.
    void showEvent(QShowEvent* event) override;

private:
    void CreateControls();
    void SkinControls();
    /// Estimate, funds and warnings of the order in the members, against the trading
    /// context as it is now.
    void UpdatePreview();
    /// Places the preview and the buttons below the boxes and sizes the window to them.
    void LayoutPreview();

    CClientUtil m_session;
    quorvanta::MsgEntrust_req m_entrustReq;
    quorvanta::MsgEntrust_res m_entrustRes;
    std::string m_strCode;
    std::string m_strPrice;
    std::string m_strAccount;
    std::string m_strQuantity;

    std::array<QLabel*, kFieldCount> m_labels{};
    std::array<QLineEdit*, kFieldCount> m_edits{};
    QLabel* m_lblEstimate = nullptr;
    QLabel* m_lblFunds = nullptr;
    QLabel* m_lblWarning = nullptr;
    QPushButton* m_btnConfirm = nullptr;
    QPushButton* m_btnCancel = nullptr;
};
