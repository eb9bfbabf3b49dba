// zb_suggest: the reader that would have read texts a reader failed on or
// cut short, found by trial reads.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "zelbrant/reader.h"

namespace {

std::string suggest(zb_handle *h, int32_t reader, const std::vector<std::string> &texts) {
  std::vector<const char *> p;
  std::vector<size_t> n;
  for (const std::string &t : texts) p.push_back(t.data()), n.push_back(t.size());
  char out[128] = "untouched";
  int len = zb_suggest(h, reader, p.data(), n.data(), texts.size(), out, sizeof out);
  if (len < 0) return "error " + std::to_string(len) + ": " + zb_last_error();
  EXPECT_EQ(static_cast<size_t>(len), std::strlen(out));
  return out;
}

TEST(Suggest, Rows) {
  struct Row {
    const char *module;
    const char *reader;  // as looked up, default width unless given
    std::vector<std::string> texts;
    const char *want;
    const char *why;
  } rows[] = {
      {"zelbrant", "B8601DT", {"20100313T200304 INF"}, "try B8601DT15.",
       "a log line: the width cuts before the blank"},
      {"zelbrant", "B8601DT", {"20100313T200304 INF", "20100314T010203 WRN"}, "try B8601DT15.",
       "every text at the same width"},
      {"zelbrant", "B8601DT", {"2011-09-09T12:30:45.75"}, "try B8601DT22.",
       "a cell the default width cuts short: read, but without .75"},
      {"zelbrant", "B8601TM", {"12:30:45.5"}, "try B8601TM10.", "a time cut short"},
      {"zelbrant", "B8601DT", {"2011-09-09T12:30:45+01:00"}, "try B8601DZ25.",
       "a zone: the zoned informat of the same kind"},
      {"zelbrant", "B8601DT", {"20100313T200304 INF", "no date"}, "try B8601DT15. (reads 1 of 2)",
       "only some texts can be read"},
      {"zelbrant", "B8601DT", {"20110909T123045"}, "", "read whole already: nothing better"},
      {"zelbrant", "B8601DT", {"no date at all"}, "", "nothing reads it"},
      {"zelbrant", "B8601DT", {}, "", "no texts"},
      {"zelbrant", "B8601DA", {"2011-09-09T12:30:45"}, "", "a date reader reads the date part"},
      {"zelbrant", "i8601tm", {"12:30:45+01:00"}, "try B8601TZ14.",
       "a routine: other readers of its kind, the zoned one reads the most"},
      {"zelbrant", "B8601DT", {"2011-09-09T12:30:45.75", "2011-09-09T12:30:45.5"},
       "try B8601DT22.", "the width that reads each text whole"},
      {"zelbrant", "$IS860DU", {"2011-09-09/P1M"}, "try $IS860VL", "an interval, not a duration"},
      {"zelbrant", "B8601DZ", {"2011-09-09T12:30:45.123456+01:00"}, "try B8601DZ32.",
       "extended text longer than the default width"},
      {"zelbrant", "B8601CI", {"2011-09-09T12:30:45"}, "try B8601DT19.",
       "no century digit: the first datetime informat that reads it"},
      {"zelbrant", "B8601TM", {"12:30:45+01:00"}, "try B8601TZ14.",
       "read without its zone: the zoned informat reads it to another value"},
      {"zelbrant", "B8601TM", {"1:30 PM"}, "try zifmtim", "only a routine reads it"},
      {"morvista", "ND8601DT", {"20100313T200304 INF"}, "try ND8601DT15.",
       "the handle's module names its informats"},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.why);
    zb_handle *h = nullptr;
    ASSERT_EQ(zb_open(r.module, nullptr, &h), ZB_OK) << zb_last_error();
    int32_t id = -1;
    ASSERT_EQ(zb_lookup(h, r.reader, -1, &id), ZB_OK) << zb_last_error();
    EXPECT_EQ(suggest(h, id, r.texts), r.want);
    // The trials leave the handle as it was: the next reader is number 1.
    int32_t next = -1;
    ASSERT_EQ(zb_lookup(h, r.reader, -1, &next), ZB_OK);
    EXPECT_EQ(next, 1);
    zb_close(h);
  }
}

TEST(Suggest, BadArgumentsAndCutOutput) {
  zb_handle *h = nullptr;
  ASSERT_EQ(zb_open("zelbrant", nullptr, &h), ZB_OK) << zb_last_error();
  int32_t id = -1;
  ASSERT_EQ(zb_lookup(h, "B8601DT", -1, &id), ZB_OK);
  const char *text = "20100313T200304 INF";
  const size_t len = std::strlen(text);
  char out[8];
  EXPECT_EQ(zb_suggest(nullptr, id, &text, &len, 1, out, sizeof out), ZB_E_HANDLE);
  EXPECT_EQ(zb_suggest(h, 5, &text, &len, 1, out, sizeof out), ZB_E_READER);
  EXPECT_EQ(zb_suggest(h, id, nullptr, &len, 1, out, sizeof out), ZB_E_NULL);
  EXPECT_EQ(zb_suggest(h, id, &text, &len, 1, nullptr, 4), ZB_E_NULL);
  EXPECT_EQ(zb_suggest(h, id, &text, &len, 1, nullptr, 0), 14);  // "try B8601DT15."
  EXPECT_EQ(zb_suggest(h, id, &text, &len, 1, out, sizeof out), 14);
  EXPECT_STREQ(out, "try B86");
  // Only the first ZB_SUGGEST_TEXTS texts are looked at.
  std::vector<std::string> many(ZB_SUGGEST_TEXTS, text);
  many.push_back("no date");
  EXPECT_EQ(suggest(h, id, many), "try B8601DT15.");
  many.insert(many.begin(), "no date");
  EXPECT_EQ(suggest(h, id, many), "try B8601DT15. (reads 15 of 16)");
  zb_close(h);
}

}  // namespace
