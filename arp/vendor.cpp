#include "arp/vendor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <system_error>

#include "arp/mac_class.h"
#include "text/csv.h"
#include "text/printable.h"

namespace vexa {

namespace {

// The registries are a few MB; anything far larger is not one, and is not
// read into memory.
constexpr size_t kMaxFileBytes = 64 << 20;
// The longest name listed is about 110 bytes.
constexpr size_t kMaxNameBytes = 256;

constexpr const char* kRegistryFiles[] = {"oui.csv", "mam.csv", "oui36.csv", "iab.csv"};
constexpr std::string_view kAuthority = "IEEE Registration Authority";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A blank, a line break, or in UTF-8 a no-break space, one of the
// typographic spaces U+2000 to U+200B or the ideographic space: some names
// end with one.
bool IsSpace(std::string_view s) {
  if (s == " " || s == "\t" || s == "\r" || s == "\n") return true;
  if (s == "\xc2\xa0" || s == "\xe3\x80\x80") return true;
  return s.size() == 3 && s.starts_with("\xe2\x80") && static_cast<unsigned char>(s[2]) >= 0x80 &&
         static_cast<unsigned char>(s[2]) <= 0x8b;
}

std::string_view Trimmed(std::string_view text) {
  for (bool more = true; more;) {
    more = false;
    for (size_t n = 1; n <= 3 && n <= text.size() && !more; ++n) {
      if (IsSpace(text.substr(0, n))) {
        text.remove_prefix(n);
        more = true;
      } else if (IsSpace(text.substr(text.size() - n))) {
        text.remove_suffix(n);
        more = true;
      }
    }
  }
  return text;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

// The number of hexadecimal digits of an assignment in `registry`, or 0.
size_t AssignmentDigits(std::string_view registry) {
  if (registry == "MA-L") return 6;
  if (registry == "MA-M") return 7;
  if (registry == "MA-S" || registry == "IAB") return 9;
  return 0;
}

std::optional<uint64_t> HexNumber(std::string_view digits) {
  uint64_t value = 0;
  for (const char c : digits) {
    const int digit = HexDigit(c);
    if (digit < 0) return std::nullopt;
    value = value << 4 | static_cast<uint64_t>(digit);
  }
  return value;
}

// The whole of a regular file, or an errno value. A FIFO or a device in
// place of the file is refused rather than read, so that it cannot block.
int ReadRegistryFile(const std::string& path, std::string& out) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno;
  struct stat st {};
  int err = ::fstat(fd, &st) != 0 ? errno : 0;
  if (err == 0 && S_ISDIR(st.st_mode)) err = EISDIR;
  if (err == 0 && !S_ISREG(st.st_mode)) err = EINVAL;
  if (err == 0 && static_cast<uint64_t>(st.st_size) > kMaxFileBytes) err = EFBIG;
  if (err == 0) out.reserve(static_cast<size_t>(st.st_size));
  char buffer[1 << 16];
  while (err == 0) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) err = errno;
    if (n <= 0) break;
    out.append(buffer, static_cast<size_t>(n));
    if (out.size() > kMaxFileBytes) err = EFBIG;  // grew while read
  }
  ::close(fd);
  return err;
}

std::string Joined(const std::vector<std::string>& parts, std::string_view separator) {
  std::string out;
  for (const std::string& part : parts) {
    if (!out.empty()) out += separator;
    out += part;
  }
  return out;
}

}  // namespace

const std::vector<std::string>& VendorRegistry::DefaultFolders() {
  static const std::vector<std::string> folders = {"/var/lib/ieee-data", "/usr/share/ieee-data"};
  return folders;
}

VendorRegistry VendorRegistry::Load(const std::vector<std::string>& folders, const Warn& warn) {
  VendorRegistry registry;
  std::vector<std::string> notes;
  std::vector<std::string> missing;
  for (const char* file : kRegistryFiles) {
    bool found = false;
    for (const std::string& folder : folders) {
      const std::string path = folder + "/" + file;
      std::string text;
      const int err = ReadRegistryFile(path, text);
      if (err == ENOENT || err == ENOTDIR) continue;
      if (err != 0) {
        notes.push_back("cannot read " + path + ": " +
                        std::error_code(err, std::generic_category()).message());
        continue;
      }
      const TextRead read = registry.AddCsv(text);
      if (read.malformed > 0)
        notes.push_back(std::to_string(read.malformed) + " malformed record(s) skipped in " + path +
                        ", the first at line " + std::to_string(read.first_malformed_line));
      if (read.assignments == 0) {
        notes.push_back(path + " lists no assignments");
        continue;
      }
      found = true;
      break;
    }
    if (!found) missing.push_back(file);
  }
  if (!missing.empty()) {
    const bool none = missing.size() == std::size(kRegistryFiles);
    notes.push_back("no readable " + Joined(missing, ", ") + " in " +
                    (folders.empty() ? std::string("(no folder)") : Joined(folders, " or ")) +
                    (none ? ": no vendors are shown (the package ieee-data provides them)"
                          : ": the vendors listed there are not shown"));
  }
  if (!notes.empty() && warn) warn("MAC vendors: " + Joined(notes, "; "));
  return registry;
}

const VendorRegistry& VendorRegistry::ForProcess(const Warn& warn) {
  static const VendorRegistry registry = Load(DefaultFolders(), warn);
  return registry;
}

VendorRegistry::TextRead VendorRegistry::AddCsv(std::string_view text) {
  TextRead read;
  const auto malformed = [&](size_t line) {
    if (read.malformed++ == 0) read.first_malformed_line = line;
  };
  std::vector<Assignment> added[std::size(kPrefixBits)];
  if (text.starts_with("\xef\xbb\xbf")) text.remove_prefix(3);  // a byte-order mark
  CsvReader reader(text);
  std::vector<std::string> fields;
  for (CsvReader::Result result; (result = reader.Next(fields)) != CsvReader::Result::kEnd;) {
    if (result == CsvReader::Result::kMalformed || fields.size() < 3) {
      malformed(reader.line());
      continue;
    }
    const std::string_view registry = Trimmed(fields[0]);
    if (registry == "Registry") continue;  // the header
    const size_t digits = AssignmentDigits(registry);
    const std::string_view assignment = Trimmed(fields[1]);
    const std::optional<uint64_t> prefix =
        digits != 0 && assignment.size() == digits ? HexNumber(assignment) : std::nullopt;
    const std::string name = WithoutControlBytes(Trimmed(fields[2]));
    if (!prefix || name.empty() || name.size() > kMaxNameBytes) {
      malformed(reader.line());
      continue;
    }
    ++read.assignments;
    if (EqualsIgnoringCase(name, kAuthority)) continue;
    added[digits == 9   ? 0
          : digits == 7 ? 1
                        : 2]
        .push_back(Assignment{*prefix, static_cast<uint32_t>(names_.size()),
                              static_cast<uint32_t>(name.size())});
    names_ += name;
  }
  for (size_t i = 0; i < std::size(kPrefixBits); ++i) {
    if (added[i].empty()) continue;
    std::vector<Assignment>& all = assignments_[i];
    all.insert(all.end(), added[i].begin(), added[i].end());
    const auto by_prefix = [](const Assignment& a, const Assignment& b) {
      return a.prefix < b.prefix;
    };
    std::stable_sort(all.begin(), all.end(), by_prefix);
    all.erase(
        std::unique(all.begin(), all.end(),
                    [](const Assignment& a, const Assignment& b) { return a.prefix == b.prefix; }),
        all.end());
  }
  return read;
}

std::string VendorRegistry::VendorOf(std::string_view mac) const {
  const std::optional<uint64_t> address = MacValue(mac);
  return address ? VendorOfAddress(*address) : std::string();
}

std::string VendorRegistry::VendorOfOctets(std::string_view octets) const {
  if (octets.size() != 6) return {};
  uint64_t address = 0;
  for (const char c : octets) address = address << 8 | static_cast<unsigned char>(c);
  return VendorOfAddress(address);
}

size_t VendorRegistry::size() const {
  size_t total = 0;
  for (const auto& assignments : assignments_) total += assignments.size();
  return total;
}

namespace {

// The first `digits` hex digits of `address` (48 bits) as the store writes
// them: pairs separated by blanks.
std::string StoredPrefix(uint64_t address, int digits) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (int i = 0; i < digits; ++i) {
    if (i > 0 && i % 2 == 0) out += ' ';
    out += kHex[(address >> (44 - 4 * i)) & 0xf];
  }
  return out;
}

}  // namespace

std::vector<std::string> VendorRegistry::StoredPrefixesWhere(
    const std::function<bool(std::string_view shown)>& shows) const {
  std::vector<std::string> out;
  for (int octet = 0; octet < 256; ++octet) {
    const bool multicast = octet & 0x01;
    const bool local = !multicast && (octet & 0x02);
    if ((multicast && shows(kMulticast)) || (local && shows(kLocallyAdministered)))
      out.push_back(StoredPrefix(static_cast<uint64_t>(octet) << 40, 2));
  }
  for (const VirtualRouterRange& range : VirtualRouterRanges()) {
    if (!shows(range.name)) continue;
    // The range ends in whole hex digits (0 to f); its prefixes are the
    // digits before them.
    int free_digits = 0;
    while (free_digits < 12 && ((range.first >> (4 * free_digits)) & 0xf) == 0 &&
           ((range.last >> (4 * free_digits)) & 0xf) == 0xf)
      ++free_digits;
    for (uint64_t p = range.first >> (4 * free_digits); p <= range.last >> (4 * free_digits); ++p)
      out.push_back(StoredPrefix(p << (4 * free_digits), 12 - free_digits));
  }
  for (size_t i = 0; i < std::size(kPrefixBits); ++i)
    for (const Assignment& a : assignments_[i])
      if (shows(std::string_view(names_).substr(a.name_offset, a.name_size)))
        out.push_back(StoredPrefix(a.prefix << (48 - kPrefixBits[i]), kPrefixBits[i] / 4));
  return out;
}

std::string VendorRegistry::VendorOfAddress(uint64_t address) const {
  const uint64_t first_octet = address >> 40;
  if (IsGroupMac(address)) return std::string(kMulticast);
  if (first_octet & 0x02) return std::string(kLocallyAdministered);
  if (address == 0) return {};
  if (const std::string_view name = VirtualRouterName(address); !name.empty())
    return std::string(name);
  for (size_t i = 0; i < std::size(kPrefixBits); ++i) {
    const uint64_t prefix = address >> (48 - kPrefixBits[i]);
    const std::vector<Assignment>& assignments = assignments_[i];
    const auto it =
        std::lower_bound(assignments.begin(), assignments.end(), prefix,
                         [](const Assignment& a, uint64_t wanted) { return a.prefix < wanted; });
    if (it != assignments.end() && it->prefix == prefix)
      return names_.substr(it->name_offset, it->name_size);
  }
  return {};
}

}  // namespace vexa
