// Comma-separated values as RFC 4180 lays them out: fields separated by
// commas, records ended by CR LF, a field in double quotes when it holds a
// comma, a double quote or a line break, a double quote inside such a field
// written twice. The writer makes files that spreadsheets and scripts read
// without a custom parser; the reader takes files that others made, so it
// also takes LF alone as a line end and keeps a stray quote inside an
// unquoted field as it is.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace vexa {

// Appends `field` to `out`, in double quotes when it holds a comma, a double
// quote, CR or LF, or begins or ends with a blank (space or tab), which some
// readers would trim otherwise.
void AppendCsvField(std::string& out, std::string_view field);

// One record: the fields separated by commas, ended by CR LF.
std::string CsvRecord(std::initializer_list<std::string_view> fields);
std::string CsvRecord(const std::vector<std::string>& fields);

// Reads records one after the other out of a text it does not own. Blank
// lines are skipped. A quoted field may span lines.
class CsvReader {
 public:
  // More fields than this make a record malformed, so that a line of
  // nothing but commas cannot make millions of fields.
  static constexpr size_t kMaxFields = 64;

  enum class Result { kRecord, kMalformed, kEnd };

  explicit CsvReader(std::string_view text) : text_(text) {}

  // The next record's fields, or kMalformed for a record that cannot be
  // read (text after a closing quote, a quote still open at the end of the
  // text, too many fields): it is skipped up to the end of the line where
  // the fault was found, and the next call reads on from there.
  Result Next(std::vector<std::string>& fields);

  // The line (from 1) on which the record last returned began.
  size_t line() const { return record_line_; }

 private:
  bool AtLineEnd() const;
  void SkipLineEnd();
  void SkipToNextLine();

  std::string_view text_;
  size_t pos_ = 0;
  size_t line_ = 1;
  size_t record_line_ = 0;
};

}  // namespace vexa
