#include "net/WebClient.h"

#include <QEventLoop>
#include <QFile>
#include <QHttpMultiPart>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QSslError>
#include <QTimer>
#include <QUrl>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QByteArray AcceptHeader = "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";
const QByteArray UserAgentHeader
    = "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
      "Chrome/93.0.4577.63 Safari/537.36";

// The reason of a failed connection in the operator's words; Qt's own text follows for support.
QString ReasonOf(QNetworkReply::NetworkError code, const QString &host)
{
    switch (code) {
    case QNetworkReply::ConnectionRefusedError:
        return u"伺服器 %1 拒絕連線"_s.arg(host);
    case QNetworkReply::RemoteHostClosedError:
        return u"伺服器 %1 中斷了連線"_s.arg(host);
    case QNetworkReply::HostNotFoundError:
        return u"找不到主機 %1"_s.arg(host);
    case QNetworkReply::SslHandshakeFailedError:
        return u"與 %1 的加密連線無法建立"_s.arg(host);
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::TemporaryNetworkFailureError:
        return u"網路無法使用"_s;
    case QNetworkReply::ProtocolUnknownError:
        return u"不支援的網址"_s;
    default:
        return u"連線失敗"_s;
    }
}

// The system's store, read once: reading it takes a good part of a second.
const QList<QSslCertificate> &SystemCaCertificates()
{
    static const QList<QSslCertificate> certificates = QSslConfiguration::systemCaCertificates();
    return certificates;
}

} // namespace

WebClient::WebClient(QObject *parent)
    : QObject(parent)
    , m_manager(new QNetworkAccessManager(this))
{
    m_manager->setCookieJar(new QNetworkCookieJar(m_manager));
    m_manager->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

WebClient::~WebClient()
{
    if (m_reply)
        m_reply->abort();
}

bool WebClient::setExtraCaFile(const QString &path, QString *error)
{
    m_extraCa.clear();
    if (path.trimmed().isEmpty())
        return true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = u"無法讀取信任憑證檔 %1：%2"_s.arg(path, file.errorString());
        return false;
    }
    const QList<QSslCertificate> certificates
        = QSslCertificate::fromData(file.readAll(), QSsl::Pem);
    if (certificates.isEmpty()) {
        if (error)
            *error = u"信任憑證檔 %1 中沒有 PEM 格式的憑證"_s.arg(path);
        return false;
    }
    m_extraCa = certificates;
    return true;
}

QNetworkRequest WebClient::makeRequest(const QString &url) const
{
    QNetworkRequest request { QUrl(url) };
    request.setRawHeader("Accept", AcceptHeader);
    request.setHeader(QNetworkRequest::UserAgentHeader, UserAgentHeader);
    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    ssl.setProtocol(QSsl::TlsV1_2OrLater);
    ssl.setPeerVerifyMode(QSslSocket::VerifyPeer);
    if (!m_extraCa.isEmpty())
        ssl.setCaCertificates(SystemCaCertificates() + m_extraCa);
    request.setSslConfiguration(ssl);
    // Our own time-out governs; Qt's transfer time-out stays off.
    request.setTransferTimeout(0);
    return request;
}

WebResult WebClient::get(const QString &url)
{
    return run(
        url, [this](const QNetworkRequest &request) { return m_manager->get(request); }, nullptr);
}

WebResult WebClient::postForm(const QString &url, const WebFormFields &fields)
{
    // Every byte outside the unreserved set is percent-encoded, "+" and "&" included.
    QByteArray body;
    for (const auto &[name, value] : fields) {
        if (!body.isEmpty())
            body += '&';
        body += QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value);
    }
    return run(
        url,
        [this, body](QNetworkRequest request) {
            request.setHeader(
                QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded"_ba);
            return m_manager->post(request, body);
        },
        nullptr);
}

WebResult WebClient::postJson(const QString &url, const QByteArray &json)
{
    return run(
        url,
        [this, json](QNetworkRequest request) {
            request.setHeader(
                QNetworkRequest::ContentTypeHeader, "application/json; charset=utf-8"_ba);
            return m_manager->post(request, json);
        },
        nullptr);
}

WebResult WebClient::postMultipart(const QString &url, const WebFormFields &fields, const WebFilePart &file)
{
    // A file is sent from the disk as it is read, so a large package never sits in memory.
    std::unique_ptr<QFile> source;
    if (file.data.isEmpty() && !file.path.isEmpty()) {
        source = std::make_unique<QFile>(file.path);
        if (!source->open(QIODevice::ReadOnly)) {
            WebResult result;
            result.error = u"無法讀取要上傳的檔案 %1：%2"_s.arg(file.path, source->errorString());
            return result;
        }
    }
    return run(url, [this, fields, file, &source](const QNetworkRequest &request) {
        auto *multi = new QHttpMultiPart(QHttpMultiPart::FormDataType);
        for (const auto &[name, value] : fields) {
            QHttpPart part;
            part.setHeader(QNetworkRequest::ContentDispositionHeader,
                           u"form-data; name=\"%1\""_s.arg(name));
            part.setBody(value.toUtf8());
            multi->append(part);
        }
        QHttpPart part;
        part.setHeader(QNetworkRequest::ContentTypeHeader, file.contentType);
        part.setHeader(QNetworkRequest::ContentDispositionHeader,
                       u"form-data; name=\"%1\"; filename=\"%2\""_s.arg(file.fieldName, file.fileName));
        if (source) {
            part.setBodyDevice(source.get());
            source.release()->setParent(multi);
        } else {
            part.setBody(file.data);
        }
        multi->append(part);
        QNetworkReply *reply = m_manager->post(request, multi);
        multi->setParent(reply);
        return reply;
    }, nullptr);
}

WebResult WebClient::download(const QString &url, QIODevice *target)
{
    return run(
        url, [this](const QNetworkRequest &request) { return m_manager->get(request); }, target);
}

void WebClient::cancel()
{
    if (!m_reply)
        return;
    m_cancelRequested = true;
    m_reply->abort();
}

WebResult WebClient::run(const QString &url,
    const std::function<QNetworkReply *(const QNetworkRequest &)> &send, QIODevice *sink)
{
    WebResult result;
    const QUrl parsed(url);
    if (!parsed.isValid() || parsed.scheme().isEmpty() || parsed.host().isEmpty()) {
        result.error = u"網址不正確：%1"_s.arg(url);
        return result;
    }
    if (m_reply) {
        result.error = u"前一個連線尚未結束，無法連線至 %1"_s.arg(url);
        return result;
    }

    m_cancelRequested = false;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setInterval(m_timeoutMs);
    bool timedOut = false;
    QList<QSslError> sslErrors;
    bool sinkFailed = false;

    QNetworkReply *reply = send(makeRequest(url));
    m_reply = reply;
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    connect(&timer, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        reply->abort();
    });
    connect(reply, &QNetworkReply::sslErrors, &loop,
        [&](const QList<QSslError> &errors) { sslErrors += errors; });
    connect(reply, &QNetworkReply::uploadProgress, &loop, [&](qint64 sent, qint64 total) {
        timer.start();
        emit uploadProgress(sent, total);
    });
    connect(reply, &QNetworkReply::downloadProgress, &loop, [&](qint64 received, qint64 total) {
        timer.start();
        emit downloadProgress(received, total);
    });
    if (sink) {
        // What arrives faster than it is written waits in the socket, not in memory.
        reply->setReadBufferSize(4 * 1024 * 1024);
        connect(reply, &QNetworkReply::readyRead, &loop, [&] {
            const QByteArray chunk = reply->readAll();
            if (chunk.isEmpty())
                return;
            if (!sinkFailed && sink->write(chunk) != chunk.size()) {
                sinkFailed = true;
                reply->abort();
            }
        });
    }
    timer.start();
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    timer.stop();

    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QString reasonPhrase
        = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    if (!reply->isOpen()) {
        // An aborted reply has nothing more to give.
    } else if (sink) {
        const QByteArray rest = reply->readAll();
        if (!sinkFailed && !rest.isEmpty() && sink->write(rest) != rest.size())
            sinkFailed = true;
    } else {
        result.body = reply->readAll();
    }
    const QNetworkReply::NetworkError code = reply->error();
    const QString qtReason = reply->errorString();
    const QString host = parsed.host();
    m_reply = nullptr;
    reply->deleteLater();

    if (timedOut) {
        result.timedOut = true;
        result.error = u"連線至 %1 逾時：%2 秒內沒有回應"_s.arg(url).arg(m_timeoutMs / 1000.0);
    } else if (m_cancelRequested) {
        result.cancelled = true;
        result.error = u"已取消連線 %1"_s.arg(url);
    } else if (sinkFailed) {
        result.error = u"自 %1 下載的資料無法寫入：%2"_s.arg(url, sink->errorString());
    } else if (!sslErrors.isEmpty() || code == QNetworkReply::SslHandshakeFailedError) {
        QStringList reasons;
        for (const QSslError &e : sslErrors)
            reasons << e.errorString();
        if (reasons.isEmpty())
            reasons << qtReason;
        reasons.removeDuplicates();
        result.error = u"無法驗證伺服器 %1 的憑證，已拒絕連線（%2）：%3"_s.arg(
            host, url, reasons.join(u"；"_s));
    } else if (result.status >= 400) {
        result.error
            = u"%1 回應錯誤：HTTP %2 %3"_s.arg(url).arg(result.status).arg(reasonPhrase).trimmed();
    } else if (code != QNetworkReply::NoError) {
        result.error = u"無法連線至 %1：%2（%3）"_s.arg(url, ReasonOf(code, host), qtReason);
    }
    return result;
}
