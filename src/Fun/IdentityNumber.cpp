#include "Fun/IdentityNumber.h"

namespace {

// The two-digit value of a place letter; -1 for anything else.
int LetterValue(QChar letter)
{
    // Values 10 .. 35 in the order of the letters they stand for: I, O, W and Z were added
    // after the others and take the values at the end.
    static const char16_t *const order = u"ABCDEFGHJKLMNPQRSTUVXYWZIO";
    const char16_t c = letter.toUpper().unicode();
    for (int i = 0; order[i]; ++i) {
        if (order[i] == c)
            return 10 + i;
    }
    return -1;
}

// The weighted sum of the letter and the first eight digits (everything but the check digit);
// -1 when a character is out of place.
int PartialSum(const QString &text)
{
    const int value = LetterValue(text.at(0));
    if (value < 0)
        return -1;
    int sum = value / 10 + (value % 10) * 9;
    for (int i = 1; i <= 8; ++i) {
        const QChar c = text.at(i);
        if (c < u'0' || c > u'9')
            return -1;
        sum += (c.unicode() - u'0') * (9 - i);
    }
    return sum;
}

} // namespace

bool IsValidIdentityNumber(const QString &text)
{
    if (text.size() != 10 || (text.at(1) != u'1' && text.at(1) != u'2'))
        return false;
    const int sum = PartialSum(text);
    const QChar check = text.at(9);
    if (sum < 0 || check < u'0' || check > u'9')
        return false;
    return (sum + (check.unicode() - u'0')) % 10 == 0;
}

QString MakeIdentityNumber(QChar letter, int sex, int serial7)
{
    if (LetterValue(letter) < 0 || (sex != 1 && sex != 2) || serial7 < 0 || serial7 > 9999999)
        return QString();
    QString text = letter.toUpper() + QString::number(sex)
        + QString::number(serial7).rightJustified(7, u'0') + u'0';
    const int sum = PartialSum(text);
    text[9] = QChar(u'0' + (10 - sum % 10) % 10);
    return text;
}

QString MaskedIdentity(const QString &id)
{
    return QStringLiteral("*****") + id.mid(5, 5);
}
