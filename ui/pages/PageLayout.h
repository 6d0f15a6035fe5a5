#pragma once

#include <QRect>
#include <QString>
#include <QWidget>

#include <string>

class QLabel;

/// What the three pages share: their Enter/Escape rule, button sizes and the arithmetic
/// that lines the title labels up above a list.
namespace PageLayout
{
inline constexpr int kButtonWidth = 75;
inline constexpr int kButtonHeight = 28;
inline constexpr int kInitialColumnWidth = 100;
inline constexpr int kTitleHeight = 20;

/// A rectangle from its four edges (right and bottom exclusive).
inline QRect FromEdges(int left, int top, int right, int bottom)
{
    return {left, top, right - left, bottom - top};
}

/// The skin's item style of a list column: "column0", "column1", ...
std::string ColumnStyle(int column);

/// The tooltip of an order's row: the server's status name and its cancel or refusal
/// reason, each on its own line where the server gave one (GBK texts); empty when it
/// gave neither.
QString OrderToolTip(const std::string& statusName, const std::string& cancelInfo);

/// Lays labels out in one row at `top`, each starting where the one before ends: the
/// first at `firstLeft`, `firstWidth` wide, every other one `width` wide.
void PlaceTitleRow(QLabel* const* labels, int count, int firstLeft, int firstWidth, int width,
                   int top);
} // namespace PageLayout

/// A page of the main window: a child widget that never closes. Enter runs OnOK (nothing
/// unless the page has a default action) and Escape does nothing, so neither reaches the
/// main window, where Escape would end the terminal.
class CPage : public QWidget
{
    Q_OBJECT

public:
    explicit CPage(QWidget* parent = nullptr);
    ~CPage() override;

protected:
    /// The page's default action on Enter; none by default.
    virtual void OnOK();
    void keyPressEvent(QKeyEvent* event) override;
};
