#include "net/OrderedJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

using namespace Qt::StringLiterals;

namespace {

void SkipBlanks(const QByteArray &text, qsizetype &i)
{
    while (i < text.size()
        && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r'))
        ++i;
}

// Moves i past the string that starts at text[i] (a double quote).
bool SkipString(const QByteArray &text, qsizetype &i)
{
    ++i;
    while (i < text.size()) {
        const char c = text[i++];
        if (c == '\\')
            ++i;
        else if (c == '"')
            return true;
    }
    return false;
}

// Moves i past the value that starts at text[i]: a string, or anything up to the "," or "}"
// that closes it at its own nesting depth.
bool SkipValue(const QByteArray &text, qsizetype &i)
{
    int depth = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '"') {
            if (!SkipString(text, i))
                return false;
            continue;
        }
        if (c == '{' || c == '[') {
            ++depth;
        } else if (c == '}' || c == ']') {
            if (depth == 0)
                return true;
            --depth;
        } else if (c == ',' && depth == 0) {
            return true;
        }
        ++i;
    }
    return depth == 0;
}

QJsonValue ParseOne(const QByteArray &span)
{
    const QJsonDocument doc = QJsonDocument::fromJson('[' + span + ']');
    return doc.array().isEmpty() ? QJsonValue(QJsonValue::Undefined) : doc.array().at(0);
}

} // namespace

std::optional<QList<JsonMember>> ReadJsonMembers(const QByteArray &text, QString *error)
{
    // Qt checks the whole text first; the scan below then only finds the members' places.
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        if (error)
            *error = parseError.error != QJsonParseError::NoError
                ? u"回應不是正確的 JSON（位置 %1：%2）"_s.arg(parseError.offset)
                      .arg(parseError.errorString())
                : u"回應不是 JSON 物件"_s;
        return std::nullopt;
    }
    QList<JsonMember> members;
    qsizetype i = 0;
    SkipBlanks(text, i);
    if (text.startsWith("\xEF\xBB\xBF"))
        i += 3;
    SkipBlanks(text, i);
    ++i; // "{"
    while (true) {
        SkipBlanks(text, i);
        if (i >= text.size() || text[i] == '}')
            break;
        const qsizetype keyStart = i;
        if (text[i] != '"' || !SkipString(text, i))
            break;
        const QString name = ParseOne(text.mid(keyStart, i - keyStart)).toString();
        SkipBlanks(text, i);
        ++i; // ":"
        SkipBlanks(text, i);
        const qsizetype valueStart = i;
        if (!SkipValue(text, i))
            break;
        members.append({ name, ParseOne(text.mid(valueStart, i - valueStart).trimmed()) });
        SkipBlanks(text, i);
        if (i < text.size() && text[i] == ',')
            ++i;
    }
    return members;
}

QString JsonValueText(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Double: {
        // The shortest of 15 or 17 significant digits that reads back as the same number.
        const double d = value.toDouble();
        const QString shorter = QString::number(d, 'g', 15);
        return shorter.toDouble() == d ? shorter : QString::number(d, 'g', 17);
    }
    case QJsonValue::Bool:
        return value.toBool() ? u"true"_s : u"false"_s;
    case QJsonValue::Array:
        return QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
    case QJsonValue::Object:
        return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
    default:
        return {};
    }
}

std::optional<bool> JsonValueBool(const QJsonValue &value)
{
    if (value.isBool())
        return value.toBool();
    if (value.isString()) {
        const QString text = value.toString().trimmed();
        if (text.compare(u"true"_s, Qt::CaseInsensitive) == 0)
            return true;
        if (text.compare(u"false"_s, Qt::CaseInsensitive) == 0)
            return false;
    }
    return std::nullopt;
}
