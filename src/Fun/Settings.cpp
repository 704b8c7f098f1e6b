#include "Fun/Settings.h"

#include "Fun/IniFile.h"
#include "base/Globals.h"
#include "base/RolvanError.h"

#include <QRegularExpression>
#include <QtDebug>

QString ReadIniSettingAt(const QString &iniPath, const QString &section, const QString &key,
                         const QString &emptyValue, const QString &defaultValue)
{
    QString result = defaultValue;
    IniFile ini;
    if (!ini.load(iniPath))
        qWarning().noquote() << ini.errorString();
    else if (const auto stored = ini.value(section, key))
        result = *stored;
    if (result.isEmpty())
        result = emptyValue;
    return result;
}

void WriteIniSettingAt(const QString &iniPath, const QString &section, const QString &key,
                       const QString &value)
{
    IniFile ini;
    if (!ini.load(iniPath))
        throw RolvanError(ini.errorString());
    ini.setValue(section, key, value);
    if (ini.isModified())
        ini.saveOrThrow();
}

QString ReadIniSetting(const QString &section, const QString &key, const QString &emptyValue,
                       const QString &defaultValue)
{
    return ReadIniSettingAt(G().iniPath(), section, key, emptyValue, defaultValue);
}

void WriteIniSetting(const QString &section, const QString &key, const QString &value)
{
    WriteIniSettingAt(G().iniPath(), section, key, value);
}

bool TextToBool(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (trimmed.compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0)
        return false;
    static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)$"));
    if (number.match(trimmed).hasMatch())
        return trimmed.toDouble() != 0.0;
    throw ConversionError(
        QStringLiteral("「%1」不是有效的是非值，應為 True、False 或數字").arg(text));
}

QString BoolToText(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

bool ReadIniBool(const QString &section, const QString &key, bool defaultValue)
{
    const QString text = ReadIniSetting(section, key, QString(), BoolToText(defaultValue));
    try {
        return TextToBool(text);
    } catch (const ConversionError &) {
        throw ConversionError(
            QStringLiteral("設定檔「%1」中 [%2] 的「%3」值「%4」不是有效的是非值，應為 True、False 或數字")
                .arg(G().iniPath(), section, key, text));
    }
}
