#include "platform/SntpClient.h"

#include <QDate>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QRandomGenerator>
#include <QUdpSocket>
#include <QtEndian>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr qint64 NanosPerSecond = 1'000'000'000;
// Seconds from 1900-01-01 (the NTP epoch) to 1970-01-01.
constexpr qint64 NtpToUnixSeconds = 2'208'988'800;
constexpr int PacketSize = 48;

// Offsets of the fields of an NTP packet.
constexpr int OriginateOffset = 24;
constexpr int ReceiveOffset = 32;
constexpr int TransmitOffset = 40;

qint64 SystemNowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::system_clock::now().time_since_epoch())
        .count();
}

SntpResult Failure(const QString &why)
{
    SntpResult result;
    result.error = why;
    return result;
}

// A name look-up that gives up at the deadline. The resolver may take far longer than our
// time-out when the name servers do not answer, so it runs on a thread of its own which is
// left to finish by itself when we stop waiting.
QList<QHostAddress> LookUp(const QString &host, const QDeadlineTimer &deadline, QString *error)
{
    QHostAddress literal;
    if (literal.setAddress(host))
        return { literal };

    struct State
    {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        QList<QHostAddress> addresses;
        QString error;
    };
    auto state = std::make_shared<State>();
    std::thread([state, host] {
        const QHostInfo info = QHostInfo::fromName(host);
        const std::lock_guard lock(state->mutex);
        state->addresses = info.addresses();
        state->error = info.errorString();
        state->finished = true;
        state->done.notify_all();
    }).detach();

    std::unique_lock lock(state->mutex);
    const auto wait = std::chrono::milliseconds(qMax<qint64>(0, deadline.remainingTime()));
    if (!state->done.wait_for(lock, wait, [&] { return state->finished; })) {
        *error = u"校時伺服器名稱查詢逾時: "_s + host;
        return {};
    }
    if (state->addresses.isEmpty())
        *error = u"找不到校時伺服器: "_s + host + u" ("_s + state->error + u')';
    return state->addresses;
}

// IPv4 first: a station with a half-working IPv6 set-up still reaches the server.
QHostAddress PreferredAddress(const QList<QHostAddress> &addresses)
{
    for (const QHostAddress &address : addresses) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            return address;
    }
    return addresses.value(0);
}

quint64 ReadStamp(const QByteArray &packet, int offset)
{
    return qFromBigEndian<quint64>(packet.constData() + offset);
}

} // namespace

quint64 UnixNsToNtp(qint64 unixNs)
{
    qint64 seconds = unixNs / NanosPerSecond;
    qint64 nanos = unixNs % NanosPerSecond;
    if (nanos < 0) {
        nanos += NanosPerSecond;
        --seconds;
    }
    const quint64 ntpSeconds = quint64(seconds + NtpToUnixSeconds) & 0xFFFFFFFFu;
    const quint64 fraction = (quint64(nanos) << 32) / NanosPerSecond;
    return (ntpSeconds << 32) | fraction;
}

qint64 NtpToUnixNs(quint64 ntp)
{
    qint64 seconds = qint64(ntp >> 32);
    // Era 1 starts on 2036-02-07; a stamp of era 0 this small would lie before 1968.
    if (seconds < 0x80000000LL)
        seconds += 0x100000000LL;
    const qint64 nanos = qint64(((ntp & 0xFFFFFFFFu) * NanosPerSecond) >> 32);
    return (seconds - NtpToUnixSeconds) * NanosPerSecond + nanos;
}

#ifndef ROLVAN_BUILD_DATE
#error "ROLVAN_BUILD_DATE (yyyy-MM-dd) must be defined by the build"
#endif

QDate SntpClient::BuildDate()
{
    return QDate::fromString(QStringLiteral(ROLVAN_BUILD_DATE), Qt::ISODate);
}

SntpClient::SntpClient(int timeoutMs)
    : m_timeoutMs(timeoutMs)
    , m_earliest(BuildDate().startOfDay(Qt::UTC))
    , m_latest(m_earliest.addYears(LatestYearsAfterBuild))
{
}

void SntpClient::SetAcceptedTimes(const QDateTime &earliest, const QDateTime &latest)
{
    m_earliest = earliest;
    m_latest = latest;
}

bool SntpClient::ParseServer(const QString &server, QString *host, quint16 *port, QString *error)
{
    const QString text = server.trimmed();
    QString name = text;
    QString portText;
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']');
        if (close < 0) {
            *error = u"校時伺服器設定錯誤: "_s + server;
            return false;
        }
        name = text.mid(1, close - 1);
        const QString rest = text.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(u':')) {
                *error = u"校時伺服器設定錯誤: "_s + server;
                return false;
            }
            portText = rest.mid(1);
        }
    } else if (text.count(u':') == 1) {
        // A bare IPv6 address has several colons and no port.
        const qsizetype colon = text.indexOf(u':');
        name = text.left(colon);
        portText = text.mid(colon + 1);
    }
    if (name.isEmpty()) {
        *error = u"未設定校時伺服器"_s;
        return false;
    }
    quint16 number = DefaultPort;
    if (!portText.isNull()) {
        bool ok = false;
        const uint value = portText.toUInt(&ok);
        if (!ok || value == 0 || value > 65535) {
            *error = u"校時伺服器的連接埠錯誤: "_s + server;
            return false;
        }
        number = quint16(value);
    }
    *host = name;
    *port = number;
    return true;
}

SntpResult SntpClient::Query(const QString &server)
{
    const QDeadlineTimer deadline(m_timeoutMs);
    QString host;
    quint16 port = DefaultPort;
    QString error;
    if (!ParseServer(server, &host, &port, &error))
        return Failure(error);

    const QHostAddress address = PreferredAddress(LookUp(host, deadline, &error));
    if (address.isNull())
        return Failure(error);

    // A connected socket: the system passes on only datagrams from the server's address and
    // port, and a closed port is reported at once instead of waiting out the time-out.
    QUdpSocket socket;
    socket.connectToHost(address, port);
    if (socket.state() != QAbstractSocket::ConnectedState
        && !socket.waitForConnected(int(qMax<qint64>(1, deadline.remainingTime()))))
        return Failure(u"無法連線校時伺服器: "_s + socket.errorString());

    // Version 4, mode 3 (client). Only the transmit time is filled; its lowest bits are random
    // so that a forged reply cannot guess the originate time it must carry.
    QByteArray request(PacketSize, '\0');
    request[0] = char((4 << 3) | 3);
    const quint64 sent
        = UnixNsToNtp(SystemNowNs()) ^ (QRandomGenerator::global()->generate() & 0xFFFFu);
    qToBigEndian<quint64>(sent, request.data() + TransmitOffset);
    if (socket.write(request) != PacketSize)
        return Failure(u"無法送出校時要求: "_s + socket.errorString());

    // Why the packets heard so far were passed over; told when no usable reply follows.
    QString passedOver;
    for (;;) {
        const qint64 remaining = deadline.remainingTime();
        if (remaining <= 0 || !socket.waitForReadyRead(int(remaining))) {
            if (socket.error() == QAbstractSocket::ConnectionRefusedError)
                return Failure(u"校時伺服器拒絕連線"_s);
            if (!passedOver.isEmpty())
                return Failure(u"校時伺服器沒有有效回應 ("_s + passedOver + u')');
            return Failure(u"校時伺服器沒有回應"_s);
        }
        // Woken with nothing to read: the system's "port unreachable" for this connected
        // socket (which Qt reads and drops while looking for a datagram).
        if (!socket.hasPendingDatagrams())
            return Failure(u"校時伺服器拒絕連線"_s);
        while (socket.hasPendingDatagrams()) {
            const qint64 arrived = SystemNowNs();
            QByteArray reply(qMax<qint64>(socket.pendingDatagramSize(), 0), '\0');
            QHostAddress sender;
            quint16 senderPort = 0;
            const qint64 size
                = socket.readDatagram(reply.data(), reply.size(), &sender, &senderPort);
            if (size < 0)
                continue;
            reply.truncate(size);
            if (senderPort != port || !sender.isEqual(address, QHostAddress::ConvertV4MappedToIPv4))
                continue; // not from the server we asked: keep waiting for its answer

            // Not a reply to this request: a stray or forged packet ahead of the real reply
            // must not cost the attempt.
            if (reply.size() < PacketSize) {
                passedOver = u"校時回應長度不足"_s;
                continue;
            }
            const quint8 first = quint8(reply.at(0));
            const int leap = first >> 6;
            const int mode = first & 7;
            const int stratum = quint8(reply.at(1));
            if (ReadStamp(reply, OriginateOffset) != sent) {
                passedOver = u"校時回應不是對本機要求的回覆"_s;
                continue;
            }
            if (mode != 4) {
                passedOver = u"校時回應不是伺服器回覆 (mode %1)"_s.arg(mode);
                continue;
            }
            // The server's own answer to us: when it cannot give the time, the attempt fails.
            if (leap == 3)
                return Failure(u"校時伺服器時間未同步"_s);
            if (stratum < 1 || stratum > 15)
                return Failure(u"校時伺服器層級無效 (stratum %1)"_s.arg(stratum));
            const quint64 received = ReadStamp(reply, ReceiveOffset);
            const quint64 transmit = ReadStamp(reply, TransmitOffset);
            if (received == 0 || transmit == 0)
                return Failure(u"校時回應沒有時間"_s);

            const qint64 t1 = NtpToUnixNs(sent);
            const qint64 t2 = NtpToUnixNs(received);
            const qint64 t3 = NtpToUnixNs(transmit);
            const qint64 t4 = arrived;
            // A time before this program existed, or decades after it, is a broken server:
            // setting the clock to it would date every sign event wrongly.
            const QDateTime serverTime
                = QDateTime::fromMSecsSinceEpoch(t3 / 1'000'000, Qt::UTC);
            const QString shown = serverTime.toString(u"yyyy/MM/dd hh:mm:ss"_s);
            if (serverTime < m_earliest)
                return Failure(u"校時伺服器時間 %1 早於程式建置日期 %2"_s.arg(
                    shown, m_earliest.toString(u"yyyy/MM/dd"_s)));
            if (serverTime >= m_latest)
                return Failure(u"校時伺服器時間 %1 晚於程式建置日期 %2 年以上"_s.arg(
                    shown, QString::number(LatestYearsAfterBuild)));
            const QDateTime localTime = QDateTime::fromMSecsSinceEpoch(t4 / 1'000'000, Qt::UTC);
            const qint64 correctionDays = qAbs(localTime.daysTo(serverTime));
            if (localTime >= m_earliest && correctionDays > LargestCorrectionDays)
                return Failure(u"校時伺服器時間 %1 與本機時間相差 %2 天，不予採用"_s.arg(
                    shown, QString::number(correctionDays)));
            SntpResult result;
            result.ok = true;
            result.stratum = stratum;
            result.offsetMs = ((t2 - t1) + (t3 - t4)) / 2 / 1'000'000;
            result.delayMs = qMax<qint64>(0, (t4 - t1) - (t3 - t2)) / 1'000'000;
            return result;
        }
    }
}
