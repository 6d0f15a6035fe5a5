#include "ui/AboutDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/AppIcon.h"
#include "ui/skin/SkinEngine.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("aboutDialog"));
    setWindowTitle(QStringLiteral("关于 Halvorn"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    auto* const icon = new QLabel(this);
    icon->setPixmap(HalvornIcon().pixmap(48, 48));
    auto* const text = new QLabel(QStringLiteral("Halvorn，1.0 版"), this);
    text->setObjectName(QStringLiteral("aboutTextLabel"));
    auto* const ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("aboutOkButton"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* const row = new QHBoxLayout;
    row->setSpacing(16);
    row->addWidget(icon);
    row->addWidget(text, 1);
    auto* const buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    auto* const layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 16);
    layout->setSpacing(16);
    layout->addLayout(row);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    dsSkinWindow(this, SkinKind::kDialog, "about_dialog", 0);
    dsSkinWindow(text, SkinKind::kStatic, "normal_static", 0);
    dsSkinWindow(ok, SkinKind::kPushButton, "btn.confirm", 0);
    ok->setMinimumWidth(88);
}

CAboutDlg::~CAboutDlg() = default;
