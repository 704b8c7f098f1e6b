#pragma once

#include <QString>

#include <array>
#include <optional>

// A program version "a.b.c.d": four numbers of 0 to 65535, compared number by number, so that
// 1.0.10.0 is newer than 1.0.9.0.
using VersionParts = std::array<quint32, 4>;

// The four numbers of a version text (blanks around it ignored); nothing when the text is not
// four dotted numbers of 0 to 65535.
std::optional<VersionParts> ParseVersionNumber(const QString &text);

// Whether offered names a later version than current. False when either is not a version.
bool IsNewerVersion(const QString &offered, const QString &current);
