#pragma once

#include <optional>

#include "Fun/QueryBuilder.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>

class TDM;

// The sign events of one class as the records window lists them: the search statement built
// from the window's search inputs, the calculated columns (masked identity, the name and
// lifelong-learning hours from the class's enrolment list, type and way names, the Gregorian
// date), the counts per type, the title-click sort, deletion and in-place edits that are
// posted when the row is left. The window (TfmPSIO_Booking) shows this model in its grid.

// Captions of the sign-event types "2" .. "5" (the sign-in screen's io3Cap .. io6Cap).
struct SignTypeCaptions
{
    QString io3Cap = QStringLiteral("午到");
    QString io4Cap = QStringLiteral("午退");
    QString io5Cap = QStringLiteral("晚到");
    QString io6Cap = QStringLiteral("晚退");
};

// "*****" followed by characters 6 to 10 of the stored identity: 1234567890 gives *****67890.
QString MaskedIdno(const QString &idno);
// The name of a sign-event code: "0" 簽到, "1" 簽退, "2" .. "5" the captions, "9" 點名; none for
// any other code (each list shows an unknown code in its own way).
std::optional<QString> KnownSignTypeName(const QString &code, const SignTypeCaptions &captions);
// The name of a trimmed code; any other code is shown as it is.
QString SignTypeName(const QString &code, const SignTypeCaptions &captions);
// "KB" 鍵盤, "SC" 螢幕, "SR" 感應; any other way is shown as it is.
QString SignWayName(const QString &code);
// A ROC date "YYYMMDD" as "YYYY-MM-DD"; empty when the text is not such a date.
QString GregorianOfRocDate(const QString &rocDate);
// The Booking column that holds the stored identity of a storage kind: "ID" for the identity
// number kinds ("身分證字號", "身分證遮號"), "IDNO" for every other kind.
QString StorageColumnOfKind(const QString &storageKind);
// The items of the type filter: "", "0:簽到", "1:簽退", "2:"+io3Cap .. "5:"+io6Cap, "9:點名".
QStringList SignTypeItems(const SignTypeCaptions &captions);
// The items of the way filter: "", "SR:感應", "SC:螢幕", "KB:鍵盤".
QStringList SignWayItems();
// The captions of the six count labels for the types "0" .. "5": "簽到(n)", "簽退(n)",
// io3Cap + "(n)" .. io6Cap + "(n)".
QStringList SignCountCaptions(const QList<int> &counts, const SignTypeCaptions &captions);
// The stored field a title click on a column sorts by: IODateCal → IODATE, IotypeCal → IOTYPE,
// IOWAYCal → IOWAY, CalID → IDNO; any other field is itself.
QString SortFieldOfColumn(const QString &field);

class SignEventRecords : public QAbstractTableModel
{
    Q_OBJECT

public:
    // Grid columns, in order.
    enum Column {
        ColDoor,      // 電腦
        ColCalId,     // the storage kind: the masked identity
        ColName,      // 姓名 (look-up)
        ColDate,      // 日期
        ColTime,      // 時間
        ColType,      // 卡別 (calculated)
        ColWay,       // 方式 (calculated)
        ColSeats,     // 座次 (hidden)
        ColGHour,     // 終身學習 (look-up, hidden)
        ColIndexKey,  // 講習編號
        ColNet,       // NET (hidden)
        ColDateCal,   // 日期西元 (calculated, hidden)
        ColNtp,       // 校時 (read-only)
        ColumnCount
    };

    // Reads and writes on the working connection of dm, whichever it is at the time.
    explicit SignEventRecords(const TDM &dm, QObject *parent = nullptr);

    // The field of a grid column: a PSIO column, or the name of a calculated or look-up field.
    static QString FieldOfColumn(int column);
    // Whether the grid hides the column.
    static bool IsHiddenColumn(int column);

    // ---- Opening ---------------------------------------------------------------------------
    // The class whose enrolment list gives the names, and the storage kind that says which of
    // its columns holds the stored identity (it is also the title of the second column).
    // Reads the enrolment list of the class (the look-up source).
    void Open(const QString &classKey, const QString &storageKind, const SignTypeCaptions &captions);
    QString classKey() const { return m_classKey; }
    QString storageKind() const { return m_storageKind; }
    QString storageColumn() const { return m_storageColumn; }
    const SignTypeCaptions &captions() const { return m_captions; }

    // ---- Searching -------------------------------------------------------------------------
    // " select * from PSIO" with the conditions of the inputs (names through the subquery
    // "select <storage column> from Booking", joined on IDNO) and " order by RID".
    SqlCondition SearchStatement(const QList<SearchInput> &inputs) const;
    // "select IOTYPE, count(*) from PSIO" with the same conditions, grouped by type.
    SqlCondition CountStatement(const QList<SearchInput> &inputs) const;
    // Runs the search: posts a pending edit, reads the events, forgets the sort.
    void Search(const QList<SearchInput> &inputs);
    // The matching events of the types "0" .. "5", in that order.
    QList<int> CountByType(const QList<SearchInput> &inputs) const;

    // ---- Rows ------------------------------------------------------------------------------
    int Rid(int row) const;
    int RowOfRid(int rid) const;
    // A stored column of a row by its PSIO name (letter case ignored), as it is now shown
    // (with a pending edit); an unknown name gives an invalid variant.
    QVariant Value(int row, const QString &field) const;
    // The picture of the row's event: picture folder / sub-folder / class key + identity + date
    // + time + type + way ".jpg", the sub-folder by the sign-in screen's rule ("課程編號": the
    // class number + "/PIC"; "年月": the first five characters of the row's date; any other
    // rule: currentSubPath). Empty without a row or a picture folder.
    QString SnapshotPath(int row, const QString &pictureDir, const QString &rule,
                         const QString &currentSubPath, int courseNoLength) const;
    // The snapshot of the row wherever the station filed it (FindSnapshot: the rule's folder,
    // then both layouts); empty when it is nowhere.
    QString FindSnapshotOf(int row, const QString &pictureDir, const QString &rule,
                           const QString &currentSubPath, int courseNoLength) const;

    // ---- Sorting ---------------------------------------------------------------------------
    // The current sort: "" (by RID, as read), "<field>" or "<field> DESC".
    QString sortText() const { return m_sortText; }
    // A click on the title of the column: the mapped field ascending, or descending when it is
    // the current sort; look-up fields do not sort. False when the sort did not change.
    bool SortByColumn(int column);

    // ---- Edits and deletion ----------------------------------------------------------------
    // Cells of stored columns (except NTP) can be edited; the edits of one row wait until
    // PostPending (the grid calls it when the row is left) or CancelPending.
    bool hasPendingEdit() const { return m_pendingRow >= 0; }
    int pendingRow() const { return m_pendingRow; }
    // Writes the pending edits of the row to its PSIO row. A database error throws
    // DatabaseError; the edits then stay pending.
    void PostPending();
    // Discards the pending edits: the row shows its stored values again.
    void CancelPending();
    // Deletes the event of the row after ConfirmDelete ("是否確定刪除此筆資料?"); anything but
    // "刪除" throws SilentAbort and nothing changes.
    void DeleteRow(int row);

    // QAbstractTableModel
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

private:
    struct Person
    {
        QString name;
        QString gHour;
    };
    // One event: the PSIO columns in table order.
    using Row = QVariantList;

    static int FieldIndex(const QString &field);
    QVariant Cell(int row, int column) const;
    QVariant Shown(int row, int fieldIndex) const;
    const Person *PersonOf(const QString &idno) const;

    const TDM &m_dm;
    QString m_classKey;
    QString m_storageKind;
    QString m_storageColumn = QStringLiteral("IDNO");
    SignTypeCaptions m_captions;
    QHash<QString, Person> m_people; // enrolment list by stored identity
    QList<Row> m_rows;
    QString m_sortText;
    int m_pendingRow = -1;
    QMap<int, QVariant> m_pending;   // PSIO column index → edited value
};
