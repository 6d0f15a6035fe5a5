#include "ui/IdleWatcher.h"

#include <QCoreApplication>
#include <QEvent>

#include <algorithm>
#include <climits>

CIdleWatcher::CIdleWatcher(QObject* parent) : QObject(parent)
{
    m_timer.setSingleShot(false);
    // Precise: a coarse timer of this length counts in whole seconds, and a restart within
    // the same second would not move its end.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &CIdleWatcher::Idle);
    if (QCoreApplication* const app = QCoreApplication::instance())
        app->installEventFilter(this);
}

CIdleWatcher::~CIdleWatcher()
{
    if (QCoreApplication* const app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

void CIdleWatcher::SetInterval(std::chrono::milliseconds interval)
{
    m_interval =
        std::clamp(interval, std::chrono::milliseconds(0), std::chrono::milliseconds(INT_MAX));
    if (m_watching)
        Start();
}

void CIdleWatcher::Start()
{
    m_watching = true;
    if (m_interval.count() == 0) {
        m_timer.stop();
        return;
    }
    m_timer.start(static_cast<int>(m_interval.count()));
}

void CIdleWatcher::Stop()
{
    m_watching = false;
    m_timer.stop();
}

bool CIdleWatcher::IsInput(const QEvent& event)
{
    switch (event.type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::InputMethod:
        return true;
    default:
        return false;
    }
}

bool CIdleWatcher::eventFilter(QObject* watched, QEvent* event)
{
    // Every event of the application passes here: the type test comes first and is cheap.
    // One input event reaches several objects on its way (window, widget, parents); each
    // restart costs little.
    if (m_timer.isActive() && IsInput(*event))
        m_timer.start();
    return QObject::eventFilter(watched, event);
}
