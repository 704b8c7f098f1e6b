#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QString>

#include <functional>
#include <utility>

class QIODevice;
class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

// What one request ended with. A request succeeded when error is empty: the server answered
// with a status below 400. Otherwise error names the address and the reason in words the
// operator can act on; status holds the HTTP status when the server answered at all.
struct WebResult
{
    int status = 0; // HTTP status, 0 when no answer arrived
    QByteArray body; // the answer as it came (empty for a download into a device)
    QString error; // empty on success
    bool timedOut = false;
    bool cancelled = false;

    bool ok() const { return error.isEmpty(); }
    // The answer read as UTF-8 text.
    QString text() const { return QString::fromUtf8(body); }
};

// A file part of a multipart form.
struct WebFilePart
{
    QString fieldName; // form field, e.g. "uploadzip"
    QString fileName; // name the server sees
    QString contentType; // e.g. "application/zip"
    QByteArray data; // the content, or
    QString path; // the file to send when data is empty
};

using WebFormFields = QList<std::pair<QString, QString>>;

// The station's HTTPS client. Every request blocks its caller in a local event loop that
// excludes user input (the window stays painted but takes no clicks) until the answer, a
// failure, the time-out or cancel() ends it. The server certificate is verified against the
// system's store plus the optional extra CA certificates (TLS 1.2 or newer); cookies are kept
// for the life of the client. The time-out counts from the last sign of life, so a long upload
// that keeps moving is not cut off.
class WebClient : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultTimeoutMs = 30000;

    explicit WebClient(QObject *parent = nullptr);
    ~WebClient() override;

    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    int timeoutMs() const { return m_timeoutMs; }

    // Trusts the CA certificates of a PEM file in addition to the system's store. An empty
    // path trusts the system's store alone. False, with a message naming the file, when it
    // cannot be read or holds no certificate.
    bool setExtraCaFile(const QString &path, QString *error = nullptr);

    WebResult get(const QString &url);
    // Fields URL-encoded as application/x-www-form-urlencoded (UTF-8).
    WebResult postForm(const QString &url, const WebFormFields &fields);
    WebResult postJson(const QString &url, const QByteArray &json);
    WebResult postMultipart(
        const QString &url, const WebFormFields &fields, const WebFilePart &file);
    // The answer is written to target as it arrives (body stays empty). A failure leaves
    // what arrived in target: the caller writes to a temporary file and keeps it only on success.
    WebResult download(const QString &url, QIODevice *target);

    // True while a request runs.
    bool busy() const { return m_reply != nullptr; }

public slots:
    // Ends the running request; it returns with cancelled set.
    void cancel();

signals:
    void uploadProgress(qint64 sent, qint64 total);
    void downloadProgress(qint64 received, qint64 total);

private:
    QNetworkRequest makeRequest(const QString &url) const;
    WebResult run(const QString &url,
        const std::function<QNetworkReply *(const QNetworkRequest &)> &send, QIODevice *sink);

    QNetworkAccessManager *m_manager = nullptr;
    QNetworkReply *m_reply = nullptr;
    QList<QSslCertificate> m_extraCa;
    int m_timeoutMs = DefaultTimeoutMs;
    bool m_cancelRequested = false;
};
