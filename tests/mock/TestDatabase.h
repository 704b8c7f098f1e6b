#pragma once

#include "core/Globals.h"
#include "core/TDM.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>

// A scratch station: a temporary folder that stands for the executable's folder, Globals of its
// own (installed as the current ones) and a data module whose working connection is open on a
// new, empty SQLite file <dir>/Quorin.db. Everything goes away with the object.
class TestDatabase
{
public:
    TestDatabase();
    ~TestDatabase();

    TDM &dm() { return *m_dm; }
    Globals &globals() { return m_globals; }
    // The temporary folder, without a trailing separator.
    QString dir() const { return m_dir.path(); }
    QString workingPath() const;

    // Makes an empty SQLite database file at path (the file must not exist yet).
    static bool CreateEmptyDatabase(const QString &path);

private:
    QTemporaryDir m_dir;
    Globals m_globals;
    Globals *m_previousGlobals = nullptr;
    std::unique_ptr<TDM> m_dm;
};
