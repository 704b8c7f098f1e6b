#pragma once

#include <QString>

// The administrator password guards the administration menu when it is opened from the
// sign-in screen. It is kept in the station settings (Base / "system pass") as the Base64
// text of the password's UTF-8 bytes; an empty or missing key means no password.

// The stored text of the password, as it is in the settings file (empty = no password).
QString ReadAdminPassword();

// Whether the typed password is the one stored as storedBase64. The typed text is encoded the
// way the password is stored and the two texts are compared in a time that does not depend on
// where they differ.
bool AdminPasswordMatches(const QString &typed, const QString &storedBase64);
