#pragma once

#include <QString>
#include <QtGlobal>

// The program's version is compiled in as a marker text: "@(#)ROLVAN-FILE-VERSION:" followed by
// the dotted version "a.b.c.d" and a NUL. Any file that holds the marker has that version.

// "%d.%d.%d.%d" of the high and low halves of the most and least significant words.
QString FormatVersionNumber(quint32 ms, quint32 ls);

// The version of the file at path as "a.b.c.d", found by its version marker.
// RolvanError "找不到版本資訊" when the file cannot be read or holds no marker;
// RolvanError "檔案資訊不完整" when the marker is there but not followed by four dotted numbers.
QString GetFileVersionText(const QString &path);

// The version this program was built with, read from its own marker.
QString GetOwnVersionText();
