#pragma once

#include <QDialog>

#include <string>

#include "WrappedMessage.pb.h"
#include "net/ClientUtil.h"

class CCheckCodeLabel;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

/// The login dialog: account, password and the check code it shows itself. A good login
/// posts WM_LOGIN_SUCCESS with the address of m_loginRes to the main window, hands the
/// password to the trading context, remembers the account if asked and hides for good.
/// Closing it posts WM_LOGIN_CANCEL. The login request runs on the calling thread.
/// Below the button a line says what the login waits for and, after a login that did not
/// reach the server or got no usable answer, why in plain words.
///
/// Widgets by objectName: userNameEdit, passwordEdit, checkCodeEdit, rememberCheckBox,
/// loginButton, checkCodeLabel, loginReasonLabel.
class CLoginDlg : public QDialog
{
    Q_OBJECT

public:
    /// Dialog and edit sizes, in pixels.
    static constexpr int kWidth = 782;
    static constexpr int kHeight = 327;
    static constexpr int kEditWidth = 249;
    static constexpr int kEditHeight = 32;
    static constexpr int kCheckCodeEditWidth = 149;
    /// Left edge of the controls; the product's panel lies left of it.
    static constexpr int kControlsLeft = 481;

    explicit CLoginDlg(QWidget* parent = nullptr);
    ~CLoginDlg() override;

    /// A new check code: letter, digit, letter, digit, digit; never I or O. Reseeds the
    /// C library generator with Clock::Now(), so codes made within one second are equal.
    static std::string GenerateCheckCode();
    /// Shows a new check code.
    void RefreshCheckCode();

    /// Handler of the login button (and of Enter).
    void OnLogin();
    /// Handler of a click on the check code.
    void OnCheckCodeClick();
    /// Handler of a click on the remember box.
    void OnRememberClick();

    /// Shows what the login waits for; an empty text takes a waiting text away again.
    void ShowWaiting(const QString& text);
    /// The line below the button: why the last login failed, or what it waits for.
    QString ReasonText() const;

    /// The check code shown now (GBK; ASCII in practice).
    const std::string& CheckCode() const { return m_strCheckCode; }
    /// The last login request and reply.
    const quorvanta::MsgLogin_req& LoginRequest() const { return m_loginReq; }
    const quorvanta::MsgLogin_res& LoginReply() const { return m_loginRes; }

public slots:
    /// Enter and Escape end nothing: the dialog stays until login or close.
    void accept() override;
    void reject() override;

protected:
    /// The close box and Alt+F4: posts WM_LOGIN_CANCEL and stays.
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void CreateControls();
    void SkinControls();
    void LayoutControls();
    void PlaceControl(QWidget* control, int x, int y);
    void RestoreRememberedAccount();
    /// The line below the button: a reason (red) or what is waited for.
    void SetReason(const QString& text, bool waiting);
    void PaintProductPanel(QPainter& painter) const;

    std::string m_strUser;
    std::string m_strPassword;
    std::string m_strInputCode;
    std::string m_strCheckCode;
    CClientUtil m_session;
    quorvanta::MsgLogin_req m_loginReq;
    quorvanta::MsgLogin_res m_loginRes;

    QLineEdit* m_editUser = nullptr;
    QLineEdit* m_editPassword = nullptr;
    QLineEdit* m_editCheckCode = nullptr;
    QCheckBox* m_chkRemember = nullptr;
    QPushButton* m_btnLogin = nullptr;
    CCheckCodeLabel* m_labelCheckCode = nullptr;
    QLabel* m_labelReason = nullptr;
    bool m_reasonIsWaiting = false;
};
