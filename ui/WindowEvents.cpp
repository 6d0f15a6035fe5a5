#include "ui/WindowEvents.h"

#include <QCoreApplication>
#include <QPointer>

namespace
{
QPointer<QObject>& MainWindowSlot()
{
    static QPointer<QObject> slot;
    return slot;
}

bool IsWindowMessage(int type)
{
    switch (type) {
    case WM_LOGIN_SUCCESS:
    case WM_LOGIN_CANCEL:
    case WM_CURENTRUST_READY:
    case WM_HISENTRUST_READY:
    case WM_POSITION_READY:
        return true;
    default:
        return false;
    }
}

// Reserves the message numbers with Qt so that no other part of the process is handed
// one of them by QEvent::registerEventType.
void ReserveMessageNumbers()
{
    static const bool reserved = [] {
        for (const int type : {WM_LOGIN_SUCCESS, WM_LOGIN_CANCEL, WM_CURENTRUST_READY,
                               WM_HISENTRUST_READY, WM_POSITION_READY})
            QEvent::registerEventType(type);
        return true;
    }();
    (void)reserved;
}
} // namespace

CWindowMessageEvent::CWindowMessageEvent(int message, std::uintptr_t wParam, const void* lParam)
    : QEvent(static_cast<QEvent::Type>(message)), m_wParam(wParam), m_lParam(lParam)
{}

void SetMainWindow(QObject* window)
{
    ReserveMessageNumbers();
    MainWindowSlot() = window;
}

QObject* GetMainWindow()
{
    return MainWindowSlot().data();
}

bool PostWindowMessage(int message, std::uintptr_t wParam, const void* lParam)
{
    ReserveMessageNumbers();
    QObject* const target = GetMainWindow();
    if (!target)
        return false;
    // postEvent takes ownership of the event.
    QCoreApplication::postEvent(target, new CWindowMessageEvent(message, wParam, lParam));
    return true;
}

const CWindowMessageEvent* AsWindowMessage(const QEvent* event)
{
    if (!event || !IsWindowMessage(static_cast<int>(event->type())))
        return nullptr;
    // A plain QEvent posted with one of these numbers carries no parameters.
    return dynamic_cast<const CWindowMessageEvent*>(event);
}
