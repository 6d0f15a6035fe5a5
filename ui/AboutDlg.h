#pragma once

#include <QDialog>

/// The About box: "关于 Halvorn", the product and its version, and 确定.
///
/// Widgets by objectName: aboutTextLabel, aboutOkButton.
class CAboutDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;
};
