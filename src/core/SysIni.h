#pragma once

#include <QString>

// A setting of the table sys_ini in the template database (rows of this program only):
// the default value when no row holds the section and key; otherwise the row's value, where
// NULL or an empty value gives the empty value.
QString ReadSysIni(const QString &section, const QString &key, const QString &emptyValue,
                   const QString &defaultValue);
