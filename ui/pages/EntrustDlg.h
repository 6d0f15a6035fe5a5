#pragma once

#include "ui/pages/PageLayout.h"

#include <array>
#include <memory>
#include <string>

class CConfirmDlg;
class CSkinListCtrl;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

/// The "委托行权" page: the order form on the left (shareholder account, option code,
/// read-only exercise price, quantity) and the exercisable positions on the right. A
/// click on a position copies it into the form; 委托行权 checks that account, code and
/// quantity are filled in and opens the confirmation, which sends the order. Enter in
/// the page presses 委托行权; Escape does nothing.
///
/// Below the form, the terms panel shows the exercise terms of the position in the form
/// (the code with the account) and where today stands in its exercise window; positions
/// whose window ends within a week are marked in the list with a colour and a tooltip.
///
/// Widgets by objectName: accountComboBox, codeEdit, priceEdit, quantityEdit,
/// refreshPositionButton, entrustButton, previousPageButton, nextPageButton,
/// positionList, confirmDialog (the confirmation); termsPanel with termsTitleLabel,
/// termsNoteLabel and the values termsPriceLabel, termsGrantPriceLabel, termsBeginLabel,
/// termsEndLabel, termsDaysLeftLabel, termsUnitLabel, termsLowLabel, termsHighLabel,
/// termsTaxKindLabel, termsAvailableLabel, each beside its caption (termsPriceCaption, ...).
class CEntrustDlg : public CPage
{
    Q_OBJECT

public:
    static constexpr int kColumnCount = 5;
    static constexpr int kRowHeight = 40;
    /// A window whose last day is at most this many days away, today counted, is marked.
    static constexpr int kEndsSoonDays = 7;
    /// Colours of a marked position's row.
    static constexpr unsigned kEndsSoonForeground = 0x8a4b00;
    static constexpr unsigned kEndsSoonBackground = 0xfff1d6;

    /// The values of the terms panel, top to bottom.
    enum TermsField
    {
        kTermsPrice,
        kTermsGrantPrice,
        kTermsBegin,
        kTermsEnd,
        kTermsDaysLeft,
        kTermsUnit,
        kTermsLow,
        kTermsHigh,
        kTermsTaxKind,
        kTermsAvailable,
        kTermsFieldCount,
    };

    /// A child page of `parent` (the main window); the confirmation is created with it.
    explicit CEntrustDlg(QWidget* parent = nullptr);
    ~CEntrustDlg() override;

    /// Rebuilds the list from the trading context's positions, row i = position i.
    void FillPositionList();
    /// Adds the trading context's shareholder accounts to the account box (sorted); the
    /// main account ("0") becomes the box's text. The box is not emptied first.
    void FillAccountCombo();
    /// Appends one row: account, code, name, exercise price, available quantity (GBK).
    void AddPositionRow(const std::string& account, const std::string& code,
                        const std::string& name, const std::string& price,
                        const std::string& available);

    /// Copies position `row` into the form and puts the focus in the quantity box; -1
    /// or a row past the end changes nothing.
    void OnPositionListClick(int row);
    /// Handler of 委托行权 (and of Enter in the page).
    void OnEntrust();
    /// Handler of 刷 新: reruns the position query; the list follows its ready message.
    void OnRefreshPosition();
    /// Shows the terms of the position in the form; runs whenever account or code change
    /// and after every fill of the list.
    void UpdateTermsPanel();

    CConfirmDlg* ConfirmDialog() const { return m_confirmDlg; }

protected:
    /// Enter presses 委托行权.
    void OnOK() override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void CreateControls();
    void SkinControls();
    void InitPositionColumns();
    void LayoutPage();
    /// Data exchange: the control texts into the members (GBK).
    void ReadControls();
    void AddAccountSorted(const QString& account);
    void CreateTermsPanel();
    /// Colour and tooltip of a row whose exercise window ends soon.
    void MarkEndingWindow(int row, const std::string& code);

    std::string m_strCode;
    std::string m_strPrice;
    std::string m_strAccount;
    std::string m_strQuantity;

    QComboBox* m_comboAccount = nullptr;
    CSkinListCtrl* m_listPosition = nullptr;
    QLineEdit* m_editCode = nullptr;
    QLineEdit* m_editPrice = nullptr;
    QLineEdit* m_editQuantity = nullptr;
    std::array<QLabel*, 4> m_formLabels{};
    std::array<QLabel*, kColumnCount> m_titleLabels{};
    QPushButton* m_btnRefresh = nullptr;
    QPushButton* m_btnEntrust = nullptr;
    QPushButton* m_btnPrevPage = nullptr;
    QPushButton* m_btnNextPage = nullptr;
    QFrame* m_termsPanel = nullptr;
    QLabel* m_termsNote = nullptr;
    std::array<QLabel*, kTermsFieldCount> m_termsValues{};
    CConfirmDlg* m_confirmDlg = nullptr; ///< owned as a child window of this page
};
