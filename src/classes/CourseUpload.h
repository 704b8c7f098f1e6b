#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QSqlRecord>
#include <QString>

class TrainingService;

// Sending the lessons of a class to the training web service ("課程上傳").
namespace CourseUpload {

// One JSON string literal: the text in double quotes with quotes, backslashes and control
// characters escaped; everything else (Chinese too) as it is.
QString JsonString(const QString &text);

// The "data" text for lessons read with "select * from Course": a JSON array with one object
// per lesson in the given order, each member named by its column in lower case, every column
// but RID and INDEX_KEY in the table's order; NULL as "", a number column's value bare, any
// other column as a string. No blanks between members.
QString LessonsJson(const QList<QSqlRecord> &lessons);

// The lessons of a class (INDEX_KEY beginning with the class key) by date and start time.
QList<QSqlRecord> LessonsOfClass(QSqlDatabase db, const QString &classKey);

// The refusal for these lessons, empty when they may be sent: every lesson needs a teacher
// identity ("所有課程需填講師身分證資料"), a subject and a subject code
// ("所有課程需填課程編號與課程名稱"); the first failing lesson decides.
QString CheckLessons(const QList<QSqlRecord> &lessons);

struct Outcome
{
    bool sent = false; // the service accepted the lessons ("資料成功上傳")
    bool refused = false; // refused before sending or by the service's own answer
    QString message; // what the operator is shown
};

// The whole upload: station number "00" only, lessons present and complete, a service token
// (member "token"), then the post with index_key = the class number as the class window
// shows it. A failed request gives its message (naming the address and the reason).
Outcome Upload(TrainingService &service, QSqlDatabase db, const QString &stationNo,
    const QString &classKey, const QString &courseIdShown);

} // namespace CourseUpload
