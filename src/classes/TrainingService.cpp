#include "classes/TrainingService.h"

#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "admin/StationSettingsForm.h"
#include "net/OrderedJson.h"
#include "net/UrlOpener.h"

#include <QFileInfo>
#include <QUrl>

using namespace Qt::StringLiterals;

const QString TrainingService::NeedCheckMessage = u"請先 【驗自然人憑證】"_s;
const QString TrainingService::CheckAgainMessage = u"憑證沒驗過或已逾時 請再 【驗自然人憑證】"_s;

ServiceSettings ServiceSettings::FromIni()
{
    ServiceSettings s;
    s.baseUrl = ReadIniSetting(IniSection::Base, IniKey::ServiceUrl,
        StationSettingsForm::DefaultServiceUrl, StationSettingsForm::DefaultServiceUrl)
                    .trimmed();
    s.unitCode = ReadIniSetting(IniSection::Base, IniKey::TrainingUnitCode,
        IniDefault::TrainingUnitCode, IniDefault::TrainingUnitCode)
                     .trimmed();
    s.trustedCaFile
        = ReadIniSetting(IniSection::Base, IniKey::TrustedCaFile, QString(), QString()).trimmed();
    return s;
}

TrainingService::TrainingService(const ServiceSettings &settings)
    : m_settings(settings)
    , m_client(std::make_unique<WebClient>())
{
    while (m_settings.baseUrl.endsWith(u'/'))
        m_settings.baseUrl.chop(1);
    m_client->setTimeoutMs(m_settings.timeoutMs);
    m_client->setExtraCaFile(m_settings.trustedCaFile, &m_setupError);
}

TrainingService::~TrainingService() = default;

QString TrainingService::url(const QString &path) const { return m_settings.baseUrl + path; }

ServiceOutcome<QByteArray> TrainingService::Get(const QString &path)
{
    ServiceOutcome<QByteArray> outcome;
    if (!m_setupError.isEmpty()) {
        outcome.error = m_setupError;
        return outcome;
    }
    const WebResult result = m_client->get(url(path));
    outcome.value = result.body;
    outcome.error = result.error;
    return outcome;
}

ServiceOutcome<QString> TrainingService::ReadMember(
    const WebResult &result, const QString &address, const QString &member)
{
    ServiceOutcome<QString> outcome;
    if (!result.ok()) {
        outcome.error = result.error;
        return outcome;
    }
    QString error;
    const auto members = ReadJsonMembers(result.body, &error);
    if (!members) {
        outcome.error = u"%1 的回應無法解讀：%2"_s.arg(address, error);
        return outcome;
    }
    if (member.isEmpty()) {
        if (members->isEmpty()) {
            outcome.error = u"%1 的回應沒有任何欄位"_s.arg(address);
            return outcome;
        }
        outcome.value = JsonValueText(members->first().value);
        return outcome;
    }
    for (const JsonMember &m : *members) {
        if (m.name == member) {
            outcome.value = JsonValueText(m.value);
            return outcome;
        }
    }
    outcome.error = u"%1 的回應缺少欄位 %2"_s.arg(address, member);
    return outcome;
}

ServiceOutcome<QString> TrainingService::FetchServiceToken(TokenMember member)
{
    const QString address = url(u"/api/getToken"_s);
    if (!m_setupError.isEmpty())
        return { {}, m_setupError };
    auto outcome = ReadMember(
        m_client->get(address), address, member == TokenMember::First ? QString() : u"token"_s);
    if (outcome.ok() && outcome.value.trimmed().isEmpty())
        outcome.error = u"%1 沒有給出連線憑據 (token)"_s.arg(address);
    return outcome;
}

ServiceOutcome<QByteArray> TrainingService::FetchClassListText()
{
    return Get(u"/sctcls/api/list2/"_s
        + QString::fromLatin1(QUrl::toPercentEncoding(m_settings.unitCode)));
}

ServiceOutcome<QByteArray> TrainingService::FetchStudentList(
    const QString &classNo, const QString &serviceToken)
{
    return Get(u"/sctstulist/stu/api/stuListDoc/"_s
        + QString::fromLatin1(QUrl::toPercentEncoding(classNo)) + u"/"_s
        + QString::fromLatin1(QUrl::toPercentEncoding(serviceToken)));
}

ServiceOutcome<QString> TrainingService::FetchCheckToken()
{
    const QString address = url(u"/sctstulist/api/getCheckToken?untcod="_s
        + QString::fromLatin1(QUrl::toPercentEncoding(m_settings.unitCode)));
    if (!m_setupError.isEmpty())
        return { {}, m_setupError };
    auto outcome = ReadMember(m_client->get(address), address, u"token"_s);
    if (outcome.ok() && outcome.value.trimmed().isEmpty())
        outcome.error = u"%1 沒有給出驗證憑據 (token)"_s.arg(address);
    return outcome;
}

ServiceOutcome<bool> TrainingService::FetchCheckState(const QString &checkToken)
{
    const QString address = url(
        u"/sctstulist/getPkiStat/"_s + QString::fromLatin1(QUrl::toPercentEncoding(checkToken)));
    ServiceOutcome<bool> outcome;
    if (!m_setupError.isEmpty()) {
        outcome.error = m_setupError;
        return outcome;
    }
    const WebResult result = m_client->get(address);
    if (!result.ok()) {
        outcome.error = result.error;
        return outcome;
    }
    QString error;
    const auto members = ReadJsonMembers(result.body, &error);
    if (!members) {
        outcome.error = u"%1 的回應無法解讀：%2"_s.arg(address, error);
        return outcome;
    }
    for (const JsonMember &m : *members) {
        if (m.name == u"checked"_s) {
            if (const auto checked = JsonValueBool(m.value)) {
                outcome.value = *checked;
                return outcome;
            }
            outcome.error = u"%1 的欄位 checked 不是 true 或 false：%2"_s.arg(
                address, JsonValueText(m.value));
            return outcome;
        }
    }
    outcome.error = u"%1 的回應缺少欄位 checked"_s.arg(address);
    return outcome;
}

QString TrainingService::CheckPageUrl(const QString &checkToken) const
{
    return url(u"/sctstulist/checkPki?token="_s
        + QString::fromLatin1(QUrl::toPercentEncoding(checkToken)));
}

ServiceOutcome<QString> TrainingService::PostCourses(
    const QString &serviceToken, const QString &indexKey, const QString &data)
{
    const QString address = url(u"/sctcls/api/uploadCourse"_s);
    if (!m_setupError.isEmpty())
        return { {}, m_setupError };
    const WebResult result = m_client->postForm(address,
        { { u"token"_s, serviceToken }, { u"index_key"_s, indexKey }, { u"data"_s, data } });
    return ReadMember(result, address, u"msg"_s);
}

ServiceOutcome<QString> TrainingService::PostPackage(const QString &classNo, const QString &checkToken,
                                                     const QString &filePath)
{
    if (!m_setupError.isEmpty())
        return { {}, m_setupError };
    WebFilePart file;
    file.fieldName = u"uploadzip"_s;
    file.fileName = QFileInfo(filePath).fileName();
    file.contentType = u"application/jpg"_s;
    file.path = filePath;
    const WebResult result = m_client->postMultipart(url(u"/sctstulist/api/clszip"_s),
                                                     { { u"clssno"_s, classNo }, { u"token"_s, checkToken } }, file);
    ServiceOutcome<QString> outcome;
    outcome.error = result.error;
    outcome.value = result.text();
    return outcome;
}

ServiceOutcome<bool> TrainingService::DownloadPackage(const QString &courseId, QIODevice *target)
{
    if (!m_setupError.isEmpty())
        return { false, m_setupError };
    const WebResult result = m_client->download(
        url(u"/sctstulist/api/downloadZip?clssno="_s + QString::fromLatin1(QUrl::toPercentEncoding(courseId))), target);
    return { result.ok(), result.error };
}

QString &TrainingService::CheckToken()
{
    static QString token;
    return token;
}

QString TrainingService::StartCertificateCheck()
{
    const ServiceOutcome<QString> token = FetchCheckToken();
    if (!token.ok())
        return token.error;
    CheckToken() = token.value;
    const QString page = CheckPageUrl(token.value);
    if (!CurrentUrlOpener().Open(page))
        return u"無法開啟瀏覽器顯示 %1"_s.arg(page);
    return {};
}

GateOutcome TrainingService::PassGate(bool forgetWhenNotChecked)
{
    GateOutcome gate;
    if (CheckToken().isEmpty()) {
        gate.state = GateState::NoCheckToken;
        gate.message = NeedCheckMessage;
        return gate;
    }
    const ServiceOutcome<bool> state = FetchCheckState(CheckToken());
    if (!state.ok()) {
        gate.state = GateState::Failed;
        gate.message = state.error;
        return gate;
    }
    if (!state.value) {
        gate.state = GateState::NotChecked;
        gate.message = CheckAgainMessage;
        if (forgetWhenNotChecked)
            CheckToken().clear();
        return gate;
    }
    gate.state = GateState::Passed;
    return gate;
}
