#include "core/SysIni.h"

#include "core/DbFunctions.h"
#include "base/Globals.h"

using namespace Qt::StringLiterals;

QString ReadSysIni(QSqlDatabase sample, const QString &section, const QString &key,
                   const QString &emptyValue, const QString &defaultValue)
{
    const QVariantList params{G().ProgramName, section, key};
    // Section and key names are compared without regard to letter case, as the settings
    // files compare them.
    const QString where = u" from sys_ini where upper(SystemName) = upper(?)"
                          u" and upper(ini1) = upper(?) and upper(ini2) = upper(?) "_s;

    QString result = defaultValue;
    if (QueryValueOn(u"select count(*)"_s + where, sample, params).toInt() > 0) {
        result = QueryValueOn(u"select ini3"_s + where, sample, params).toString();
        if (result.isEmpty())
            result = emptyValue;
    }
    return result;
}
