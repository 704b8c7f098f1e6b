#pragma once

#include <QDateTime>
#include <QString>

// The outcome of one question to a time server.
struct SntpResult
{
    bool ok = false;
    QString error; // why there is no usable answer (empty when ok)
    qint64 offsetMs = 0; // how far the server's clock is ahead of this computer's system clock
    qint64 delayMs = 0; // round-trip time of the exchange
    int stratum = 0; // the server's stratum (1 .. 15 when ok)
};

// Something that can tell the time of a server; the station asks SntpClient, tests a fake.
class TimeSource
{
public:
    virtual ~TimeSource() = default;
    // One question to the server "host" or "host:port" (IPv6 as "[addr]:port"; port 123
    // when none is given). Blocks until the answer comes or the attempt fails.
    virtual SntpResult Query(const QString &server) = 0;
};

// Our own SNTPv4 client (one request over UDP, one reply). It blocks the calling thread
// without running an event loop, so no timer or click is handled in the middle of an attempt,
// and gives up after the time-out (name look-up included).
//
// An answer is used only when it is a server reply (mode 4) to this very request: it comes from
// the address and port asked, its originate time is the transmit time we sent, its stratum is
// 1 .. 15, its leap indicator is not "alarm", its transmit time is set and lies between the
// program's build date and twenty years after it, and it moves a plausible local clock (one not
// before the build date) by at most a year. A packet that is not a reply to this request
// (too short, another originate time, not mode 4) is passed over and the client keeps waiting
// for the real reply until the time-out; a reply to this request that is unusable fails at once.
class SntpClient final : public TimeSource
{
public:
    static constexpr int DefaultTimeoutMs = 3000;
    static constexpr quint16 DefaultPort = 123;
    // A server time this many years after the build date is taken for a broken server.
    static constexpr int LatestYearsAfterBuild = 20;
    // While the local clock itself is plausible (not before the build date), a server that would
    // move it by more than this many days is taken for a broken or hostile server: a clock that
    // ran that far off by itself is set by hand, not by a time server.
    static constexpr int LargestCorrectionDays = 366;

    explicit SntpClient(int timeoutMs = DefaultTimeoutMs);

    SntpResult Query(const QString &server) override;

    // The day this program was built (UTC): no server time before it can be right.
    static QDate BuildDate();
    // The server times accepted: [the start of the build date, LatestYearsAfterBuild years
    // later), both in UTC. Tests move them.
    void SetAcceptedTimes(const QDateTime &earliest, const QDateTime &latest);

    // Splits "host", "host:port", "[v6]:port" or a bare IPv6 address. False (and *error
    // set) when the text is empty or the port is not a number 1 .. 65535.
    static bool ParseServer(const QString &server, QString *host, quint16 *port, QString *error);

private:
    int m_timeoutMs;
    QDateTime m_earliest;
    QDateTime m_latest;
};

// NTP time stamps (seconds since 1900 in the high 32 bits, binary fraction in the low 32 bits)
// to and from nanoseconds since 1970. Stamps with the high bit clear are read as the era that
// begins in 2036.
quint64 UnixNsToNtp(qint64 unixNs);
qint64 NtpToUnixNs(quint64 ntp);
