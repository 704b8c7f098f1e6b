#include "mock/TestDataModule.h"

#include "base/RolvanError.h"
#include "core/DbFunctions.h"

using namespace Qt::StringLiterals;

namespace {

TDM *g_current = nullptr;

} // namespace

TestDataModule::TestDataModule(Globals &globals, QObject *parent)
    : TDM(globals, parent)
{
    g_current = this;
}

TestDataModule::~TestDataModule()
{
    if (g_current == this)
        g_current = nullptr;
}

TDM *TestDataModule::current()
{
    return g_current;
}

QSqlDatabase WorkingConnection()
{
    TDM *dm = TestDataModule::current();
    if (!dm)
        throw DatabaseError(u"資料庫模組尚未建立"_s);
    return dm->Con1();
}

QVariant QueryValue(const QString &sql, const QVariantList &params)
{
    return QueryValueIn(sql, WorkingConnection(), params);
}

QStringList QueryToList(const QString &fieldName, const QString &sql, const QVariantList &params)
{
    return QueryToListOn(fieldName, sql, WorkingConnection(), params);
}

void ExecSql(const QString &sql, const QVariantList &params)
{
    ExecSqlQuiet(sql, WorkingConnection(), params);
}

bool TableExists(const QString &name)
{
    return TableExistsOn(name, WorkingConnection());
}

QString NextSerialNumber(const QString &table, const QString &prefix, const QString &field,
                         int width)
{
    return NextSerialNumberOn(WorkingConnection(), table, prefix, field, width);
}

QString NextSerialNumberWhere(const QString &table, const QString &condition,
                              const QVariantList &conditionParams, const QString &prefix,
                              const QString &field)
{
    return NextSerialNumberWhereOn(WorkingConnection(), table, condition, conditionParams, prefix,
                                   field);
}
