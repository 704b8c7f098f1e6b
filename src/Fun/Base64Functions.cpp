#include "Fun/Base64Functions.h"

#include "base/RolvanError.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

} // namespace

int Base64CharIndex(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'A' && u <= u'Z')
        return u - u'A';
    if (u >= u'a' && u <= u'z')
        return u - u'a' + 26;
    if (u >= u'0' && u <= u'9')
        return u - u'0' + 52;
    if (u == u'+')
        return 62;
    if (u == u'/')
        return 63;
    return 61;
}

QString StrToBase64(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size() + 3);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text.at(i).unicode();
        if (u > 0xFF) {
            throw ConversionError(
                QStringLiteral("StrToBase64：第 %1 個字元「%2」不是單位元組字元，無法編碼")
                    .arg(i + 1)
                    .arg(text.at(i)));
        }
        bytes.append(char(u));
    }
    qsizetype added = 0;
    while (bytes.size() < 3 || bytes.size() % 3 != 0) {
        bytes.append('\0');
        ++added;
    }

    QString out;
    out.reserve(bytes.size() / 3 * 4);
    for (qsizetype i = 0; i < bytes.size(); i += 3) {
        const unsigned b0 = uchar(bytes.at(i));
        const unsigned b1 = uchar(bytes.at(i + 1));
        const unsigned b2 = uchar(bytes.at(i + 2));
        out += QLatin1Char(kAlphabet[b0 >> 2]);
        out += QLatin1Char(kAlphabet[((b0 & 0x03) << 4) | (b1 >> 4)]);
        out += QLatin1Char(kAlphabet[((b1 & 0x0F) << 2) | (b2 >> 6)]);
        out += QLatin1Char(kAlphabet[b2 & 0x3F]);
    }
    for (qsizetype i = 0; i < added; ++i)
        out[out.size() - 1 - i] = QLatin1Char('=');
    return out;
}

QString Base64ToStr(const QString &text)
{
    if (text.size() < 4 || text.size() % 4 != 0)
        throw ConversionError(QStringLiteral("Base64ToStr: illegal input length!"));

    qsizetype padding = 0;
    while (padding < text.size() && text.at(text.size() - 1 - padding) == QLatin1Char('='))
        ++padding;

    QString out;
    out.reserve(text.size() / 4 * 3);
    for (qsizetype i = 0; i < text.size(); i += 4) {
        const unsigned c0 = unsigned(Base64CharIndex(text.at(i)));
        const unsigned c1 = unsigned(Base64CharIndex(text.at(i + 1)));
        const unsigned c2 = unsigned(Base64CharIndex(text.at(i + 2)));
        const unsigned c3 = unsigned(Base64CharIndex(text.at(i + 3)));
        out += QChar(char16_t(((c0 << 2) | (c1 >> 4)) & 0xFF));
        out += QChar(char16_t(((c1 << 4) | (c2 >> 2)) & 0xFF));
        out += QChar(char16_t(((c2 << 6) | c3) & 0xFF));
    }
    out.chop(qMin(padding, out.size()));
    return out;
}

QString Utf8ToBase64(const QString &text)
{
    return StrToBase64(QString::fromLatin1(text.toUtf8()));
}

QString Base64ToUtf8(const QString &text)
{
    return QString::fromUtf8(Base64ToStr(text).toLatin1());
}
