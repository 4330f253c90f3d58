#include "snmp/oid_text.h"

#include <charconv>
#include <cstddef>

namespace vexa::snmp {

namespace {

// The arcs of dotted decimal text, one at a time, with the place of each.
class ArcCursor {
 public:
  explicit ArcCursor(std::string_view text) : text_(text) {
    if (!text_.empty() && text_.front() == '.') next_ = 1;
    bad_ = next_ == text_.size();  // no arc at all
  }

  // The next arc; false at the end of the text and where it is not dotted
  // decimal (then bad()).
  bool Next(uint32_t& arc) {
    if (bad_ || next_ == std::string_view::npos) return false;
    const size_t dot = text_.find('.', next_);
    const size_t end = dot == std::string_view::npos ? text_.size() : dot;
    if (ParseDecimal(text_.substr(next_, end - next_), arc) != DecimalStatus::kOk) {
      bad_ = true;
      return false;
    }
    next_ = dot == std::string_view::npos ? dot : dot + 1;
    if (next_ == text_.size()) {  // a trailing dot
      bad_ = true;
      return false;
    }
    return true;
  }
  // Reads the rest; false where it is not dotted decimal.
  bool RestValid() {
    uint32_t arc = 0;
    while (Next(arc)) {
    }
    return !bad_;
  }
  bool bad() const { return bad_; }
  bool AtEnd() const { return next_ == std::string_view::npos; }
  // The text from the dot before the next arc on.
  std::string_view Rest() const { return AtEnd() ? std::string_view() : text_.substr(next_ - 1); }

 private:
  std::string_view text_;
  size_t next_ = 0;  // where the next arc starts; npos after the last
  bool bad_ = false;
};

}  // namespace

template <typename T>
DecimalStatus ParseDecimal(std::string_view text, T& value) {
  if (text.empty()) return DecimalStatus::kNotANumber;
  T parsed{};
  const char* const end = text.data() + text.size();
  const auto [next, ec] = std::from_chars(text.data(), end, parsed);
  if (next != end) return DecimalStatus::kNotANumber;
  if (ec == std::errc::result_out_of_range) return DecimalStatus::kOutOfRange;
  if (ec != std::errc()) return DecimalStatus::kNotANumber;
  value = parsed;
  return DecimalStatus::kOk;
}

template DecimalStatus ParseDecimal(std::string_view, int16_t&);
template DecimalStatus ParseDecimal(std::string_view, int32_t&);
template DecimalStatus ParseDecimal(std::string_view, uint32_t&);
template DecimalStatus ParseDecimal(std::string_view, int64_t&);
template DecimalStatus ParseDecimal(std::string_view, uint64_t&);

std::optional<size_t> ReadArcs(std::string_view text, std::span<uint32_t> arcs) {
  ArcCursor cursor(text);
  size_t count = 0;
  uint32_t arc = 0;
  while (cursor.Next(arc)) {
    if (count == arcs.size()) return std::nullopt;
    arcs[count++] = arc;
  }
  if (cursor.bad()) return std::nullopt;
  return count;
}

std::optional<int> CompareOidText(std::string_view a, std::string_view b) {
  ArcCursor ca(a), cb(b);
  int order = 0;
  while (true) {
    uint32_t x = 0, y = 0;
    const bool has_a = ca.Next(x);
    const bool has_b = cb.Next(y);
    if (ca.bad() || cb.bad()) return std::nullopt;
    if (!has_a && !has_b) return order;
    // The first difference decides; the rest is still read, to refuse text
    // that is not dotted decimal further on.
    if (order == 0) order = !has_a ? -1 : !has_b ? 1 : x < y ? -1 : x > y ? 1 : 0;
  }
}

bool OidComesAfter(std::string_view oid, std::string_view after) {
  const std::optional<int> order = CompareOidText(oid, after);
  return order && *order > 0;
}

std::string_view InstanceOf(std::string_view oid, std::string_view column) {
  // The usual case: the column's own text and a dot begin the identifier.
  if (!column.empty() && column.back() >= '0' && column.back() <= '9' &&
      oid.size() > column.size() + 1 && oid.starts_with(column) && oid[column.size()] == '.' &&
      ArcCursor(column).RestValid()) {
    const std::string_view instance = oid.substr(column.size());
    return ArcCursor(instance).RestValid() ? instance : std::string_view();
  }
  ArcCursor co(oid), cc(column);
  uint32_t x = 0, y = 0;
  while (cc.Next(y))
    if (!co.Next(x) || x != y) return {};
  if (cc.bad() || co.AtEnd()) return {};
  const std::string_view instance = co.Rest();
  return co.RestValid() ? instance : std::string_view();
}

}  // namespace vexa::snmp
