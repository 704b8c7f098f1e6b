// Turning a typed identity into one enrolled person: entry lengths, fragment matching with the
// operator's choice, the stored and shown identities, the enrolment held in memory and the
// temporary enrolment.

#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "SignInFixture.h"

using Outcome = IdentityResolver::Resolution::Outcome;
Q_DECLARE_METATYPE(Outcome)

class TestIdentityResolver : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_fx = std::make_unique<SignInFixture>(); }
    void cleanup() { m_fx.reset(); }

    void validateEntry_data();
    void validateEntry();
    void resolveEntry_data();
    void resolveEntry();
    void defaultSettings();
    void saveId_data();
    void saveId();
    void showId_data();
    void showId();
    void enrolmentIsLoadedOncePerClass();
    void temporaryEnrolment();

private:
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
    m_fx->resolver->EntryWay = QStringLiteral("SC");
    m_fx->resolver->PersonName = QStringLiteral("someone before");

    const std::optional<QString> entry = m_fx->resolver->ValidateEntry(text);
    if (accepted.isEmpty()) {
        QVERIFY(!entry);
        QCOMPARE(m_fx->prompter.messages, QStringList{QStringLiteral("輸入資料有問題")});
        return;
    }
    QVERIFY(entry);
    QCOMPARE(*entry, accepted);
    QVERIFY(m_fx->prompter.all().isEmpty());
    QCOMPARE(m_fx->resolver->EntryWay, QStringLiteral("KB"));
    QVERIFY(m_fx->resolver->PersonName.isEmpty());
}

void TestIdentityResolver::resolveEntry_data()
{
    QTest::addColumn<QString>("manualKind");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("choice"); // queued answer of the choice list; -1 closes it
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("offered"); // names of the choice list, in order
    QTest::addColumn<QString>("name");        // name found for the text; empty: not found
    QTest::addColumn<QString>("failText");

    const QString last5 = IdentityKind::Last5;
    const QString last4 = IdentityKind::Last4;
    const QStringList twelve345 = {QStringLiteral("李大華"), QStringLiteral("王小明")};
    const QStringList three333 = {QStringLiteral("吳五娘"), QStringLiteral("黃四郎")};

    QTest::newRow("last 5, one person") << last5 << "54321" << -1 << Outcome::LookUp
                                        << "C187654321" << QStringList() << "陳美玲" << "";
    QTest::newRow("last 5, two persons, second chosen")
        << last5 << "12345" << 1 << Outcome::Chosen << "A123412345" << twelve345 << "" << "";
    QTest::newRow("last 5, two persons, first chosen")
        << last5 << "12345" << 0 << Outcome::Chosen << "B223412345" << twelve345 << "" << "";
    QTest::newRow("last 5, choice dismissed")
        << last5 << "12345" << -1 << Outcome::Dismissed << "" << twelve345 << "" << "";
    QTest::newRow("last 4, one person") << last4 << "0000" << -1 << Outcome::LookUp
                                        << "K211110000" << QStringList() << "周六" << "";
    QTest::newRow("last 4, two persons")
        << last4 << "3333" << 0 << Outcome::Chosen << "G155553333" << three333 << "" << "";
    QTest::newRow("whole number in lower case")
        << last5 << "c187654321" << -1 << Outcome::LookUp << "C187654321" << QStringList()
        << "陳美玲" << "";
    QTest::newRow("unknown whole number, its last 5 match")
        << last5 << "Z000054321" << -1 << Outcome::LookUp << "C187654321" << QStringList()
        << "陳美玲" << "";
    QTest::newRow("unknown whole number, its last 5 match two")
        << last5 << "Q999912345" << -1 << Outcome::Dismissed << "" << twelve345 << "" << "";
    QTest::newRow("no match") << last5 << "99999" << -1 << Outcome::LookUp << "99999"
                              << QStringList() << "" << "(99999)無此身分證字號";
    QTest::newRow("unknown whole number")
        << last5 << "Z000000000" << -1 << Outcome::LookUp << "Z000000000" << QStringList() << ""
        << "(Z000000000)無此身分證字號";
    QTest::newRow("person of another class")
        << last5 << "H199999999" << -1 << Outcome::LookUp << "H199999999" << QStringList() << ""
        << "(H199999999)無此身分證字號";
    QTest::newRow("apostrophe") << last5 << "12'45" << -1 << Outcome::LookUp << "12'45"
                                << QStringList() << "" << "(12'45)無此身分證字號";
    QTest::newRow("personnel number") << QStringLiteral("會員編號") << "000103" << -1
                                      << Outcome::LookUp << "000103" << QStringList() << "陳美玲"
                                      << "";
}

void TestIdentityResolver::resolveEntry()
{
    QFETCH(QString, manualKind);
    QFETCH(QString, typed);
    QFETCH(int, choice);
    QFETCH(Outcome, outcome);
    QFETCH(QString, text);
    QFETCH(QStringList, offered);
    QFETCH(QString, name);
    QFETCH(QString, failText);

    IdentityResolver &resolver = *m_fx->resolver;
    m_fx->station.ManualKind = manualKind;
    const std::optional<QString> entry = resolver.ValidateEntry(typed);
    QVERIFY(entry);
    if (choice >= 0)
        m_fx->prompter.queueChoice(choice);

    const IdentityResolver::Resolution resolution = resolver.ResolveEntry(*entry);
    QCOMPARE(resolution.outcome, outcome);
    QCOMPARE(resolution.text, text);
    QStringList names;
    for (const IdentityResolver::Choice &c : resolver.lastChoices())
        names << c.name;
    QCOMPARE(names, offered);
    QCOMPARE(m_fx->prompter.asked.size(), offered.isEmpty() ? 0 : 1);
    if (outcome != Outcome::LookUp)
        return;

    QCOMPARE(resolver.GetIDName(resolution.text), !name.isEmpty());
    QCOMPARE(resolver.PersonName, name);
    QCOMPARE(resolver.LastCardNo, resolution.text);
    if (name.isEmpty()) {
        QCOMPARE(resolver.FailText, failText);
        QCOMPARE(m_fx->sounds.played, QStringList{QStringLiteral("RolvanError.wav")});
    } else {
        QVERIFY(m_fx->sounds.played.isEmpty());
    }
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

void TestIdentityResolver::saveId_data()
{
    QTest::addColumn<QString>("entryKind");
    QTest::addColumn<QString>("storageKind");
    QTest::addColumn<QString>("card");
    QTest::addColumn<QString>("stored");

    const QString full = IdentityKind::FullId;
    const QString masked = IdentityKind::MaskedId;
    const QString number = QStringLiteral("會員編號");
    QTest::newRow("same kind") << full << full << "C187654321" << "C187654321";
    QTest::newRow("whole entered, masked stored") << full << masked << "C187654321" << "C187654321";
    QTest::newRow("masked entered, whole stored") << masked << full << "C187654321" << "C187654321";
    QTest::newRow("number entered, identity stored") << number << full << "000103" << "C187654321";
    QTest::newRow("identity entered, number stored") << full << number << "C187654321" << "000103";
    QTest::newRow("person without a number") << full << number << "E100000777" << "";
    QTest::newRow("other class's person") << full << number << "H199999999" << "";
}

void TestIdentityResolver::saveId()
{
    QFETCH(QString, entryKind);
    QFETCH(QString, storageKind);
    QFETCH(QString, card);
    QFETCH(QString, stored);
    m_fx->station.StorageKind = storageKind;
    m_fx->resolver->EntryKind = entryKind;
    QCOMPARE(m_fx->resolver->GetSaveId(card), stored);
}

void TestIdentityResolver::showId_data()
{
    QTest::addColumn<QString>("displayKind");
    QTest::addColumn<QString>("entryKind");
    QTest::addColumn<QString>("card");
    QTest::addColumn<QString>("shown");

    const QString full = IdentityKind::FullId;
    const QString number = QStringLiteral("會員編號");
    QTest::newRow("number of the person") << number << full << "C187654321" << "000103";
    QTest::newRow("identity number: its last five") << full << full << "C187654321" << "54321";
    QTest::newRow("identity by number: its last five") << full << number << "000103" << "54321";
    QTest::newRow("name") << QStringLiteral("姓名") << full << "D120000001" << "O'Neil 林";
    QTest::newRow("identity and name") << QStringLiteral("身分證字號:姓名") << full << "C187654321"
                                       << "54321:陳美玲";
    QTest::newRow("nothing") << QStringLiteral("無") << full << "C187654321" << "";
    QTest::newRow("VID number shown whole") << number << full << "M100002468" << "VID0000009";
    QTest::newRow("number of a person enrolled elsewhere") << number << full << "H199999999" << "000999";
    QTest::newRow("unknown person") << number << full << "Z000000000" << "";
}

void TestIdentityResolver::showId()
{
    QFETCH(QString, displayKind);
    QFETCH(QString, entryKind);
    QFETCH(QString, card);
    QFETCH(QString, shown);
    m_fx->station.DisplayKind = displayKind;
    m_fx->resolver->BuildDisplayField();
    m_fx->resolver->EntryKind = entryKind;
    QCOMPARE(m_fx->resolver->GetShowId(card), shown);
}

void TestIdentityResolver::enrolmentIsLoadedOncePerClass()
{
    IdentityResolver &resolver = *m_fx->resolver;
    auto resolve = [&](const QString &typed) {
        resolver.EntryWay = QStringLiteral("KB");
        const IdentityResolver::Resolution r = resolver.ResolveEntry(typed);
        return resolver.GetIDName(r.text) ? resolver.PersonName : QString();
    };
    QCOMPARE(resolve(QStringLiteral("54321")), QStringLiteral("陳美玲"));
    QCOMPARE(resolve(QStringLiteral("00001")), QStringLiteral("O'Neil 林"));
    QCOMPARE(resolver.enrolmentLoads(), 1);

    // Enrolled by another window after the load: found at the first entry that misses.
    m_fx->Enrol(SignInFixture::ClassKey(), QStringLiteral("P123498765"), QStringLiteral("000111"),
                QStringLiteral("新學員"));
    QCOMPARE(resolve(QStringLiteral("98765")), QStringLiteral("新學員"));
    QCOMPARE(resolver.enrolmentLoads(), 2);
    // A fragment nobody has costs no further load while nothing changed.
    QCOMPARE(resolve(QStringLiteral("99999")), QString());
    QCOMPARE(resolver.enrolmentLoads(), 2);

    // A person enrolled twice is still one person: no choice to make.
    m_fx->Enrol(SignInFixture::ClassKey(), QStringLiteral("c187654321"), QString(), QStringLiteral("陳美玲"));
    resolver.InvalidateEnrolment();
    QCOMPARE(resolve(QStringLiteral("54321")), QStringLiteral("陳美玲"));
    QVERIFY(m_fx->prompter.asked.isEmpty());
    QCOMPARE(resolver.enrolmentLoads(), 3);

    // Another class: its own persons.
    m_fx->station.ClassKey = QStringLiteral("ZZZ0000000001");
    QCOMPARE(resolve(QStringLiteral("99999")), QStringLiteral("別班人"));
    QCOMPARE(resolve(QStringLiteral("54321")), QString());
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
    resolver.PersonName = QStringLiteral("O'Hara");
    resolver.TemporaryEnrolment(QStringLiteral("C187654321")); // enrolled already
    resolver.TemporaryEnrolment(QStringLiteral("T100000001"));
    resolver.TemporaryEnrolment(QStringLiteral("T100000001"));
    QCOMPARE(count(QStringLiteral("C187654321")), 0);
    QCOMPARE(count(QStringLiteral("T100000001")), 1);
    QCOMPARE(QueryValue(QStringLiteral("select NAME from Booking where ID = 'T100000001'")).toString(),
             QStringLiteral("O'Hara"));

    // Found at once by the next entry.
    resolver.EntryKind = IdentityKind::FullId;
    QVERIFY(resolver.GetIDName(QStringLiteral("T100000001")));

    // A class of external signers keeps its list as it is; so does a blank identity.
    m_fx->station.ClassSigner = QStringLiteral("外部");
    resolver.TemporaryEnrolment(QStringLiteral("T100000002"));
    m_fx->station.ClassSigner = QStringLiteral("內部");
    resolver.TemporaryEnrolment(QString());
    QCOMPARE(QueryValue(QStringLiteral("select count(*) from Booking where CR_TYPE = '臨時'")).toInt(), 1);
}

QTEST_GUILESS_MAIN(TestIdentityResolver)
#include "tst_identityresolver.moc"
