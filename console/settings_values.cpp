#include "settings_values.h"

#include <QRegularExpression>
#include <QTime>
#include <limits>

namespace vexa::console {

StopTimeParts SplitStopTime(const QString& stored) {
  static const QRegularExpression pattern(
      QStringLiteral("^\\s*(\\d{4}-\\d{2}-\\d{2})(?:[ T](\\d{2}):(\\d{2})(?::(\\d{2}))?)?\\s*$"));
  StopTimeParts parts;
  const QRegularExpressionMatch m = pattern.match(stored);
  if (!m.hasMatch()) return parts;
  parts.date = QDate::fromString(m.captured(1), QStringLiteral("yyyy-MM-dd"));
  if (!parts.date.isValid() || m.captured(2).isEmpty()) return parts;
  const int hour = m.captured(2).toInt();
  const int minute = m.captured(3).toInt();
  const int second = m.captured(4).isEmpty() ? 0 : m.captured(4).toInt();
  if (hour <= 23 && minute == 0 && second == 0)
    parts.hour = QStringLiteral("%1:00").arg(hour, 2, 10, QLatin1Char('0'));
  return parts;
}

QString ComposeStopTime(const QDate& date, const QString& hour) {
  return date.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char(' ') + hour;
}

QStringList StopHourEntries() {
  QStringList hours;
  for (int h = 0; h < 24; ++h) hours << QStringLiteral("%1:00").arg(h, 2, 10, QLatin1Char('0'));
  return hours;
}

double LeadingNumber(const QString& text) {
  static const QRegularExpression number(
      QStringLiteral("^[ \\t]*([+-]?(?:\\d+(?:\\.\\d*)?|\\.\\d+)(?:[eE][+-]?\\d+)?)"));
  const QRegularExpressionMatch m = number.match(text);
  if (!m.hasMatch()) return 0.0;
  const QString digits = m.captured(1);
  bool ok = false;
  const double value = digits.toDouble(&ok);
  if (ok) return value;
  // Only an exponent beyond the range of a double gets here: a huge number,
  // or one too close to zero to tell from it.
  if (digits.contains(QLatin1String("e-"), Qt::CaseInsensitive)) return 0.0;
  const double huge = std::numeric_limits<double>::infinity();
  return digits.startsWith(QLatin1Char('-')) ? -huge : huge;
}

QString ApplyCheckIntervalMinimum(const QString& text) {
  if (LeadingNumber(text) < kMinimumCheckInterval) return QString::number(kMinimumCheckInterval);
  return text;
}

std::optional<qint64> ParseWholeNumber(const QString& text, qint64 minimum, qint64 maximum) {
  static const QRegularExpression whole(QStringLiteral("^\\s*[+-]?\\d{1,19}\\s*$"));
  if (!whole.match(text).hasMatch()) return std::nullopt;
  bool ok = false;
  const qint64 value = text.trimmed().toLongLong(&ok);
  if (!ok || value < minimum || value > maximum) return std::nullopt;
  return value;
}

}  // namespace vexa::console
