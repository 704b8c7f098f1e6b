#include "Fun/Flags.h"

QString OverlayFlags(const QString &flags, const QString &mask)
{
    QString result = flags;
    const qsizetype n = qMin(flags.size(), mask.size());
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = mask.at(i);
        if (c != QLatin1Char('0') && !c.isSpace())
            result[i] = c;
    }
    return result;
}
