// The check digit of national identity numbers: numbers known to be right and wrong, and the
// numbers the maker produces for every place letter.

#include "Fun/IdentityNumber.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestIdentityNumber : public QObject
{
    Q_OBJECT

private slots:
    void validity_data();
    void validity();
    void madeNumbersAreValid();
    void madeNumber_data();
    void madeNumber();
    void madeNumberRefusesBadArguments_data();
    void madeNumberRefusesBadArguments();
};

void TestIdentityNumber::validity_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");

    // The letters whose values are out of alphabetical order, worked out by hand.
    QTest::newRow("textbook A") << u"A123456789"_s << true;
    QTest::newRow("I is 34") << u"I100000003"_s << true;
    QTest::newRow("O is 35") << u"O100000004"_s << true;
    QTest::newRow("W is 32") << u"W100000001"_s << true;
    QTest::newRow("Z is 33") << u"Z100000002"_s << true;
    QTest::newRow("female") << u"B234567894"_s << true;
    QTest::newRow("lower-case letter") << u"a123456789"_s << true;

    QTest::newRow("wrong check digit") << u"A123456788"_s << false;
    QTest::newRow("I taken as 18") << u"I100000009"_s << false;
    QTest::newRow("two digits swapped") << u"A124356789"_s << false;
    QTest::newRow("second digit 3") << u"A323456789"_s << false;
    QTest::newRow("second digit 8 (resident)") << u"A800000014"_s << false;
    QTest::newRow("nine characters") << u"A12345678"_s << false;
    QTest::newRow("eleven characters") << u"A1234567890"_s << false;
    QTest::newRow("leading blank") << u" A12345678"_s << false;
    QTest::newRow("digit for letter") << u"1123456789"_s << false;
    QTest::newRow("letter among digits") << u"A12345678X"_s << false;
    QTest::newRow("full-width digits") << u"A１２３４５６７８９"_s << false;
    QTest::newRow("temporary code") << u"VID0000009"_s << false;
    QTest::newRow("empty") << QString() << false;
}

void TestIdentityNumber::validity()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QCOMPARE(IsValidIdentityNumber(text), valid);
}

void TestIdentityNumber::madeNumbersAreValid()
{
    // Every letter, both sexes, serials across the range: each made number is valid, and
    // changing its check digit makes it invalid.
    for (char16_t letter = u'A'; letter <= u'Z'; ++letter) {
        for (int sex = 1; sex <= 2; ++sex) {
            for (int serial : {0, 1, 4567890, 9999999}) {
                const QString id = MakeIdentityNumber(QChar(letter), sex, serial);
                QVERIFY2(IsValidIdentityNumber(id), qPrintable(id));
                QCOMPARE(id.size(), 10);
                QCOMPARE(id.at(0), QChar(letter));
                QCOMPARE(id.mid(1, 8), QString::number(sex) + QString::number(serial).rightJustified(7, u'0'));
                QString wrong = id;
                wrong[9] = QChar(u'0' + (id.at(9).unicode() - u'0' + 1) % 10);
                QVERIFY2(!IsValidIdentityNumber(wrong), qPrintable(wrong));
            }
        }
    }
}

void TestIdentityNumber::madeNumber_data()
{
    QTest::addColumn<QChar>("letter");
    QTest::addColumn<int>("sex");
    QTest::addColumn<int>("serial");
    QTest::addColumn<QString>("expected");

    QTest::newRow("textbook") << QChar(u'A') << 1 << 2345678 << u"A123456789"_s;
    QTest::newRow("lower-case letter") << QChar(u'z') << 1 << 0 << u"Z100000002"_s;
    QTest::newRow("serial padded") << QChar(u'O') << 1 << 0 << u"O100000004"_s;
}

void TestIdentityNumber::madeNumber()
{
    QFETCH(QChar, letter);
    QFETCH(int, sex);
    QFETCH(int, serial);
    QFETCH(QString, expected);
    QCOMPARE(MakeIdentityNumber(letter, sex, serial), expected);
}

void TestIdentityNumber::madeNumberRefusesBadArguments_data()
{
    QTest::addColumn<QChar>("letter");
    QTest::addColumn<int>("sex");
    QTest::addColumn<int>("serial");

    QTest::newRow("digit for letter") << QChar(u'1') << 1 << 1;
    QTest::newRow("accented letter") << QChar(u'É') << 1 << 1;
    QTest::newRow("sex 0") << QChar(u'A') << 0 << 1;
    QTest::newRow("sex 3") << QChar(u'A') << 3 << 1;
    QTest::newRow("negative serial") << QChar(u'A') << 1 << -1;
    QTest::newRow("serial of eight digits") << QChar(u'A') << 1 << 10000000;
}

void TestIdentityNumber::madeNumberRefusesBadArguments()
{
    QFETCH(QChar, letter);
    QFETCH(int, sex);
    QFETCH(int, serial);
    QVERIFY(MakeIdentityNumber(letter, sex, serial).isEmpty());
}

QTEST_APPLESS_MAIN(TestIdentityNumber)
#include "tst_identitynumber.moc"
