#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <ctime>
#include <optional>

#include "net/ExchangeObserver.h"

/// Signs of life around the server requests: a wait cursor while an exchange is in flight
/// (set at its start, restored at its end, so it is gone before any box that reports the
/// outcome) and the text of the status line: the server's address, the time of the last
/// successful refresh and, after a failed request, its reason in plain words. Installs
/// itself as the process-wide exchange observer while it lives. Exchanges on threads other
/// than the user interface's are not shown.
class CExchangeActivity : public QObject, public IExchangeObserver
{
    Q_OBJECT

public:
    explicit CExchangeActivity(QObject* parent = nullptr);
    ~CExchangeActivity() override;

    void OnExchangeStarted(int32_t funId) override;
    void OnExchangeFinished(const ExchangeReport& report) override;

    /// The status line as it stands.
    QString StatusText() const;
    /// Whether an exchange is in flight now.
    bool IsBusy() const { return m_depth > 0; }
    /// The reason of the last failed request; empty once a later one went through.
    const QString& FailureText() const { return m_failure; }
    /// What is being waited for and for how long ("正在查询当日委托，已等待 3 秒"); empty
    /// while nothing waits long enough to be told.
    const QString& WaitingText() const { return m_waiting; }

    /// A request has been waiting this long: the status line says so.
    void ShowWaiting(int32_t funId, qint64 elapsedMs);

    /// The words the status line uses for a request's function number ("查询当日委托").
    static QString RequestName(int32_t funId);
    /// Why a request failed, in plain words; empty for a request that went through.
    static QString FailureReason(const ExchangeReport& report);

signals:
    /// An exchange started; the wait cursor is already showing.
    void ExchangeStarted(int32_t funId);
    /// The status line changed (after every exchange, and while one waits).
    void StatusChanged(const QString& text);
    /// The waiting text changed (empty once the request has ended).
    void WaitingChanged(const QString& text);

private:
    IExchangeObserver* m_previous = nullptr;
    int m_depth = 0;
    QString m_server;
    std::optional<std::time_t> m_lastRefresh;
    QString m_failure;
    QString m_waiting;
};
