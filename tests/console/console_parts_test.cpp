// The console's smaller parts: reading and composing the stop time, the
// check interval's minimum, the number fields' ranges, the router list's line
// ends, the pause, and the placement of controls drawn in twips.
#include <QApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <cmath>

#include "design_layout.h"
#include "pause.h"
#include "router_list_edit.h"
#include "settings_values.h"

using namespace vexa::console;

class ConsolePartsTest : public QObject {
  Q_OBJECT

 private slots:
  void splitsTheStoredStopTime_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("hour");
    QTest::newRow("whole hour") << "2004-06-01 23:00" << QDate(2004, 6, 1) << "23:00";
    QTest::newRow("midnight") << "2004-06-01 00:00" << QDate(2004, 6, 1) << "00:00";
    QTest::newRow("with seconds") << "2004-06-01 07:00:00" << QDate(2004, 6, 1) << "07:00";
    QTest::newRow("minutes") << "2004-06-01 23:30" << QDate(2004, 6, 1) << "";
    QTest::newRow("seconds") << "2004-06-01 23:00:05" << QDate(2004, 6, 1) << "";
    QTest::newRow("hour 24") << "2004-06-01 24:00" << QDate(2004, 6, 1) << "";
    QTest::newRow("date only") << "2004-06-01" << QDate(2004, 6, 1) << "";
    QTest::newRow("no such day") << "2004-02-30 10:00" << QDate() << "";
    QTest::newRow("empty") << "" << QDate() << "";
    QTest::newRow("text") << "tomorrow 10:00" << QDate() << "";
  }

  void splitsTheStoredStopTime() {
    QFETCH(QString, stored);
    QFETCH(QDate, date);
    QFETCH(QString, hour);
    const StopTimeParts parts = SplitStopTime(stored);
    QCOMPARE(parts.date, date);
    QCOMPARE(parts.hour, hour);
  }

  void composesTheStopTime() {
    QCOMPARE(ComposeStopTime(QDate(2004, 6, 1), QStringLiteral("23:00")),
             QStringLiteral("2004-06-01 23:00"));
    const QStringList hours = StopHourEntries();
    QCOMPARE(hours.size(), 24);
    QCOMPARE(hours.first(), QStringLiteral("00:00"));
    QCOMPARE(hours.last(), QStringLiteral("23:00"));
  }

  void checkIntervalMinimumReadsTheLeadingNumber_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("left");
    QTest::newRow("60") << "60"
                        << "300";
    QTest::newRow("900") << "900"
                         << "900";
    QTest::newRow("abc") << "abc"
                         << "300";
    QTest::newRow("blanks then number") << "  450"
                                        << "  450";
    QTest::newRow("decimal below") << "299.9"
                                   << "300";
    QTest::newRow("exponent above") << "3e2"
                                    << "3e2";
    QTest::newRow("huge exponent") << "1e999"
                                   << "1e999";
    QTest::newRow("tiny exponent") << "1e-999"
                                   << "300";
    QTest::newRow("sign") << "+600"
                          << "+600";
    QTest::newRow("hex is not read") << "0x500"
                                     << "300";
  }

  void checkIntervalMinimumReadsTheLeadingNumber() {
    QFETCH(QString, typed);
    QFETCH(QString, left);
    QCOMPARE(ApplyCheckIntervalMinimum(typed), left);
  }

  void wholeNumbersWithinTheFieldRange() {
    QCOMPARE(ParseWholeNumber(QStringLiteral(" 7 "), -32768, 32767), std::optional<qint64>(7));
    QCOMPARE(ParseWholeNumber(QStringLiteral("-32768"), -32768, 32767),
             std::optional<qint64>(-32768));
    QCOMPARE(ParseWholeNumber(QStringLiteral("32768"), -32768, 32767), std::nullopt);
    QCOMPARE(ParseWholeNumber(QStringLiteral("7.5"), -32768, 32767), std::nullopt);
    QCOMPARE(ParseWholeNumber(QStringLiteral(""), -32768, 32767), std::nullopt);
    QCOMPARE(ParseWholeNumber(QStringLiteral("5 5"), -32768, 32767), std::nullopt);
    QCOMPARE(ParseWholeNumber(QStringLiteral("99999999999999999999"), 0, 10), std::nullopt);
  }

  void routerListLineEnds() {
    QCOMPARE(RouterListToDisplay(QStringLiteral("a\r\nb\rc\nd")), QStringLiteral("a\nb\nc\nd"));
    QCOMPARE(RouterListToStored(QStringLiteral("a\nb\n\nc")), QStringLiteral("a\r\nb\r\n\r\nc"));
    QCOMPARE(RouterListToStored(RouterListToDisplay(QStringLiteral("x\r\ny\r\n"))),
             QStringLiteral("x\r\ny\r\n"));

    // A stored text beyond the limit is shown whole; typing cannot add to it.
    RouterListEdit edit;
    const QString long_text = QString(300, QLatin1Char('1'));
    edit.SetRouterList(long_text);
    QCOMPARE(edit.RouterList(), long_text);
    edit.moveCursor(QTextCursor::End);
    QTest::keyClicks(&edit, QStringLiteral("23"));
    QCOMPARE(edit.RouterList(), long_text);
  }

  void pauseWaitsInSlicesHandlingEvents() {
    bool handled = false;
    QTimer::singleShot(0, this, [&] { handled = true; });
    Pause(19);
    QVERIFY(!handled);  // below one slice: no wait, no events

    QElapsedTimer clock;
    clock.start();
    Pause(200);
    QVERIFY(handled);
    QVERIFY2(clock.elapsed() >= 200, qPrintable(QString::number(clock.elapsed())));
  }

  void controlsOnATabCountFromTheTabControlsCorner() {
    QWidget window;
    auto* outer = new DesignLayout(&window);
    outer->SetCanvas(5190, 5895);
    auto* tabs = new QTabWidget;
    outer->Place(tabs, {240, 240, 4695, 5415});
    auto* page = new QWidget;
    tabs->addTab(page, QStringLiteral("Page"));
    auto* on_page = new DesignLayout(page, tabs);
    auto* frame = new QGroupBox(QStringLiteral("Frame"));
    on_page->Place(frame, {480, 840, 3735, 3735});
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    const double dpi = window.logicalDpiX();
    QCOMPARE(window.size(), QSize(TwipsToPixels(5190, dpi), TwipsToPixels(5895, dpi)));
    QCOMPARE(tabs->geometry(), QRect(TwipsToPixels(240, dpi), TwipsToPixels(240, dpi),
                                     TwipsToPixels(4695, dpi), TwipsToPixels(5415, dpi)));
    QTRY_COMPARE(frame->mapTo(tabs, QPoint(0, 0)),
                 QPoint(TwipsToPixels(480, dpi), TwipsToPixels(840, dpi)));
    QCOMPARE(frame->size(), QSize(TwipsToPixels(3735, dpi), TwipsToPixels(3735, dpi)));
    QCOMPARE(TwipsToPixels(840, 96), 56);
  }
};

QTEST_MAIN(ConsolePartsTest)
#include "console_parts_test.moc"
