#pragma once

#include "Fun/QueryBuilder.h"

#include <QAbstractItemModel>
#include <QChar>
#include <QList>
#include <QString>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableView;
class QWidget;

// Widget side of the search windows and grids.
//
// A search input is a QLineEdit, QPlainTextEdit, QTextEdit or QComboBox of the window whose
// tool tip (its hint: the column it searches, see SpecOfHint) is not empty and whose dynamic
// property "showHint" is not true (a tool tip that is only there to be shown, such as
// "格式2019/05/31", is marked with showHint = true). Hidden inputs count.

// The window's search inputs in component order: the order in which they were made
// children, depth first through group boxes and pages. A drop-down list gives the code part
// of its text ("2:午到" gives "2").
QList<SearchInput> CollectSearchInputs(QWidget *window);

// baseSql with the conditions of the window's filled search inputs; see BuildWhereFromInputs.
SqlCondition BuildWhereFromForm(QWidget *window, const QString &baseSql, const QString &subquerySql,
    const QString &subqueryColumn);

// Empties every search input (a drop-down list goes to its empty item, or to no item) and
// unchecks every QCheckBox that carries a hint and no "showHint".
void ClearFormInputs(QWidget *window);

// Shows the tab of the current page in the highlight colour and every other in the normal
// one; each page gets the dynamic property "highlighted". Call it on every page change.
void HighlightActiveTab(QTabWidget *pages);

// Grids that sort by a title click are a QTableView over a QSortFilterProxyModel (usually
// over a QSqlQueryModel). The field name of a column is the header data of role
// GridFieldNameRole when the window set one (for calculated and look-up columns), else the
// name of the column in the QSqlQueryModel's record, else empty.
inline constexpr int GridFieldNameRole = Qt::UserRole + 70;
QString GridFieldName(const QAbstractItemModel *model, int column);

// A click on the title of the column: sorts by it, alternating ascending and descending (see
// NextSortText). Every row is fetched first so the whole result is sorted.
void GridTitleSort(QTableView *grid, int column);
// Connects the grid's title clicks to GridTitleSort.
void EnableGridTitleSort(QTableView *grid);

// Writes the grid to fileName (see WriteCsv): the title captions, then every row of its model
// from the first to the last. Column 0 is always written; a further column unless its width
// is 0; a hidden column is written. False when the file could not be written.
bool ExportGridToCsv(QTableView *grid, QChar separator, const QString &fileName);

// The row of model whose column ridColumn holds the record number rid; -1 when none.
int GridRowOfRid(const QAbstractItemModel *model, int ridColumn, int rid);

// Makes row the current, selected row of grid (at its first shown column) and scrolls to it;
// a row outside the model clears the selection. Returns true when the selection model signalled
// nothing (the row was current already, or there is none), so the window loads the row itself.
bool SelectGridRow(QTableView *grid, int row);

// Small builders for windows made in code: every widget carries its component name.
QLineEdit *MakeEdit(QWidget *parent, const QString &name, int maxLength = 0);
// An editable box never adds what is typed to its own list.
QComboBox *MakeCombo(QWidget *parent, const QString &name, bool editable);
// A caption in front of a field, right-aligned.
QLabel *MakeLabel(QWidget *parent, const QString &caption);
// A button that is never the default one: Enter in a field does not press it.
QPushButton *MakeButton(QWidget *parent, const QString &name, const QString &caption);
// Gives a widget made elsewhere its component name.
template<typename W>
W *Named(W *widget, const QString &name)
{
    widget->setObjectName(name);
    return widget;
}
