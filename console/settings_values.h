// The rules for the values the settings window edits: the stop time as a date
// and a whole hour, the check interval's minimum, and which texts the number
// fields of Settings_General can hold.
#pragma once

#include <QDate>
#include <QString>
#include <optional>

namespace vexa::console {

inline constexpr int kMinimumCheckInterval = 300;  // seconds

// The stored stop time "YYYY-MM-DD HH:MM" split for the date picker and the
// hour list. `hour` is "HH:00" only when the time is a whole hour; otherwise
// (other minutes, no time, unreadable text) it is empty.
struct StopTimeParts {
  QDate date;  // invalid when the text holds no date
  QString hour;
};
StopTimeParts SplitStopTime(const QString& stored);
// "YYYY-MM-DD HH:MM" from a date and an hour entry such as "23:00".
QString ComposeStopTime(const QDate& date, const QString& hour);
// The 24 entries of the hour list, "00:00" to "23:00".
QStringList StopHourEntries();

// The number a text begins with, read the way a person reads it: leading
// blanks, a sign, digits, a decimal part, an exponent. 0 when the text does
// not begin with a number.
double LeadingNumber(const QString& text);
// The check interval text after the minimum is applied: a text whose leading
// number is below 300 becomes "300"; any other text stays exactly as typed.
QString ApplyCheckIntervalMinimum(const QString& text);

// A whole number within [minimum, maximum], written in decimal with optional
// blanks around it and an optional sign; nullopt for anything else.
std::optional<qint64> ParseWholeNumber(const QString& text, qint64 minimum, qint64 maximum);

}  // namespace vexa::console
