// The settings window on a real program folder: what it shows of the stored
// record, how edits reach Settings_General, and how a failed save is told.
#include <sqlite3.h>

#include <sys/stat.h>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>

#include <cmath>
#include <filesystem>

#include "console_test_support.h"
#include "settings_save.h"

using vexa::console::MainForm;
using vexa::console::test::ConsoleFixture;
using vexa::console::test::Find;
using vexa::console::test::SelectTab;

namespace {

// A second connection holding the write lock, as another program saving.
class WriteLock {
 public:
  explicit WriteLock(const std::string& path) {
    sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr);
    ok_ = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
  }
  ~WriteLock() { Release(); }
  bool ok() const { return ok_; }
  void Release() {
    if (db_ == nullptr) return;
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db_);
    db_ = nullptr;
  }

 private:
  sqlite3* db_ = nullptr;
  bool ok_ = false;
};

void TypeInto(QLineEdit* box, const QString& text) {
  box->setFocus();
  box->selectAll();
  QTest::keyClicks(box, text);
}

// Sets a control of the window as the operator would leave it: a list entry by
// its stored value, a check box by "0"/"1", a text box by its text.
void Edit(MainForm& form, const char* name, const QString& value) {
  QWidget* control = Find<QWidget>(&form, name);
  QVERIFY2(control != nullptr, name);
  QVERIFY2(control->isEnabled(), name);
  if (auto* list = qobject_cast<QComboBox*>(control)) {
    const int index = list->findData(value);
    QVERIFY2(index >= 0, name);
    list->setCurrentIndex(index);
  } else if (auto* box = qobject_cast<QCheckBox*>(control)) {
    box->setChecked(value == QLatin1String("1"));
  } else {
    TypeInto(qobject_cast<QLineEdit*>(control), value);
  }
}

constexpr const char* kSnmpFields =
    "SELECT SnmpVersion || '/' || UseBulk || '/' || MaxRepetitions || '/' || NeighbourTable || '/' "
    "|| V3User || '/' || V3AuthProtocol || '/' || V3AuthPassword || '/' || V3PrivProtocol || '/' "
    "|| V3PrivPassword || '/' || V3Context FROM Settings_General";

}  // namespace

class SettingsFormTest : public QObject {
  Q_OBJECT

 private slots:
  void showsTheFirstRecordAndItsStopTime() {
    ConsoleFixture f;
    f.Folder().Sql(
        "UPDATE Settings_General SET RouterList = '10.0.0.1' || char(13,10) || '10.0.0.2', "
        "GetComm = 'secret', TimeOut = 7, Retries = 3, CheckInterval = 900, SaveOnlyDynamic = 1, "
        "DnsCheck = 0, DebugMode = 1, StopTime = '2004-06-01 23:00';"
        "INSERT INTO Settings_General (DebugMode, RouterList, GetComm, TimeOut, Retries, "
        "CheckInterval, SaveOnlyDynamic, DnsCheck, StopTime) "
        "VALUES (0, '10.9.9.9', 'second', 1, 1, 301, 0, 1, '2010-01-01 01:00');");
    auto form = f.Open();
    QVERIFY(form);

    QCOMPARE(form->windowTitle(), QStringLiteral("  Vexa ARP Reader"));
    auto* tabs = Find<QTabWidget>(form.get(), "tabWidget");
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(tabs->tabText(0), QStringLiteral("Communication"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("Service Control"));
    QCOMPARE(Find<QPlainTextEdit>(form.get(), "routerListEdit")->toPlainText(),
             QStringLiteral("10.0.0.1\n10.0.0.2"));
    QCOMPARE(Find<QLineEdit>(form.get(), "communityEdit")->text(), QStringLiteral("secret"));
    QCOMPARE(Find<QLineEdit>(form.get(), "timeoutEdit")->text(), QStringLiteral("7"));
    QCOMPARE(Find<QLineEdit>(form.get(), "retriesEdit")->text(), QStringLiteral("3"));
    QCOMPARE(Find<QLineEdit>(form.get(), "checkIntervalEdit")->text(), QStringLiteral("900"));
    QVERIFY(Find<QCheckBox>(form.get(), "saveOnlyDynamicCheckBox")->isChecked());
    QVERIFY(!Find<QCheckBox>(form.get(), "dnsExportCheckBox")->isChecked());
    QVERIFY(Find<QCheckBox>(form.get(), "debugModeCheckBox")->isChecked());
    QCOMPARE(Find<QDateEdit>(form.get(), "stopDateEdit")->date(), QDate(2004, 6, 1));
    QCOMPARE(Find<QComboBox>(form.get(), "stopHourComboBox")->currentText(),
             QStringLiteral("23:00"));
    QCOMPARE(Find<QComboBox>(form.get(), "stopHourComboBox")->count(), 24);
    QVERIFY(f.boxes.Boxes().isEmpty());

    // Showing the record is no edit: closing writes nothing, even to a
    // database another program holds locked.
    WriteLock lock(f.Folder().Database());
    QVERIFY(lock.ok());
    form->close();
    QVERIFY(f.boxes.Boxes().isEmpty());
  }

  void missingDatabaseShowsTheErrorAndEnds() {
    ConsoleFixture f;
    std::filesystem::rename(f.Folder().Database(), f.Folder().File("VexaARP.mdb"));
    MainForm form(f.Options());
    QVERIFY(!form.Load());
    QCOMPARE(f.boxes.Boxes().size(), 1);
    const auto box = f.boxes.Boxes().first();
    QCOMPARE(box.title, QStringLiteral("Vexa ARP"));
    QCOMPARE(box.icon, QMessageBox::Critical);
    QVERIFY2(box.text.contains(QStringLiteral("/VexaArp.mdb")), qPrintable(box.text));
    // The console never creates the database, not even an empty one.
    QVERIFY(!std::filesystem::exists(f.Folder().Database()));
  }

  void newerDatabaseShowsTheErrorAndEnds() {
    ConsoleFixture f;
    f.Folder().Sql("PRAGMA user_version = 1000;");
    const std::string before = vexa::test::ReadFile(f.Folder().Database());
    MainForm form(f.Options());
    QVERIFY(!form.Load());
    QCOMPARE(f.boxes.Boxes().size(), 1);
    const QString text = f.boxes.Boxes().first().text;
    QVERIFY2(
        text.contains(QStringLiteral("is of schema version 1000, newer than this program reads")),
        qPrintable(text));
    QCOMPARE(vexa::test::ReadFile(f.Folder().Database()), before);
  }

  void missingTableShowsTheErrorAndEnds() {
    ConsoleFixture f;
    f.Folder().Sql("DROP TABLE Settings_General;");
    MainForm form(f.Options());
    QVERIFY(!form.Load());
    QCOMPARE(f.boxes.Boxes().size(), 1);
    QVERIFY2(f.boxes.Boxes().first().text.contains(QStringLiteral("Settings_General")),
             qPrintable(f.boxes.Boxes().first().text));
  }

  void checkIntervalHasAMinimum_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("left");
    QTest::newRow("below") << "60"
                           << "300";
    QTest::newRow("just below") << "299"
                                << "300";
    QTest::newRow("at the minimum") << "300"
                                    << "300";
    QTest::newRow("above") << "900"
                           << "900";
    QTest::newRow("letters") << "abc"
                             << "300";
    QTest::newRow("empty") << ""
                           << "300";
    QTest::newRow("negative") << "-900"
                              << "300";
    QTest::newRow("number then letters kept as typed") << "900x"
                                                       << "900x";
  }

  void checkIntervalHasAMinimum() {
    QFETCH(QString, typed);
    QFETCH(QString, left);
    ConsoleFixture f;
    auto form = f.Open();
    QVERIFY(form);
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    auto* interval = Find<QLineEdit>(form.get(), "checkIntervalEdit");
    TypeInto(interval, typed);
    if (typed.isEmpty()) QTest::keyClick(interval, Qt::Key_Delete);
    QCOMPARE(interval->text(), typed);
    Find<QLineEdit>(form.get(), "communityEdit")->setFocus();
    QTRY_COMPARE(interval->text(), left);
  }

  void pickedDateAndHourAreStoredAsOneText() {
    ConsoleFixture f;
    auto form = f.Open();
    QVERIFY(form);
    Find<QDateEdit>(form.get(), "stopDateEdit")->setDate(QDate(2004, 6, 1));
    auto* hour = Find<QComboBox>(form.get(), "stopHourComboBox");
    hour->setCurrentIndex(hour->findText(QStringLiteral("23:00")));
    QCOMPARE(Find<QLineEdit>(form.get(), "stopTimeEdit")->text(),
             QStringLiteral("2004-06-01 23:00"));
    SelectTab(*form, 1);
    QCOMPARE(f.Query("SELECT StopTime FROM Settings_General"), std::string("2004-06-01 23:00"));
  }

  void stopTimeWithoutAWholeHourShowsNoHour_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QDate>("shown_date");
    QTest::newRow("minutes") << "2004-06-01 23:30" << QDate(2004, 6, 1);
    QTest::newRow("date only") << "2004-06-01" << QDate(2004, 6, 1);
    QTest::newRow("empty") << "" << QDate::currentDate();
    QTest::newRow("not a date") << "soon" << QDate::currentDate();
  }

  void stopTimeWithoutAWholeHourShowsNoHour() {
    QFETCH(QString, stored);
    QFETCH(QDate, shown_date);
    ConsoleFixture f;
    f.Folder().Sql("UPDATE Settings_General SET StopTime = '" + stored.toStdString() + "';");
    auto form = f.Open();
    QVERIFY(form);
    auto* hour = Find<QComboBox>(form.get(), "stopHourComboBox");
    QCOMPARE(hour->currentIndex(), -1);
    QCOMPARE(Find<QDateEdit>(form.get(), "stopDateEdit")->date(), shown_date);
    // Just looking changes nothing.
    SelectTab(*form, 1);
    QCOMPARE(QString::fromStdString(f.Query("SELECT StopTime FROM Settings_General")), stored);
    // A date picked now comes with the first hour, shown in the list.
    Find<QDateEdit>(form.get(), "stopDateEdit")->setDate(QDate(2005, 2, 3));
    QCOMPARE(hour->currentText(), QStringLiteral("00:00"));
    SelectTab(*form, 0);
    QCOMPARE(f.Query("SELECT StopTime FROM Settings_General"), std::string("2005-02-03 00:00"));
  }

  void switchingTabsSavesBeforeTheStatusCheck() {
    ConsoleFixture f;
    auto form = f.Open();
    QVERIFY(form);
    TypeInto(Find<QLineEdit>(form.get(), "communityEdit"), QStringLiteral("private"));
    TypeInto(Find<QLineEdit>(form.get(), "timeoutEdit"), QStringLiteral("9"));
    Find<QCheckBox>(form.get(), "saveOnlyDynamicCheckBox")->setChecked(true);

    // What the table holds when the status check takes its first step.
    std::string at_check = "<check never began>";
    auto* progress = Find<QProgressBar>(form.get(), "progressBar");
    connect(progress, &QProgressBar::valueChanged, this, [&](int value) {
      if (value == 1 && at_check == "<check never began>")
        at_check = f.Query(
            "SELECT GetComm || '/' || TimeOut || '/' || SaveOnlyDynamic FROM Settings_General");
    });
    SelectTab(*form, 1);
    QCOMPARE(at_check, std::string("private/9/1"));
    QCOMPARE(f.Query("SELECT typeof(TimeOut) FROM Settings_General"), std::string("integer"));
    QVERIFY(f.boxes.Boxes().isEmpty());
  }

  // A value the window would refuse, written by another program, is no
  // edit: it raises no box and is left as it is until the operator changes
  // that field.
  void storedValuesNotEditedAreNeitherCheckedNorWritten() {
    ConsoleFixture f;
    f.Folder().Sql("UPDATE Settings_General SET TimeOut = 40000, CheckInterval = 'soon';");
    auto form = f.Open();
    QVERIFY(form);
    SelectTab(*form, 1);
    SelectTab(*form, 0);
    TypeInto(Find<QLineEdit>(form.get(), "communityEdit"), QStringLiteral("other"));
    SelectTab(*form, 1);
    QVERIFY2(f.boxes.Boxes().isEmpty(), qPrintable(f.boxes.Boxes().value(0).text));
    QCOMPARE(f.Query("SELECT GetComm || '/' || TimeOut || '/' || CheckInterval FROM "
                     "Settings_General"),
             std::string("other/40000/soon"));

    TypeInto(Find<QLineEdit>(form.get(), "timeoutEdit"), QStringLiteral("40001"));
    SelectTab(*form, 0);
    QCOMPARE(f.boxes.Boxes().size(), 1);
    QVERIFY(f.boxes.Boxes().first().text.contains(QStringLiteral("TimeOut")));
    f.boxes.Clear();
    TypeInto(Find<QLineEdit>(form.get(), "timeoutEdit"), QStringLiteral("40000"));
    QVERIFY(form->close());
    QVERIFY(f.boxes.Boxes().isEmpty());
    QCOMPARE(f.Query("SELECT TimeOut FROM Settings_General"), std::string("40000"));
  }

  // The composed stop time shows at its place in the "Job Ending" frame,
  // without covering the date picker or the hour list.
  void stopTimeBoxShowsAtItsPlace() {
    ConsoleFixture f;
    f.Folder().Sql("UPDATE Settings_General SET StopTime = '2004-06-01 23:00';");
    auto form = f.Open();
    QVERIFY(form);
    SelectTab(*form, 1);
    auto* frame = Find<QGroupBox>(form.get(), "jobEndingGroupBox");
    auto* box = Find<QLineEdit>(form.get(), "stopTimeEdit");
    QVERIFY(box->isVisible());
    QCOMPARE(box->text(), QStringLiteral("2004-06-01 23:00"));
    QVERIFY(box->isReadOnly());
    const double scale = frame->width() / 3735.0;  // pixels per twip of the frame's design
    QVERIFY(std::abs(box->x() - 1560 * scale) <= 1.0);
    QVERIFY(std::abs(box->y() - 120 * scale) <= 1.0);
    QVERIFY(std::abs(box->width() - 1695 * scale) <= 1.0);
    for (const char* name : {"stopDateEdit", "stopHourComboBox"}) {
      auto* control = Find<QWidget>(form.get(), name);
      QWidget* on_top = frame->childAt(control->geometry().center());
      QVERIFY2(on_top == control || control->isAncestorOf(on_top), name);
    }
  }

  void tableWithoutARecordSavesAndShowsNothing() {
    ConsoleFixture f;
    f.Folder().Sql("DELETE FROM Settings_General;");
    auto form = f.Open();
    QVERIFY(form);
    auto* community = Find<QLineEdit>(form.get(), "communityEdit");
    QVERIFY(community->text().isEmpty());
    QVERIFY(Find<QPlainTextEdit>(form.get(), "routerListEdit")->toPlainText().isEmpty());
    QCOMPARE(Find<QComboBox>(form.get(), "stopHourComboBox")->currentIndex(), -1);
    TypeInto(community, QStringLiteral("typed anyway"));
    SelectTab(*form, 1);
    form->close();
    QVERIFY(f.boxes.Boxes().isEmpty());
    QCOMPARE(f.Query("SELECT count(*) FROM Settings_General"), std::string("0"));
  }

  void lockedDatabaseShowsTheFixedTextAndKeepsTheEdit() {
    ConsoleFixture f;
    auto form = f.Open();
    QVERIFY(form);
    TypeInto(Find<QLineEdit>(form.get(), "communityEdit"), QStringLiteral("changed"));
    WriteLock lock(f.Folder().Database());
    QVERIFY(lock.ok());
    SelectTab(*form, 1);
    QCOMPARE(f.boxes.Boxes().size(), 1);
    const auto box = f.boxes.Boxes().first();
    QCOMPARE(box.text,
             QStringLiteral("Error when updating the database.\n\nThe record was locked by"
                            "\r\nanother user. Try again.\r\n\r\n\r\n"
                            "Module: modNorvel_UpdateBeforeFormChange"));
    QCOMPARE(box.title, QStringLiteral("Vexa ARP"));
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(f.Query("SELECT GetComm FROM Settings_General"), std::string("public"));

    // Once the other program lets go, the next save writes the edit.
    lock.Release();
    f.boxes.Clear();
    SelectTab(*form, 0);
    QVERIFY(f.boxes.Boxes().isEmpty());
    QCOMPARE(f.Query("SELECT GetComm FROM Settings_General"), std::string("changed"));
  }

  void saveSucceedsAfterTheCollectorWroteTheFile() {
    ConsoleFixture f;
    auto form = f.Open();
    QVERIFY(form);
    // The collector stores what it learns while the window is open.
    f.Folder().Sql(
        "INSERT INTO ArpTable (IpAddr, MacAddr, Type, IfIndex, SeenTimes) "
        "VALUES ('10.0.0.5', '00-11-22-33-44-55', 3, 1, 1);");
    TypeInto(Find<QLineEdit>(form.get(), "retriesEdit"), QStringLiteral("4"));
    SelectTab(*form, 1);
    QVERIFY(f.boxes.Boxes().isEmpty());
    QCOMPARE(f.Query("SELECT Retries FROM Settings_General"), std::string("4"));
  }

  void routerLinesRoundTripWithCrLf() {
    ConsoleFixture f;
    f.Folder().Sql(
        "UPDATE Settings_General SET RouterList = '10.0.0.1' || char(13,10) || "
        "'10.0.0.2' || char(13,10) || '' || char(13,10) || '10.0.0.4';");
    auto form = f.Open();
    QVERIFY(form);
    auto* routers = Find<QPlainTextEdit>(form.get(), "routerListEdit");
    QCOMPARE(routers->toPlainText(), QStringLiteral("10.0.0.1\n10.0.0.2\n\n10.0.0.4"));
    routers->setFocus();
    routers->moveCursor(QTextCursor::End);
    QTest::keyClick(routers, Qt::Key_Return);
    QTest::keyClicks(routers, QStringLiteral("10.0.0.5"));
    SelectTab(*form, 1);
    QCOMPARE(f.Query("SELECT RouterList FROM Settings_General"),
             std::string("10.0.0.1\r\n10.0.0.2\r\n\r\n10.0.0.4\r\n10.0.0.5"));
    QCOMPARE(routers->toPlainText(), QStringLiteral("10.0.0.1\n10.0.0.2\n\n10.0.0.4\n10.0.0.5"));
  }

  void routerListTakesAtMost255StoredCharacters() {
    ConsoleFixture f;
    auto form = f.Open();
    QVERIFY(form);
    auto* routers = Find<QPlainTextEdit>(form.get(), "routerListEdit");
    routers->setFocus();
    // 20 lines of "10.0.0.1NN" are 20 * 10 + 19 * 2 = 238 stored characters;
    // the next line can add only 255 - 238 - 2 = 15 more.
    for (int i = 10; i < 30; ++i) {
      if (i > 10) QTest::keyClick(routers, Qt::Key_Return);
      QTest::keyClicks(routers, QStringLiteral("10.0.0.1%1").arg(i));
    }
    QTest::keyClick(routers, Qt::Key_Return);
    QTest::keyClicks(routers, QStringLiteral("192.168.100.200.99"));
    SelectTab(*form, 1);
    const std::string stored = f.Query("SELECT RouterList FROM Settings_General");
    QCOMPARE(stored.size(), size_t{255});
    QVERIFY(stored.ends_with("\r\n10.0.0.129\r\n192.168.100.200"));
  }

  void valuesAFieldCannotHoldAreRefusedWhole() {
    ConsoleFixture f;
    auto form = f.Open();
    QVERIFY(form);
    TypeInto(Find<QLineEdit>(form.get(), "communityEdit"), QStringLiteral("other"));
    TypeInto(Find<QLineEdit>(form.get(), "timeoutEdit"), QStringLiteral("abc"));
    SelectTab(*form, 1);
    QCOMPARE(f.boxes.Boxes().size(), 1);
    QVERIFY2(f.boxes.Boxes().first().text.contains(QStringLiteral("TimeOut")),
             qPrintable(f.boxes.Boxes().first().text));
    QCOMPARE(f.Query("SELECT GetComm || '/' || TimeOut FROM Settings_General"),
             std::string("public/5"));

    f.boxes.Clear();
    TypeInto(Find<QLineEdit>(form.get(), "timeoutEdit"), QStringLiteral("40000"));
    SelectTab(*form, 0);
    QCOMPARE(f.boxes.Boxes().size(), 1);
    QCOMPARE(f.Query("SELECT TimeOut FROM Settings_General"), std::string("5"));

    f.boxes.Clear();
    TypeInto(Find<QLineEdit>(form.get(), "timeoutEdit"), QStringLiteral("32767"));
    TypeInto(Find<QLineEdit>(form.get(), "checkIntervalEdit"), QStringLiteral("99999999999"));
    SelectTab(*form, 1);
    QCOMPARE(f.boxes.Boxes().size(), 1);
    QVERIFY(f.boxes.Boxes().first().text.contains(QStringLiteral("CheckInterval")));

    f.boxes.Clear();
    TypeInto(Find<QLineEdit>(form.get(), "checkIntervalEdit"), QStringLiteral("2147483647"));
    SelectTab(*form, 0);
    QVERIFY(f.boxes.Boxes().isEmpty());
    QCOMPARE(f.Query("SELECT GetComm || '/' || TimeOut || '/' || CheckInterval FROM "
                     "Settings_General"),
             std::string("other/32767/2147483647"));
  }

  void checkIntervalTypedButNeverLeftIsRaisedBeforeSaving() {
    ConsoleFixture f;
    auto form = f.Open();
    QVERIFY(form);
    TypeInto(Find<QLineEdit>(form.get(), "checkIntervalEdit"), QStringLiteral("60"));
    // Clicking a tab does not take the focus from the box.
    SelectTab(*form, 1);
    QVERIFY(f.boxes.Boxes().isEmpty());
    QCOMPARE(f.Query("SELECT CheckInterval FROM Settings_General"), std::string("300"));
  }

  void everySaveWritesTheEditsSinceTheLastOne() {
    ConsoleFixture f;
    auto form = f.Open();
    QVERIFY(form);
    for (const char* community : {"first", "second", "third"}) {
      TypeInto(Find<QLineEdit>(form.get(), "communityEdit"), QString::fromLatin1(community));
      SelectTab(*form, 1 - Find<QTabWidget>(form.get(), "tabWidget")->currentIndex());
      QCOMPARE(f.Query("SELECT GetComm FROM Settings_General"), std::string(community));
    }
    QVERIFY(f.boxes.Boxes().isEmpty());
  }

  void closingSavesThePendingEdit() {
    ConsoleFixture f;
    auto form = f.Open();
    QVERIFY(form);
    Find<QCheckBox>(form.get(), "debugModeCheckBox")->setChecked(true);
    Find<QCheckBox>(form.get(), "dnsExportCheckBox")->setChecked(false);
    QVERIFY(form->close());
    QCOMPARE(f.Query("SELECT DebugMode || DnsCheck FROM Settings_General"), std::string("10"));
  }

  // The "SNMP" tab shows the stored record (a value its lists do not offer
  // included, kept until changed), enables what applies and saves every
  // field as the collector reads it.
  void snmpTabShowsAndSavesItsFields() {
    ConsoleFixture f;
    f.Folder().Sql(
        "UPDATE Settings_General SET SnmpVersion = 1, MaxRepetitions = 40, "
        "V3AuthProtocol = 'sha', V3PrivProtocol = 'RC4';");
    auto form = f.Open();
    QVERIFY(form);
    QCOMPARE(Find<QTabWidget>(form.get(), "tabWidget")->tabText(2), QStringLiteral("SNMP"));
    SelectTab(*form, 2);
    QCOMPARE(Find<QComboBox>(form.get(), "versionComboBox")->currentText(),
             QStringLiteral("SNMPv1"));
    QCOMPARE(Find<QComboBox>(form.get(), "authProtocolComboBox")->currentText(),
             QStringLiteral("SHA"));
    QCOMPARE(Find<QComboBox>(form.get(), "privProtocolComboBox")->currentText(),
             QStringLiteral("RC4"));
    QCOMPARE(Find<QLineEdit>(form.get(), "repetitionsEdit")->text(), QStringLiteral("40"));
    for (const char* off : {"bulkCheckBox", "repetitionsEdit", "userEdit", "authPasswordEdit"})
      QVERIFY2(!Find<QWidget>(form.get(), off)->isEnabled(), off);
    SelectTab(*form, 0);
    QCOMPARE(f.Query(kSnmpFields), std::string("1/0/40/0//sha//RC4//"));

    SelectTab(*form, 2);
    const std::pair<const char*, const char*> edits[] = {
        {"versionComboBox", "3"},
        {"bulkCheckBox", "1"},
        {"repetitionsEdit", "100"},
        {"tableComboBox", "1"},
        {"userEdit", "ops"},
        {"authProtocolComboBox", "SHA-256"},
        {"authPasswordEdit", "auth pass"},
        {"privProtocolComboBox", "AES"},
        {"privPasswordEdit", "priv pass"},
        {"contextEdit", "ctx"},
        {"parallelWalksEdit", "6"},
    };
    for (const auto& [name, value] : edits) Edit(*form, name, QString::fromLatin1(value));
    QCOMPARE(Find<QLineEdit>(form.get(), "authPasswordEdit")->echoMode(), QLineEdit::Password);
    SelectTab(*form, 0);
    QVERIFY2(f.boxes.Boxes().isEmpty(), qPrintable(f.boxes.Boxes().value(0).text));
    QCOMPARE(f.Query(kSnmpFields),
             std::string("3/1/100/1/ops/SHA-256/auth pass/AES/priv pass/ctx"));
    QCOMPARE(f.Query("SELECT typeof(SnmpVersion) || typeof(MaxRepetitions) FROM Settings_General"),
             std::string("integerinteger"));
    QCOMPARE(f.Query("SELECT ParallelWalks FROM Settings_General"), std::string("6"));
    // A database that holds a password is its owner's alone.
    struct stat st {};
    QCOMPARE(::stat(f.Folder().Database().c_str(), &st), 0);
    QCOMPARE(st.st_mode & 0777, 0600u);
  }

  // What the rules refuse is named in a box, and nothing is saved.
  void snmpTabRefusesWhatTheRulesRefuse() {
    const struct {
      std::vector<std::pair<const char*, QString>> edits;
      const char* refusal;
    } cases[] = {
        {{{"versionComboBox", "3"}}, "SnmpVersion 3 needs a V3User"},
        {{{"versionComboBox", "3"},
          {"userEdit", "ops"},
          {"authProtocolComboBox", "SHA"},
          {"authPasswordEdit", "short"}},
         "V3AuthPassword must be at least 8 characters"},
        {{{"versionComboBox", "3"}, {"userEdit", QString(33, QLatin1Char('u'))}},
         "V3User holds at most 32 bytes"},
        {{{"bulkCheckBox", "1"}, {"repetitionsEdit", "0"}},
         "MaxRepetitions must be a whole number"},
        {{{"parallelWalksEdit", "26"}}, "ParallelWalks must be a whole number"},
    };
    for (const auto& c : cases) {
      ConsoleFixture f;
      auto form = f.Open();
      QVERIFY(form);
      SelectTab(*form, 2);
      for (const auto& [name, value] : c.edits) Edit(*form, name, value);
      SelectTab(*form, 0);
      QCOMPARE(f.boxes.Boxes().size(), 1);
      QVERIFY2(f.boxes.Boxes().first().text.contains(QString::fromLatin1(c.refusal)),
               qPrintable(f.boxes.Boxes().first().text));
      QVERIFY(!f.boxes.Boxes().first().text.contains(QStringLiteral("short")));
      QCOMPARE(f.Query(kSnmpFields), std::string("2/0/25/0//none//none//"));
    }
  }

  // The "History" tab after "SNMP" and "Search": its three fields shown and saved as the
  // collector reads them, or refused by the rules with nothing saved.
  void historyTabSavesItsFieldsOrNamesTheRefusal() {
    const struct {
      std::vector<std::pair<const char*, QString>> edits;
      const char* stored;   // HistoryDays/QuietDays/EventCommand afterwards
      const char* refusal;  // the box's text, or nullptr for none
    } cases[] = {
        {{}, "400/180/", nullptr},
        {{{"historyDaysEdit", "0"}, {"quietDaysEdit", "30"}, {"eventCommandEdit", "/usr/bin/x"}},
         "0/30//usr/bin/x",
         nullptr},
        {{{"eventCommandEdit", "mail-it.sh"}}, "400/180/", "EventCommand"},
        {{{"quietDaysEdit", "0"}}, "400/180/", "QuietDays"},
        {{{"historyDaysEdit", "-1"}}, "400/180/", "HistoryDays"},
    };
    for (const auto& c : cases) {
      ConsoleFixture f;
      auto form = f.Open();
      QVERIFY(form);
      QCOMPARE(Find<QTabWidget>(form.get(), "tabWidget")->tabText(4), QStringLiteral("History"));
      SelectTab(*form, 4);
      QCOMPARE(Find<QLineEdit>(form.get(), "historyDaysEdit")->text(), QStringLiteral("400"));
      for (const auto& [name, value] : c.edits) Edit(*form, name, value);
      SelectTab(*form, 0);
      if (c.refusal == nullptr) {
        QVERIFY2(f.boxes.Boxes().isEmpty(), qPrintable(f.boxes.Boxes().value(0).text));
      } else {
        QCOMPARE(f.boxes.Boxes().size(), 1);
        QVERIFY2(f.boxes.Boxes().first().text.contains(QString::fromLatin1(c.refusal)),
                 qPrintable(f.boxes.Boxes().first().text));
      }
      QCOMPARE(f.Query("SELECT HistoryDays || '/' || QuietDays || '/' || EventCommand FROM "
                       "Settings_General"),
               std::string(c.stored));
    }
  }

  void tabKeyWalksTheFieldsAndSelectsTheirText() {
    ConsoleFixture f;
    auto form = f.Open();
    QVERIFY(form);
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    auto* routers = Find<QPlainTextEdit>(form.get(), "routerListEdit");
    routers->setFocus();
    QTRY_VERIFY(routers->hasFocus());
    const char* order[] = {"communityEdit", "timeoutEdit", "retriesEdit", "checkIntervalEdit"};
    for (const char* name : order) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      auto* box = Find<QLineEdit>(form.get(), name);
      QTRY_VERIFY2(box->hasFocus(), name);
      QCOMPARE(box->selectedText(), box->text());
      QVERIFY(!box->text().isEmpty());
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTRY_VERIFY(Find<QCheckBox>(form.get(), "saveOnlyDynamicCheckBox")->hasFocus());

    // The boxes select everything on a mouse click as well.
    auto* community = Find<QLineEdit>(form.get(), "communityEdit");
    community->setFocus(Qt::MouseFocusReason);
    QCOMPARE(community->selectedText(), community->text());
  }
};

QTEST_MAIN(SettingsFormTest)
#include "settings_form_test.moc"
