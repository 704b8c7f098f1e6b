#pragma once

#include "platform/Prompter.h"

#include <QChar>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>

// Search conditions built from the search inputs of a window, and the small helpers of the
// same family: items written as code ":" name, confirmations with our own captions and the
// grid title-click sort rule.

// A piece of SQL with the values bound to its `?` placeholders, in order.
struct SqlCondition
{
    QString text;
    QVariantList params;
};

// How the value of a search input is compared.
//   String       prefix match or quoted comparison ("string", and hints "Stringc:<column>")
//   Date         hints "Date:<column>"; dates are stored as "YYYY/MM/DD" text
//   Numeric      hints "Numeric:<column>"
//   NumericLower a spec written in lower case ("cno2"): compared through val ( <column>)
enum class FieldKind { String, Date, Numeric, NumericLower };

// One search input of a window: its hint, its value (the text of an edit, the code part of
// a drop-down list's text) and whether it is a drop-down list.
struct SearchInput
{
    QString hint;
    QString value;
    bool isComboBox = false;
};

// Items written as code ":" name ("0:簽到", "KB:鍵盤").
QString CodeOfItem(const QString &text);
QString NameOfItem(const QString &text);

// Specs of the form "<table>-><column>": the column (at most 30 characters) and the table.
QString TextAfterArrow(const QString &text);
QString TextBeforeArrow(const QString &text);

// Splits at every separator; the first part is kept as it is, every later part is trimmed.
QStringList SplitText(const QString &text, QChar separator);

// The field spec of a hint: a drop-down list's whole hint, an edit's hint after ":".
QString SpecOfHint(const QString &hint, bool isComboBox);
FieldKind FieldKindOf(const QString &hint, const QString &spec);

// True for a column name we are willing to put into a statement: letters (CJK included),
// digits and underscores, not starting with a digit.
bool IsSqlIdentifier(const QString &text);

// The condition that follows a column name, for a typed value: a prefix match, an operator
// form (= > < >= <= <>), IS NULL, or a raw " OR " / "IN ( )" text that the operator typed (IN
// as a word of its own: "Martin" or "Lin (林)" stay prefix searches).
SqlCondition BuildCondition(const QString &value, FieldKind kind);

// " ( c1 Like ? Or c2 Like ? Or ... cn Like  ? ) " for a spec "c1|c2|...|cn"; empty text
// when the spec has no "|" or one of its columns is not a plain column name.
SqlCondition BuildAlternativesCondition(const QString &spec, const QString &value);

// The base statement with the conditions of every filled input appended (" where " first,
// then " and "); conditions on another table go into the subquery, which is joined as
// "<subqueryColumn> in ( <subquery>) ". Inputs whose column is not a plain name are skipped.
SqlCondition BuildWhereFromInputs(const QString &baseSql, const QString &subquerySql,
    const QString &subqueryColumn, const QList<SearchInput> &inputs);

// Confirmations through the current prompter.
Prompter::Button MessageDlgCaptions(
    const QString &message, const QList<Prompter::ButtonSpec> &buttons);
// Asks before a delete; throws SilentAbort unless "刪除" was pressed.
void ConfirmDelete();
void ConfirmDeleteNamed(const QString &name);
// True when the first button was pressed.
bool AskYesNo(const QString &message, const QString &firstCaption, const QString &secondCaption);

// The grid title-click sort: the new sort text after a click on the column of fieldName,
// given the current one. Empty means: leave the sort as it is (no field name, a look-up or a
// calculated field). Repeated clicks alternate "<field>" and "<field> DESC".
QString NextSortText(const QString &currentSort, const QString &fieldName);
