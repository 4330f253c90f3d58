// Saving the pending edit of the settings record at the moments the window
// changes (tab selection, closing, before a service start or stop), and
// reporting a save that failed.
#pragma once

#include <QString>

class QWidget;

namespace vexa::console {

class SettingsRecord;

// The one text shown for every failed write, whatever the cause.
extern const QString kSaveFailedText;

enum class SaveReport { kShowFailure, kQuiet };

// Writes the controls' values to the record. A refused value or a failed
// write is reported in a message box unless `report` is kQuiet; in every
// case the edit stays in the controls for the next save. Returns whether the
// record now holds the controls' values (true also when there is no record).
bool SaveAndReport(SettingsRecord& record, QWidget* parent,
                   SaveReport report = SaveReport::kShowFailure);

}  // namespace vexa::console
