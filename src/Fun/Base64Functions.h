#pragma once

#include <QChar>
#include <QString>

// Base64 for one-byte text: every character is one byte. The alphabet is the standard one
// with "=" as padding.

// Encodes the text. It is first padded with NUL characters until it has at least three
// characters and a length that is a multiple of three; as many trailing output characters as
// NULs were added become "=". An empty text gives "A===".
// A character of 256 or above is not one byte: ConversionError, nothing is encoded.
QString StrToBase64(const QString &text);

// Decodes four characters into three; a character outside the alphabet counts as 61. As many
// characters as the text has trailing "=" are removed from the end of the result.
// ConversionError "Base64ToStr: illegal input length!" when the length is below four or not a
// multiple of four.
QString Base64ToStr(const QString &text);

// The value of one Base64 character; 61 for a character outside the alphabet.
int Base64CharIndex(QChar c);

// The same codec over the UTF-8 bytes of the text, for text that may hold Chinese.
// For text of plain ASCII characters the encoded form equals StrToBase64's.
QString Utf8ToBase64(const QString &text);
QString Base64ToUtf8(const QString &text);
