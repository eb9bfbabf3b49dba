// The catalog of readers: zb_list against what the modules register and
// read, and the tables derived from the catalog against the names and kinds
// the modules have always had.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "catalog.h"
#include "ifmblock.h"
#include "zelbrant/reader.h"

namespace {

std::vector<zb_catalog_entry> listed() {
  const zb_catalog_entry *e = nullptr;
  size_t n = 0;
  EXPECT_EQ(zb_list(&e, &n), ZB_OK) << zb_last_error();
  return std::vector<zb_catalog_entry>(e, e + n);
}

TEST(Catalog, ListNullPointers) {
  const zb_catalog_entry *e = nullptr;
  size_t n = 0;
  EXPECT_EQ(zb_list(nullptr, &n), ZB_E_NULL);
  EXPECT_STRNE(zb_last_error(), "");
  EXPECT_EQ(zb_list(&e, nullptr), ZB_E_NULL);
  EXPECT_GE(ZB_READER_API_VERSION, 5);
}

// Names, modules, widths and decimals as the modules have registered them,
// and the routines no module registers, each with its kind.
TEST(Catalog, ListIsTheRegistrationsThenTheRoutines) {
  struct Want {
    const char *name, *routine, *modules;
    int32_t kind, min, max, dflt, decimals;
    uint32_t flags;
  } want[] = {
      {"B8601DA", "b8601da", "zelbrant", ZB_KIND_DATE, 8, 10, 10, 0, 0},
      {"B8601TM", "b8601tm", "zelbrant", ZB_KIND_TIME, 6, 15, 8, 6, 0},
      {"B8601TZ", "b8601tz", "zelbrant", ZB_KIND_TIME, 7, 20, 14, 6, ZB_READER_ZONED},
      {"B8601DT", "b8601dt", "zelbrant", ZB_KIND_DATETIME, 14, 26, 19, 6, 0},
      {"B8601DZ", "b8601dz", "zelbrant", ZB_KIND_DATETIME, 15, 35, 26, 6, ZB_READER_ZONED},
      {"B8601DN", "b8601dn", "zelbrant", ZB_KIND_DATETIME, 8, 10, 10, 0, 0},
      {"B8601DJ", "b8601dj", "zelbrant", ZB_KIND_DATETIME, 10, 26, 16, 6, 0},
      {"B8601CI", "b8601ci", "zelbrant", ZB_KIND_DATETIME, 10, 26, 16, 6, 0},
      {"ND8601DA", "b8601da", "morvista", ZB_KIND_DATE, 4, 10, 10, 0, 0},
      {"ND8601TM", "b8601tm", "morvista", ZB_KIND_TIME, 2, 15, 8, 6, 0},
      {"ND8601TZ", "b8601tz", "morvista", ZB_KIND_TIME, 7, 20, 14, 6, ZB_READER_ZONED},
      {"ND8601DT", "b8601dt", "morvista", ZB_KIND_DATETIME, 4, 26, 19, 6, 0},
      {"ND8601DZ", "b8601dz", "morvista", ZB_KIND_DATETIME, 15, 35, 26, 6, ZB_READER_ZONED},
      {"ND8601DN", "b8601dn", "morvista", ZB_KIND_DATETIME, 4, 10, 10, 0, 0},
      {"i8601tm", "i8601tm", "zelbrant morvista", ZB_KIND_TIME, -1, 32767, -1, 6, 0},
      {"i8601tz", "i8601tz", "zelbrant morvista", ZB_KIND_TIME, -1, 32767, -1, 6, ZB_READER_ZONED},
      {"i8601lz", "i8601lz", "zelbrant morvista", ZB_KIND_TIME, -1, 32767, -1, 6, ZB_READER_ZONED},
      {"i8601da", "i8601da", "zelbrant morvista", ZB_KIND_DATE, -1, 32767, -1, 0, 0},
      {"i8601dn", "i8601dn", "zelbrant morvista", ZB_KIND_DATETIME, -1, 32767, -1, 0, 0},
      {"i8601dt", "i8601dt", "zelbrant morvista", ZB_KIND_DATETIME, -1, 32767, -1, 6, 0},
      {"i8601dz", "i8601dz", "zelbrant morvista", ZB_KIND_DATETIME, -1, 32767, -1, 6,
       ZB_READER_ZONED},
      {"zifmymd", "zifmymd", "zelbrant morvista", ZB_KIND_DATE, -1, 32767, -1, 0, 0},
      {"zifmtim", "zifmtim", "zelbrant morvista", ZB_KIND_TIME, -1, 32767, -1, 6, 0},
      {"$IS860DU", "is8601dui", "zelbrant morvista", ZB_KIND_DURATION, -1, 32767, -1, 0,
       ZB_READER_LOGS},
      {"$IS860PD", "is8601pdi", "zelbrant morvista", ZB_KIND_PACKED, -1, 32767, -1, 0,
       ZB_READER_LOGS},
      {"$IS860VL", "is8601vli", "zelbrant morvista", ZB_KIND_INTERVAL, -1, 32767, -1, 0,
       ZB_READER_LOGS},
  };
  const std::vector<zb_catalog_entry> got = listed();
  ASSERT_EQ(got.size(), std::size(want));
  for (size_t i = 0; i < got.size(); ++i) {
    const zb_catalog_entry &g = got[i];
    const Want &w = want[i];
    SCOPED_TRACE(w.name);
    EXPECT_STREQ(g.name, w.name);
    EXPECT_STREQ(g.routine, w.routine);
    EXPECT_STREQ(g.modules, w.modules);
    EXPECT_EQ(g.kind, w.kind);
    EXPECT_EQ(g.flags, w.flags);
    EXPECT_EQ(g.min_width, w.min);
    EXPECT_EQ(g.max_width, w.max);
    EXPECT_EQ(g.default_width, w.dflt);
    EXPECT_EQ(g.decimals, w.decimals);
    ASSERT_NE(g.description, nullptr);
    EXPECT_GT(std::strlen(g.description), 10u);
    ASSERT_NE(g.example, nullptr);
  }
}

// The record as another language reads it: from its bytes.
TEST(Catalog, EntryLayoutFromBytes) {
  const std::vector<zb_catalog_entry> got = listed();
  ASSERT_FALSE(got.empty());
  const zb_catalog_entry &e = got[4];  // B8601DZ
  unsigned char raw[64];
  ASSERT_EQ(sizeof e, sizeof raw);
  std::memcpy(raw, &e, sizeof raw);
  auto ptr = [&](size_t at) {
    const char *p;
    std::memcpy(&p, raw + at, sizeof p);
    return std::string(p);
  };
  auto i32 = [&](size_t at) {
    int32_t v;
    std::memcpy(&v, raw + at, sizeof v);
    return v;
  };
  EXPECT_EQ(ptr(0), "B8601DZ");
  EXPECT_EQ(ptr(8), "b8601dz");
  EXPECT_EQ(ptr(16), "zelbrant");
  EXPECT_EQ(ptr(24), e.description);
  EXPECT_EQ(ptr(32), e.example);
  EXPECT_EQ(i32(40), ZB_KIND_DATETIME);
  EXPECT_EQ(i32(44), static_cast<int32_t>(ZB_READER_ZONED));
  EXPECT_EQ(i32(48), 15);
  EXPECT_EQ(i32(52), 35);
  EXPECT_EQ(i32(56), 26);
  EXPECT_EQ(i32(60), 6);
}

// Every entry is found under its name in each module it names, as what the
// entry says, and reads its example with code 0 to a value that is there.
TEST(Catalog, EveryEntryReadsItsExampleThroughTheApi) {
  const std::vector<zb_catalog_entry> got = listed();
  std::set<std::string> names, routines;
  for (const char *module : {"zelbrant", "morvista"}) {
    zb_handle *h = nullptr;
    ASSERT_EQ(zb_open(module, nullptr, &h), ZB_OK) << zb_last_error();
    for (const zb_catalog_entry &e : got) {
      if (!std::strstr(e.modules, module)) continue;
      SCOPED_TRACE(std::string(module) + " " + e.name);
      names.insert(e.name);
      routines.insert(e.routine);
      int32_t id = -1;
      ASSERT_EQ(zb_lookup(h, e.name, -1, &id), ZB_OK) << zb_last_error();
      zb_reader_info info{};
      ASSERT_EQ(zb_describe(h, id, &info), ZB_OK);
      EXPECT_EQ(info.kind, e.kind);
      EXPECT_EQ(info.width, e.default_width);
      EXPECT_EQ(info.registered, e.min_width > 0 ? 1 : 0);
      if (e.kind <= ZB_KIND_DATETIME) {
        EXPECT_EQ(info.decimals, e.decimals);
      }
      const size_t len = std::strlen(e.example);
      if (e.default_width > 0) {
        EXPECT_LE(len, static_cast<size_t>(e.default_width));
      }
      uint32_t code = 77;
      if (e.kind <= ZB_KIND_DATETIME) {
        double v = 0;
        ASSERT_EQ(zb_read_field(h, id, e.example, len, &v, &code), ZB_OK) << zb_last_error();
        EXPECT_EQ(code, 0u) << zb_code_text(code);
        EXPECT_FALSE(ifm_is_missing(v)) << e.example;
      } else {
        char out[64];
        uint32_t text_len = 0;
        ASSERT_EQ(zb_read_entity_field(h, id, e.example, len, out, sizeof out, &code, &text_len),
                  ZB_OK)
            << zb_last_error();
        EXPECT_EQ(code, 0u) << zb_problem_text(code);
        char shown[96];
        ASSERT_GT(zb_entity_text(out, text_len, shown, sizeof shown), 0);
        EXPECT_STRNE(shown, ".") << "the example reads as the missing entity";
      }
    }
    zb_close(h);
  }
  EXPECT_EQ(names.size(), got.size()) << "a name is listed twice";
  EXPECT_EQ(routines.size(), static_cast<size_t>(zb_catalog_count)) << "a reader is not listed";
}

}  // namespace
