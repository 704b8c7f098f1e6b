#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// One running station per desktop user. The first start listens on a local socket named after
// the program and the user; a later start sends the wake word there and ends.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(const QString &programName, QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when another instance answered and was woken: the caller ends at once.
    bool WakeRunningInstance();
    // True when an instance of the program runs for this user (it answers on its socket); it is
    // not woken. Jobs that must not run under a running station ask this.
    bool IsRunning() const;
    // Starts listening; false when the socket cannot be taken.
    bool Listen();

    QString serverName() const { return m_serverName; }

signals:
    // A second start asked this instance to come to the front.
    void wakeRequested();

private:
    void OnNewConnection();

    QString m_serverName;
    QLocalServer *m_server = nullptr;
};
