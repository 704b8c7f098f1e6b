#pragma once

#include "core/TDM.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

// A data module of a test. The statements a test runs to set up and check its database go to
// the current one: the most recently created TestDataModule that is still alive (TestDatabase
// makes one), so a test that opens a second station works on the second one until it goes.
class TestDataModule : public TDM
{
public:
    explicit TestDataModule(Globals &globals, QObject *parent = nullptr);
    ~TestDataModule() override;

    // The current data module; nullptr when none is.
    static TDM *current();
};

// The working connection (Con1) of the current data module; without one DatabaseError
// "資料庫模組尚未建立".
QSqlDatabase WorkingConnection();

// The database helpers on WorkingConnection(), by the same rules: QueryValueIn, QueryToListOn,
// ExecSqlQuiet (an error is only logged), TableExistsOn, NextSerialNumberOn and
// NextSerialNumberWhereOn.
QVariant QueryValue(const QString &sql, const QVariantList &params = {});
QStringList QueryToList(const QString &fieldName, const QString &sql,
                        const QVariantList &params = {});
void ExecSql(const QString &sql, const QVariantList &params = {});
bool TableExists(const QString &name);
QString NextSerialNumber(const QString &table, const QString &prefix, const QString &field,
                         int width);
QString NextSerialNumberWhere(const QString &table, const QString &condition,
                              const QVariantList &conditionParams, const QString &prefix,
                              const QString &field);
