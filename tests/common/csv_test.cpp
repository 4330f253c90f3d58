#include "text/csv.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vexa {
namespace {

using Fields = std::vector<std::string>;

// Every record written reads back as the same fields.
TEST(Csv, FieldsAreQuotedOnlyWhereNeededAndReadBackUnchanged) {
  struct Case {
    Fields fields;
    std::string record;
  };
  const Case cases[] = {
      {{"192.0.2.1", "00 1a 2b 3c 4d 5e", "", "host.example"},
       "192.0.2.1,00 1a 2b 3c 4d 5e,,host.example\r\n"},
      {{"Cisco Systems, Inc", "x"}, "\"Cisco Systems, Inc\",x\r\n"},
      {{"JSC \"Teletypes\"", "\""}, "\"JSC \"\"Teletypes\"\"\",\"\"\"\"\r\n"},
      {{"two\r\nlines", "lf\nonly", "cr\ronly"}, "\"two\r\nlines\",\"lf\nonly\",\"cr\ronly\"\r\n"},
      {{" lead", "trail\t", "in side"}, "\" lead\",\"trail\t\",in side\r\n"},
      {{"\xc3\xa4 UTF-8 as it is"}, "\xc3\xa4 UTF-8 as it is\r\n"},
      {{""}, "\"\"\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.record);
    EXPECT_EQ(CsvRecord(c.fields), c.record);
    CsvReader reader(c.record);
    Fields read;
    ASSERT_EQ(reader.Next(read), CsvReader::Result::kRecord);
    EXPECT_EQ(read, c.fields);
    EXPECT_EQ(reader.Next(read), CsvReader::Result::kEnd);
  }
  EXPECT_EQ(CsvRecord({"a", "b,c"}), "a,\"b,c\"\r\n");
}

// What the reader makes of text from elsewhere: line ends other than CR LF,
// blank lines, stray quotes and faults, each record with the line it began on.
TEST(Csv, ReaderTakesOtherLineEndsAndSkipsMalformedRecordsToTheNextLine) {
  struct Read {
    CsvReader::Result result;
    size_t line;
    Fields fields;
  };
  using R = CsvReader::Result;
  const std::string commas(CsvReader::kMaxFields, ',');
  struct Case {
    std::string text;
    std::vector<Read> reads;
  };
  const Case cases[] = {
      {"a,b\nc\r\n\r\n\nd,\"e\r\nf\ng\"\rh",
       {{R::kRecord, 1, {"a", "b"}},
        {R::kRecord, 2, {"c"}},
        {R::kRecord, 5, {"d", "e\r\nf\ng"}},
        {R::kRecord, 8, {"h"}}}},
      {"a,b\"c\"d,\"\"\n,", {{R::kRecord, 1, {"a", "b\"c\"d", ""}}, {R::kRecord, 2, {"", ""}}}},
      {"a,\"b\"c,\"d\nnext\n", {{R::kMalformed, 1, {}}, {R::kRecord, 2, {"next"}}}},
      {"a,\"b\nc\"x\nnext", {{R::kMalformed, 1, {}}, {R::kRecord, 3, {"next"}}}},
      {"ok\n\"open to the end\nnever closed", {{R::kRecord, 1, {"ok"}}, {R::kMalformed, 2, {}}}},
      {commas + "\nnext\n" + commas.substr(1),
       {{R::kMalformed, 1, {}}, {R::kRecord, 2, {"next"}}, {R::kRecord, 3, Fields(64)}}},
      {"", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 40));
    CsvReader reader(c.text);
    Fields fields;
    for (const Read& expected : c.reads) {
      ASSERT_EQ(reader.Next(fields), expected.result);
      EXPECT_EQ(reader.line(), expected.line);
      if (expected.result == R::kRecord) {
        EXPECT_EQ(fields, expected.fields);
      }
    }
    EXPECT_EQ(reader.Next(fields), R::kEnd);
  }
}

}  // namespace
}  // namespace vexa
