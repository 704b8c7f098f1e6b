#include "core/DataFolders.h"

#include "Fun/FileFunctions.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "base/Globals.h"
#include "core/DbFunctions.h"

namespace {

QString ReadBase(const QString &key, const QString &defaultValue)
{
    return ReadIniSetting(IniSection::Base, key, QString(), defaultValue);
}

} // namespace

DataFolders ReadDataFolders()
{
    const QString root = DefaultDataRoot();
    DataFolders folders;
    folders.database = ReadBase(IniKey::DataBaseLocationPath, root);
    folders.backup = ReadBase(IniKey::BackupLocationPath, JoinPath(root, QStringLiteral("Backup")));
    folders.csv = ReadBase(IniKey::CsvLocationPath, JoinPath(root, QStringLiteral("CSV")));
    folders.images = ReadBase(IniKey::ImageFileLocationPath, JoinPath(root, QStringLiteral("查核資料檔案")));
    return folders;
}

QString MainWindowCaption()
{
    const Globals &g = G();
    return QStringLiteral("講習教育 簽到退作業  版本：") + g.SystemType + g.EditionText
        + QStringLiteral("  ") + g.VersionText;
}

QString ReadIdnoCaption(QSqlDatabase db)
{
    return QueryValueOn(QStringLiteral("select CODE_DESC from sys_code where CODE_TYPE = ? "
                                       "and upper(CODE_SEQ) = 'IDNO'"),
                        db, { QStringLiteral("PSPN_DBGRID1") })
        .toString();
}
