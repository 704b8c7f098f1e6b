#pragma once

#include <QString>

// Returns the flags with each position replaced by the mask's character at that position when
// the mask has one there that is neither "0" nor blank. The result keeps the flags' length.
// OverlayFlags("000000", "0101") == "010100".
QString OverlayFlags(const QString &flags, const QString &mask);
