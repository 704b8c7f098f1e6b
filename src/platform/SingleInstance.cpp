#include "platform/SingleInstance.h"

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>

namespace {

const QByteArray WakeWord = QByteArrayLiteral("wake\n");
constexpr int TimeoutMs = 1000;

QString UserName()
{
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = qEnvironmentVariable("USERNAME");
    return user;
}

} // namespace

SingleInstance::SingleInstance(const QString &programName, QObject *parent)
    : QObject(parent)
{
    // The user's name may hold characters a socket name cannot: use a short hash of it.
    const QByteArray hash =
        QCryptographicHash::hash(UserName().toUtf8(), QCryptographicHash::Sha1).toHex().left(12);
    m_serverName = programName + QLatin1Char('-') + QString::fromLatin1(hash);
}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();
}

bool SingleInstance::WakeRunningInstance()
{
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(TimeoutMs))
        return false;
    socket.write(WakeWord);
    socket.waitForBytesWritten(TimeoutMs);
    socket.disconnectFromServer();
    return true;
}

bool SingleInstance::IsRunning() const
{
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(TimeoutMs))
        return false;
    socket.disconnectFromServer();
    return true;
}

bool SingleInstance::Listen()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_serverName)) {
        // A socket file left by a station that crashed: nobody answered it, so take it over.
        QLocalServer::removeServer(m_serverName);
        if (!m_server->listen(m_serverName))
            return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::OnNewConnection);
    return true;
}

void SingleInstance::OnNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->readAll().startsWith(WakeWord.trimmed()))
                emit wakeRequested();
        });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    }
}
