#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>

/// Watches the whole application for keyboard and mouse input and reports each full
/// interval that passes without any. Off until started, and while the interval is 0.
class CIdleWatcher : public QObject
{
    Q_OBJECT

public:
    explicit CIdleWatcher(QObject* parent = nullptr);
    ~CIdleWatcher() override;

    /// The time without input after which Idle is reported; 0 turns the watch off.
    void SetInterval(std::chrono::milliseconds interval);
    std::chrono::milliseconds Interval() const { return m_interval; }
    /// Starts counting from now (when the interval is not 0); Stop ends the watch.
    void Start();
    void Stop();
    bool IsWatching() const { return m_timer.isActive(); }
    /// Time left until the next report, or -1 when not watching.
    int RemainingMs() const { return m_timer.remainingTime(); }

    /// Whether an event is the user's input.
    static bool IsInput(const QEvent& event);

signals:
    /// An interval passed without input; again after each further interval without any.
    void Idle();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTimer m_timer;
    std::chrono::milliseconds m_interval{0};
    bool m_watching = false;
};
