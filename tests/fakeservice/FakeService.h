#pragma once

#include <QJsonArray>
#include <QProcess>
#include <QString>
#include <QStringList>

class WebClient;

// The fake training service (fakeservice.py) run for one test: started on 127.0.0.1 on a free
// port with a CA of its own, ended with the object. base() is what the station's setting
// "連線網址" holds; caFile() is the CA certificate the client must be told to trust.
class FakeService
{
public:
    explicit FakeService(const QStringList &arguments = {});
    ~FakeService();

    // False, with the reason in error(), when the service did not come up within 30 seconds.
    bool start();
    QString error() const { return m_error; }

    QString base() const { return m_base; }
    QString caFile() const { return m_caFile; }
    int port() const { return m_port; }

    // Switches (see fakeservice.py): set(u"status=500&path=stuListDoc"_s); reset() turns all off.
    bool set(const QString &query);
    bool reset();
    // reset() that also forgets what was posted and uploaded.
    bool resetAll();
    // Every request the service recorded as posted, oldest first.
    QJsonArray posted();
    // The file of the index'th package the service accepted (from 0); empty when none.
    QByteArray uploadedFile(int index);
    // Serves these bytes as the package of the class instead of the aggregated uploads.
    bool setDownload(const QString &classNo, const QByteArray &zip);
    // Marks a certificate-check token as checked, as the operator's browser would.
    bool markChecked(const QString &token);

    // Writes the station settings that point at this service: "連線網址" and "信任憑證檔".
    void configureStation() const;

    // The update server's base address ("/esign"); serveUpdates() makes it serve the files of
    // a folder (RolvanVer.txt, RolvanUpdate.zip, RolvanUpdate.zip.sha256).
    QString updateBase() const;
    bool serveUpdates(const QString &folder);

private:
    bool control(const QString &pathAndQuery, QByteArray *body = nullptr, const QByteArray *post = nullptr);

    QStringList m_arguments;
    QProcess m_process;
    QString m_error;
    QString m_base;
    QString m_caFile;
    int m_port = 0;
};

// Records the addresses the program would open in the browser; installed while it lives.
#include "net/UrlOpener.h"
class RecordingUrlOpener final : public UrlOpener
{
public:
    RecordingUrlOpener() { SetCurrentUrlOpener(this); }
    ~RecordingUrlOpener() override { SetCurrentUrlOpener(nullptr); }
    bool Open(const QString &url) override
    {
        opened << url;
        return true;
    }
    QStringList opened;
};
