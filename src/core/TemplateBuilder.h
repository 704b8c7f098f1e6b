#pragma once

#include <QString>

// The template database SampleQuorin.db: every table of the schema, empty except for the rows
// that ship with it (parameter codes, version marker, sys_ini settings, help texts). It is made
// at build time by tools/make_template and copied to make every new working database.
//
// Seed rows come from a folder of tab-separated files (UTF-8):
//   - the file name up to its first dot names the table ("SYS_CODE.PSPN_DBGRID1.tsv" fills
//     SYS_CODE); files are read in name order;
//   - empty lines and lines starting with "#" are skipped; the first other line lists the
//     columns, each following line is one row with exactly as many tab-separated cells;
//   - an empty cell stores NULL; text longer than its column's size is refused.
// Help texts come from a folder "<helpID>/<JobScreen>.txt", one UTF-8 file per topic; each
// becomes a SYS_Help row with that HelpText (HelpText2, the user's own notes, stays empty).
//
// The database is written to a temporary name beside `path` and renamed onto it when complete,
// so `path` holds either the old file or a whole new template, never a half-built one. The
// template keeps journal_mode DELETE (one self-contained file that can be copied); a working
// database switches itself to WAL when it is opened.

// Builds the template at `path` from `seedDir` and the help texts in the folder "help" beside
// `seedDir` (resources/seed and resources/help). False with *error on failure.
bool BuildTemplateDatabase(const QString &path, const QString &seedDir, QString *error);

// The same with an explicit help folder; an empty `helpDir` adds no help texts.
bool BuildTemplateDatabaseFrom(const QString &path, const QString &seedDir, const QString &helpDir,
                               QString *error);
