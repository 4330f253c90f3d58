#include "platform/local_time.h"

#include <gtest/gtest.h>

namespace vexa {
namespace {

TEST(LocalTime, FixedPatternsPadEveryField) {
  const LocalDateTime t{2004, 6, 1, 7, 5, 9};
  EXPECT_EQ(FormatDateTime(t), "2004-06-01 07:05:09");
  EXPECT_EQ(FormatDateMinute(t), "2004-06-01 07:05");
  EXPECT_EQ(FormatTimeOfDay(t), "07:05:09");
}

TEST(LocalTime, ParsesTheStoredForms) {
  EXPECT_EQ(ParseLocalDateTime("2004-06-01 23:00"), (LocalDateTime{2004, 6, 1, 23, 0, 0}));
  EXPECT_EQ(ParseLocalDateTime("2004-06-01 23:00:59"), (LocalDateTime{2004, 6, 1, 23, 0, 59}));
  EXPECT_EQ(ParseLocalDateTime("2004-06-01T23:00"), (LocalDateTime{2004, 6, 1, 23, 0, 0}));
  EXPECT_EQ(ParseLocalDateTime("2024-02-29"), (LocalDateTime{2024, 2, 29, 0, 0, 0}));
}

TEST(LocalTime, RejectsImpossibleOrMalformedDates) {
  for (const char* bad :
       {"", "2004-6-1 23:00", "2004-06-01 24:00", "2004-06-01 23:60", "2023-02-29", "2004-13-01",
        "2004-00-10", "2004-06-31", "2004-06-01 23:00 ", "2004-06-01 23", "abcd-ef-gh",
        "2004-06-01x23:00", "0000-01-01"})
    EXPECT_FALSE(ParseLocalDateTime(bad)) << bad;
}

TEST(LocalTime, LocalConversionRoundTrips) {
  const LocalDateTime t{2024, 3, 5, 10, 17, 42};
  EXPECT_EQ(ToLocal(FromLocal(t)), t);
}

}  // namespace
}  // namespace vexa
