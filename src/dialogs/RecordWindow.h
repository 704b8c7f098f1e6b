#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QHBoxLayout;
class QPushButton;
class QTabWidget;
class QTableView;
class QWidget;

// What the record windows share: their toolbar (the navigation buttons "|◀" "◀" "▶" "▶|" and
// the editing buttons 新增 修改 確認 刪除 取消), the browse / edit / insert mode with the enabled
// states it gives the toolbar and the list, moving through the rows of the list, and the
// questions asked before an unsaved record is dropped ("資料尚未儲存 確定要離開嗎?").
//
// The window owns one (a child QObject), made before the rest of the window so that the
// navigation buttons, named <prefix>First .. <prefix>Last, are there for its toolbar. Once the
// list is made, Attach() hands it over with the window's own part of the rules: whether a
// record is shown, what storing, adding and deleting do, what happens when the current row
// changes, and what else the mode enables. The rest of editing (修改), deleting (刪除) and
// cancelling (取消) is the helper's own: 修改 enters edit mode on the shown record and turns to
// the detail page; 刪除 has the window delete the shown record and leaves the list on the same
// row, or on the last; 取消 asks first when the window wants it, returns to browsing and lets
// the window show the record again.
class RecordWindow final : public QObject
{
    Q_OBJECT

public:
    enum class Mode { Browse, Edit, Insert };

    // The window's fields that receive the editing buttons MakeToolbar() makes.
    struct EditButtonFields
    {
        QPushButton *&insert;
        QPushButton *&edit;
        QPushButton *&post;
        QPushButton *&remove;
        QPushButton *&cancel;
    };

    // How the toolbar row is laid out.
    struct ToolbarStyle
    {
        QString editPrefix; // the editing buttons are <editPrefix>Insert .. <editPrefix>Cancel
        QString deleteCaption; // "刪除" or " 刪除 "
        bool deleteBeforePost; // 新增 修改 刪除 確認 取消, else 新增 修改 確認 刪除 取消
        int groupGap = 0; // room between the navigation and the editing buttons
    };

    struct Parts
    {
        // The list the navigation moves through (its model's rows); disabled while editing.
        QTableView *grid = nullptr;
        // The pages of the window: the list (0) and the detail "單筆明細" (1). The current tab
        // is highlighted.
        QTabWidget *pages = nullptr;
        // A record is shown: editing and deleting are offered.
        std::function<bool()> hasRecord;
        // The window's own enabled states for a mode, applied after the toolbar's.
        std::function<void(Mode)> applyMode;
        // Called when the grid's current row changes, and by SelectRow() when selecting
        // signalled nothing (the row was current already, or there is none).
        std::function<void()> rowChanged;
        // How the window moves to a row, when not by SelectRow().
        std::function<void(int row)> moveToRow;
        // What 新增 and 確認 do, and how the shown record is deleted (the window asks, deletes
        // and lists again; the row is chosen afterwards).
        std::function<void()> insertRecord;
        std::function<void()> postRecord;
        std::function<void()> deleteRecord;
        // After 取消 dropped an edit, given the mode that was left; by default the window
        // shows the current row again (rowChanged).
        std::function<void(Mode left)> editDropped;
        // 取消 asks "資料尚未儲存 確定要取消嗎?" first.
        bool askBeforeCancel = false;
        // The navigation buttons are offered only while a record is shown.
        bool navigationNeedsRecord = false;
    };

    RecordWindow(QWidget *window, const QString &navigationPrefix, int navigationWidth);

    // A toolbar button: it takes no focus, so pressing one never counts as leaving a field
    // (nor closes an open cell editor first), and it is never the default button.
    static QPushButton *MakeToolButton(
        QWidget *parent, const QString &name, const QString &caption);
    // A read-only list of records: whole rows selected one at a time, alternating colours,
    // rows of the given height, no row numbers.
    static void SetUpRecordGrid(QTableView *grid, const QString &name, int rowHeight);

    QPushButton *first() const { return m_first; }
    QPushButton *prior() const { return m_prior; }
    QPushButton *next() const { return m_next; }
    QPushButton *last() const { return m_last; }
    // A toolbar row with the four navigation buttons.
    QHBoxLayout *MakeNavigationRow() const;
    // A toolbar row with the navigation buttons and the editing buttons, which it makes into
    // the window's fields. The window adds its own buttons behind.
    QHBoxLayout *MakeToolbar(const ToolbarStyle &style, EditButtonFields fields);

    void Attach(Parts parts);

    Mode mode() const { return m_mode; }
    bool browsing() const { return m_mode == Mode::Browse; }
    // Enters the mode and applies its enabled states.
    void SetMode(Mode mode);

    // Moves the list to a row (a row outside the list clears the selection).
    void SelectRow(int row);
    // Moves the list to the row whose column ridColumn holds rid; false when there is none.
    bool SelectRid(int ridColumn, int rid);
    int currentRow() const;
    int rowCount() const;

    // The navigation buttons; they move only while browsing.
    void MoveFirst();
    void MovePrior();
    void MoveNext();
    void MoveLast();

    // 修改, 刪除 and 取消.
    void EditRecord();
    void DeleteRecord();
    void CancelEdit();

    // Turns to the detail page.
    void ShowDetailPage();

    // While a record is edited or added, asks "資料尚未儲存 確定要離開嗎?". True when the
    // window may close: it was browsing, or "是" was answered and it is back to browsing.
    bool ConfirmLeave();

private:
    void MoveTo(int row);
    static void Run(const std::function<void()> &action);

    QWidget *m_window;
    QPushButton *m_first;
    QPushButton *m_prior;
    QPushButton *m_next;
    QPushButton *m_last;
    QPushButton *m_insert = nullptr;
    QPushButton *m_edit = nullptr;
    QPushButton *m_post = nullptr;
    QPushButton *m_remove = nullptr;
    QPushButton *m_cancel = nullptr;
    Parts m_parts;
    Mode m_mode = Mode::Browse;
};
