// Object identifiers as the manager hands them over: dotted decimal text
// ("1.3.6.1.2.1.4.22.1.1.3.10.0.0.5", or an instance part ".3.10.0.0.5"),
// compared arc by arc in the order of RFC 3416 section 4.2.2 without being
// parsed into storage, and the decimal numbers that both OIDs and INTEGER
// values are written in. ParseOidText (ber.h) turns the same text into arcs
// for encoding; the functions here serve the readers of responses.
//
// Nothing here throws: text that is not dotted decimal (an empty arc, a sign,
// an arc over 2^32-1, anything but digits and dots) is reported as such.
//
//   OidComesAfter("1.3.6.1.2.1.4.22.1.1.3.10.0.0.12", "1.3.6.1.2.1.4.22.1.1.3.10.0.0.5")  // true
//   InstanceOf("1.3.6.1.2.1.4.22.1.1.3.10.0.0.5", "1.3.6.1.2.1.4.22.1.1")  // ".3.10.0.0.5"
//   int32_t n;  ParseDecimal("-5", n) == DecimalStatus::kOk
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace vexa::snmp {

enum class DecimalStatus : uint8_t {
  kOk,
  kNotANumber,  // empty, a sign where none may be, blanks, other characters
  kOutOfRange,  // a whole number that does not fit the type
};

// The whole of `text` as a decimal number of type T (int16_t, int32_t,
// uint32_t, int64_t): a minus sign only for signed types, no plus sign, no
// blanks. `value` is set only with kOk.
template <typename T>
DecimalStatus ParseDecimal(std::string_view text, T& value);

// The arcs of dotted decimal text (one leading dot allowed) into `arcs`: how
// many there are, or empty where the text is not dotted decimal or has more
// arcs than `arcs` holds.
std::optional<size_t> ReadArcs(std::string_view text, std::span<uint32_t> arcs);

// Arc by arc: negative, zero or positive as `a` comes before, equals or comes
// after `b`; a text comes before every longer text that begins with its arcs.
// One leading dot is allowed in either. Empty when either is not dotted
// decimal.
std::optional<int> CompareOidText(std::string_view a, std::string_view b);

// Whether `oid` lies strictly after `after` in the MIB's order. Texts that are
// not dotted decimal compare as "not after".
bool OidComesAfter(std::string_view oid, std::string_view after);

// The instance part of `oid` under the column (or any OID prefix) `column`,
// with its leading dot: the arcs that follow the column's own. Empty when
// `oid` is not dotted decimal or not below `column`, and when it is the
// column itself.
std::string_view InstanceOf(std::string_view oid, std::string_view column);

// Whether `oid` is an instance under `column` (an arc-wise prefix).
inline bool OidUnderColumn(std::string_view oid, std::string_view column) {
  return !InstanceOf(oid, column).empty();
}

}  // namespace vexa::snmp
