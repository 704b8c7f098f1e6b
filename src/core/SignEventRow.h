#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <optional>

// One sign event as a row of PSIO, and the one way the program adds such rows: the recorder at
// the station, the manual sign-in of the enrolment window and the events received from another
// station all store theirs through here.

struct SignEventRow
{
    QString IDNO;      // the identity the person signed in with
    QString IODATE;    // "YYYMMDD", ROC year
    QString IOTIME;    // "HHMMSS"
    QString IOTYPE;    // the kind of event ("0" sign-in, "9" roll call, ...)
    QString INDEX_KEY; // the class key, followed by the lesson's number and start time
    QString IOWay;     // how the identity was given ("KB", "SC", "IT" by hand, ...)
    QString DOOR;      // the station's number
    QString NET;       // "N" until the event has been uploaded
    // Left NULL when not given:
    std::optional<QString> Web;
    std::optional<int> RID2;    // the row's number on the station it came from
    std::optional<QString> NTP; // "Y" when the station's clock was synchronised
};

// The columns a new row is stored with, in the order of SignEventValues.
const QStringList &SignEventColumns();

// The values of row in the order of SignEventColumns: texts as given (bound as every text is, a
// null one as the empty text), a column not given as NULL.
QVariantList SignEventValues(const SignEventRow &row);

enum class NewRowNumber
{
    NotWanted,
    Returned // "returning RID": the statement gives one row holding the new row's number
};

// "insert into PSIO (<SignEventColumns>) values (?, ...)".
QString SignEventInsertSql(NewRowNumber rowNumber = NewRowNumber::NotWanted);

// Adds row to PSIO on db (RunQuery); throws DatabaseError.
void InsertSignEvent(QSqlDatabase db, const SignEventRow &row);

// The same statement prepared once on db, for storing many rows. Throws DatabaseError.
class SignEventInserter
{
public:
    explicit SignEventInserter(QSqlDatabase db);
    void Insert(const SignEventRow &row);

private:
    QSqlQuery m_insert;
};
