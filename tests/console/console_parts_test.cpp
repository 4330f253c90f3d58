// The console's smaller parts: the router list's line ends, the pause, and
// the placement of controls drawn in twips. (The rules for the values are
// tested with the shared settings rules.)
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

using namespace vexa::console;

class ConsolePartsTest : public QObject {
  Q_OBJECT

 private slots:
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
