#pragma once

#include <QString>
#include <Qt>

#include <string>
#include <string_view>

class CSkinListCtrl;
class QMessageBox;
class QTableWidget;
class QWidget;

/// The terminal's skin engine. Every window is registered under a skin object name and
/// a kind; the skin file "optionSkin.pmf" is a Qt style sheet that picks windows by the
/// dynamic properties set here, e.g. QPushButton[skin="btn.login"] or
/// QLineEdit[skinKind="107"]. Skin names and styles are ASCII; texts are GBK bytes.

/// Window kind codes of dsSkinWindow.
namespace SkinKind
{
inline constexpr int kDialog = 100;
inline constexpr int kPushButton = 103;
inline constexpr int kTabButton = 105;
inline constexpr int kStatic = 106;
inline constexpr int kEdit = 107;
inline constexpr int kListView = 109;
inline constexpr int kComboBox = 110;
} // namespace SkinKind

/// Item data roles under which a list cell keeps its skin styles.
namespace SkinRole
{
inline constexpr int kItemStyle = Qt::UserRole + 0x5301; ///< set by dsSetItemStyle
inline constexpr int kDrawStyle = Qt::UserRole + 0x5302; ///< set by dsSetDrawItemValueEx
} // namespace SkinRole

/// Names of the dynamic properties dsSkinWindow sets.
inline constexpr const char* kSkinNameProperty = "skin";
inline constexpr const char* kSkinKindProperty = "skinKind";
inline constexpr const char* kSkinFlagProperty = "skinFlag";

/// Where the skin in force came from.
enum class SkinOrigin
{
    None,    ///< nothing loaded yet
    File,    ///< the named file
    BuiltIn, ///< the copy built into the program (file absent, unreadable, empty or too large)
};

/// A skin file longer than this is not read; the built-in copy is used instead.
inline constexpr qint64 kMaxSkinFileBytes = 1024 * 1024;

/// Loads the skin file (a path relative to the current directory, or absolute) and makes
/// it the application's look; falls back to the built-in copy when the file cannot be
/// used. Needs a QApplication. Returns 1 when a skin is in force, 0 otherwise.
int dsLoadSkin(std::string_view fileName, int flag);

/// Registers a window under a skin name and kind and redraws it in that style. Flag 1 is
/// reserved for the login dialog, 0 everywhere else. A list (kind 109) gets the skin's
/// row drawing and a row height of 40 px; a page that measures its rows otherwise sets
/// its own height after skinning. Returns 1, or 0 for a null window.
int dsSkinWindow(QWidget* window, int kind, std::string_view skinName, int flag);

/// Gives a list cell an item style ("column0", "column1", ...). Returns 0, changing
/// nothing, when the row or column does not exist.
int dsSetItemStyle(QTableWidget* list, int row, int column, std::string_view style, int reserved);

/// Gives a list cell a draw style ("textdefault") and its text, GBK bytes. Returns 0,
/// changing nothing, when the row or column does not exist.
int dsSetDrawItemValueEx(QTableWidget* list, int row, int column, std::string_view style,
                         std::string_view gbkText, int reserved);

/// The same two calls for the terminal's own report list.
int dsSetItemStyle(CSkinListCtrl* list, int row, int column, std::string_view style, int reserved);
int dsSetDrawItemValueEx(CSkinListCtrl* list, int row, int column, std::string_view style,
                         std::string_view gbkText, int reserved);

/// Message box types of dsMessageBox.
inline constexpr int kMessageBoxOk = 0;
inline constexpr int kMessageBoxOkCancel = 1;

/// The skinned message box owned by `owner`, texts in GBK. Returns 1 when the user chose
/// OK, 2 for Cancel (or closing the box).
int dsMessageBox(QWidget* owner, std::string_view gbkText, std::string_view gbkCaption, int type);

/// The style sheet in force and where it came from (for tests and diagnostics).
QString LoadedSkinSheet();
SkinOrigin LoadedSkinOrigin();
/// The built-in copy of the skin.
QString BuiltInSkinSheet();

/// Gives a message box and its buttons the skin's message-box look.
void SkinMessageBox(QMessageBox& box);
