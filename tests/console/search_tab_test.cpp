// The console's "Search" tab on a real program folder: what the operator
// types, the pairings the table then shows, and the table sorted by a click
// on a column's header.
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QTest>

#include "console_test_support.h"
#include "platform/local_time.h"

using namespace vexa::console;
using namespace vexa::console::test;

namespace {

QStringList Column(QTableWidget* table, int column) {
  QStringList values;
  for (int row = 0; row < table->rowCount(); ++row) values << table->item(row, column)->text();
  return values;
}

}  // namespace

class SearchTabTest : public QObject {
  Q_OBJECT

 private slots:
  void findsAndSortsThePairings() {
    ConsoleFixture f;
    f.Folder().Sql(
        "INSERT INTO ArpTable (IpAddr, MacAddr, Type, IfIndex, SeenTimes, DnsName) VALUES "
        "('10.0.0.2', '00 50 56 aa bb 02', 3, 1, 1, 'alpha.lan'), "
        "('10.0.0.10', '00 00 0c 07 ac 05', 3, 2, 1, 'beta.lan');"
        "INSERT INTO ArpHistory (IpAddr, MacAddr, IpKey, Router, IfIndex, FirstSeen, LastSeen, "
        "Cycles, IsCurrent) VALUES "
        "('10.0.0.2', '00 50 56 aa bb 02', X'0a000002', '192.0.2.1', 1, 1700000000, 1709636400, "
        "5, 1), "
        "('10.0.0.2', '00 50 56 aa bb 99', X'0a000002', '192.0.2.1', 1, 1600000000, 1600086400, "
        "2, 0), "
        "('10.0.0.9', '00 1a 2b 3c 4d 5e', X'0a000009', '192.0.2.1', 3, 1650000000, 1650000000, "
        "1, 0);");
    auto form = f.Open();
    QVERIFY(form);
    SelectTab(*form, 3);
    QCOMPARE(Find<QTabWidget>(form.get(), "tabWidget")->tabText(3), QStringLiteral("Search"));
    auto* query = Find<QLineEdit>(form.get(), "queryEdit");
    auto* current_only = Find<QCheckBox>(form.get(), "currentOnlyCheckBox");
    auto* table = Find<QTableWidget>(form.get(), "resultsTableWidget");
    auto* status = Find<QLabel>(form.get(), "searchStatusLabel");

    const struct {
      const char* typed;
      bool current_only;
      QStringList ips;  // newest first
      const char* status;
    } cases[] = {
        {"10.0.0.0/24", false, {"10.0.0.10", "10.0.0.2", "10.0.0.9", "10.0.0.2"}, "4 pairing"},
        {"10.0.0.0/24", true, {"10.0.0.10", "10.0.0.2"}, "2 pairing"},
        {"00-50-56", false, {"10.0.0.2", "10.0.0.2"}, "2 pairing"},
        {"vendor:hsrp", false, {"10.0.0.10"}, "1 pairing"},
        {"ALPHA", false, {"10.0.0.2", "10.0.0.2"}, "2 pairing"},
        {"192.0.2.0/24", false, {}, "No pairing matches \"192.0.2.0/24\""},
        {"10.0.0", false, {}, "Cannot read \"10.0.0\": give an IPv4 or IPv6 address"},
    };
    for (const auto& c : cases) {
      current_only->setChecked(c.current_only);
      query->setFocus();
      query->selectAll();
      QTest::keyClicks(query, QString::fromLatin1(c.typed));
      QTest::keyClick(query, Qt::Key_Return);
      QCOMPARE(Column(table, 0), c.ips);
      QVERIFY2(status->text().contains(QString::fromLatin1(c.status)), qPrintable(status->text()));
    }

    // Every column of a pairing, then the order a click on a header gives:
    // addresses as addresses, not as text.
    current_only->setChecked(false);
    query->setText(QStringLiteral("10.0.0.0/24"));
    QTest::keyClick(query, Qt::Key_Return);
    QStringList second;
    for (int column = 0; column < table->columnCount(); ++column)
      second << table->item(1, column)->text();
    QCOMPARE(second, (QStringList{"10.0.0.2", "00 50 56 aa bb 02", "VMware, Inc.", "192.0.2.1", "1",
                                  QString::fromStdString(vexa::FormatIsoLocal(1700000000)),
                                  QString::fromStdString(vexa::FormatIsoLocal(1709636400)), "5",
                                  "yes", "alpha.lan"}));
    QHeaderView* header = table->horizontalHeader();
    const auto click_header = [&](int column) {
      const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
      QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    };
    click_header(0);
    QCOMPARE(Column(table, 0), (QStringList{"10.0.0.2", "10.0.0.2", "10.0.0.9", "10.0.0.10"}));
    click_header(0);
    QCOMPARE(Column(table, 0), (QStringList{"10.0.0.10", "10.0.0.9", "10.0.0.2", "10.0.0.2"}));
    click_header(7);  // cycles, as numbers
    QCOMPARE(Column(table, 7), (QStringList{"", "1", "2", "5"}));
  }
};

QTEST_MAIN(SearchTabTest)
#include "search_tab_test.moc"
