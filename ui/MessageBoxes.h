#pragma once

#include <QString>

#include <functional>
#include <vector>

class QDialog;
class QWidget;

/// Every message box of the terminal goes through here, so that tests can replace the
/// real boxes with a recorder that answers at once.
namespace MessageBoxes
{
/// Which of the three boxes of the terminal is asked for.
enum class Kind
{
    Application, ///< the application's box: OK button, the application's caption
    Owned,       ///< owned by a window and given no caption of its own; OK button
    Skinned,     ///< the skinned OK/Cancel box (dsMessageBox)
};

/// Result codes of a box, as the terminal compares them.
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;

/// One box as asked for. Texts are already converted for display (UTF-8 in QString).
struct Request
{
    Kind kind = Kind::Application;
    QWidget* owner = nullptr;
    QString text;
    QString caption;         ///< only the skinned box has a caption of its own
    bool withCancel = false; ///< OK and Cancel instead of OK alone
};

/// A real box on screen, waiting for its answer.
struct OpenBox
{
    QDialog* box = nullptr;
    Kind kind = Kind::Application;
};

/// The real boxes waiting for their answer now, the first opened first. A box may be
/// hidden while it waits (the terminal locks over it) and shown again: it keeps waiting.
std::vector<OpenBox> OpenBoxes();

/// Answers a box instead of showing it; returns kOk or kCancel.
using Handler = std::function<int(const Request&)>;

/// Replaces the real boxes (an empty handler restores them). Returns the previous handler.
Handler SetHandler(Handler handler);

/// Shows the box (or hands it to the installed handler) and returns the answer.
int Show(const Request& request);

/// Application box with an OK button.
void ShowApplication(const QString& text);
/// Box owned by `owner`, without a caption of its own, with an OK button.
void ShowOwned(QWidget* owner, const QString& text);
/// Skinned OK/Cancel box owned by `owner`; returns kOk when OK was chosen.
int AskOkCancel(QWidget* owner, const QString& text, const QString& caption);
} // namespace MessageBoxes
