#include "core/SysIni.h"

#include "core/DbFunctions.h"
#include "base/Globals.h"
#include "base/RolvanError.h"
#include "core/TDM.h"

using namespace Qt::StringLiterals;

QString ReadSysIni(const QString &section, const QString &key, const QString &emptyValue,
                   const QString &defaultValue)
{
    TDM *dm = TDM::instance();
    if (!dm)
        throw DatabaseError(u"資料庫模組尚未建立"_s);
    const QSqlDatabase sample = dm->ConSample();
    const QVariantList params{dm->globals().ProgramName, section, key};
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
