#include "Fun/FormHelpers.h"

#include "Fun/CsvExport.h"

#include <QLabel>
#include <QAbstractProxyModel>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QSortFilterProxyModel>
#include <QSqlQueryModel>
#include <QSqlRecord>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTextEdit>

using namespace Qt::Literals::StringLiterals;

namespace {

// A widget with a hint that is not switched to "show": the hint names a column.
bool CarriesSearchHint(const QWidget *widget)
{
    return !widget->toolTip().isEmpty() && !widget->property("showHint").toBool();
}

// The line edit inside an editable drop-down list or a spin box is part of that widget.
bool IsInnerEditor(const QWidget *widget)
{
    const QWidget *parent = widget->parentWidget();
    return qobject_cast<const QComboBox *>(parent)
        || qobject_cast<const QAbstractSpinBox *>(parent);
}

bool IsSearchInput(const QWidget *widget)
{
    const bool inputKind = qobject_cast<const QLineEdit *>(widget)
        || qobject_cast<const QPlainTextEdit *>(widget) || qobject_cast<const QTextEdit *>(widget)
        || qobject_cast<const QComboBox *>(widget);
    return inputKind && !IsInnerEditor(widget) && CarriesSearchHint(widget);
}

void FetchAll(QAbstractItemModel *model)
{
    while (model->canFetchMore(QModelIndex()))
        model->fetchMore(QModelIndex());
}

} // namespace

QList<SearchInput> CollectSearchInputs(QWidget *window)
{
    QList<SearchInput> inputs;
    if (!window)
        return inputs;
    // findChildren walks depth first in the order the children were added.
    const QList<QWidget *> widgets = window->findChildren<QWidget *>();
    for (QWidget *widget : widgets) {
        if (!IsSearchInput(widget))
            continue;
        SearchInput input;
        input.hint = widget->toolTip();
        if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
            input.value = edit->text();
        } else if (auto *plain = qobject_cast<QPlainTextEdit *>(widget)) {
            input.value = plain->toPlainText();
        } else if (auto *rich = qobject_cast<QTextEdit *>(widget)) {
            input.value = rich->toPlainText();
        } else if (auto *combo = qobject_cast<QComboBox *>(widget)) {
            input.value = CodeOfItem(combo->currentText());
            input.isComboBox = true;
        }
        inputs << input;
    }
    return inputs;
}

SqlCondition BuildWhereFromForm(QWidget *window, const QString &baseSql, const QString &subquerySql,
    const QString &subqueryColumn)
{
    return BuildWhereFromInputs(baseSql, subquerySql, subqueryColumn, CollectSearchInputs(window));
}

void ClearFormInputs(QWidget *window)
{
    if (!window)
        return;
    const QList<QWidget *> widgets = window->findChildren<QWidget *>();
    for (QWidget *widget : widgets) {
        if (auto *box = qobject_cast<QCheckBox *>(widget)) {
            if (CarriesSearchHint(box))
                box->setChecked(false);
            continue;
        }
        if (!IsSearchInput(widget))
            continue;
        if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
            edit->clear();
        } else if (auto *plain = qobject_cast<QPlainTextEdit *>(widget)) {
            plain->clear();
        } else if (auto *rich = qobject_cast<QTextEdit *>(widget)) {
            rich->clear();
        } else if (auto *combo = qobject_cast<QComboBox *>(widget)) {
            combo->setCurrentIndex(combo->findText(QString()));
            if (combo->isEditable())
                combo->clearEditText();
        }
    }
}

void HighlightActiveTab(QTabWidget *pages)
{
    if (!pages)
        return;
    QTabBar *bar = pages->tabBar();
    const QColor highlight = bar->palette().color(QPalette::Highlight);
    for (int i = 0; i < pages->count(); ++i) {
        const bool active = i == pages->currentIndex();
        bar->setTabTextColor(i, active ? highlight : QColor());
        if (QWidget *page = pages->widget(i))
            page->setProperty("highlighted", active);
    }
}

QString GridFieldName(const QAbstractItemModel *model, int column)
{
    if (!model || column < 0 || column >= model->columnCount())
        return QString();
    const QString named = model->headerData(column, Qt::Horizontal, GridFieldNameRole).toString();
    if (!named.isEmpty())
        return named;
    // Sort and filter proxies keep the columns of the model under them.
    const QAbstractItemModel *source = model;
    while (const auto *proxy = qobject_cast<const QAbstractProxyModel *>(source))
        source = proxy->sourceModel();
    if (const auto *sql = qobject_cast<const QSqlQueryModel *>(source))
        return sql->record().fieldName(column);
    return QString();
}

void GridTitleSort(QTableView *grid, int column)
{
    if (!grid)
        return;
    auto *proxy = qobject_cast<QSortFilterProxyModel *>(grid->model());
    if (!proxy)
        return;

    QString current;
    if (proxy->sortColumn() >= 0) {
        current = GridFieldName(proxy, proxy->sortColumn());
        if (proxy->sortOrder() == Qt::DescendingOrder)
            current += u" DESC"_s;
    }
    const QString next = NextSortText(current, GridFieldName(proxy, column));
    if (next.isEmpty())
        return;

    const Qt::SortOrder order
        = next.endsWith(u" DESC"_s) ? Qt::DescendingOrder : Qt::AscendingOrder;
    FetchAll(proxy);
    proxy->sort(column, order);
    grid->horizontalHeader()->setSortIndicatorShown(true);
    grid->horizontalHeader()->setSortIndicator(column, order);
}

void EnableGridTitleSort(QTableView *grid)
{
    if (!grid)
        return;
    grid->horizontalHeader()->setSectionsClickable(true);
    QObject::connect(grid->horizontalHeader(), &QHeaderView::sectionClicked, grid,
        [grid](int column) { GridTitleSort(grid, column); });
}

bool ExportGridToCsv(QTableView *grid, QChar separator, const QString &fileName)
{
    if (!grid || !grid->model())
        return false;
    QAbstractItemModel *model = grid->model();
    FetchAll(model);

    // A column set to width 0 is left out; a hidden one (Qt reports width 0 for it too) is
    // written, as is column 0 whatever its width.
    QList<int> columns;
    for (int c = 0; c < model->columnCount(); ++c) {
        if (c == 0 || grid->isColumnHidden(c) || grid->columnWidth(c) != 0)
            columns << c;
    }

    QStringList header;
    for (const int c : columns)
        header << model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();

    QList<QStringList> rows;
    rows.reserve(model->rowCount());
    for (int r = 0; r < model->rowCount(); ++r) {
        QStringList row;
        for (const int c : columns)
            row << model->data(model->index(r, c), Qt::DisplayRole).toString();
        rows << row;
    }
    return ExportRowsToCsvFile(fileName, header, rows, separator);
}

QLineEdit *MakeEdit(QWidget *parent, const QString &name, int maxLength)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(name);
    if (maxLength > 0)
        edit->setMaxLength(maxLength);
    return edit;
}

QComboBox *MakeCombo(QWidget *parent, const QString &name, bool editable)
{
    auto *combo = new QComboBox(parent);
    combo->setObjectName(name);
    combo->setEditable(editable);
    if (editable)
        combo->setInsertPolicy(QComboBox::NoInsert);
    return combo;
}

QLabel *MakeLabel(QWidget *parent, const QString &caption)
{
    auto *label = new QLabel(caption, parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

int GridRowOfRid(const QAbstractItemModel *model, int ridColumn, int rid)
{
    if (rid <= 0 || ridColumn < 0)
        return -1;
    for (int row = 0; row < model->rowCount(); ++row)
        if (model->index(row, ridColumn).data().toInt() == rid)
            return row;
    return -1;
}

bool SelectGridRow(QTableView *grid, int row)
{
    QAbstractItemModel *model = grid->model();
    QItemSelectionModel *selection = grid->selectionModel();
    if (row < 0 || row >= model->rowCount()) {
        selection->clearCurrentIndex();
        grid->clearSelection();
        return true;
    }
    int column = 0;
    for (int visual = 0; visual < model->columnCount(); ++visual) {
        const int logical = grid->horizontalHeader()->logicalIndex(visual);
        if (logical >= 0 && !grid->isColumnHidden(logical)) {
            column = logical;
            break;
        }
    }
    const QModelIndex index = model->index(row, column);
    const bool sameRow = selection->currentIndex().row() == row;
    selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    grid->scrollTo(index);
    return sameRow;
}

QPushButton *MakeButton(QWidget *parent, const QString &name, const QString &caption)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}
