// Turning a typed identity into one enrolled person: entry lengths, fragment matching with the
// operator's choice, the stored and shown identities, every change to the enrolment seen by the
// next entry, and the temporary enrolment.

#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "SignInFixture.h"

#include "mock/TestDatabase.h"
#include <QSqlError>
#include <QSqlQuery>

using Outcome = IdentityResolver::Resolution::Outcome;
Q_DECLARE_METATYPE(Outcome)

namespace {

// A second connection to the working database file, as another process or station has.
class SecondConnection
{
public:
    // On the station's database: the same file, or the same database on the server.
    explicit SecondConnection(const QSqlDatabase &station)
    {
        QSqlDatabase db = QSqlDatabase::cloneDatabase(station, Name());
        QVERIFY(db.open());
    }
    ~SecondConnection()
    {
        QSqlDatabase::database(Name(), false).close();
        QSqlDatabase::removeDatabase(Name());
    }
    void Run(const QString &sql, const QVariantList &params = {})
    {
        QSqlQuery query(QSqlDatabase::database(Name()));
        QVERIFY(query.prepare(sql));
        for (const QVariant &p : params)
            query.addBindValue(p);
        QVERIFY2(query.exec(), qPrintable(query.lastError().text()));
    }
    static QString Name() { return QStringLiteral("second station"); }
};

} // namespace

class TestIdentityResolver : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_fx = std::make_unique<SignInFixture>(); }
    void cleanup() { m_fx.reset(); }

    void validateEntry_data();
    void validateEntry();
    void resolve_data();
    void resolve();
    void defaultSettings();
    void storedAndShownIdentity_data();
    void storedAndShownIdentity();
    void enrolmentChangesAreSeen_data();
    void enrolmentChangesAreSeen();
    void enrolmentIsLoadedOnlyWhenItChanged();
    void temporaryEnrolment();

private:
    IdentityResolver::Resolution Resolve(const QString &typed)
    {
        const std::optional<QString> entry = m_fx->resolver->ValidateEntry(typed);
        if (!entry)
            return {};
        return m_fx->resolver->Resolve(*entry, QStringLiteral("KB"));
    }
    QString NameOf(const QString &typed)
    {
        const IdentityResolver::Resolution r = Resolve(typed);
        return r.outcome == Outcome::Found ? r.person.name : QString();
    }

    std::unique_ptr<SignInFixture> m_fx;
};

void TestIdentityResolver::validateEntry_data()
{
    QTest::addColumn<QString>("manualKind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("accepted"); // empty: refused

    const QString last5 = IdentityKind::Last5;
    QTest::newRow("last 5") << last5 << "54321" << "54321";
    QTest::newRow("blanks around are dropped") << last5 << " 54321 " << "54321";
    QTest::newRow("4 characters") << last5 << "4321" << "";
    QTest::newRow("7 characters") << last5 << "1234567" << "";
    QTest::newRow("empty") << last5 << "" << "";
    QTest::newRow("whole number is upper-cased") << last5 << "c187654321" << "C187654321";
    QTest::newRow("apostrophe of right length") << last5 << "12'45" << "12'45";
    QTest::newRow("last 4") << IdentityKind::Last4 << "4321" << "4321";
    QTest::newRow("last 4 refuses 5") << IdentityKind::Last4 << "54321" << "";
    QTest::newRow("personnel number of 6") << QStringLiteral("會員編號") << "000101" << "000101";
    QTest::newRow("personnel number of 10 refused") << QStringLiteral("會員編號") << "0001010000" << "";
    QTest::newRow("whole number kind") << IdentityKind::FullId << "a123412345" << "A123412345";
}

void TestIdentityResolver::validateEntry()
{
    QFETCH(QString, manualKind);
    QFETCH(QString, text);
    QFETCH(QString, accepted);
    m_fx->station.ManualKind = manualKind;

    const std::optional<QString> entry = m_fx->resolver->ValidateEntry(text);
    if (accepted.isEmpty()) {
        QVERIFY(!entry);
        // Said on the screen by the recorder, never in a box.
        QVERIFY(m_fx->prompter.all().isEmpty());
        QCOMPARE(IdentityResolver::BadEntryText, QStringLiteral("輸入資料有問題"));
        return;
    }
    QVERIFY(entry);
    QCOMPARE(*entry, accepted);
    QVERIFY(m_fx->prompter.all().isEmpty());
}

void TestIdentityResolver::resolve_data()
{
    QTest::addColumn<QString>("manualKind");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("choice"); // queued answer of the choice list; -1 closes it
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("saveId");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("offered"); // lines of the choice list, in order
    QTest::addColumn<QString>("failText");

    const QString last5 = IdentityKind::Last5;
    const QString last4 = IdentityKind::Last4;
    const QStringList twelve345
        = { QStringLiteral("李大華  *****12345"), QStringLiteral("王小明  *****12345") };
    const QStringList three333
        = { QStringLiteral("吳五娘  *****53333"), QStringLiteral("黃四郎  *****23333") };

    QTest::newRow("last 5, one person") << last5 << "54321" << -1 << Outcome::Found << "C187654321"
                                        << "陳美玲" << QStringList() << "";
    QTest::newRow("last 5, two persons, second chosen")
        << last5 << "12345" << 1 << Outcome::Found << "A123412345"
        << "王小明" << twelve345 << "";
    QTest::newRow("last 5, two persons, first chosen")
        << last5 << "12345" << 0 << Outcome::Found << "B223412345"
        << "李大華" << twelve345 << "";
    QTest::newRow("last 5, choice dismissed") << last5 << "12345" << -1 << Outcome::Dismissed << ""
                                              << "" << twelve345 << "";
    QTest::newRow("last 4, one person") << last4 << "0000" << -1 << Outcome::Found << "K211110000"
                                        << "周六" << QStringList() << "";
    QTest::newRow("last 4, two persons") << last4 << "3333" << 0 << Outcome::Found << "G155553333"
                                         << "吳五娘" << three333 << "";
    QTest::newRow("whole number in lower case")
        << last5 << "c187654321" << -1 << Outcome::Found << "C187654321"
        << "陳美玲" << QStringList() << "";
    QTest::newRow("unknown whole number, its last 5 match")
        << last5 << "Z000054321" << -1 << Outcome::Found << "C187654321"
        << "陳美玲" << QStringList() << "";
    QTest::newRow("unknown whole number, its last 5 match two")
        << last5 << "Q999912345" << -1 << Outcome::Dismissed << ""
        << "" << twelve345 << "";
    QTest::newRow("no match") << last5 << "99999" << -1 << Outcome::NotFound << ""
                              << "" << QStringList() << "(99999)無此身分證字號";
    QTest::newRow("unknown whole number") << last5 << "Z000000000" << -1 << Outcome::NotFound << ""
                                          << "" << QStringList() << "(Z000000000)無此身分證字號";
    QTest::newRow("person of another class")
        << last5 << "H199999999" << -1 << Outcome::NotFound << ""
        << "" << QStringList() << "(H199999999)無此身分證字號";
    QTest::newRow("apostrophe") << last5 << "12'45" << -1 << Outcome::NotFound << ""
                                << "" << QStringList() << "(12'45)無此身分證字號";
    QTest::newRow("personnel number")
        << QStringLiteral("會員編號") << "000103" << -1 << Outcome::Found << "C187654321"
        << "陳美玲" << QStringList() << "";
}

void TestIdentityResolver::resolve()
{
    QFETCH(QString, manualKind);
    QFETCH(QString, typed);
    QFETCH(int, choice);
    QFETCH(Outcome, outcome);
    QFETCH(QString, saveId);
    QFETCH(QString, name);
    QFETCH(QStringList, offered);
    QFETCH(QString, failText);

    m_fx->station.ManualKind = manualKind;
    if (choice >= 0)
        m_fx->prompter.queueChoice(choice);
    const IdentityResolver::Resolution resolution = Resolve(typed);
    QCOMPARE(resolution.outcome, outcome);
    QCOMPARE(resolution.person.saveId, saveId);
    QCOMPARE(resolution.person.name, name);
    QCOMPARE(resolution.failText, failText);
    QCOMPARE(m_fx->resolver->lastChoices(), offered);
    QCOMPARE(m_fx->prompter.asked.size(), offered.isEmpty() ? 0 : 1);
    if (outcome == Outcome::Found)
        QCOMPARE(resolution.person.entryWay, QStringLiteral("KB"));
}

void TestIdentityResolver::defaultSettings()
{
    // An INI without identity keys: the stored identity is the identity number, which every
    // student imported from the training service has.
    StationState &station = m_fx->station;
    QCOMPARE(station.StorageKind, QStringLiteral("身分證字號"));
    QCOMPARE(station.StorageColumn, QStringLiteral("ID"));
    QCOMPARE(station.InputKind, QStringLiteral("會員編號"));
    QCOMPARE(station.DisplayKind, QStringLiteral("會員編號"));
    QCOMPARE(station.DisplayColumns, QStringList{QStringLiteral("IDNO")});
    QCOMPARE(station.IdnoLength, 6);

    WriteIniSetting(IniSection::Base, IniKey::IdentityStoreKind, QStringLiteral("會員編號"));
    WriteIniSetting(IniSection::Base, IniKey::IdentityShowKind, QStringLiteral("身分證字號:姓名:沒有這欄"));
    WriteIniSetting(IniSection::Base, IniKey::EmployeeNoLength, QStringLiteral("8"));
    m_fx->resolver->LoadSettings();
    QCOMPARE(station.StorageColumn, QStringLiteral("IDNO"));
    QCOMPARE(station.DisplayColumns, QStringList({QStringLiteral("ID"), QStringLiteral("NAME")}));
    QVERIFY(station.DisplayField.toUpper().contains(QStringLiteral("NAME")));
    QCOMPARE(station.IdnoLength, 8);
}

void TestIdentityResolver::storedAndShownIdentity_data()
{
    QTest::addColumn<QString>("manualKind");
    QTest::addColumn<QString>("storageKind");
    QTest::addColumn<QString>("displayKind");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored"); // empty: refused with failText
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("failText");

    const QString last5 = IdentityKind::Last5;
    const QString full = IdentityKind::FullId;
    const QString masked = IdentityKind::MaskedId;
    const QString number = QStringLiteral("會員編號");
    QTest::newRow("identity number stored, number shown") << last5 << full << number << "54321"
                                                          << "C187654321"
                                                          << "000103"
                                                          << "";
    QTest::newRow("member number stored while the last 5 are typed")
        << last5 << number << number << "54321"
        << "000103"
        << "000103"
        << "";
    QTest::newRow("masked kind stored: the identity number") << last5 << masked << number << "54321"
                                                             << "C187654321"
                                                             << "000103"
                                                             << "";
    QTest::newRow("number typed, identity stored") << number << full << full << "000103"
                                                   << "C187654321"
                                                   << "54321"
                                                   << "";
    QTest::newRow("person without a number, number stored") << last5 << number << number << "00777"
                                                            << ""
                                                            << ""
                                                            << "(E100000777)無此會員編號";
    QTest::newRow("identity kept in lower case by its row, typed in part")
        << last5 << full << number << "98765"
        << "p123498765"
        << "000111"
        << "";
    QTest::newRow("identity kept in lower case by its row, typed whole")
        << last5 << full << full << "P123498765"
        << "p123498765"
        << "98765"
        << "";
    QTest::newRow("identity number shown: its last five") << last5 << full << full << "54321"
                                                          << "C187654321"
                                                          << "54321"
                                                          << "";
    QTest::newRow("name shown") << last5 << full << QStringLiteral("姓名") << "00001"
                                << "D120000001"
                                << "O'Neil 林"
                                << "";
    QTest::newRow("identity and name shown")
        << last5 << full << QStringLiteral("身分證字號:姓名") << "54321"
        << "C187654321"
        << "54321:陳美玲"
        << "";
    QTest::newRow("nothing shown") << last5 << full << QStringLiteral("無") << "54321"
                                   << "C187654321"
                                   << ""
                                   << "";
    QTest::newRow("VID number shown whole") << last5 << full << number << "02468"
                                            << "M100002468"
                                            << "VID0000009"
                                            << "";
}

void TestIdentityResolver::storedAndShownIdentity()
{
    QFETCH(QString, manualKind);
    QFETCH(QString, storageKind);
    QFETCH(QString, displayKind);
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QFETCH(QString, failText);
    // A row whose identity number was written in lower case.
    m_fx->Enrol(SignInFixture::ClassKey(), QStringLiteral("p123498765"), QStringLiteral("000111"),
        QStringLiteral("林小寫"));
    m_fx->station.ManualKind = manualKind;
    m_fx->station.StorageKind = storageKind;
    m_fx->station.DisplayKind = displayKind;
    m_fx->resolver->BuildDisplayField();
    m_fx->resolver->SetStorageColumn();

    const IdentityResolver::Resolution resolution = Resolve(typed);
    QCOMPARE(resolution.outcome, stored.isEmpty() ? Outcome::NotFound : Outcome::Found);
    QCOMPARE(resolution.person.saveId, stored);
    QCOMPARE(resolution.person.showId, shown);
    QCOMPARE(resolution.failText, failText);
}

void TestIdentityResolver::enrolmentChangesAreSeen_data()
{
    QTest::addColumn<bool>("elsewhere"); // through a second connection to the file
    QTest::addColumn<QString>("change");
    QTest::addColumn<QVariantList>("params");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("offered");
    QTest::addColumn<QString>("name");

    const QString add
        = QStringLiteral("insert into Booking (Index_key, ID, IDNO, NAME) values (?, ?, ?, ?)");
    const QVariantList sameEnding = { SignInFixture::ClassKey(), QStringLiteral("Q100054321"),
        QStringLiteral("000120"), QStringLiteral("同尾號") };
    const QStringList both
        = { QStringLiteral("同尾號  *****54321"), QStringLiteral("陳美玲  *****54321") };
    const QString correct
        = QStringLiteral("update Booking set ID = 'C187654399' where ID = 'C187654321'");
    const QString rename
        = QStringLiteral("update Booking set NAME = '陳美齡' where ID = 'C187654321'");
    const QString remove = QStringLiteral("delete from Booking where ID = 'C187654321'");
    for (bool elsewhere : { false, true }) {
        const char *where = elsewhere ? ", another connection" : ", this connection";
        QTest::addRow("same ending added%s", where)
            << elsewhere << add << sameEnding << "54321" << both << "同尾號";
        QTest::addRow("identity corrected, new ending%s", where)
            << elsewhere << correct << QVariantList() << "54399" << QStringList() << "陳美玲";
        QTest::addRow("identity corrected, old ending%s", where)
            << elsewhere << correct << QVariantList() << "54321" << QStringList() << "";
        QTest::addRow("name corrected%s", where)
            << elsewhere << rename << QVariantList() << "54321" << QStringList() << "陳美齡";
        QTest::addRow("person removed%s", where)
            << elsewhere << remove << QVariantList() << "54321" << QStringList() << "";
    }
}

void TestIdentityResolver::enrolmentChangesAreSeen()
{
    QFETCH(bool, elsewhere);
    QFETCH(QString, change);
    QFETCH(QVariantList, params);
    QFETCH(QString, typed);
    QFETCH(QStringList, offered);
    QFETCH(QString, name);

    // The class is in memory after a first entry.
    QCOMPARE(NameOf(QStringLiteral("54321")), QStringLiteral("陳美玲"));
    if (elsewhere) {
        SecondConnection second(m_fx->dm->Con1());
        second.Run(change, params);
    } else {
        QVERIFY(ExecSqlOn(change, m_fx->dm->Con1(), params));
    }
    if (!offered.isEmpty())
        m_fx->prompter.queueChoice(0);
    QCOMPARE(NameOf(typed), name);
    QCOMPARE(m_fx->resolver->lastChoices(), offered);
}

void TestIdentityResolver::enrolmentIsLoadedOnlyWhenItChanged()
{
    IdentityResolver &resolver = *m_fx->resolver;
    QCOMPARE(NameOf(QStringLiteral("54321")), QStringLiteral("陳美玲"));
    QCOMPARE(NameOf(QStringLiteral("00001")), QStringLiteral("O'Neil 林"));
    QCOMPARE(NameOf(QStringLiteral("99999")), QString());
    QCOMPARE(resolver.enrolmentLoads(), 1);

    // Another station's sign-in changes nothing of the enrolment: no load.
    {
        SecondConnection second(m_fx->dm->Con1());
        second.Run(QStringLiteral("insert into PSIO (IDNO, IODATE, IOTIME, IOTYPE) values ('X', "
                                  "'1140503', '090000', '0')"));
        QCOMPARE(NameOf(QStringLiteral("13579")), QStringLiteral("許八"));
        QCOMPARE(resolver.enrolmentLoads(), 1);
        // Its enrolment does.
        second.Run(QStringLiteral("update Booking set NAME = '許八妹' where ID = 'N200013579'"));
        QCOMPARE(NameOf(QStringLiteral("13579")), QStringLiteral("許八妹"));
        QCOMPARE(resolver.enrolmentLoads(), 2);
    }
    // So does a write of this connection; a sign-in of this connection does not.
    QVERIFY(ExecSqlOn(QStringLiteral("insert into PSIO (IDNO, IODATE, IOTIME, IOTYPE) values ('X', "
                                     "'1140503', '090100', '0')"),
        m_fx->dm->Con1()));
    QCOMPARE(NameOf(QStringLiteral("54321")), QStringLiteral("陳美玲"));
    QCOMPARE(resolver.enrolmentLoads(), 2);
    m_fx->Enrol(SignInFixture::ClassKey(), QStringLiteral("P123498765"), QStringLiteral("000111"),
                QStringLiteral("新學員"));
    QCOMPARE(NameOf(QStringLiteral("98765")), QStringLiteral("新學員"));
    QCOMPARE(resolver.enrolmentLoads(), 3);

    // A person enrolled twice is still one person: no choice to make.
    m_fx->Enrol(SignInFixture::ClassKey(), QStringLiteral("c187654321"), QString(), QStringLiteral("陳美玲"));
    QCOMPARE(NameOf(QStringLiteral("54321")), QStringLiteral("陳美玲"));
    QVERIFY(m_fx->prompter.asked.isEmpty());

    // A reopened connection: read anew, and changes are still seen.
    const QString path = m_fx->dir.filePath(QStringLiteral("Quorin.db"));
    m_fx->dm->CloseWorking();
    QString error;
    QVERIFY2(TestBackend::ReopenWorkingDatabase(*m_fx->dm, path, &error), qPrintable(error));
    const int loads = resolver.enrolmentLoads();
    QCOMPARE(NameOf(QStringLiteral("13579")), QStringLiteral("許八妹"));
    QCOMPARE(resolver.enrolmentLoads(), loads + 1);
    QVERIFY(ExecSqlOn(QStringLiteral("update Booking set NAME = '許八' where ID = 'N200013579'"),
        m_fx->dm->Con1()));
    QCOMPARE(NameOf(QStringLiteral("13579")), QStringLiteral("許八"));

    // Another class: its own persons.
    m_fx->station.ClassKey = QStringLiteral("ZZZ0000000001");
    QCOMPARE(NameOf(QStringLiteral("99999")), QStringLiteral("別班人"));
    QCOMPARE(NameOf(QStringLiteral("54321")), QString());
}

void TestIdentityResolver::temporaryEnrolment()
{
    IdentityResolver &resolver = *m_fx->resolver;
    auto count = [&](const QString &id) {
        return QueryValue(QStringLiteral("select count(*) from Booking where Index_key = ? and ID = ? "
                                         "and CR_TYPE = '臨時'"),
                          {SignInFixture::ClassKey(), id})
            .toInt();
    };
    auto person = [](const QString &id) {
        IdentifiedPerson p;
        p.saveId = id;
        p.name = QStringLiteral("O'Hara");
        p.entryWay = QStringLiteral("KB");
        return p;
    };
    resolver.TemporaryEnrolment(person(QStringLiteral("C187654321"))); // enrolled already
    resolver.TemporaryEnrolment(person(QStringLiteral("T100002222")));
    resolver.TemporaryEnrolment(person(QStringLiteral("T100002222")));
    QCOMPARE(count(QStringLiteral("C187654321")), 0);
    QCOMPARE(count(QStringLiteral("T100002222")), 1);
    QCOMPARE(
        QueryValue(QStringLiteral("select NAME from Booking where ID = 'T100002222'")).toString(),
        QStringLiteral("O'Hara"));

    // Found at once by the next entry.
    QCOMPARE(NameOf(QStringLiteral("02222")), QStringLiteral("O'Hara"));

    // A class of external signers keeps its list as it is; so does a blank identity.
    m_fx->station.ClassSigner = QStringLiteral("外部");
    resolver.TemporaryEnrolment(person(QStringLiteral("T100000002")));
    m_fx->station.ClassSigner = QStringLiteral("內部");
    resolver.TemporaryEnrolment(person(QString()));
    QCOMPARE(QueryValue(QStringLiteral("select count(*) from Booking where CR_TYPE = '臨時'")).toInt(), 1);
}

QTEST_GUILESS_MAIN(TestIdentityResolver)
#include "tst_identityresolver.moc"
