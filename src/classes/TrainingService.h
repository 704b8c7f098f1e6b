#pragma once

#include "net/WebClient.h"

#include <QByteArray>
#include <QString>

#include <memory>

// Where the training web service is and how to reach it, as the station's settings say.
struct ServiceSettings
{
    QString baseUrl; // Base/連線網址, e.g. https://host/cco (no trailing "/")
    QString unitCode; // Base/委託代訓編號
    QString trustedCaFile; // Base/信任憑證檔, empty = the system's store alone
    int timeoutMs = WebClient::DefaultTimeoutMs;

    // Read from Rolvan.ini.
    static ServiceSettings FromIni();
};

// The result of one request to the service: a value, or the reason it failed.
template<typename T> struct ServiceOutcome
{
    T value {};
    QString error; // empty on success; names the address and the reason
    bool ok() const { return error.isEmpty(); }
};

// The outcome of the certificate gate for an action.
enum class GateState {
    Passed,
    NoCheckToken, // no check in this run yet: "請先 【驗自然人憑證】"
    NotChecked, // the service says the check is not (or no longer) passed
    Failed, // the state request itself failed (error holds why)
};

struct GateOutcome
{
    GateState state = GateState::Failed;
    QString message; // what the operator is shown; empty when passed
    bool passed() const { return state == GateState::Passed; }
};

// The requests the station sends to the training agency's web service. Each returns what the
// caller needs from the answer, or a message naming the address and the reason; nothing here
// shows anything. The certificate-check token lives for the run (see CheckToken()).
class TrainingService
{
public:
    explicit TrainingService(const ServiceSettings &settings);
    ~TrainingService();

    const ServiceSettings &settings() const { return m_settings; }
    // The client of this service, for progress signals and cancel.
    WebClient &client() { return *m_client; }

    // Service token ("/api/getToken"). The class download reads the answer's first member,
    // the course upload its member "token".
    enum class TokenMember { First, Named };
    ServiceOutcome<QString> FetchServiceToken(TokenMember member);

    // The answer of the class list ("/sctcls/api/list2/" + unit code) as it came.
    ServiceOutcome<QByteArray> FetchClassListText();

    // The student list text of a class, fetched with a service token.
    ServiceOutcome<QByteArray> FetchStudentList(
        const QString &classNo, const QString &serviceToken);

    // A new certificate-check token for the unit ("/sctstulist/api/getCheckToken").
    ServiceOutcome<QString> FetchCheckToken();
    // Whether the check of that token has been passed ("/sctstulist/getPkiStat/" + token).
    ServiceOutcome<bool> FetchCheckState(const QString &checkToken);
    // The page the operator completes the check on, opened in the browser.
    QString CheckPageUrl(const QString &checkToken) const;

    // Posts the lessons of a class ("/sctcls/api/uploadCourse"); the value is the answer's
    // member "msg".
    ServiceOutcome<QString> PostCourses(
        const QString &serviceToken, const QString &indexKey, const QString &data);

    // Posts a package file ("/sctstulist/api/clszip") as a multipart form: the fields "clssno"
    // and "token" (the certificate-check token) and the file part "uploadzip" with the content
    // type "application/jpg", sent from the disk as it is read. The value is the service's
    // answer as text. A status of 400 or more, a time-out or a refused certificate is an error.
    ServiceOutcome<QString> PostPackage(const QString &classNo, const QString &checkToken,
                                        const QString &filePath);
    // Fetches the package of a class ("/sctstulist/api/downloadZip?clssno=" + course id) into
    // target as it arrives; the caller keeps what arrived only on success.
    ServiceOutcome<bool> DownloadPackage(const QString &courseId, QIODevice *target);

    // ---- The certificate gate ----
    // The certificate-check token of this run (empty until the first check).
    static QString &CheckToken();
    // Starts the check: fetches a check token, remembers it and opens the check page in the
    // browser. Returns the failure text, empty on success.
    QString StartCertificateCheck();
    // Asks the service anew whether the remembered check is passed. forgetWhenNotChecked drops
    // the remembered token when it is not (the class list does so).
    GateOutcome PassGate(bool forgetWhenNotChecked);

    static const QString NeedCheckMessage; // "請先 【驗自然人憑證】"
    static const QString CheckAgainMessage; // "憑證沒驗過或已逾時 請再 【驗自然人憑證】"

private:
    QString url(const QString &path) const;
    ServiceOutcome<QByteArray> Get(const QString &path);
    ServiceOutcome<QString> ReadMember(
        const WebResult &result, const QString &address, const QString &member);

    ServiceSettings m_settings;
    std::unique_ptr<WebClient> m_client;
    QString m_setupError;
};
