#include "mock/TestDatabase.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>

using namespace Qt::StringLiterals;

TestDatabase::TestDatabase()
{
    m_globals.ExeDir = QDir::toNativeSeparators(m_dir.path()) + QDir::separator();
    m_previousGlobals = &G();
    SetGlobals(&m_globals);
    m_dm = std::make_unique<TDM>(m_globals);
    const QString path = workingPath();
    if (!CreateEmptyDatabase(path))
        qFatal("TestDatabase: cannot create %s", qPrintable(path));
    QString error;
    if (!m_dm->OpenWorkingDatabase(path, &error))
        qFatal("TestDatabase: %s", qPrintable(error));
}

TestDatabase::~TestDatabase()
{
    m_dm.reset();
    SetGlobals(m_previousGlobals);
}

QString TestDatabase::workingPath() const
{
    return JoinPath(m_dir.path(), m_globals.DbFileName);
}

bool TestDatabase::CreateEmptyDatabase(const QString &path)
{
    const QString name = u"TestDatabase-create-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces);
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
        db.setDatabaseName(path);
        if (db.open()) {
            // Writing the user version makes SQLite put a database header in the file.
            QSqlQuery query(db);
            ok = query.exec(u"PRAGMA user_version = 0"_s) && query.exec(u"create table TestDatabaseProbe (x)"_s)
                 && query.exec(u"drop table TestDatabaseProbe"_s);
            query = QSqlQuery();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}
