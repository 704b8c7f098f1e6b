// The HTTPS client against the fake training service on 127.0.0.1: answers arrive whole, every
// failure (HTTP status, silent server, refused or unverifiable certificate, cancel) comes back
// as a message naming the address and the reason, forms and files arrive as sent.

#include "fakeservice/FakeService.h"
#include "net/WebClient.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;

class TestWebClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void answersArriveWhole();
    void httpStatusesAreReported_data();
    void httpStatusesAreReported();
    void silentServerTimesOut();
    void cancelEndsTheRequest();
    void certificateChecks_data();
    void certificateChecks();
    void unreachableServerIsNamed();
    void formFieldsArriveAsSent();
    void multipartUploadReportsProgress();
    void downloadWritesIntoTheDevice();

private:
    std::unique_ptr<WebClient> trustingClient();
    std::unique_ptr<FakeService> m_service;
};

void TestWebClient::initTestCase()
{
    m_service = std::make_unique<FakeService>();
    QVERIFY2(m_service->start(), qPrintable(m_service->error()));
}

void TestWebClient::init() { QVERIFY(m_service->reset()); }

std::unique_ptr<WebClient> TestWebClient::trustingClient()
{
    auto client = std::make_unique<WebClient>();
    QString error;
    if (!client->setExtraCaFile(m_service->caFile(), &error))
        qFatal("%s", qPrintable(error));
    return client;
}

void TestWebClient::answersArriveWhole()
{
    auto client = trustingClient();
    const WebResult token = client->get(m_service->base() + u"/api/getToken"_s);
    QVERIFY2(token.ok(), qPrintable(token.error));
    QCOMPARE(token.status, 200);
    QVERIFY(token.text().startsWith(u"{\"token\": \"svc"_s));

    const WebResult list = client->get(m_service->base() + u"/sctcls/api/list2/X001"_s);
    QVERIFY2(list.ok(), qPrintable(list.error));
    QVERIFY(list.text().contains(u"職業安全衛生教育訓練"_s));
}

void TestWebClient::httpStatusesAreReported_data()
{
    QTest::addColumn<int>("status");
    QTest::newRow("404") << 404;
    QTest::newRow("500") << 500;
    QTest::newRow("503") << 503;
    QTest::newRow("403") << 403;
}

void TestWebClient::httpStatusesAreReported()
{
    QFETCH(int, status);
    QVERIFY(m_service->set(u"status=%1"_s.arg(status)));
    auto client = trustingClient();
    const QString url = m_service->base() + u"/api/getToken"_s;
    const WebResult result = client->get(url);
    QVERIFY(!result.ok());
    QCOMPARE(result.status, status);
    QVERIFY2(result.error.contains(url), qPrintable(result.error));
    QVERIFY2(result.error.contains(u"HTTP %1"_s.arg(status)), qPrintable(result.error));
}

void TestWebClient::silentServerTimesOut()
{
    QVERIFY(m_service->set(u"slow=3"_s));
    auto client = trustingClient();
    client->setTimeoutMs(600);
    const QString url = m_service->base() + u"/api/getToken"_s;
    const WebResult result = client->get(url);
    QVERIFY(result.timedOut);
    QVERIFY2(
        result.error.contains(url) && result.error.contains(u"逾時"_s), qPrintable(result.error));
    QVERIFY(!client->busy());
}

void TestWebClient::cancelEndsTheRequest()
{
    QVERIFY(m_service->set(u"slow=3"_s));
    auto client = trustingClient();
    QTimer::singleShot(200, client.get(), &WebClient::cancel);
    const WebResult result = client->get(m_service->base() + u"/api/getToken"_s);
    QVERIFY(result.cancelled);
    QVERIFY(!result.timedOut);
    QVERIFY(result.error.contains(u"取消"_s));
}

void TestWebClient::certificateChecks_data()
{
    QTest::addColumn<bool>("trustTestCa");
    QTest::addColumn<bool>("wrongHost");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("test CA trusted through the extra CA file") << true << false << true;
    QTest::newRow("self-made CA unknown to the system store") << false << false << false;
    QTest::newRow("certificate made for another host") << true << true << false;
}

void TestWebClient::certificateChecks()
{
    QFETCH(bool, trustTestCa);
    QFETCH(bool, wrongHost);
    QFETCH(bool, accepted);
    WebClient client;
    if (trustTestCa)
        QVERIFY(client.setExtraCaFile(m_service->caFile()));
    if (wrongHost)
        QVERIFY(m_service->set(u"wronghost=1"_s));
    const WebResult result = client.get(m_service->base() + u"/api/getToken"_s);
    QCOMPARE(result.ok(), accepted);
    if (!accepted) {
        QCOMPARE(result.status, 0);
        QVERIFY(result.body.isEmpty());
        QVERIFY2(result.error.contains(u"127.0.0.1"_s) && result.error.contains(u"憑證"_s),
            qPrintable(result.error));
    }
}

void TestWebClient::unreachableServerIsNamed()
{
    // A port that was free a moment ago: nothing listens there.
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    const quint16 port = probe.serverPort();
    probe.close();
    WebClient client;
    const QString url = u"https://127.0.0.1:%1/cco/api/getToken"_s.arg(port);
    const WebResult result = client.get(url);
    QVERIFY(!result.ok());
    QVERIFY2(result.error.contains(url) && result.error.contains(u"拒絕連線"_s),
        qPrintable(result.error));

    const WebResult bad = client.get(u"not an address"_s);
    QVERIFY(bad.error.contains(u"網址不正確"_s));

    QString error;
    QVERIFY(!client.setExtraCaFile(u"/nonexistent/ca.pem"_s, &error));
    QVERIFY(error.contains(u"/nonexistent/ca.pem"_s));
}

void TestWebClient::formFieldsArriveAsSent()
{
    auto client = trustingClient();
    const QString token
        = QJsonDocument::fromJson(client->get(m_service->base() + u"/api/getToken"_s).body)
              .object()
              .value(u"token"_s)
              .toString();
    const QString data = u"[{\"subject\":\"A&B=C+D 100% 安全\"}]"_s;
    const WebResult result = client->postForm(m_service->base() + u"/sctcls/api/uploadCourse"_s,
        { { u"token"_s, token }, { u"index_key"_s, u"11501000001"_s }, { u"data"_s, data } });
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(QJsonDocument::fromJson(result.body).object().value(u"msg"_s).toString(), u"OK"_s);
    const QJsonObject posted = m_service->posted().last().toObject();
    QCOMPARE(posted.value(u"content_type"_s).toString(), u"application/x-www-form-urlencoded"_s);
    const QJsonObject form = posted.value(u"form"_s).toObject();
    QCOMPARE(form.value(u"data"_s).toString(), data);
    QCOMPARE(form.value(u"index_key"_s).toString(), u"11501000001"_s);
}

void TestWebClient::multipartUploadReportsProgress()
{
    auto client = trustingClient();
    QSignalSpy progress(client.get(), &WebClient::uploadProgress);
    // The service takes packages only with a certificate-check token that was checked.
    const WebResult check = client->get(m_service->base() + u"/sctstulist/api/getCheckToken?untcod=X001"_s);
    const QString token = QJsonDocument::fromJson(check.body).object().value(u"token"_s).toString();
    QVERIFY(m_service->markChecked(token));
    // The file is sent from the disk.
    const QByteArray zip(300000, 'z');
    QTemporaryDir dir;
    const QString path = dir.filePath(u"11501000001.zip"_s);
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(zip);
    }
    const WebResult result = client->postMultipart(
        m_service->base() + u"/sctstulist/api/clszip"_s, { { u"clssno"_s, u"11501000001"_s }, { u"token"_s, token } },
        { u"uploadzip"_s, u"11501000001.zip"_s, u"application/jpg"_s, QByteArray(), path });
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(result.text().trimmed(), u"上傳成功"_s);
    QVERIFY(!progress.isEmpty());
    // Some report says the whole body (the file and the form around it) went out.
    bool whole = false;
    for (const QList<QVariant> &report : progress)
        whole = whole
            || (report.at(0).toLongLong() == report.at(1).toLongLong()
                && report.at(1).toLongLong() > zip.size());
    QVERIFY(whole);
    const QJsonObject posted = m_service->posted().last().toObject();
    QVERIFY(posted.value(u"content_type"_s).toString().startsWith(u"multipart/form-data"_s));
    QVERIFY(posted.value(u"size"_s).toInt() > zip.size());
    QCOMPARE(posted.value(u"files"_s).toObject().value(u"uploadzip"_s).toObject().value(u"size"_s).toInt(),
             zip.size());
}

void TestWebClient::downloadWritesIntoTheDevice()
{
    auto client = trustingClient();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const WebResult result = client->download(
        m_service->base() + u"/sctstulist/api/downloadZip?clssno=11501000001"_s, &buffer);
    QVERIFY2(result.ok(), qPrintable(result.error));
    QVERIFY(result.body.isEmpty());
    QVERIFY(buffer.data().startsWith("PK"));
}

QTEST_GUILESS_MAIN(TestWebClient)
#include "tst_webclient.moc"
