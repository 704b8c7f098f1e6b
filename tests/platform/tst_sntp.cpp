// The SNTP client: server texts, time stamps, a real NTP server (chrony on a loopback port) and
// a fake responder on loopback that gives every kind of answer the client must refuse.

#include "platform/SntpClient.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QSemaphore>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUdpSocket>
#include <QtEndian>

#include <atomic>
#include <chrono>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr qint64 NanosPerSecond = 1'000'000'000;

qint64 NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// A free UDP port on the loopback address (free when this returns; good enough for a test).
quint16 FreeUdpPort()
{
    QUdpSocket probe;
    if (!probe.bind(QHostAddress::LocalHost, 0))
        return 0;
    return probe.localPort();
}

// What the fake server does with a request.
enum class Reply {
    Good, // a proper server reply, 7 minutes ahead of this computer
    WrongOrigin, // originate time that is not the one we sent
    Stratum0, // "kiss-o'-death" / unspecified stratum
    Stratum16, // unsynchronised
    AlarmLeap, // leap indicator 3: the server's clock is not synchronised
    ClientMode, // mode 3 instead of 4
    ShortPacket, // 47 bytes
    NoTransmit, // transmit time zero
    Silent, // never answers
    OtherPort, // answers from another port of the same host
    GarbageFirst, // a packet of junk, then a proper reply
    ForeignFirst, // a reply to somebody else's request, then a proper reply
};

// A time server on 127.0.0.1 in a thread of its own: the client blocks while it waits.
class FakeResponder final : public QThread
{
public:
    // skewNs: how far the server's time is ahead of this computer's clock.
    explicit FakeResponder(Reply reply, qint64 skewNs = 7 * 60 * NanosPerSecond)
        : m_reply(reply)
        , m_skewNs(skewNs)
    {
        start();
        m_ready.acquire();
    }
    ~FakeResponder() override
    {
        requestInterruption();
        wait();
    }

    quint16 port() const { return m_port; }
    int requests() const { return m_requests; }

    static constexpr qint64 SkewNs = 7 * 60 * NanosPerSecond;

protected:
    void run() override
    {
        QUdpSocket socket;
        QUdpSocket other;
        socket.bind(QHostAddress::LocalHost, 0);
        other.bind(QHostAddress::LocalHost, 0);
        m_port = socket.localPort();
        m_ready.release();
        while (!isInterruptionRequested()) {
            if (!socket.waitForReadyRead(20))
                continue;
            while (socket.hasPendingDatagrams()) {
                QByteArray request(socket.pendingDatagramSize(), '\0');
                QHostAddress sender;
                quint16 senderPort = 0;
                request.truncate(
                    socket.readDatagram(request.data(), request.size(), &sender, &senderPort));
                ++m_requests;
                if (m_reply == Reply::Silent || request.size() < 48)
                    continue;
                const QByteArray reply = Answer(request);
                if (m_reply == Reply::GarbageFirst)
                    socket.writeDatagram(QByteArray(48, '\x5a'), sender, senderPort);
                if (m_reply == Reply::ForeignFirst) {
                    QByteArray foreign = reply;
                    foreign[24] = char(foreign[24] ^ 0x40);
                    socket.writeDatagram(foreign, sender, senderPort);
                }
                (m_reply == Reply::OtherPort ? other : socket)
                    .writeDatagram(reply, sender, senderPort);
            }
        }
    }

private:
    QByteArray Answer(const QByteArray &request) const
    {
        QByteArray reply(48, '\0');
        int leap = 0;
        int mode = 4;
        int stratum = 2;
        switch (m_reply) {
        case Reply::Stratum0:
            stratum = 0;
            break;
        case Reply::Stratum16:
            stratum = 16;
            break;
        case Reply::AlarmLeap:
            leap = 3;
            break;
        case Reply::ClientMode:
            mode = 3;
            break;
        default:
            break;
        }
        reply[0] = char((leap << 6) | (4 << 3) | mode);
        reply[1] = char(stratum);
        quint64 origin = qFromBigEndian<quint64>(request.constData() + 40);
        if (m_reply == Reply::WrongOrigin)
            origin ^= 1;
        qToBigEndian<quint64>(origin, reply.data() + 24);
        const quint64 now = UnixNsToNtp(NowNs() + m_skewNs);
        qToBigEndian<quint64>(now, reply.data() + 32);
        qToBigEndian<quint64>(m_reply == Reply::NoTransmit ? 0 : now, reply.data() + 40);
        if (m_reply == Reply::ShortPacket)
            reply.chop(1);
        return reply;
    }

    const Reply m_reply;
    const qint64 m_skewNs;
    QSemaphore m_ready;
    std::atomic<quint16> m_port = 0;
    std::atomic<int> m_requests = 0;
};

QString ServerText(quint16 port) { return u"127.0.0.1:"_s + QString::number(port); }

} // namespace

class TestSntp : public QObject
{
    Q_OBJECT

private slots:
    void parseServer_data();
    void parseServer();
    void timeStamps_data();
    void timeStamps();
    void localChronyGivesTheTime();
    void fakeServer_data();
    void fakeServer();
    void serverTimeOutsideTheProgramsLifetime_data();
    void serverTimeOutsideTheProgramsLifetime();
    void closedPortFailsAtOnce();
};

void TestSntp::parseServer_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");

    QTest::newRow("name") << u"time.stdtime.gov.tw"_s << true << u"time.stdtime.gov.tw"_s << 123;
    QTest::newRow("name and port") << u" 127.0.0.1:12323 "_s << true << u"127.0.0.1"_s << 12323;
    QTest::newRow("bare IPv6") << u"::1"_s << true << u"::1"_s << 123;
    QTest::newRow("bracketed IPv6") << u"[::1]:5000"_s << true << u"::1"_s << 5000;
    QTest::newRow("bracketed IPv6 no port") << u"[fe80::1]"_s << true << u"fe80::1"_s << 123;
    QTest::newRow("empty") << u"  "_s << false << QString() << 0;
    QTest::newRow("port only") << u":123"_s << false << QString() << 0;
    QTest::newRow("port zero") << u"host:0"_s << false << QString() << 0;
    QTest::newRow("port too big") << u"host:65536"_s << false << QString() << 0;
    QTest::newRow("port not a number") << u"host:ntp"_s << false << QString() << 0;
    QTest::newRow("empty port") << u"host:"_s << false << QString() << 0;
    QTest::newRow("unclosed bracket") << u"[::1:123"_s << false << QString() << 0;
    QTest::newRow("junk after bracket") << u"[::1]123"_s << false << QString() << 0;
}

void TestSntp::parseServer()
{
    QFETCH(QString, server);
    QFETCH(bool, valid);
    QFETCH(QString, host);
    QFETCH(int, port);

    QString gotHost;
    quint16 gotPort = 0;
    QString error;
    QCOMPARE(SntpClient::ParseServer(server, &gotHost, &gotPort, &error), valid);
    if (valid) {
        QCOMPARE(gotHost, host);
        QCOMPARE(int(gotPort), port);
    } else {
        QVERIFY(!error.isEmpty());
    }
}

void TestSntp::timeStamps_data()
{
    QTest::addColumn<qint64>("unixNs");
    QTest::addColumn<quint64>("ntpSeconds");

    QTest::newRow("1970") << qint64(0) << quint64(2'208'988'800u);
    QTest::newRow("2025 with a fraction") << qint64(1'746'252'429) * NanosPerSecond + 500'000'000
                                          << quint64(1'746'252'429u + 2'208'988'800u);
    // The NTP seconds wrap on 2036-02-07 06:28:16 UTC; later stamps start again from zero.
    QTest::newRow("era 1 starts") << qint64(2'085'978'496) * NanosPerSecond << quint64(0);
    QTest::newRow("2040") << qint64(2'208'988'800) * NanosPerSecond + 123'456'789
                          << quint64(2'208'988'800ull * 2 - 4'294'967'296ull);
}

void TestSntp::timeStamps()
{
    QFETCH(qint64, unixNs);
    QFETCH(quint64, ntpSeconds);

    const quint64 ntp = UnixNsToNtp(unixNs);
    QCOMPARE(ntp >> 32, ntpSeconds);
    // The fraction keeps the time to within a nanosecond.
    QVERIFY2(qAbs(NtpToUnixNs(ntp) - unixNs) <= 1,
        qPrintable(QString::number(NtpToUnixNs(ntp) - unixNs)));
}

// A real NTP server: chronyd serving its own clock (stratum 8) on a loopback port, told not to
// touch the computer's clock.
void TestSntp::localChronyGivesTheTime()
{
    const QString chronyd = QStandardPaths::findExecutable(
        u"chronyd"_s, { u"/usr/sbin"_s, u"/sbin"_s, u"/usr/local/sbin"_s, u"/usr/bin"_s });
    if (chronyd.isEmpty())
        QSKIP("chronyd is not installed (scripts/install-deps.sh --test installs chrony)");

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const quint16 port = FreeUdpPort();
    QVERIFY(port != 0);
    const QString conf = dir.filePath(u"chrony.conf"_s);
    {
        QFile file(conf);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Text));
        file.write(QStringLiteral("port %1\n"
                                  "bindaddress 127.0.0.1\n"
                                  "local stratum 8\n"
                                  "allow 127.0.0.1\n"
                                  "cmdport 0\n"
                                  "driftfile %2\n"
                                  "pidfile %3\n")
                       .arg(port)
                       .arg(dir.filePath(u"chrony.drift"_s), dir.filePath(u"chronyd.pid"_s))
                       .toUtf8());
    }

    // -x: never set the clock; -d: stay in the foreground. The files live in the temporary
    // folder, so the daemon keeps the user it was started as.
    QStringList arguments { u"-x"_s, u"-d"_s, u"-f"_s, conf };
#ifdef Q_OS_UNIX
    if (geteuid() == 0) {
        arguments << u"-u"_s << u"root"_s;
    } else if (const passwd *user = getpwuid(geteuid())) {
        arguments << u"-U"_s << u"-u"_s << QString::fromLocal8Bit(user->pw_name);
    }
#endif
    QProcess daemon;
    daemon.setProcessChannelMode(QProcess::MergedChannels);
    daemon.start(chronyd, arguments);
    if (!daemon.waitForStarted(5000))
        QSKIP(qPrintable(u"chronyd could not be started: "_s + daemon.errorString()));
    const auto stop = qScopeGuard([&daemon] {
        daemon.terminate();
        if (!daemon.waitForFinished(3000)) {
            daemon.kill();
            daemon.waitForFinished(3000);
        }
    });

    // The daemon needs a moment to open its port; until then the client hears "refused".
    SntpClient client(1000);
    SntpResult result;
    for (int attempt = 0; attempt < 20 && !result.ok; ++attempt) {
        if (daemon.state() != QProcess::Running)
            QSKIP(qPrintable(
                u"chronyd stopped at once: "_s + QString::fromLocal8Bit(daemon.readAll())));
        result = client.Query(ServerText(port));
        if (!result.ok)
            QThread::msleep(250);
    }
    QVERIFY2(result.ok,
        qPrintable(result.error + u" / chronyd: "_s + QString::fromLocal8Bit(daemon.readAll())));
    QCOMPARE(result.stratum, 8);
    QVERIFY(result.error.isEmpty());
    // The server serves this very computer's clock.
    QVERIFY2(qAbs(result.offsetMs) < 1000, qPrintable(QString::number(result.offsetMs)));
    QVERIFY(result.delayMs >= 0 && result.delayMs < 1000);
}

void TestSntp::fakeServer_data()
{
    QTest::addColumn<Reply>("reply");
    QTest::addColumn<QString>("error");

    QTest::newRow("good reply") << Reply::Good << QString();
    QTest::newRow("wrong origin") << Reply::WrongOrigin << u"不是對本機要求的回覆"_s;
    QTest::newRow("stratum 0") << Reply::Stratum0 << u"stratum 0"_s;
    QTest::newRow("stratum 16") << Reply::Stratum16 << u"stratum 16"_s;
    QTest::newRow("alarm leap indicator") << Reply::AlarmLeap << u"未同步"_s;
    QTest::newRow("client mode") << Reply::ClientMode << u"mode 3"_s;
    QTest::newRow("short packet") << Reply::ShortPacket << u"長度不足"_s;
    QTest::newRow("no transmit time") << Reply::NoTransmit << u"沒有時間"_s;
    QTest::newRow("no answer") << Reply::Silent << u"沒有回應"_s;
    QTest::newRow("answer from another port") << Reply::OtherPort << u"沒有回應"_s;
    // A stray packet ahead of the real reply is passed over; the attempt waits for the reply.
    QTest::newRow("junk, then the reply") << Reply::GarbageFirst << QString();
    QTest::newRow("reply to another request, then ours") << Reply::ForeignFirst << QString();
}

void TestSntp::fakeServer()
{
    QFETCH(Reply, reply);
    QFETCH(QString, error);

    FakeResponder server(reply);
    QVERIFY(server.port() != 0);
    SntpClient client(1500);
    const SntpResult result = client.Query(ServerText(server.port()));
    QCOMPARE(server.requests(), 1);
    if (error.isEmpty()) {
        QVERIFY2(result.ok, qPrintable(result.error));
        QCOMPARE(result.stratum, 2);
        // Seven minutes ahead, give or take the time the exchange took.
        const qint64 skewMs = FakeResponder::SkewNs / 1'000'000;
        QVERIFY2(
            qAbs(result.offsetMs - skewMs) < 500, qPrintable(QString::number(result.offsetMs)));
    } else {
        QVERIFY(!result.ok);
        QVERIFY2(result.error.contains(error), qPrintable(result.error));
        QCOMPARE(result.offsetMs, 0);
    }
}

// A server whose time lies before the day this program was built, or two decades after it,
// is broken: its answer is refused, whatever the offset to this computer.
void TestSntp::serverTimeOutsideTheProgramsLifetime_data()
{
    QTest::addColumn<QDateTime>("serverTime");
    QTest::addColumn<QString>("error");

    const QDateTime built = SntpClient::BuildDate().startOfDay(Qt::UTC);
    QTest::newRow("30 years before the build") << built.addYears(-30) << u"早於程式建置日期"_s;
    QTest::newRow("a day before the build") << built.addDays(-1) << u"早於程式建置日期"_s;
    QTest::newRow("the build day") << built.addSecs(60) << QString();
    // The local clock of the test is plausible, so a server that would move it by years is
    // refused even inside the program's lifetime (the moves a hostile server tried).
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QTest::newRow("a month ahead of the local clock") << now.addDays(31) << QString();
    QTest::newRow("a year ahead of the local clock") << now.addDays(365) << QString();
    QTest::newRow("1,673 days ahead of the local clock") << now.addDays(1673) << u"相差"_s;
    QTest::newRow("ten years ahead of the local clock") << now.addDays(3652) << u"相差"_s;
    QTest::newRow("a day short of twenty years") << built.addYears(20).addDays(-1) << u"相差"_s;
    QTest::newRow("twenty years after the build") << built.addYears(20).addSecs(60)
                                                  << u"晚於程式建置日期 20 年以上"_s;
}

void TestSntp::serverTimeOutsideTheProgramsLifetime()
{
    QFETCH(QDateTime, serverTime);
    QFETCH(QString, error);

    const qint64 skewNs
        = (serverTime.toMSecsSinceEpoch() - QDateTime::currentMSecsSinceEpoch()) * 1'000'000;
    FakeResponder server(Reply::Good, skewNs);
    QVERIFY(server.port() != 0);
    SntpClient client(1500);
    const SntpResult result = client.Query(ServerText(server.port()));
    if (error.isEmpty()) {
        QVERIFY2(result.ok, qPrintable(result.error));
        QVERIFY(qAbs(result.offsetMs - skewNs / 1'000'000) < 500);
    } else {
        QVERIFY(!result.ok);
        QVERIFY2(result.error.contains(error), qPrintable(result.error));
    }
}

// Nobody listens on the port: the system says so, and the client reports the refusal instead of
// waiting out its time-out.
void TestSntp::closedPortFailsAtOnce()
{
    const quint16 port = FreeUdpPort();
    QVERIFY(port != 0);
    SntpClient client(5000);
    const SntpResult result = client.Query(ServerText(port));
    QVERIFY(!result.ok);
    QVERIFY2(result.error.contains(u"拒絕連線"_s), qPrintable(result.error));
}

QTEST_GUILESS_MAIN(TestSntp)
#include "tst_sntp.moc"
