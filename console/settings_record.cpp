#include "settings_record.h"

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStyledItemDelegate>
#include <QUrl>
#include <QUuid>

#include "db/schema_upgrade.h"
#include "router_list_edit.h"
#include "settings/settings_rules.h"

namespace vexa::console {

namespace {

using settings::FieldKind;
using settings::FieldRule;

struct Binding {
  const FieldRule& field;
  QWidget* control;
};

QString FieldName(const FieldRule& field) {
  return QString::fromLatin1(field.name);
}

// Converts between the controls and the fields' own types, so that a value
// the operator left alone compares equal to the stored one and is not
// written again; a save without edits then touches nothing.
class FieldDelegate final : public QStyledItemDelegate {
 public:
  FieldDelegate(QObject* parent, QHash<int, const FieldRule*> fields)
      : QStyledItemDelegate(parent), fields_(std::move(fields)) {}

  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    const QVariant value = index.data(Qt::EditRole);
    if (auto* box = qobject_cast<QCheckBox*>(editor)) {
      box->setChecked(!value.isNull() && value.toLongLong() != 0);
    } else if (auto* line = qobject_cast<QLineEdit*>(editor)) {
      line->setText(value.isNull() ? QString() : value.toString());
    } else if (auto* list = qobject_cast<RouterListEdit*>(editor)) {
      list->SetRouterList(value.isNull() ? QString() : value.toString());
    }
  }

  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override {
    const QVariant old = index.data(Qt::EditRole);
    QVariant value;
    if (auto* box = qobject_cast<QCheckBox*>(editor)) {
      value = box->isChecked() ? 1 : 0;
    } else {
      QString text;
      if (auto* line = qobject_cast<QLineEdit*>(editor)) text = line->text();
      if (auto* list = qobject_cast<RouterListEdit*>(editor)) text = list->RouterList();
      // An empty control over an empty (NULL) field is no edit.
      if (text.isEmpty() && old.isNull()) return;
      const FieldRule* field = fields_.value(index.column(), nullptr);
      if (field != nullptr && field->kind == FieldKind::kNumber) {
        const auto number =
            settings::ParseWholeNumber(text.toStdString(), field->minimum, field->maximum);
        value = number ? QVariant(qint64{*number}) : QVariant(text);
      } else {
        value = text;
      }
    }
    model->setData(index, value, Qt::EditRole);
  }

 private:
  QHash<int, const FieldRule*> fields_;
};

QList<Binding> Bindings(const BoundControls& c) {
  const auto field = [](const char* name) -> const FieldRule& {
    return *settings::FindField(name);
  };
  return {
      {field("RouterList"), c.router_list},
      {field("GetComm"), c.get_comm},
      {field("TimeOut"), c.time_out},
      {field("Retries"), c.retries},
      {field("CheckInterval"), c.check_interval},
      {field("SaveOnlyDynamic"), c.save_dynamic},
      {field("DnsCheck"), c.dns_check},
      {field("DebugMode"), c.debug_mode},
      {field("StopTime"), c.stop_time},
  };
}

QString SqlErrorText(const QSqlError& e) {
  QString text = e.driverText();
  if (!e.databaseText().isEmpty() && e.databaseText() != text) {
    if (!text.isEmpty()) text += QLatin1String(": ");
    text += e.databaseText();
  }
  return text.isEmpty() ? QStringLiteral("unknown database error") : text;
}

}  // namespace

SettingsRecord::SettingsRecord(BoundControls controls)
    : controls_(controls),
      connection_name_(QStringLiteral("settings-") +
                       QUuid::createUuid().toString(QUuid::WithoutBraces)) {}

SettingsRecord::~SettingsRecord() {
  mapper_.reset();
  model_.reset();
  if (QSqlDatabase::contains(connection_name_)) {
    QSqlDatabase::database(connection_name_, false).close();
    QSqlDatabase::removeDatabase(connection_name_);
  }
}

bool SettingsRecord::Open(const QString& database_path, int busy_timeout_ms, QString& error) {
  if (!QFileInfo(database_path).isFile()) {
    error = QStringLiteral("The database file %1 does not exist.").arg(database_path);
    return false;
  }
  // The schema is brought up to date (or a newer one refused) through the
  // programs' own database layer, before Qt opens the file.
  try {
    UpgradeSchema(QFile::encodeName(database_path).toStdString());
  } catch (const std::exception& e) {
    error = QStringLiteral("Could not open the database %1: %2")
                .arg(database_path, QString::fromStdString(e.what()));
    return false;
  }
  QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_name_);
  // mode=rw: open an existing file only, never create one.
  db.setDatabaseName(QUrl::fromLocalFile(database_path).toString(QUrl::FullyEncoded) +
                     QStringLiteral("?mode=rw"));
  db.setConnectOptions(
      QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(busy_timeout_ms));
  const QString cannot_open = QStringLiteral("Could not open the database %1: ").arg(database_path);
  if (!db.open()) {
    error = cannot_open + SqlErrorText(db.lastError());
    return false;
  }
  // The collector writes the same file while the console is open.
  QSqlQuery wal(db);
  if (!wal.exec(QStringLiteral("PRAGMA journal_mode=WAL"))) {
    error = cannot_open + SqlErrorText(wal.lastError());
    return false;
  }
  wal.finish();

  model_ = std::make_unique<QSqlTableModel>(nullptr, db);
  model_->setEditStrategy(QSqlTableModel::OnManualSubmit);
  model_->setTable(QString::fromLatin1(kSettingsTable));
  if (model_->lastError().isValid() || model_->record().isEmpty()) {
    error = QStringLiteral("Could not open the table %1 in %2: %3")
                .arg(QString::fromLatin1(kSettingsTable), database_path,
                     SqlErrorText(model_->lastError()));
    return false;
  }
  if (!model_->select()) {
    error = QStringLiteral("Could not read the table %1 in %2: %3")
                .arg(QString::fromLatin1(kSettingsTable), database_path,
                     SqlErrorText(model_->lastError()));
    return false;
  }
  // Read to the end so no statement stays open: an open read would pin an old
  // snapshot, and the next save would then fail once the collector has
  // written anything.
  while (model_->canFetchMore()) model_->fetchMore();

  QHash<int, const FieldRule*> fields;
  mapper_ = std::make_unique<QDataWidgetMapper>();
  mapper_->setModel(model_.get());
  mapper_->setSubmitPolicy(QDataWidgetMapper::ManualSubmit);
  for (const Binding& b : Bindings(controls_)) {
    const int column = model_->fieldIndex(FieldName(b.field));
    if (column < 0) {
      error = QStringLiteral("The table %1 in %2 has no field %3.")
                  .arg(QString::fromLatin1(kSettingsTable), database_path, FieldName(b.field));
      return false;
    }
    fields.insert(column, &b.field);
    mapper_->addMapping(b.control, column);
  }
  mapper_->setItemDelegate(new FieldDelegate(mapper_.get(), fields));
  mapper_->toFirst();
  return true;
}

bool SettingsRecord::HasRecord() const {
  return model_ != nullptr && model_->rowCount() > 0;
}

// Only values the operator changed are checked: a stored value the window
// would refuse, written by another program, stays as it is (and unwritten)
// until its field is edited.
bool SettingsRecord::Validate(QString& error) const {
  for (const Binding& b : Bindings(controls_)) {
    if (b.field.kind != FieldKind::kNumber) continue;
    const QString text = static_cast<QLineEdit*>(b.control)->text();
    const QVariant stored = model_->data(model_->index(0, model_->fieldIndex(FieldName(b.field))));
    if (text == (stored.isNull() ? QString() : stored.toString())) continue;
    const std::string typed = text.toStdString();
    if (!settings::ParseWholeNumber(typed, b.field.minimum, b.field.maximum)) {
      error = QString::fromStdString(settings::NumberRefusal(b.field, typed)) +
              QStringLiteral("\n\nNothing was saved.");
      return false;
    }
  }
  return true;
}

SaveOutcome SettingsRecord::Save(QString& error) {
  if (!HasRecord()) return SaveOutcome::kNoRecord;
  if (!Validate(error)) return SaveOutcome::kInvalidValue;
  mapper_->submit();
  if (!model_->isDirty()) return SaveOutcome::kSaved;
  if (!model_->submitAll()) {
    error = SqlErrorText(model_->lastError());
    return SaveOutcome::kFailed;
  }
  while (model_->canFetchMore()) model_->fetchMore();
  // The model has read the table again; show the record as it is now stored.
  mapper_->toFirst();
  return SaveOutcome::kSaved;
}

}  // namespace vexa::console
