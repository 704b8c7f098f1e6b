#pragma once

// An attendance database of an older layout, made by the tests: the class and enrolment tables
// under their old names "課程基本資料" and "報名資料", the row identity called "識別碼", yes/no
// columns where the template now keeps text, lesson keys of 15 characters in PSIO, codes with
// RW "0000000", the user's help notes in HelpText2 and a table the template no longer has.

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QUuid>
#include <QVariant>
#include <QVariantList>

namespace OldDatabase {

struct Options
{
    // The old SYS_CODE has a column the template's lacks: the code merge cannot place it.
    bool extraCodeColumn = false;
};

inline bool Exec(QSqlDatabase db, const QString &sql, const QVariantList &values = {})
{
    QSqlQuery query(db);
    if (!query.prepare(sql)) {
        qWarning("OldDatabase: %s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
        return false;
    }
    for (const QVariant &v : values)
        query.addBindValue(v);
    if (!query.exec()) {
        qWarning("OldDatabase: %s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
        return false;
    }
    return true;
}

inline QVariant Null() { return QVariant(); }

// Writes the old database at path (which must not exist yet).
inline bool Build(const QString &path, const Options &options = {})
{
    const QString name = QStringLiteral("OldDatabase-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (!db.open())
            return false;
        auto run = [&](const QString &sql, const QVariantList &values = {}) {
            ok = ok && Exec(db, sql, values);
        };
        db.transaction();

        run(QStringLiteral("create table LOG (RID integer primary key autoincrement, LogTime varchar(19), "
                           "Source varchar(50), Message text)"));
        run(QStringLiteral("insert into LOG (LogTime, Source, Message) values (?, ?, ?)"),
            { QStringLiteral("2024/12/31 17:00:00"), QStringLiteral("年度結算"), QStringLiteral("匯出完成") });

        run(QStringLiteral("create table 課程基本資料 (識別碼 integer primary key autoincrement, "
                           "CourseId varchar(20), Echelon varchar(2), Course varchar(100), "
                           "DateStart varchar(10), DateEnd varchar(10), Bookin boolean, Score boolean, "
                           "SignType varchar(10), 舊欄位 varchar(20))"));
        const QString course = QStringLiteral(
            "insert into 課程基本資料 (識別碼, CourseId, Echelon, Course, DateStart, DateEnd, Bookin, Score, "
            "SignType, 舊欄位) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        run(course, { 7, QStringLiteral("A1234567890"), QStringLiteral("01"), QStringLiteral("職業安全衛生教育訓練"),
                      QStringLiteral("2025/05/03"), QStringLiteral("2025/05/04"), 1, 0,
                      QStringLiteral("110000"), QStringLiteral("舊值") });
        run(course, { 9, QStringLiteral("B2222222222"), QStringLiteral("02"), QStringLiteral("勞工健康服務講習"),
                      QStringLiteral("2025/06/10"), QStringLiteral("2025/06/10"), 0, 1,
                      QStringLiteral("000000"), Null() });

        run(QStringLiteral("create table Course (RID integer primary key autoincrement, INDEX_KEY varchar(25), "
                           "Subject varchar(50), CNo4 varchar(4), DateStart varchar(10), TimeStart varchar(5), "
                           "TimeEnd varchar(5), Hours integer)"));
        const QString lesson = QStringLiteral("insert into Course (INDEX_KEY, Subject, CNo4, DateStart, TimeStart, "
                                              "TimeEnd, Hours) values (?, ?, ?, ?, ?, ?, ?)");
        run(lesson, { QStringLiteral("A123456789001"), QStringLiteral("安全衛生概論"), QStringLiteral("A001"),
                      QStringLiteral("2025/05/03"), QStringLiteral("09:00"), QStringLiteral("12:00"), 3 });
        run(lesson, { QStringLiteral("A123456789001"), QStringLiteral("勞動法令"), QStringLiteral("A002"),
                      QStringLiteral("2025/05/03"), QStringLiteral("13:30"), QStringLiteral("16:30"), 3 });
        run(lesson, { QStringLiteral("A123456789001"), QStringLiteral("安全衛生概論"), QStringLiteral("A001"),
                      QStringLiteral("2025/05/04"), QStringLiteral("08:30"), QStringLiteral("11:30"), 3 });

        run(QStringLiteral("create table 報名資料 (識別碼 varchar(10), INDEX_KEY varchar(25), ID varchar(10), "
                           "NAME varchar(30), DEPT varchar(50), Score boolean, GHour integer)"));
        const QString booking = QStringLiteral(
            "insert into 報名資料 (識別碼, INDEX_KEY, ID, NAME, DEPT, Score, GHour) values (?, ?, ?, ?, ?, ?, ?)");
        run(booking, { QStringLiteral("1"), QStringLiteral("A123456789001"), QStringLiteral("A123456789"),
                       QStringLiteral("王小明"), QStringLiteral("工務部"), 1, 6 });
        run(booking, { QStringLiteral("  "), QStringLiteral("A123456789001"), QStringLiteral("B223456789"),
                       QStringLiteral("陳美麗"), QStringLiteral("總務部"), 1, 6 });
        run(booking, { QStringLiteral("3"), QStringLiteral("A123456789001"), QStringLiteral("C123456789"),
                       QStringLiteral("林志強"), QStringLiteral("O'Brien 行政部"), 0, Null() });

        run(QStringLiteral("create table TimeLog (RID integer primary key autoincrement, TimeStr varchar(50), "
                           "STATUS varchar(50))"));
        run(QStringLiteral("insert into TimeLog (TimeStr, STATUS) values (?, ?)"),
            { QStringLiteral("2025/05/03 08:01:00"), QStringLiteral("校時成功") });

        run(QStringLiteral("create table PSIO (RID integer primary key autoincrement, DOOR varchar(2), "
                           "IDNO varchar(10), IODATE varchar(7), IOTIME varchar(6), IOTYPE varchar(1), "
                           "IOWay varchar(2), NET varchar(1), INDEX_KEY varchar(25), NTP boolean)"));
        const QString psio = QStringLiteral("insert into PSIO (RID, DOOR, IDNO, IODATE, IOTIME, IOTYPE, IOWay, "
                                            "NET, INDEX_KEY, NTP) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        // A key of 15 characters finds its lesson by day; one without a lesson that day stays as
        // it is, and so does a key that already carries its start time.
        run(psio, { 101, QStringLiteral("01"), QStringLiteral("A123456789"), QStringLiteral("1140503"),
                    QStringLiteral("085501"), QStringLiteral("0"), QStringLiteral("KB"), QStringLiteral("N"),
                    QStringLiteral("A1234567890A001"), 1 });
        run(psio, { 102, QStringLiteral("01"), QStringLiteral("A123456789"), QStringLiteral("1140504"),
                    QStringLiteral("082002"), QStringLiteral("0"), QStringLiteral("SR"), QStringLiteral("N"),
                    QStringLiteral("A1234567890A001"), 0 });
        run(psio, { 103, QStringLiteral("02"), QStringLiteral("C123456789"), QStringLiteral("1140504"),
                    QStringLiteral("133003"), QStringLiteral("2"), QStringLiteral("KB"), QStringLiteral("N"),
                    QStringLiteral("A1234567890A002"), QStringLiteral("True") });
        run(psio, { 104, QStringLiteral("02"), QStringLiteral("C123456789"), QStringLiteral("1140503"),
                    QStringLiteral("163504"), QStringLiteral("1"), QStringLiteral("SC"), QStringLiteral("N"),
                    QStringLiteral("A1234567890A00213:30"), Null() });

        run(options.extraCodeColumn
                ? QStringLiteral("create table SYS_CODE (RID integer primary key autoincrement, CODE_TYPE varchar(255), "
                                 "CODE_SEQ varchar(255), CODE_DESC text, MARK varchar(255), TABLENAME varchar(255), "
                                 "Orders integer, RW varchar(7), 舊備註 varchar(20))")
                : QStringLiteral("create table SYS_CODE (RID integer primary key autoincrement, CODE_TYPE varchar(255), "
                                 "CODE_SEQ varchar(255), CODE_DESC text, MARK varchar(255), TABLENAME varchar(255), "
                                 "Orders integer, RW varchar(7))"));
        const QString code =
            QStringLiteral("insert into SYS_CODE (CODE_TYPE, CODE_SEQ, CODE_DESC, Orders, RW) values (?, ?, ?, ?, ?)");
        run(code, { QStringLiteral("DBVersion"), QStringLiteral("2019.1.1"), QStringLiteral("資料庫版本"), Null(),
                    QStringLiteral("0000000") });
        run(code, { QStringLiteral("課程科目X"), QStringLiteral("A001"), QStringLiteral("安全衛生（舊名稱）"), 1,
                    QStringLiteral("1111110") });
        run(code, { QStringLiteral("PSPN_DBGRID1"), QStringLiteral("NAME"), QStringLiteral("舊的姓名標題"), 6,
                    QStringLiteral("0000000") });
        run(code, { QStringLiteral("課程科目X"), QStringLiteral("Z999"), QStringLiteral("自訂課程"), 99,
                    QStringLiteral("1111100") });

        run(QStringLiteral("create table SYS_Help (RID integer primary key autoincrement, helpID varchar(50), "
                           "JobScreen varchar(50), HelpText text, HelpText2 text)"));
        const QString help =
            QStringLiteral("insert into SYS_Help (helpID, JobScreen, HelpText, HelpText2) values (?, ?, ?, ?)");
        run(help, { QStringLiteral("簽到首頁"), QStringLiteral("簽到首頁"), QStringLiteral("舊的說明"),
                    QStringLiteral("我的筆記：早上八點開門") });
        run(help, { QStringLiteral("已停用視窗"), QStringLiteral("多筆瀏覽"), QStringLiteral("舊的說明"),
                    QStringLiteral("沒有對應的主題") });

        run(QStringLiteral("create table PSPN (RID integer primary key autoincrement, ID varchar(10), "
                           "IDNO varchar(10), NAME varchar(30), DEPT varchar(50), STATUS varchar(1))"));
        run(QStringLiteral("insert into PSPN (ID, IDNO, NAME, DEPT, STATUS) values (?, ?, ?, ?, ?)"),
            { QStringLiteral("A123456789"), QStringLiteral("E0001"), QStringLiteral("王小明"),
              QStringLiteral("工務部"), QStringLiteral("A") });

        // A table the template no longer has: it stays in the backup only.
        run(QStringLiteral("create table 舊統計 (項目 varchar(20), 數量 integer)"));
        run(QStringLiteral("insert into 舊統計 values (?, ?)"), { QStringLiteral("人次"), 12 });

        ok = ok && db.commit();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

} // namespace OldDatabase
