#include "ui/LockDlg.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

#include "trade/TradeData.h"
#include "ui/GbkText.h"
#include "ui/MessageBoxes.h"
#include "ui/skin/SkinEngine.h"
#include "util/util.h"

namespace
{
constexpr int kWidth = 580;
constexpr int kHeight = 220;
constexpr int kBandHeight = 6;
constexpr int kLeft = 104;
} // namespace

CLockDlg::CLockDlg(QWidget* parent) : QDialog(parent)
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QString());
    setObjectName(QStringLiteral("lockDialog"));
    // Its caption is empty; a screen reader still names the window.
    setAccessibleName(QStringLiteral("终端已锁定"));
    setFixedSize(kWidth, kHeight);

    // The password box is created first: it is the first control in the tab order and
    // takes the focus when the dialog opens.
    m_editPassword = new QLineEdit(this);
    m_editPassword->setObjectName(QStringLiteral("lockPasswordEdit"));
    m_editPassword->setEchoMode(QLineEdit::Password);
    m_editPassword->setPlaceholderText(QStringLiteral("登录密码"));
    m_editPassword->setGeometry(kLeft, 118, 320, 36);

    m_btnUnlock = new QPushButton(QStringLiteral("解锁"), this);
    m_btnUnlock->setObjectName(QStringLiteral("unlockButton"));
    m_btnUnlock->setDefault(true);
    m_btnUnlock->setGeometry(kLeft + 332, 118, 110, 36);

    m_labelPrompt =
        new QLabel(QStringLiteral("Vellora股权业务自主行权终端已经锁定，请输入密码解锁"), this);
    m_labelPrompt->setObjectName(QStringLiteral("lockPromptLabel"));
    m_labelPrompt->setWordWrap(true);
    m_labelPrompt->setGeometry(kLeft, 38, kWidth - kLeft - 30, 56);

    connect(m_btnUnlock, &QPushButton::clicked, this, &CLockDlg::OnUnlock);

    dsSkinWindow(this, SkinKind::kDialog, "lock_dialog", 0);
    dsSkinWindow(m_labelPrompt, SkinKind::kStatic, "normal_static", 0);
    dsSkinWindow(m_editPassword, SkinKind::kEdit, "lock_passwd_edit", 0);
    dsSkinWindow(m_btnUnlock, SkinKind::kPushButton, "btn.unlock", 0);

    m_editPassword->setFocus();
}

CLockDlg::~CLockDlg() = default;

void CLockDlg::OnUnlock()
{
    std::string typed = ToGbk(m_editPassword->text());
    const bool equal = typed == g_TradeData.m_login.password;
    SecureErase(typed);
    if (equal) {
        m_bUnlocked = true;
        accept();
        return;
    }
    MessageBoxes::ShowApplication(QStringLiteral("解锁密码不正确！请输入服务密码解锁！"));
    m_editPassword->setFocus();
}

void CLockDlg::accept()
{
    if (m_bUnlocked)
        QDialog::accept();
}

void CLockDlg::reject()
{
    if (m_bUnlocked)
        QDialog::reject();
}

void CLockDlg::closeEvent(QCloseEvent* event)
{
    if (!m_bUnlocked) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void CLockDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && !m_bUnlocked) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CLockDlg::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);

    // A thin band in the product's colours across the top.
    QLinearGradient band(0, 0, width(), 0);
    band.setColorAt(0.0, QColor(0x12, 0x3a, 0x63));
    band.setColorAt(1.0, QColor(0x13, 0xa3, 0xa0));
    painter.fillRect(QRect(0, 0, width(), kBandHeight), band);

    // A padlock on a soft disc.
    const QPointF centre(56, 82);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x13, 0xa3, 0xa0, 36));
    painter.drawEllipse(centre, 34, 34);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(0x12, 0x3a, 0x63), 4, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(QRectF(centre.x() - 10, centre.y() - 22, 20, 24), 0, 180 * 16);
    painter.drawLine(QPointF(centre.x() - 10, centre.y() - 10),
                     QPointF(centre.x() - 10, centre.y() - 4));
    painter.drawLine(QPointF(centre.x() + 10, centre.y() - 10),
                     QPointF(centre.x() + 10, centre.y() - 4));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x12, 0x3a, 0x63));
    painter.drawRoundedRect(QRectF(centre.x() - 16, centre.y() - 4, 32, 26), 5, 5);
    painter.setBrush(QColor(0x7f, 0xe6, 0xe0));
    painter.drawEllipse(QPointF(centre.x(), centre.y() + 7), 3.5, 3.5);
    painter.drawRect(QRectF(centre.x() - 1.5, centre.y() + 8, 3, 7));

    // A quiet note under the form.
    QFont note = font();
    note.setPixelSize(12);
    painter.setFont(note);
    painter.setPen(QColor(0x5b, 0x6b, 0x7d));
    painter.drawText(QRect(kLeft, 168, kWidth - kLeft - 30, 20), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("终端在锁定期间保持登录，解锁后回到原来的页面"));
}
