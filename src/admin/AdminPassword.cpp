#include "admin/AdminPassword.h"

#include "Fun/Base64Functions.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"

#include <QCryptographicHash>

namespace {

// Both sides are hashed first, so the comparison always runs over the same number of bytes and
// says nothing about the length or the first differing character of the stored text.
bool ConstantTimeEquals(const QByteArray &a, const QByteArray &b)
{
    const QByteArray ha = QCryptographicHash::hash(a, QCryptographicHash::Sha256);
    const QByteArray hb = QCryptographicHash::hash(b, QCryptographicHash::Sha256);
    unsigned char diff = 0;
    for (qsizetype i = 0; i < ha.size(); ++i)
        diff |= static_cast<unsigned char>(ha.at(i) ^ hb.at(i));
    return diff == 0;
}

} // namespace

QString ReadAdminPassword()
{
    return ReadIniSetting(IniSection::Base, IniKey::SystemPass, QString(), QString());
}

bool AdminPasswordMatches(const QString &typed, const QString &storedBase64)
{
    return ConstantTimeEquals(Utf8ToBase64(typed).toLatin1(), storedBase64.toUtf8());
}
