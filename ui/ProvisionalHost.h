#pragma once

#include <QObject>

#include <memory>

class CLoginDlg;

/// Stand-in for the main window until it exists: shows the login dialog and receives
/// its posted messages. On WM_LOGIN_SUCCESS it takes over the login reply into the
/// trading context, says "登录成功" and quits; on WM_LOGIN_CANCEL it quits.
/// Provisional: the main window replaces it.
class CProvisionalLoginHost : public QObject
{
    Q_OBJECT

public:
    CProvisionalLoginHost();
    ~CProvisionalLoginHost() override;

    /// Becomes the application's main window and shows the login dialog, centred.
    void Start();

protected:
    bool event(QEvent* event) override;

private:
    std::unique_ptr<CLoginDlg> m_loginDlg;
};
