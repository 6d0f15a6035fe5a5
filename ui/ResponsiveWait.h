#pragma once

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <vector>

#include "net/ExchangeObserver.h"

class QEvent;

/// Keeps the windows alive while a request waits on the network, without letting anything
/// happen that the one-request-at-a-time flow does not expect. The network part runs on a
/// thread of its own; meanwhile this thread repaints, answers the window system (so the
/// desktop never calls a window unresponsive) and the accessibility interface, and holds
/// back everything else:
/// - the user's input (keys, mouse, wheel, touch, close requests, shortcuts) is dropped,
///   as a busy window ignores it;
/// - timers fire after the wait instead of during it;
/// - window messages are delivered after the wait, in the order they were posted, so the
///   ready messages and the lists' fill order stay as they are.
///
/// A wait that ends within kQuietStart does no event handling at all. A request started
/// while another waits (only a queued call can do that) runs in place, blocking, as every
/// request once did. Installs itself as the process-wide exchange waiter while it lives;
/// requests on other threads run in place.
class CResponsiveWait : public QObject, public IExchangeWaiter
{
    Q_OBJECT

public:
    /// How long a wait goes before the windows are kept painting.
    static constexpr int kQuietStartMs = 40;
    /// How often the windows are served while a request waits, and StillWaiting told.
    static constexpr int kFrameMs = 16;
    static constexpr int kReportEveryMs = 250;

    explicit CResponsiveWait(QObject* parent = nullptr);
    ~CResponsiveWait() override;

    void WaitFor(int32_t funId, const std::function<void()>& work) override;

    /// Whether a request is waiting now.
    bool IsWaiting() const { return m_waiting; }

    /// Whether the event is something the user did (input, a close request, a shortcut).
    static bool IsUserAction(const QEvent& event);

signals:
    /// A request has been waiting for `elapsedMs`; told a few times a second while it waits.
    void StillWaiting(int32_t funId, qint64 elapsedMs);
    /// The request that was waiting has its answer (or has failed).
    void WaitEnded();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct HeldMessage
    {
        QPointer<QObject> receiver;
        int message;
        std::uintptr_t wParam;
        const void* lParam;
    };

    void ReleaseHeldMessages();

    IExchangeWaiter* m_previous = nullptr;
    bool m_waiting = false;
    std::vector<HeldMessage> m_held;
};
