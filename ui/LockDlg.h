#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

/// Locks the terminal until the login password is typed again. The check is local and
/// exact (same bytes); while locked, Escape, the close box and Alt+F4 do nothing.
///
/// Widgets by objectName: lockPromptLabel, lockPasswordEdit, unlockButton.
class CLockDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CLockDlg(QWidget* parent = nullptr);
    ~CLockDlg() override;

    /// Handler of the unlock button (and of Enter in the password box).
    void OnUnlock();
    bool IsUnlocked() const { return m_bUnlocked; }

public slots:
    /// Both end the dialog only once it is unlocked.
    void accept() override;
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_bUnlocked = false;
    QLabel* m_labelPrompt = nullptr;
    QLineEdit* m_editPassword = nullptr;
    QPushButton* m_btnUnlock = nullptr;
};
