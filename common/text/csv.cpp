#include "text/csv.h"

namespace vexa {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

bool NeedsQuotes(std::string_view field) {
  if (field.empty()) return false;
  if (IsBlank(field.front()) || IsBlank(field.back())) return true;
  return field.find_first_of(",\"\r\n") != std::string_view::npos;
}

template <typename Fields>
std::string Record(const Fields& fields) {
  std::string out;
  // A lone empty field in quotes: unquoted, the record would be a blank line.
  if (fields.size() == 1 && std::string_view(*fields.begin()).empty()) return "\"\"\r\n";
  bool first = true;
  for (const auto& field : fields) {
    if (!first) out += ',';
    first = false;
    AppendCsvField(out, field);
  }
  out += "\r\n";
  return out;
}

}  // namespace

void AppendCsvField(std::string& out, std::string_view field) {
  if (!NeedsQuotes(field)) {
    out += field;
    return;
  }
  out += '"';
  for (const char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

std::string CsvRecord(std::initializer_list<std::string_view> fields) {
  return Record(fields);
}

std::string CsvRecord(const std::vector<std::string>& fields) {
  return Record(fields);
}

bool CsvReader::AtLineEnd() const {
  return pos_ == text_.size() || text_[pos_] == '\n' || text_[pos_] == '\r';
}

// CR LF, LF or a CR alone.
void CsvReader::SkipLineEnd() {
  if (pos_ < text_.size() && text_[pos_] == '\r') ++pos_;
  if (pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
  ++line_;
}

void CsvReader::SkipToNextLine() {
  while (!AtLineEnd()) ++pos_;
  if (pos_ < text_.size()) SkipLineEnd();
}

CsvReader::Result CsvReader::Next(std::vector<std::string>& fields) {
  fields.clear();
  while (pos_ < text_.size() && AtLineEnd()) SkipLineEnd();
  if (pos_ == text_.size()) return Result::kEnd;
  record_line_ = line_;
  for (;;) {
    if (fields.size() == kMaxFields) {
      SkipToNextLine();
      return Result::kMalformed;
    }
    std::string& field = fields.emplace_back();
    if (pos_ < text_.size() && text_[pos_] == '"') {
      ++pos_;
      for (;;) {
        if (pos_ == text_.size()) return Result::kMalformed;
        const char c = text_[pos_++];
        if (c == '"') {
          if (pos_ < text_.size() && text_[pos_] == '"') {
            field += '"';
            ++pos_;
            continue;
          }
          break;
        }
        if (c == '\n') ++line_;
        field += c;
      }
      if (!AtLineEnd() && text_[pos_] != ',') {
        SkipToNextLine();
        return Result::kMalformed;
      }
    } else {
      const size_t start = pos_;
      while (!AtLineEnd() && text_[pos_] != ',') ++pos_;
      field.assign(text_.substr(start, pos_ - start));
    }
    if (AtLineEnd()) {
      if (pos_ < text_.size()) SkipLineEnd();
      return Result::kRecord;
    }
    ++pos_;  // the comma
  }
}

}  // namespace vexa
