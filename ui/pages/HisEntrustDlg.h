#pragma once

#include <array>
#include <string>

#include "ui/pages/PageLayout.h"

class CSkinListCtrl;
class QLabel;
class QPushButton;

/// The "历史委托" page: the orders of the last 90 days as loaded at login, read-only.
/// Enter and Escape do nothing here.
///
/// Widgets by objectName: hisEntrustList, previousPageButton, nextPageButton.
class CHisEntrustDlg : public CPage
{
    Q_OBJECT

public:
    static constexpr int kColumnCount = 10;
    static constexpr int kRowHeight = 20;

    /// A child page of `parent` (the main window); its list is empty until filled.
    explicit CHisEntrustDlg(QWidget* parent = nullptr);
    ~CHisEntrustDlg() override;

    /// Rebuilds every row from the order history, row i = order i.
    void FillHisEntrustList();
    /// Appends one row with the texts of columns 0 to 9 (GBK): date, time, order number,
    /// shareholder account, option code, option name, price, amount, status name,
    /// filled amount.
    void AddHisEntrustRow(const std::string& date, const std::string& time,
                          const std::string& entrustNo, const std::string& account,
                          const std::string& code, const std::string& name,
                          const std::string& price, const std::string& amount,
                          const std::string& statusName, const std::string& businessAmount);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void CreateControls();
    void SkinControls();
    void InitHisEntrustColumns();
    void LayoutPage();

    CSkinListCtrl* m_listHisEntrust = nullptr;
    std::array<QLabel*, kColumnCount> m_titleLabels{};
    QPushButton* m_btnPrevPage = nullptr;
    QPushButton* m_btnNextPage = nullptr;
};
