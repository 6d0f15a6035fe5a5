#include "ui/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QStandardPaths>
#include <QThread>

#include <utility>

namespace
{
constexpr char kActivate[] = "activate\n";

QString RuntimeFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder;
}
} // namespace

CSingleInstance::CSingleInstance(QString name, QString folder)
    : m_name(std::move(name)), m_folder(folder.isEmpty() ? RuntimeFolder() : std::move(folder))
{}

CSingleInstance::~CSingleInstance()
{
    // The lock goes with the process; the socket file is removed by the server.
    if (m_server)
        m_server->close();
}

QString CSingleInstance::LockFilePath() const
{
    return QDir(m_folder).filePath(m_name + QStringLiteral(".lock"));
}

QString CSingleInstance::SocketPath() const
{
    return QDir(m_folder).filePath(m_name + QStringLiteral(".socket"));
}

bool CSingleInstance::Acquire()
{
    QDir().mkpath(m_folder);
    m_lock = std::make_unique<QLockFile>(LockFilePath());
    // A lock is stale only when its owner is gone, however long a copy has run.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        if (m_lock->error() == QLockFile::LockFailedError)
            return false;
        // No lock can be made here (a read-only folder, say): run unguarded.
        return true;
    }

    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket file left by a killed copy: we hold the lock, so it is nobody's.
    QLocalServer::removeServer(SocketPath());
    if (m_server->listen(SocketPath()))
        connect(m_server, &QLocalServer::newConnection, this, &CSingleInstance::OnNewConnection);
    return true;
}

void CSingleInstance::OnNewConnection()
{
    while (QLocalSocket* const socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        const QPointer<QLocalSocket> guarded(socket);
        connect(socket, &QLocalSocket::readyRead, this, [this, guarded] {
            if (!guarded)
                return;
            // Only the one request is known; anything else is ignored.
            const QByteArray request = guarded->readAll();
            if (request.startsWith(QByteArray(kActivate).trimmed()))
                emit ActivationRequested();
            guarded->disconnectFromServer();
        });
    }
}

bool CSingleInstance::NotifyRunningCopy(int timeoutMs) const
{
    // A copy that took the lock a moment ago may not be listening yet (two starts at
    // once): try again until the time is up.
    const QDeadlineTimer deadline(timeoutMs);
    constexpr int kRetryMs = 10;
    QLocalSocket socket;
    for (int attempt = 0;; ++attempt) {
        socket.connectToServer(SocketPath());
        if (socket.waitForConnected(static_cast<int>(deadline.remainingTime())))
            break;
        socket.abort();
        if (deadline.hasExpired() || attempt > timeoutMs / kRetryMs)
            return false;
        QThread::msleep(kRetryMs);
    }
    socket.write(kActivate);
    if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime())))
        return false;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(static_cast<int>(deadline.remainingTime()));
    return true;
}
