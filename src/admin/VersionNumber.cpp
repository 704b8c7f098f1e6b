#include "admin/VersionNumber.h"

#include <QStringList>

std::optional<VersionParts> ParseVersionNumber(const QString &text)
{
    const QStringList parts = text.trimmed().split(QLatin1Char('.'));
    if (parts.size() != 4)
        return std::nullopt;
    VersionParts numbers {};
    for (int i = 0; i < 4; ++i) {
        const QString &part = parts[i];
        if (part.isEmpty() || part.size() > 5)
            return std::nullopt;
        for (const QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return std::nullopt;
        }
        const uint value = part.toUInt();
        if (value > 0xFFFF)
            return std::nullopt;
        numbers[size_t(i)] = value;
    }
    return numbers;
}

bool IsNewerVersion(const QString &offered, const QString &current)
{
    const auto a = ParseVersionNumber(offered);
    const auto b = ParseVersionNumber(current);
    return a && b && *a > *b;
}
