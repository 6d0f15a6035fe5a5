#include "ui/ResponsiveWait.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>
#include <QWindow>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "ui/IdleWatcher.h"
#include "ui/WindowEvents.h"

namespace
{
using SteadyClock = std::chrono::steady_clock;

/// The end of the network work, shared with its thread (which may outlive nothing: the
/// wait joins it before returning).
struct WorkDone
{
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;

    /// Waits until done or the time passes; true when done.
    bool WaitFor(std::chrono::milliseconds time)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, time, [this] { return done; });
    }
    void Finish()
    {
        {
            const std::lock_guard lock(mutex);
            done = true;
        }
        changed.notify_all();
    }
};
} // namespace

CResponsiveWait::CResponsiveWait(QObject* parent)
    : QObject(parent), m_previous(SetExchangeWaiter(this))
{}

CResponsiveWait::~CResponsiveWait()
{
    if (GetExchangeWaiter() == this)
        SetExchangeWaiter(m_previous);
}

void CResponsiveWait::WaitFor(int32_t funId, const std::function<void()>& work)
{
    QCoreApplication* const app = QCoreApplication::instance();
    if (m_waiting || !app || QThread::currentThread() != app->thread()) {
        work();
        return;
    }

    WorkDone state;
    const SteadyClock::time_point start = SteadyClock::now();
    std::jthread worker([&] {
        work();
        state.Finish();
    });
    // Most answers come at once: no event is looked at for them.
    if (!state.WaitFor(std::chrono::milliseconds(kQuietStartMs))) {
        m_waiting = true;
        app->installEventFilter(this);
        SteadyClock::time_point nextReport = start;
        do {
            const SteadyClock::time_point now = SteadyClock::now();
            if (now >= nextReport) {
                emit StillWaiting(
                    funId,
                    std::chrono::duration_cast<std::chrono::milliseconds>(now - start).count());
                nextReport = now + std::chrono::milliseconds(kReportEveryMs);
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        } while (!state.WaitFor(std::chrono::milliseconds(kFrameMs)));
        app->removeEventFilter(this);
        m_waiting = false;
        emit WaitEnded();
    }
    worker.join();
    ReleaseHeldMessages();
}

bool CResponsiveWait::IsUserAction(const QEvent& event)
{
    if (CIdleWatcher::IsInput(event))
        return true;
    switch (event.type()) {
    case QEvent::Close:
    case QEvent::ContextMenu:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::TouchCancel:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::DragLeave:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

bool CResponsiveWait::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_waiting)
        return QObject::eventFilter(watched, event);
    if (IsUserAction(*event))
        return true;
    // A window's own timer drives its repaint; every other timer fires again after the wait.
    if (event->type() == QEvent::Timer && !watched->isWindowType())
        return true;
    if (const CWindowMessageEvent* const message = AsWindowMessage(event)) {
        m_held.push_back({watched, message->Message(), message->WParam(), message->LParam()});
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void CResponsiveWait::ReleaseHeldMessages()
{
    // Posted again in the order they came, ahead of anything the waiting handler posts next.
    std::vector<HeldMessage> held;
    held.swap(m_held);
    for (const HeldMessage& message : held) {
        if (message.receiver)
            QCoreApplication::postEvent(
                message.receiver,
                new CWindowMessageEvent(message.message, message.wParam, message.lParam));
    }
}
