#pragma once

#include <QEvent>
#include <QObject>

#include <cstdint>

#include "trade/WindowMessages.h"

/// A window message posted to the application's main window. Its QEvent type is the
/// message number itself (2025, 2026, 2034, 2035, 2036), so a receiver tells them
/// apart by event->type() and reads the parameters from here.
class CWindowMessageEvent : public QEvent
{
public:
    CWindowMessageEvent(int message, std::uintptr_t wParam, const void* lParam);

    int Message() const { return static_cast<int>(type()); }
    std::uintptr_t WParam() const { return m_wParam; }
    /// The address that rides along (the login reply for WM_LOGIN_SUCCESS), or null.
    const void* LParam() const { return m_lParam; }

private:
    std::uintptr_t m_wParam;
    const void* m_lParam;
};

/// Sets the application's main window: the receiver of every posted window message.
/// Held weakly; a destroyed window reads back as null.
void SetMainWindow(QObject* window);
/// The application's main window, or null when none is set.
QObject* GetMainWindow();

/// Queues a window message for the main window; it is handled after the posting handler
/// returns (or inside a later modal loop). Returns false, dropping the message, when
/// there is no main window.
bool PostWindowMessage(int message, std::uintptr_t wParam = 0, const void* lParam = nullptr);

/// If the event is a window message, returns it; otherwise null.
const CWindowMessageEvent* AsWindowMessage(const QEvent* event);
