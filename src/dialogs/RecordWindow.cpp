#include "dialogs/RecordWindow.h"

#include "Fun/FormHelpers.h"
#include "Fun/QueryBuilder.h"
#include "platform/ErrorReport.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>

using namespace Qt::StringLiterals;

RecordWindow::RecordWindow(QWidget *window, const QString &navigationPrefix, int navigationWidth)
    : QObject(window)
    , m_window(window)
{
    m_first = MakeToolButton(window, navigationPrefix + u"First"_s, u"|◀"_s);
    m_prior = MakeToolButton(window, navigationPrefix + u"Prior"_s, u"◀"_s);
    m_next = MakeToolButton(window, navigationPrefix + u"Next"_s, u"▶"_s);
    m_last = MakeToolButton(window, navigationPrefix + u"Last"_s, u"▶|"_s);
    for (QPushButton *button : { m_first, m_prior, m_next, m_last })
        button->setFixedWidth(navigationWidth);
    connect(m_first, &QPushButton::clicked, this, &RecordWindow::MoveFirst);
    connect(m_prior, &QPushButton::clicked, this, &RecordWindow::MovePrior);
    connect(m_next, &QPushButton::clicked, this, &RecordWindow::MoveNext);
    connect(m_last, &QPushButton::clicked, this, &RecordWindow::MoveLast);
}

QPushButton *RecordWindow::MakeToolButton(
    QWidget *parent, const QString &name, const QString &caption)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoDefault(false);
    return button;
}

void RecordWindow::SetUpRecordGrid(QTableView *grid, const QString &name, int rowHeight)
{
    grid->setObjectName(name);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setAlternatingRowColors(true);
    grid->verticalHeader()->setDefaultSectionSize(rowHeight);
    grid->verticalHeader()->setVisible(false);
}

QHBoxLayout *RecordWindow::MakeNavigationRow() const
{
    auto *row = new QHBoxLayout;
    for (QPushButton *button : { m_first, m_prior, m_next, m_last })
        row->addWidget(button);
    return row;
}

QHBoxLayout *RecordWindow::MakeToolbar(const ToolbarStyle &style, EditButtonFields fields)
{
    const QString &p = style.editPrefix;
    m_insert = fields.insert = MakeToolButton(m_window, p + u"Insert"_s, u"新增"_s);
    m_edit = fields.edit = MakeToolButton(m_window, p + u"Edit"_s, u"修改"_s);
    m_remove = fields.remove = MakeToolButton(m_window, p + u"Delete"_s, style.deleteCaption);
    m_post = fields.post = MakeToolButton(m_window, p + u"Post"_s, u"確認"_s);
    m_cancel = fields.cancel = MakeToolButton(m_window, p + u"Cancel"_s, u"取消"_s);
    connect(m_insert, &QPushButton::clicked, this, [this] { Run(m_parts.insertRecord); });
    connect(m_edit, &QPushButton::clicked, this, &RecordWindow::EditRecord);
    connect(m_post, &QPushButton::clicked, this, [this] { Run(m_parts.postRecord); });
    connect(m_remove, &QPushButton::clicked, this, &RecordWindow::DeleteRecord);
    connect(m_cancel, &QPushButton::clicked, this, &RecordWindow::CancelEdit);

    QHBoxLayout *row = MakeNavigationRow();
    if (style.groupGap > 0)
        row->addSpacing(style.groupGap);
    const QList<QPushButton *> order = style.deleteBeforePost
        ? QList<QPushButton *> { m_insert, m_edit, m_remove, m_post, m_cancel }
        : QList<QPushButton *> { m_insert, m_edit, m_post, m_remove, m_cancel };
    for (QPushButton *button : order)
        row->addWidget(button);
    return row;
}

void RecordWindow::Run(const std::function<void()> &action)
{
    if (action)
        action();
}

void RecordWindow::Attach(Parts parts)
{
    m_parts = std::move(parts);
    if (m_parts.grid && m_parts.rowChanged) {
        connect(m_parts.grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { m_parts.rowChanged(); });
    }
    if (QTabWidget *pages = m_parts.pages) {
        connect(pages, &QTabWidget::currentChanged, this, [pages] { HighlightActiveTab(pages); });
        HighlightActiveTab(pages);
    }
}

void RecordWindow::SetMode(Mode mode)
{
    m_mode = mode;
    const bool browsing = mode == Mode::Browse;
    const bool hasRecord = m_parts.hasRecord && m_parts.hasRecord();
    for (QPushButton *button : { m_first, m_prior, m_next, m_last })
        button->setEnabled(browsing && (hasRecord || !m_parts.navigationNeedsRecord));
    if (m_insert) {
        m_insert->setEnabled(browsing);
        m_edit->setEnabled(browsing && hasRecord);
        m_remove->setEnabled(browsing && hasRecord);
        m_post->setEnabled(!browsing);
        m_cancel->setEnabled(!browsing);
    }
    if (m_parts.grid)
        m_parts.grid->setEnabled(browsing);
    if (m_parts.applyMode)
        m_parts.applyMode(mode);
}

void RecordWindow::SelectRow(int row)
{
    // Selecting the row that is already current signals nothing; the window loads it anyway.
    if (SelectGridRow(m_parts.grid, row))
        Run(m_parts.rowChanged);
}

bool RecordWindow::SelectRid(int ridColumn, int rid)
{
    const int row = GridRowOfRid(m_parts.grid->model(), ridColumn, rid);
    if (row < 0)
        return false;
    SelectRow(row);
    return true;
}

int RecordWindow::currentRow() const { return m_parts.grid->currentIndex().row(); }

int RecordWindow::rowCount() const { return m_parts.grid->model()->rowCount(); }

void RecordWindow::MoveTo(int row)
{
    if (!browsing())
        return;
    if (m_parts.moveToRow)
        m_parts.moveToRow(row);
    else
        SelectRow(row);
}

void RecordWindow::MoveFirst() { MoveTo(0); }

void RecordWindow::MovePrior() { MoveTo(qMax(0, currentRow() - 1)); }

void RecordWindow::MoveNext() { MoveTo(qMin(rowCount() - 1, currentRow() + 1)); }

void RecordWindow::MoveLast() { MoveTo(rowCount() - 1); }

void RecordWindow::EditRecord()
{
    if (!browsing() || !m_parts.hasRecord || !m_parts.hasRecord())
        return;
    SetMode(Mode::Edit);
    ShowDetailPage();
}

void RecordWindow::DeleteRecord()
{
    if (!browsing() || !m_parts.hasRecord || !m_parts.hasRecord() || !m_parts.deleteRecord)
        return;
    GuardAction([this] {
        // Afterwards the list stands on the same row, or on the last one.
        const int row = currentRow();
        m_parts.deleteRecord();
        SelectRow(qMin(row, rowCount() - 1));
    });
}

void RecordWindow::CancelEdit()
{
    if (browsing())
        return;
    if (m_parts.askBeforeCancel && !AskYesNo(u"資料尚未儲存 確定要取消嗎?"_s, u"是"_s, u"否"_s))
        return;
    const Mode left = m_mode;
    SetMode(Mode::Browse);
    if (m_parts.editDropped)
        m_parts.editDropped(left);
    else
        Run(m_parts.rowChanged);
}

void RecordWindow::ShowDetailPage() { m_parts.pages->setCurrentIndex(1); }

bool RecordWindow::ConfirmLeave()
{
    if (browsing())
        return true;
    if (!AskYesNo(u"資料尚未儲存 確定要離開嗎?"_s, u"是"_s, u"否"_s))
        return false;
    SetMode(Mode::Browse);
    return true;
}
