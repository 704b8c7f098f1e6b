#pragma once

#include <QChar>
#include <QString>

// National identity numbers (身分證字號): a letter for the place of first registration, "1"
// (male) or "2" (female), seven serial digits and a check digit. The letter stands for a
// two-digit value (A=10, B=11, ..., H=17, I=34, J=18, ..., N=22, O=35, P=23, ..., V=29,
// W=32, X=30, Y=31, Z=33); its two digits and the nine digits that follow, weighted
// 1, 9, 8, 7, 6, 5, 4, 3, 2, 1, 1, add up to a multiple of ten.

// True for ten characters of that form whose check digit is right. The letter may be given in
// lower case; nothing else is tolerated (no blanks, no other second digit).
bool IsValidIdentityNumber(const QString &text);

// The identity number with the letter (upper or lower case), sex 1 or 2 and the serial number
// 0 .. 9999999 (written as seven digits), completed with its check digit. Empty when an
// argument is out of range.
QString MakeIdentityNumber(QChar letter, int sex, int serial7);

// The identity as lists and sheets show it: "*****" followed by its characters 6 to 10, so that
// A123456789 shows as *****56789.
QString MaskedIdentity(const QString &id);
