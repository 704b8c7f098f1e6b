// Members of a JSON object are read in the order the text gives them, whatever their names;
// values read as text and as yes/no the way the web service's answers need.

#include "net/OrderedJson.h"

#include <QJsonArray>
#include <QTest>

using namespace Qt::StringLiterals;

class TestOrderedJson : public QObject
{
    Q_OBJECT

private slots:
    void membersInDocumentOrder_data();
    void membersInDocumentOrder();
    void refusesWhatIsNoObject_data();
    void refusesWhatIsNoObject();
    void valueText_data();
    void valueText();
    void valueBool_data();
    void valueBool();
};

void TestOrderedJson::membersInDocumentOrder_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("firstText");

    QTest::newRow("names sorting the other way")
        << R"({"token":"abc","at":"2024"})"_ba << QStringList { u"token"_s, u"at"_s } << u"abc"_s;
    QTest::newRow("nested values and commas in strings")
        << R"( {"status" : "a,}b", "data":[{"x":[1,2,{"y":"]"}]}], "z":null } )"_ba
        << QStringList { u"status"_s, u"data"_s, u"z"_s } << u"a,}b"_s;
    QTest::newRow("escaped quotes and Chinese names")
        << "{\"\\u540d\\\"\":\"\\\"引號\\\"\",\"班\":1}"_ba << QStringList { u"名\""_s, u"班"_s }
        << u"\"引號\""_s;
    QTest::newRow("byte order mark")
        << "\xEF\xBB\xBF{\"b\":true,\"a\":false}"_ba << QStringList { u"b"_s, u"a"_s } << u"true"_s;
    QTest::newRow("empty object") << "{}"_ba << QStringList() << QString();
}

void TestOrderedJson::membersInDocumentOrder()
{
    QFETCH(QByteArray, json);
    QFETCH(QStringList, names);
    QFETCH(QString, firstText);
    QString error;
    const auto members = ReadJsonMembers(json, &error);
    QVERIFY2(members.has_value(), qPrintable(error));
    QStringList got;
    for (const JsonMember &m : *members)
        got << m.name;
    QCOMPARE(got, names);
    if (!names.isEmpty())
        QCOMPARE(JsonValueText(members->first().value), firstText);
}

void TestOrderedJson::refusesWhatIsNoObject_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("cut in half") << R"({"status":"OK","data":[{"clssno":"1)"_ba;
    QTest::newRow("array") << "[1,2]"_ba;
    QTest::newRow("html") << "<html>500</html>"_ba;
    QTest::newRow("empty") << QByteArray();
}

void TestOrderedJson::refusesWhatIsNoObject()
{
    QFETCH(QByteArray, json);
    QString error;
    QVERIFY(!ReadJsonMembers(json, &error).has_value());
    QVERIFY(!error.isEmpty());
}

void TestOrderedJson::valueText_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("text");
    QTest::newRow("string") << R"({"v":"王大明"})"_ba << u"王大明"_s;
    QTest::newRow("whole number") << R"({"v":3})"_ba << u"3"_s;
    QTest::newRow("fraction") << R"({"v":1.5})"_ba << u"1.5"_s;
    QTest::newRow("tenth") << R"({"v":0.1})"_ba << u"0.1"_s;
    QTest::newRow("long class number") << R"({"v":11301234567})"_ba << u"11301234567"_s;
    QTest::newRow("null") << R"({"v":null})"_ba << QString();
    QTest::newRow("text null stays") << R"({"v":"null"})"_ba << u"null"_s;
}

void TestOrderedJson::valueText()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, text);
    QCOMPARE(JsonValueText(ReadJsonMembers(json)->first().value), text);
}

void TestOrderedJson::valueBool_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("expected"); // 1 true, 0 false, -1 none
    QTest::newRow("true") << R"({"v":true})"_ba << 1;
    QTest::newRow("False text") << R"({"v":"False"})"_ba << 0;
    QTest::newRow("TRUE text") << R"({"v":" TRUE "})"_ba << 1;
    QTest::newRow("number") << R"({"v":1})"_ba << -1;
    QTest::newRow("other text") << R"({"v":"yes"})"_ba << -1;
}

void TestOrderedJson::valueBool()
{
    QFETCH(QByteArray, json);
    QFETCH(int, expected);
    const auto value = JsonValueBool(ReadJsonMembers(json)->first().value);
    QCOMPARE(value.has_value() ? int(*value) : -1, expected);
}

QTEST_GUILESS_MAIN(TestOrderedJson)
#include "tst_orderedjson.moc"
