#include "settings_save.h"

#include "message_box.h"
#include "settings_record.h"

namespace vexa::console {

const QString kSaveFailedText = QStringLiteral(
    "Error when updating the database.\n\nThe record was locked by\r\nanother user. Try "
    "again.\r\n\r\n\r\nModule: modNorvel_UpdateBeforeFormChange");

bool SaveAndReport(SettingsRecord& record, QWidget* parent, SaveReport report) {
  QString error;
  switch (record.Save(error)) {
    case SaveOutcome::kSaved:
    case SaveOutcome::kNoRecord:
      return true;
    case SaveOutcome::kSavedExposed:
      if (report == SaveReport::kShowFailure)
        ShowMessageBox(parent,
                       {error, QString::fromLatin1(kMessageBoxTitle), QMessageBox::Warning});
      return true;
    case SaveOutcome::kInvalidValue:
      if (report == SaveReport::kShowFailure)
        ShowMessageBox(parent,
                       {error, QString::fromLatin1(kMessageBoxTitle), QMessageBox::Critical});
      return false;
    case SaveOutcome::kFailed:
      if (report == SaveReport::kShowFailure)
        ShowMessageBox(parent, {kSaveFailedText, QString::fromLatin1(kMessageBoxTitle),
                                QMessageBox::Critical});
      return false;
  }
  return false;
}

}  // namespace vexa::console
