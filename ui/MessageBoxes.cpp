#include "ui/MessageBoxes.h"

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QPushButton>

#include <utility>

#include "ui/skin/SkinEngine.h"

namespace MessageBoxes
{
namespace
{
Handler& InstalledHandler()
{
    static Handler handler;
    return handler;
}

std::vector<OpenBox>& OpenBoxList()
{
    static std::vector<OpenBox> open;
    return open;
}

int ShowReal(const Request& request)
{
    QMessageBox box(request.owner);
    box.setIcon(QMessageBox::NoIcon);
    box.setText(request.text);
    switch (request.kind) {
    case Kind::Application:
        box.setWindowTitle(QApplication::applicationDisplayName());
        break;
    case Kind::Owned:
        box.setWindowTitle(QString());
        break;
    case Kind::Skinned:
        box.setWindowTitle(request.caption);
        break;
    }
    // Named even without a caption of its own, with its text as the description.
    box.setAccessibleName(box.windowTitle().isEmpty() ? QStringLiteral("提示") : box.windowTitle());
    box.setAccessibleDescription(request.text);
    box.setStandardButtons(request.withCancel ? QMessageBox::Ok | QMessageBox::Cancel
                                              : QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    if (QAbstractButton* const okButton = box.button(QMessageBox::Ok))
        okButton->setText(QStringLiteral("确定"));
    if (QAbstractButton* const cancel = box.button(QMessageBox::Cancel))
        cancel->setText(QStringLiteral("取消"));
    SkinMessageBox(box);

    // The box's own loop ends only with an answer, not when the box is hidden: locking
    // the terminal hides it, and it must still be there after unlocking.
    QEventLoop loop;
    QObject::connect(&box, &QDialog::finished, &loop, &QEventLoop::quit);
    box.setWindowModality(Qt::ApplicationModal);
    std::vector<OpenBox>& open = OpenBoxList();
    open.push_back({&box, request.kind});
    box.show();
    loop.exec(QEventLoop::DialogExec);
    std::erase_if(open, [&box](const OpenBox& entry) { return entry.box == &box; });
    box.hide();
    QAbstractButton* const ok = box.button(QMessageBox::Ok);
    return ok && box.clickedButton() == ok ? kOk : kCancel;
}
} // namespace

std::vector<OpenBox> OpenBoxes()
{
    return OpenBoxList();
}

Handler SetHandler(Handler handler)
{
    return std::exchange(InstalledHandler(), std::move(handler));
}

int Show(const Request& request)
{
    // A copy, so that a handler may replace itself while it answers.
    const Handler handler = InstalledHandler();
    if (handler)
        return handler(request);
    return ShowReal(request);
}

void ShowApplication(const QString& text)
{
    Show({Kind::Application, nullptr, text, {}, false});
}

void ShowOwned(QWidget* owner, const QString& text)
{
    Show({Kind::Owned, owner, text, {}, false});
}

int AskOkCancel(QWidget* owner, const QString& text, const QString& caption)
{
    return Show({Kind::Skinned, owner, text, caption, true});
}
} // namespace MessageBoxes
