// Fuzz target for the reading of the IEEE registry files, which are text
// from outside (refreshed copies are downloaded): the CSV reader and the
// registry built from it. The input is the text of one registry file.
//
// Whatever the text, the reader must make progress and bound the fields of
// a record, every record it reads must come back unchanged through the
// writer and the reader again, and lookups in what was read must stay
// inside it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "arp/vendor.h"
#include "text/csv.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  // The registry reads on after a byte-order mark; so do the checks here.
  std::string_view records_text = text;
  if (records_text.starts_with("\xef\xbb\xbf")) records_text.remove_prefix(3);
  vexa::CsvReader reader(records_text);
  std::vector<std::string> fields;
  std::vector<std::string> again;
  size_t records = 0;
  for (vexa::CsvReader::Result result;
       (result = reader.Next(fields)) != vexa::CsvReader::Result::kEnd;) {
    if (++records > size) __builtin_trap();  // each record takes a byte at least
    if (result != vexa::CsvReader::Result::kRecord) continue;
    if (fields.size() > vexa::CsvReader::kMaxFields) __builtin_trap();
    const std::string written = vexa::CsvRecord(fields);
    vexa::CsvReader round_trip(written);
    if (round_trip.Next(again) != vexa::CsvReader::Result::kRecord || again != fields ||
        round_trip.Next(again) != vexa::CsvReader::Result::kEnd)
      __builtin_trap();
  }

  vexa::VendorRegistry registry;
  const vexa::VendorRegistry::TextRead read = registry.AddCsv(text);
  if (registry.size() > read.assignments || read.assignments + read.malformed > records)
    __builtin_trap();
  // Addresses made of the text's own bytes, so that some fall in what it
  // lists.
  for (size_t at = 0; at + 6 <= size; at += 7) {
    const std::string vendor = registry.VendorOfOctets(text.substr(at, 6));
    if (vendor.size() > 256 * 3) __builtin_trap();
  }
  return 0;
}
