// One station per desktop user: a second start finds the first, wakes it and ends.

#include "platform/SingleInstance.h"

#include <QSignalSpy>
#include <QTest>
#include <QUuid>

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void secondStartWakesTheFirst();
    void firstStartFindsNobody();
};

void TestSingleInstance::secondStartWakesTheFirst()
{
    const QString name = QStringLiteral("RolvanTest") + QUuid::createUuid().toString(QUuid::Id128);
    SingleInstance first(name);
    QVERIFY(!first.WakeRunningInstance());
    QVERIFY(first.Listen());
    QSignalSpy woken(&first, &SingleInstance::wakeRequested);

    SingleInstance second(name);
    QVERIFY(second.WakeRunningInstance());
    QTRY_COMPARE(woken.size(), 1);
}

void TestSingleInstance::firstStartFindsNobody()
{
    SingleInstance lonely(QStringLiteral("RolvanTest") + QUuid::createUuid().toString(QUuid::Id128));
    QVERIFY(!lonely.WakeRunningInstance());
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
