// The data control of the settings window: the table Settings_General of the
// program folder's database, its first record shown in the bound controls,
// and the save of the pending edit. The program never creates the database:
// a missing file is an error.
#pragma once

#include <QDataWidgetMapper>
#include <QPointer>
#include <QSqlTableModel>
#include <QString>
#include <memory>
#include <set>
#include <string>

#include "settings/settings_rules.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace vexa::console {

class RouterListEdit;

inline constexpr const char* kDatabaseFileName = "VexaArp.mdb";
using settings::kSettingsTable;

// The controls bound to the fields of Settings_General.
struct BoundControls {
  RouterListEdit* router_list = nullptr;
  QLineEdit* get_comm = nullptr;
  QLineEdit* time_out = nullptr;
  QLineEdit* retries = nullptr;
  QLineEdit* check_interval = nullptr;
  QCheckBox* save_dynamic = nullptr;
  QCheckBox* dns_check = nullptr;
  QCheckBox* debug_mode = nullptr;
  QLineEdit* stop_time = nullptr;
  QComboBox* snmp_version = nullptr;
  QCheckBox* use_bulk = nullptr;
  QLineEdit* max_repetitions = nullptr;
  QComboBox* neighbour_table = nullptr;
  QLineEdit* v3_user = nullptr;
  QComboBox* v3_auth_protocol = nullptr;
  QLineEdit* v3_auth_password = nullptr;
  QComboBox* v3_priv_protocol = nullptr;
  QLineEdit* v3_priv_password = nullptr;
  QLineEdit* v3_context = nullptr;
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
  explicit SettingsRecord(BoundControls controls);
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

  BoundControls controls_;
  QString database_path_;
  bool exposure_told_ = false;
  QString connection_name_;
  std::unique_ptr<QSqlTableModel> model_;
  std::unique_ptr<QDataWidgetMapper> mapper_;
};

}  // namespace vexa::console
