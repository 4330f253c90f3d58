// The settings record of the console window: the table Settings_General of
// the program folder's database, its first record shown in the controls the
// pages bind to its fields, and the save of the pending edit. The program never creates the database:
// a missing file is an error.
#pragma once

#include <QDataWidgetMapper>
#include <QPointer>
#include <QSqlTableModel>
#include <QString>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "settings/settings_rules.h"

class QWidget;

namespace vexa::console {

inline constexpr const char* kDatabaseFileName = "VexaArp.mdb";
using settings::kSettingsTable;

// A control that shows a field of Settings_General. `all_rules`: the value is
// checked with every rule vexa-arp applies; otherwise with the window's own
// checks (numbers in range) only.
struct FieldBinding {
  const char* field;
  QWidget* control;
  bool all_rules = false;
};

enum class SaveOutcome {
  kSaved,         // the pending edit is in the table (or there was nothing to write)
  kSavedExposed,  // saved, but a database holding a password could not be made
                  // readable by its owner only (told once per window)
  kNoRecord,      // the table has no record: nothing to save
  kInvalidValue,  // a control holds a value its field cannot hold: nothing was saved
  kFailed,        // the database refused the write: nothing was saved
};

class SettingsRecord {
 public:
  // Every field named must be one of Settings_General.
  explicit SettingsRecord(const QList<FieldBinding>& fields);
  ~SettingsRecord();
  SettingsRecord(const SettingsRecord&) = delete;
  SettingsRecord& operator=(const SettingsRecord&) = delete;

  // Opens `database_path` (which must exist), the table, and shows its first
  // record in the controls. Returns false with a description in `error`.
  bool Open(const QString& database_path, int busy_timeout_ms, QString& error);

  bool HasRecord() const;
  // Writes the controls' values to the first record. On kInvalidValue or
  // kFailed `error` describes the cause; the controls keep their values, so a
  // later save writes them.
  SaveOutcome Save(QString& error);

 private:
  bool Validate(QString& error) const;
  // The fields as the controls would store them, and those edited.
  settings::FieldTexts ControlTexts(std::set<std::string>* edited) const;
  QString StoredText(const settings::FieldRule& field) const;

  struct Binding {
    const settings::FieldRule* field;
    QWidget* control;
    bool all_rules;
  };
  std::vector<Binding> bindings_;
  QString database_path_;
  bool exposure_told_ = false;
  QString connection_name_;
  std::unique_ptr<QSqlTableModel> model_;
  std::unique_ptr<QDataWidgetMapper> mapper_;
};

}  // namespace vexa::console
