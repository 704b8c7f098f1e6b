#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <optional>

// The members of a JSON object in the order the text gives them. QJsonObject sorts its keys,
// so a service that names a value only by its place ("the first member") is read with this.
struct JsonMember
{
    QString name;
    QJsonValue value;
};

// The members of the top-level object of a JSON text, in document order. std::nullopt, with
// *error set, when the text is not a JSON object.
std::optional<QList<JsonMember>> ReadJsonMembers(const QByteArray &text, QString *error = nullptr);

// A JSON value as text: a string as it is, a number in its shortest exact form (3, 1.5),
// true/false, and "" for null or a missing value. Arrays and objects give their compact JSON.
QString JsonValueText(const QJsonValue &value);

// A value read as yes/no: the JSON booleans, or the texts "true" and "false" in any letter
// case. std::nullopt for anything else.
std::optional<bool> JsonValueBool(const QJsonValue &value);
