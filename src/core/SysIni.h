#pragma once

#include <QSqlDatabase>
#include <QString>

// A setting of the table sys_ini in the template database sample (rows of this program only):
// the default value when no row holds the section and key; otherwise the row's value, where
// NULL or an empty value gives the empty value.
QString ReadSysIni(QSqlDatabase sample, const QString &section, const QString &key, const QString &emptyValue,
                   const QString &defaultValue);
