#include "fakeservice/FakeService.h"

#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "net/WebClient.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

using namespace Qt::StringLiterals;

FakeService::FakeService(const QStringList &arguments)
    : m_arguments(arguments)
{
}

FakeService::~FakeService()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    // Closing its input ends the service; it removes its certificates on the way out.
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(5000)) {
        m_process.terminate();
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished(3000);
    }
}

bool FakeService::start()
{
    const QString source = qEnvironmentVariable("ROLVAN_SOURCE_DIR");
    if (source.isEmpty()) {
        m_error = u"ROLVAN_SOURCE_DIR is not set"_s;
        return false;
    }
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start(u"python3"_s,
        QStringList { source + u"/tests/fakeservice/fakeservice.py"_s, u"--exit-on-eof"_s }
            + m_arguments);
    if (!m_process.waitForStarted(10000)) {
        m_error = u"python3 did not start: "_s + m_process.errorString();
        return false;
    }
    const QDeadlineTimer deadline(30000);
    while (!m_process.canReadLine()) {
        if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning) {
            m_error = u"fake service did not come up: "_s
                + QString::fromUtf8(m_process.readAllStandardError());
            return false;
        }
        m_process.waitForReadyRead(200);
    }
    const QJsonObject info = QJsonDocument::fromJson(m_process.readLine()).object();
    m_port = info.value(u"port"_s).toInt();
    m_base = info.value(u"base"_s).toString();
    m_caFile = info.value(u"ca"_s).toString();
    if (m_port <= 0 || m_base.isEmpty()) {
        m_error = u"fake service announced no port"_s;
        return false;
    }
    return true;
}

bool FakeService::control(const QString &pathAndQuery, QByteArray *body, const QByteArray *post)
{
    WebClient client;
    client.setTimeoutMs(10000);
    client.setExtraCaFile(m_caFile);
    const QString url = u"https://127.0.0.1:%1"_s.arg(m_port) + pathAndQuery;
    const WebResult result = post ? client.postJson(url, *post) : client.get(url);
    if (body)
        *body = result.body;
    return result.ok();
}

bool FakeService::set(const QString &query) { return control(u"/__control/set?"_s + query); }

bool FakeService::reset() { return control(u"/__control/reset"_s); }

bool FakeService::resetAll()
{
    return control(u"/__control/reset?records=1"_s);
}

QJsonArray FakeService::posted()
{
    QByteArray body;
    control(u"/__control/posted"_s, &body);
    return QJsonDocument::fromJson(body).array();
}

QByteArray FakeService::uploadedFile(int index)
{
    QByteArray body;
    if (!control(u"/__control/upload?index=%1"_s.arg(index), &body))
        return {};
    return body;
}

bool FakeService::setDownload(const QString &classNo, const QByteArray &zip)
{
    return control(u"/__control/download?clssno="_s + classNo, nullptr, &zip);
}

bool FakeService::markChecked(const QString &token)
{
    return control(u"/__control/check?token="_s + token);
}

void FakeService::configureStation() const
{
    WriteIniSetting(IniSection::Base, IniKey::ServiceUrl, m_base);
    WriteIniSetting(IniSection::Base, IniKey::TrustedCaFile, m_caFile);
}

QString FakeService::updateBase() const { return u"https://127.0.0.1:%1/esign"_s.arg(m_port); }

bool FakeService::serveUpdates(const QString &folder)
{
    return set(u"updates="_s + QString::fromLatin1(QUrl::toPercentEncoding(folder)));
}
