#include "settings_record.h"

#include <QCheckBox>
#include <QComboBox>
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
#include <stdexcept>

#include "db/schema_upgrade.h"
#include "router_list_edit.h"
#include "settings/database_file_mode.h"
#include "settings/settings_rules.h"

namespace vexa::console {

namespace {

using settings::FieldKind;
using settings::FieldRule;

QString FieldName(const FieldRule& field) {
  return QString::fromLatin1(field.name);
}

// Marks the entry a list gets for a stored value it does not offer.
constexpr int kStrayEntryRole = Qt::UserRole + 1;

bool SameChoice(const QString& a, const QString& b) {
  return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

// What the control would store, as text.
QString ControlText(const QWidget* control) {
  if (const auto* box = qobject_cast<const QCheckBox*>(control))
    return box->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
  if (const auto* line = qobject_cast<const QLineEdit*>(control)) return line->text();
  if (const auto* list = qobject_cast<const RouterListEdit*>(control)) return list->RouterList();
  if (const auto* choice = qobject_cast<const QComboBox*>(control))
    return choice->currentData().toString();
  return {};
}

bool Edited(const QWidget* control, const QString& stored) {
  if (qobject_cast<const QComboBox*>(control) != nullptr)
    return !SameChoice(ControlText(control), stored);
  if (qobject_cast<const QCheckBox*>(control) != nullptr)
    return (ControlText(control) == QLatin1String("1")) != (stored.toLongLong() != 0);
  return ControlText(control) != stored;
}

// Shows a stored value in a list: its entry, or an entry of its own when the
// list does not offer it, so that it is kept until the operator picks another.
void ShowChoice(QComboBox* list, const QVariant& value) {
  for (int i = list->count() - 1; i >= 0; --i)
    if (list->itemData(i, kStrayEntryRole).toBool()) list->removeItem(i);
  const QString stored = value.isNull() ? QString() : value.toString();
  for (int i = 0; i < list->count(); ++i) {
    if (SameChoice(list->itemData(i).toString(), stored)) {
      list->setCurrentIndex(i);
      return;
    }
  }
  list->addItem(stored, stored);
  list->setItemData(list->count() - 1, true, kStrayEntryRole);
  list->setCurrentIndex(list->count() - 1);
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
    } else if (auto* choice = qobject_cast<QComboBox*>(editor)) {
      ShowChoice(choice, value);
    }
  }

  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override {
    const QVariant old = index.data(Qt::EditRole);
    QVariant value;
    const FieldRule* field = fields_.value(index.column(), nullptr);
    if (auto* box = qobject_cast<QCheckBox*>(editor)) {
      value = box->isChecked() ? 1 : 0;
    } else if (auto* choice = qobject_cast<QComboBox*>(editor)) {
      // The stored spelling of the same choice is no edit.
      if (!Edited(choice, old.isNull() ? QString() : old.toString())) return;
      const QString chosen = choice->currentData().toString();
      value = field != nullptr && field->choice_is_number ? QVariant(chosen.toLongLong())
                                                          : QVariant(chosen);
    } else {
      QString text;
      if (auto* line = qobject_cast<QLineEdit*>(editor)) text = line->text();
      if (auto* list = qobject_cast<RouterListEdit*>(editor)) text = list->RouterList();
      // An empty control over an empty (NULL) field is no edit.
      if (text.isEmpty() && old.isNull()) return;
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

QString SqlErrorText(const QSqlError& e) {
  QString text = e.driverText();
  if (!e.databaseText().isEmpty() && e.databaseText() != text) {
    if (!text.isEmpty()) text += QLatin1String(": ");
    text += e.databaseText();
  }
  return text.isEmpty() ? QStringLiteral("unknown database error") : text;
}

}  // namespace

SettingsRecord::SettingsRecord(const QList<FieldBinding>& fields)
    : connection_name_(QStringLiteral("settings-") +
                       QUuid::createUuid().toString(QUuid::WithoutBraces)) {
  for (const FieldBinding& f : fields) {
    const FieldRule* field = settings::FindField(f.field);
    if (field == nullptr) throw std::logic_error(std::string("no settings field ") + f.field);
    bindings_.push_back({field, f.control, f.all_rules});
  }
}

SettingsRecord::~SettingsRecord() {
  mapper_.reset();
  model_.reset();
  if (QSqlDatabase::contains(connection_name_)) {
    QSqlDatabase::database(connection_name_, false).close();
    QSqlDatabase::removeDatabase(connection_name_);
  }
}

bool SettingsRecord::Open(const QString& database_path, int busy_timeout_ms, QString& error) {
  database_path_ = database_path;
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
  for (const Binding& b : bindings_) {
    const int column = model_->fieldIndex(FieldName(*b.field));
    if (column < 0) {
      error = QStringLiteral("The table %1 in %2 has no field %3.")
                  .arg(QString::fromLatin1(kSettingsTable), database_path, FieldName(*b.field));
      return false;
    }
    fields.insert(column, b.field);
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
QString SettingsRecord::StoredText(const FieldRule& field) const {
  const QVariant stored = model_->data(model_->index(0, model_->fieldIndex(FieldName(field))));
  return stored.isNull() ? QString() : stored.toString();
}

settings::FieldTexts SettingsRecord::ControlTexts(std::set<std::string>* edited) const {
  settings::FieldTexts texts;
  for (const Binding& b : bindings_) {
    texts[b.field->name] = ControlText(b.control).toStdString();
    if (edited != nullptr && Edited(b.control, StoredText(*b.field))) edited->insert(b.field->name);
  }
  return texts;
}

bool SettingsRecord::Validate(QString& error) const {
  const QString nothing_saved = QStringLiteral("\n\nNothing was saved.");
  for (const Binding& b : bindings_) {
    const FieldRule& field = *b.field;
    if (b.all_rules && field.kind != FieldKind::kNumber && Edited(b.control, StoredText(field))) {
      const auto checked = settings::CheckValue(field, ControlText(b.control).toStdString(), {});
      if (!checked.error.empty()) {
        error = QString::fromStdString(checked.error) + nothing_saved;
        return false;
      }
    }
    if (field.kind != FieldKind::kNumber) continue;
    const QString text = ControlText(b.control);
    const QVariant stored = model_->data(model_->index(0, model_->fieldIndex(FieldName(field))));
    if (text == (stored.isNull() ? QString() : stored.toString())) continue;
    const std::string typed = text.toStdString();
    if (!settings::ParseWholeNumber(typed, field.minimum, field.maximum)) {
      error = QString::fromStdString(settings::NumberRefusal(field, typed)) + nothing_saved;
      return false;
    }
  }
  std::set<std::string> edited;
  const auto refusals = settings::CombinationRefusals(ControlTexts(&edited), edited);
  if (!refusals.empty()) {
    error.clear();
    for (const std::string& refusal : refusals)
      error += QString::fromStdString(refusal) + QLatin1Char('\n');
    error += QStringLiteral("\nNothing was saved.");
    return false;
  }
  return true;
}

SaveOutcome SettingsRecord::Save(QString& error) {
  if (!HasRecord()) return SaveOutcome::kNoRecord;
  if (!Validate(error)) return SaveOutcome::kInvalidValue;
  mapper_->submit();
  if (!model_->isDirty()) return SaveOutcome::kSaved;
  // A password is written to a file only its owner reads; a journal file the
  // write makes is narrowed after it.
  const bool holds_password = settings::HoldsPassword(ControlTexts(nullptr));
  const std::string path = QFile::encodeName(database_path_).toStdString();
  std::string exposed = holds_password ? settings::RestrictDatabaseToOwner(path) : "";
  if (!model_->submitAll()) {
    error = SqlErrorText(model_->lastError());
    return SaveOutcome::kFailed;
  }
  if (holds_password && exposed.empty()) exposed = settings::RestrictDatabaseToOwner(path);
  while (model_->canFetchMore()) model_->fetchMore();
  // The model has read the table again; show the record as it is now stored.
  mapper_->toFirst();
  if (!exposed.empty() && !exposure_told_) {
    exposure_told_ = true;
    error = QStringLiteral("The settings are saved. The database holds an SNMPv3 password, but ") +
            QString::fromStdString(exposed) + QLatin1Char('.');
    return SaveOutcome::kSavedExposed;
  }
  return SaveOutcome::kSaved;
}

}  // namespace vexa::console
