#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLockFile;

/// One running copy of the terminal per user and program name. The copy that takes the
/// lock (a lock file in the user's runtime folder) listens on a local socket of the same
/// name; a later copy finds the lock taken, asks the running one through the socket to
/// come forward, and ends. A lock left by a copy that was killed is taken over at once.
class CSingleInstance : public QObject
{
    Q_OBJECT

public:
    /// `name` is the program file's base name; `folder` where the lock and socket go
    /// (empty: the user's runtime folder).
    explicit CSingleInstance(QString name, QString folder = {});
    ~CSingleInstance() override;

    /// Takes the lock and starts listening. False when another copy holds it. A lock
    /// that cannot be made for any other reason does not stop the terminal: it then runs
    /// unguarded and this returns true.
    bool Acquire();
    /// Asks the copy that holds the lock to come forward. Waits at most `timeoutMs`;
    /// false when no copy answered.
    bool NotifyRunningCopy(int timeoutMs = 500) const;

    QString LockFilePath() const;
    QString SocketPath() const;

signals:
    /// Another start asked this copy to come forward.
    void ActivationRequested();

private:
    void OnNewConnection();

    QString m_name;
    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};
