#include "Fun/QueryBuilder.h"

#include "base/RolvanError.h"

#include <QRegularExpression>
#include <QtMath>

using namespace Qt::Literals::StringLiterals;

namespace {

// A number typed into a numeric search input is bound as a number, so the database compares
// numerically; anything else is bound as the text typed (it then simply matches nothing).
QVariant NumberOrText(const QString &text)
{
    const QString t = text.trimmed();
    bool ok = false;
    const qlonglong whole = t.toLongLong(&ok);
    if (ok)
        return whole;
    const double real = t.toDouble(&ok);
    if (ok && qIsFinite(real))
        return real;
    return t;
}

// "is", "IS NULL", "is null": the word IS typed on its own. A value that merely begins with
// those letters ("ISO 品質", "Isabel") is an ordinary search text.
bool IsNullRequest(const QString &value)
{
    if (value.left(2).toUpper() != u"IS"_s)
        return false;
    return value.size() == 2 || !value.at(2).isLetterOrNumber();
}

// "in (…)" / "NOT IN (…)": the word IN on its own, then a bracketed list. Letters "in" inside
// a name ("Martin", "Lin (林)") never make a search text into a statement.
bool IsInListRequest(const QString &value)
{
    static const QRegularExpression inList(u"(?:^|[^\\p{L}\\p{N}_])IN\\s*\\(.*\\)"_s,
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    return inList.match(value).hasMatch();
}

bool IsHan(char32_t codePoint) { return QChar::script(codePoint) == QChar::Script_Han; }

} // namespace

QString CodeOfItem(const QString &text)
{
    const qsizetype colon = text.indexOf(u':');
    return (colon < 0 ? text : text.left(colon)).trimmed();
}

QString NameOfItem(const QString &text)
{
    const qsizetype colon = text.indexOf(u':');
    return (colon < 0 ? text : text.mid(colon + 1)).trimmed();
}

QString TextAfterArrow(const QString &text)
{
    const qsizetype arrow = text.indexOf(u"->"_s);
    if (arrow < 0)
        return text;
    return text.mid(arrow + 2, 30).trimmed();
}

QString TextBeforeArrow(const QString &text)
{
    const qsizetype arrow = text.indexOf(u"->"_s);
    if (arrow < 0)
        return QString();
    return text.left(arrow).trimmed();
}

QStringList SplitText(const QString &text, QChar separator)
{
    QStringList parts;
    QString rest = text;
    qsizetype at = rest.indexOf(separator);
    while (at >= 0) {
        parts << rest.left(at);
        rest = rest.mid(at + 1).trimmed();
        at = rest.indexOf(separator);
    }
    parts << rest;
    return parts;
}

QString SpecOfHint(const QString &hint, bool isComboBox)
{
    return isComboBox ? hint.trimmed() : NameOfItem(hint);
}

FieldKind FieldKindOf(const QString &hint, const QString &spec)
{
    // A spec written in lower case ("cno2") names a text column holding a number.
    FieldKind kind = FieldKind::String;
    if (spec == spec.toLower()) {
        const QList<uint> codePoints = spec.left(2).toUcs4();
        if (codePoints.isEmpty() || !IsHan(codePoints.first()))
            kind = FieldKind::NumericLower;
    }
    if (hint.contains(u':')) {
        const QString prefix = CodeOfItem(hint);
        if (prefix == u"Date"_s)
            kind = FieldKind::Date;
        else if (prefix == u"Numeric"_s)
            kind = FieldKind::Numeric;
        else if (prefix == u"Stringc"_s)
            kind = FieldKind::String;
    }
    return kind;
}

bool IsSqlIdentifier(const QString &text)
{
    const QList<uint> codePoints = text.toUcs4();
    if (codePoints.isEmpty())
        return false;
    if (codePoints.first() >= u'0' && codePoints.first() <= u'9')
        return false;
    for (const uint cp : codePoints) {
        const bool asciiWord = (cp >= u'a' && cp <= u'z') || (cp >= u'A' && cp <= u'Z')
            || (cp >= u'0' && cp <= u'9') || cp == u'_';
        if (!asciiWord && !(cp > 0x7f && (QChar::isLetter(cp) || IsHan(cp))))
            return false;
    }
    return true;
}

SqlCondition BuildCondition(const QString &rawValue, FieldKind kind)
{
    const QString value = rawValue.trimmed();

    // 1. a prefix match
    SqlCondition result { u" LIKE ?"_s, { QString(value + u'%') } };

    // 2. an operator in front; the two-character operators are tested last and so win
    QString op;
    QString rest;
    for (const QString &one : { u"="_s, u">"_s, u"<"_s }) {
        if (value.startsWith(one)) {
            op = one;
            rest = value.mid(1, 99);
        }
    }
    for (const QString &two : { u">="_s, u"<="_s, u"<>"_s }) {
        if (value.startsWith(two)) {
            op = two;
            rest = value.mid(2, 99);
        }
    }
    if (!op.isEmpty())
        result = { u" "_s + op + u" ?"_s, { rest } };

    // 3. IS NULL
    if (IsNullRequest(value))
        result = { u" IS NULL "_s, {} };

    // 4. dates are "YYYY/MM/DD" text, so the operator forms compare as text; blanks between
    //    the operator and the date would spoil that comparison
    if (kind == FieldKind::Date && !op.isEmpty())
        result = { u" "_s + op + u" ?"_s, { rest.trimmed() } };

    // 5. numbers are compared as numbers
    if (kind == FieldKind::Numeric || kind == FieldKind::NumericLower) {
        result = { u" = ?"_s, { NumberOrText(value) } };
        if (!op.isEmpty())
            result = { u" "_s + op + u" ?"_s, { NumberOrText(rest) } };
    }

    // 6. a condition the operator wrote out on purpose goes in as typed
    const QString upper = value.toUpper();
    if (upper.contains(u" OR "_s)) {
        result = { u" "_s + value, {} };
    } else if (IsInListRequest(value)) {
        result = { u" "_s + value, {} };
    }
    return result;
}

SqlCondition BuildAlternativesCondition(const QString &spec, const QString &value)
{
    if (!spec.contains(u'|'))
        return {};
    const QStringList parts = spec.split(u'|');
    QStringList columns;
    for (const QString &part : parts) {
        const QString column = part.trimmed();
        if (!IsSqlIdentifier(column))
            return {};
        columns << column;
    }

    const QString pattern = value.trimmed() + u'%';
    SqlCondition result { u" ( "_s, {} };
    for (qsizetype i = 0; i < columns.size(); ++i) {
        const bool last = i == columns.size() - 1;
        result.text += columns.at(i) + (last ? u" Like  ? ) "_s : u" Like ? Or "_s);
        result.params << pattern;
    }
    return result;
}

SqlCondition BuildWhereFromInputs(const QString &baseSql, const QString &subquerySql,
    const QString &subqueryColumn, const QList<SearchInput> &inputs)
{
    SqlCondition base { baseSql, {} };
    SqlCondition sub { subquerySql, {} };
    QString baseConnector = u" where "_s;
    QString subConnector = u" where "_s;
    bool anySubCondition = false;

    for (const SearchInput &input : inputs) {
        const QString value = input.value.trimmed();
        const QString spec = SpecOfHint(input.hint, input.isComboBox);
        if (value.isEmpty() || spec.isEmpty())
            continue;
        const FieldKind kind = FieldKindOf(input.hint, spec);

        if (spec.contains(u'|') && !spec.contains(u"->"_s)) {
            const SqlCondition alternatives = BuildAlternativesCondition(spec, value);
            if (alternatives.text.isEmpty())
                continue;
            base.text += baseConnector + alternatives.text;
            base.params << alternatives.params;
            baseConnector = u" and "_s;
            continue;
        }

        // Column names come from the program's own hints; anything that is not a plain
        // name is left out rather than pasted into the statement.
        const QString column = TextAfterArrow(spec);
        if (!IsSqlIdentifier(column))
            continue;
        const QString field
            = kind == FieldKind::NumericLower ? u" val ( "_s + column + u")"_s : column;

        if (spec.contains(u"->"_s)) {
            sub.text += subConnector + field + u" like ?"_s;
            sub.params << QString(value + u'%');
            subConnector = u" and "_s;
            anySubCondition = true;
        } else {
            const SqlCondition condition = BuildCondition(value, kind);
            base.text += baseConnector + field + condition.text;
            base.params << condition.params;
            baseConnector = u" and "_s;
        }
    }

    if (anySubCondition) {
        base.text += baseConnector + subqueryColumn + u" in ( "_s + sub.text + u") "_s;
        base.params << sub.params;
    }
    return base;
}

Prompter::Button MessageDlgCaptions(
    const QString &message, const QList<Prompter::ButtonSpec> &buttons)
{
    return CurrentPrompter().MessageDlgCaptions(message, buttons);
}

void ConfirmDelete()
{
    const Prompter::Button pressed = MessageDlgCaptions(u"是否確定刪除此筆資料?"_s,
        { { Prompter::Button::Yes, u"刪除"_s }, { Prompter::Button::No, u"取消"_s } });
    if (pressed != Prompter::Button::Yes)
        throw SilentAbort();
}

void ConfirmDeleteNamed(const QString &name)
{
    const Prompter::Button pressed = MessageDlgCaptions(u"刪除這筆 "_s + name + u" ??"_s,
        { { Prompter::Button::Yes, u"刪除"_s }, { Prompter::Button::No, u"取消"_s } });
    if (pressed != Prompter::Button::Yes)
        throw SilentAbort();
}

bool AskYesNo(const QString &message, const QString &firstCaption, const QString &secondCaption)
{
    return MessageDlgCaptions(message,
               { { Prompter::Button::Yes, firstCaption }, { Prompter::Button::No, secondCaption } })
        == Prompter::Button::Yes;
}

QString NextSortText(const QString &currentSort, const QString &fieldName)
{
    // Look-up and calculated fields ("NameLookup", "CalIndex") are not columns of the result.
    const QString upper = fieldName.toUpper();
    if (upper.isEmpty() || upper.contains(u"LOOKUP"_s) || upper.startsWith(u"CAL"_s))
        return QString();
    return currentSort == fieldName ? fieldName + u" DESC"_s : fieldName;
}
