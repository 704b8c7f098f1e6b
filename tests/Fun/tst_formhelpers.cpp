#include "Fun/FormHelpers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSortFilterProxyModel>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QStandardItemModel>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QtTest>

using namespace Qt::Literals::StringLiterals;

namespace {

QLineEdit *AddEdit(QWidget *parent, const QString &hint, const QString &text)
{
    auto *edit = new QLineEdit(parent);
    edit->setToolTip(hint);
    edit->setText(text);
    return edit;
}

QStringList ReadLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = file.readAll();
    if (!bytes.startsWith("\xEF\xBB\xBF"))
        return { u"<no byte-order mark>"_s };
    bytes.remove(0, 3);
    QStringList lines = QString::fromUtf8(bytes).split(u"\r\n"_s);
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

// A search window in small: inputs at the top level and inside a group box, a hidden one, a
// tool tip that is only shown, an editable drop-down with its inner line edit.
class SearchForm : public QWidget
{
public:
    SearchForm()
    {
        Edit4 = AddEdit(this, u"INDEX_KEY"_s, u"A1234567890"_s);
        Edit4->hide();
        Edit6 = AddEdit(this, u"Booking->NAME"_s, u"王"_s);
        auto *group = new QGroupBox(this);
        ComboBox4 = new QComboBox(group);
        ComboBox4->setToolTip(u"IOTYPE"_s);
        ComboBox4->addItems({ QString(), u"0:簽到"_s, u"2:午到"_s });
        ComboBox4->setCurrentIndex(2);
        Memo1 = new QPlainTextEdit(group);
        Memo1->setToolTip(u"NAME|TEL"_s);
        Rich1 = new QTextEdit(group);
        Rich1->setToolTip(u"Date:IODATE"_s);
        Shown = AddEdit(this, u"格式2019/05/31"_s, u"2019/05/31"_s);
        Shown->setProperty("showHint", true);
        NoHint = AddEdit(this, QString(), u"x"_s);
        ComboBox12 = new QComboBox(this);
        ComboBox12->setEditable(true);
        ComboBox12->setToolTip(u"IOWay"_s);
        ComboBox12->addItems({ u"SR:感應"_s, u"KB:鍵盤"_s });
        ComboBox12->setCurrentIndex(1);
        CheckBox1 = new QCheckBox(this);
        CheckBox1->setToolTip(u"NET"_s);
        CheckBox1->setChecked(true);
        CheckBox2 = new QCheckBox(this);
        CheckBox2->setChecked(true);
    }

    QLineEdit *Edit4;
    QLineEdit *Edit6;
    QComboBox *ComboBox4;
    QPlainTextEdit *Memo1;
    QTextEdit *Rich1;
    QLineEdit *Shown;
    QLineEdit *NoHint;
    QComboBox *ComboBox12;
    QCheckBox *CheckBox1;
    QCheckBox *CheckBox2;
};

class TestFormHelpers : public QObject
{
    Q_OBJECT

private slots:
    void collectsSearchInputsInComponentOrder();
    void buildWhereFromForm();
    void clearFormInputs();
    void highlightActiveTab();
    void exportGridWidthRule();
    void gridTitleSortOnSqlGrid();
};

void TestFormHelpers::collectsSearchInputsInComponentOrder()
{
    SearchForm form;
    const QList<SearchInput> inputs = CollectSearchInputs(&form);
    QStringList hints;
    QStringList values;
    QList<bool> combos;
    for (const SearchInput &input : inputs) {
        hints << input.hint;
        values << input.value;
        combos << input.isComboBox;
    }
    QCOMPARE(hints,
        (QStringList { u"INDEX_KEY"_s, u"Booking->NAME"_s, u"IOTYPE"_s, u"NAME|TEL"_s,
            u"Date:IODATE"_s, u"IOWay"_s }));
    QCOMPARE(
        values, (QStringList { u"A1234567890"_s, u"王"_s, u"2"_s, QString(), QString(), u"KB"_s }));
    QCOMPARE(combos, (QList<bool> { false, false, true, false, false, true }));
}

void TestFormHelpers::buildWhereFromForm()
{
    SearchForm form;
    form.Memo1->setPlainText(u" 09 "_s);
    form.Rich1->setPlainText(u">=2025/05/01"_s);
    const SqlCondition c = BuildWhereFromForm(
        &form, u" select * from PSIO"_s, u"select idno from Booking "_s, u" IDNO "_s);
    QCOMPARE(c.text,
        u" select * from PSIO where INDEX_KEY LIKE ? and IOTYPE LIKE ? and  ( NAME Like ? Or TEL "
        u"Like  ? ) "
        u" and IODATE >= ? and IOWay LIKE ? and  IDNO  in ( select idno from Booking  where NAME like ?) "_s);
    QCOMPARE(c.params,
        (QVariantList {
            u"A1234567890%"_s, u"2%"_s, u"09%"_s, u"09%"_s, u"2025/05/01"_s, u"KB%"_s, u"王%"_s }));
}

void TestFormHelpers::clearFormInputs()
{
    SearchForm form;
    auto *noEmptyItem = new QComboBox(&form);
    noEmptyItem->setToolTip(u"DOOR"_s);
    noEmptyItem->addItems({ u"01"_s, u"02"_s });
    noEmptyItem->setCurrentIndex(1);
    form.Memo1->setPlainText(u"09"_s);
    form.Rich1->setPlainText(u"2025"_s);

    ClearFormInputs(&form);

    QVERIFY(form.Edit4->text().isEmpty());
    QVERIFY(form.Edit6->text().isEmpty());
    QCOMPARE(form.ComboBox4->currentIndex(), 0); // the empty item
    QCOMPARE(noEmptyItem->currentIndex(), -1);
    QVERIFY(form.ComboBox12->currentText().isEmpty());
    QVERIFY(form.Memo1->toPlainText().isEmpty());
    QVERIFY(form.Rich1->toPlainText().isEmpty());
    QVERIFY(!form.CheckBox1->isChecked());
    // Not search inputs: kept.
    QCOMPARE(form.Shown->text(), u"2019/05/31"_s);
    QCOMPARE(form.NoHint->text(), u"x"_s);
    QVERIFY(form.CheckBox2->isChecked());

    const SqlCondition c = BuildWhereFromForm(&form, u"select * from PSIO"_s, QString(), QString());
    QCOMPARE(c.text, u"select * from PSIO"_s);
    QVERIFY(c.params.isEmpty());
}

void TestFormHelpers::highlightActiveTab()
{
    QTabWidget pages;
    for (const QString &title : { u"多筆瀏覽"_s, u"單筆明細"_s, u"設定"_s })
        pages.addTab(new QWidget, title);
    const QColor highlight = pages.tabBar()->palette().color(QPalette::Highlight);
    const QColor normal = pages.tabBar()->tabTextColor(0);

    pages.setCurrentIndex(1);
    HighlightActiveTab(&pages);
    QCOMPARE(pages.tabBar()->tabTextColor(1), highlight);
    QCOMPARE(pages.tabBar()->tabTextColor(0), normal);
    QVERIFY(pages.widget(1)->property("highlighted").toBool());
    QVERIFY(!pages.widget(0)->property("highlighted").toBool());

    pages.setCurrentIndex(2);
    HighlightActiveTab(&pages);
    QCOMPARE(pages.tabBar()->tabTextColor(2), highlight);
    QCOMPARE(pages.tabBar()->tabTextColor(1), normal);
    QVERIFY(!pages.widget(1)->property("highlighted").toBool());
}

void TestFormHelpers::exportGridWidthRule()
{
    QStandardItemModel model(2, 5);
    model.setHorizontalHeaderLabels(
        { u"講習編號"_s, u"隱藏寬0"_s, u"不顯示"_s, u"姓名"_s, u"備註"_s });
    const QList<QStringList> cells { { u"K1"_s, u"w1"_s, u"h1"_s, u"王小明"_s, u"a,b"_s },
        { u"K2"_s, u"w2"_s, u"h2"_s, u"O'Neil"_s, u"say \"x\""_s } };
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 5; ++c)
            model.setItem(r, c, new QStandardItem(cells.at(r).at(c)));
    QTableView grid;
    grid.setModel(&model);
    grid.setColumnWidth(0, 0); // column 0 is written whatever its width
    grid.setColumnWidth(1, 0);
    grid.setColumnHidden(2, true);
    QCOMPARE(grid.columnWidth(1), 0);

    QTemporaryDir dir;
    const QString path = dir.filePath(u"grid.csv"_s);
    QVERIFY(ExportGridToCsv(&grid, u',', path));
    QCOMPARE(ReadLines(path),
        (QStringList { u"講習編號,不顯示,姓名,備註"_s, u"K1,h1,王小明,\"a,b\""_s,
            u"K2,h2,O'Neil,\"say \"\"x\"\"\""_s }));

    QVERIFY(!ExportGridToCsv(&grid, u',', dir.filePath(u"no/such/folder.csv"_s)));
}

// More rows than the model fetches at once: sorting and export must see them all.
void TestFormHelpers::gridTitleSortOnSqlGrid()
{
    QTemporaryDir dir;
    const QString connection = u"formhelpers"_s;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, connection);
        db.setDatabaseName(dir.filePath(u"grid.db"_s));
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec(u"create table Booking (ID text, NAME text, CalHours text)"_s));
        db.transaction();
        QVERIFY(q.prepare(u"insert into Booking values (?, ?, ?)"_s));
        for (int i = 0; i < 600; ++i) {
            q.addBindValue(u"A%1"_s.arg(i, 3, 10, QChar(u'0')));
            q.addBindValue(u"N%1"_s.arg((i * 7) % 600, 3, 10, QChar(u'0')));
            q.addBindValue(QString::number(i % 10));
            QVERIFY(q.exec());
        }
        db.commit();

        QSqlQueryModel sqlModel;
        sqlModel.setQuery(u"select ID, NAME, CalHours from Booking"_s, db);
        sqlModel.setHeaderData(0, Qt::Horizontal, u"身分證字號"_s);
        sqlModel.setHeaderData(1, Qt::Horizontal, u"姓名"_s);
        QVERIFY(sqlModel.canFetchMore()); // the model really holds back rows
        QSortFilterProxyModel proxy;
        proxy.setSourceModel(&sqlModel);
        QTableView grid;
        grid.setModel(&proxy);
        EnableGridTitleSort(&grid);
        grid.resize(400, 300);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));

        QCOMPARE(GridFieldName(&proxy, 1), u"NAME"_s);
        const QString unsorted = dir.filePath(u"unsorted.csv"_s);
        QVERIFY(ExportGridToCsv(&grid, u',', unsorted));
        QCOMPARE(ReadLines(unsorted).size(), 601);
        QVERIFY(!sqlModel.canFetchMore());
        sqlModel.setQuery(
            u"select ID, NAME, CalHours from Booking"_s, db); // back to a partial fetch
        QVERIFY(sqlModel.canFetchMore());

        QHeaderView *header = grid.horizontalHeader();
        auto clickTitle = [&](int column) {
            const QPoint at(
                header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                header->height() / 2);
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
        };
        auto firstName = [&] { return proxy.index(0, 1).data().toString(); };

        clickTitle(1);
        QCOMPARE(proxy.rowCount(), 600);
        QCOMPARE(firstName(), u"N000"_s);
        clickTitle(1);
        QCOMPARE(firstName(), u"N599"_s);
        clickTitle(1);
        QCOMPARE(firstName(), u"N000"_s);

        // A calculated column does not sort; the grid keeps its order.
        clickTitle(2);
        QCOMPARE(proxy.sortColumn(), 1);
        QCOMPARE(firstName(), u"N000"_s);

        // Clicking another column starts it ascending.
        clickTitle(0);
        clickTitle(0);
        QCOMPARE(proxy.index(0, 0).data().toString(), u"A599"_s);

        const QString path = dir.filePath(u"sorted.csv"_s);
        QVERIFY(ExportGridToCsv(&grid, u',', path));
        const QStringList lines = ReadLines(path);
        QCOMPARE(lines.size(), 601);
        QCOMPARE(lines.at(0), u"身分證字號,姓名,CalHours"_s);
        QCOMPARE(lines.at(1), u"A599,N%1,9"_s.arg((599 * 7) % 600, 3, 10, QChar(u'0')));
        QCOMPARE(lines.at(600), u"A000,N000,0"_s);
    }
    QSqlDatabase::removeDatabase(connection);
}

QTEST_MAIN(TestFormHelpers)
#include "tst_formhelpers.moc"
