// Registration of both deliverables' informat families through the host's
// path (image record, pcns, program-control node, module entry), and lookup
// of informats and exported readers by name.
#include "family.h"

#include <string>

#include "support/fixture.h"

namespace {

using zbhost::Family;
using zbhost::ValueKind;

class FamilyTest : public zbtest::ModuleTest {
 protected:
  std::unique_ptr<Family> load(bool morvista) {
    std::string err;
    auto fam = Family::load(*host, *(morvista ? mor : zel), &err);
    EXPECT_TRUE(fam) << err;
    return fam;
  }
};

struct RegRow {
  const char *name;
  int min, max, def, decimals;
  const char *routine;
  ValueKind kind;
};

void check_registration(const Family &fam, const std::vector<RegRow> &rows,
                        const zbhost::Module &mod) {
  ASSERT_EQ(fam.informats().size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    const RegRow &want = rows[i];
    const zbhost::Registered &got = fam.informats()[i];
    SCOPED_TRACE(want.name);
    EXPECT_EQ(got.name, want.name);
    EXPECT_EQ(got.min_width, want.min);
    EXPECT_EQ(got.max_width, want.max);
    EXPECT_EQ(got.default_width, want.def);
    EXPECT_EQ(got.decimals, want.decimals);
    EXPECT_EQ(got.routine, want.routine);
    EXPECT_EQ(got.kind, want.kind);
    // The reader table is in descriptor order: entry i is that routine.
    EXPECT_EQ(reinterpret_cast<void *>(got.reader), mod.symbol(want.routine));
  }
}

TEST_F(FamilyTest, ZelbrantRegistersEightInformats) {
  auto fam = load(false);
  ASSERT_TRUE(fam);
  EXPECT_EQ(fam->module_name(), "zelbrant");
  check_registration(*fam,
                     {
                         {"B8601DA", 8, 10, 10, 0, "b8601da", ValueKind::date},
                         {"B8601TM", 6, 15, 8, 6, "b8601tm", ValueKind::time},
                         {"B8601TZ", 7, 20, 14, 6, "b8601tz", ValueKind::time},
                         {"B8601DT", 14, 26, 19, 6, "b8601dt", ValueKind::datetime},
                         {"B8601DZ", 15, 35, 26, 6, "b8601dz", ValueKind::datetime},
                         {"B8601DN", 8, 10, 10, 0, "b8601dn", ValueKind::datetime},
                         {"B8601DJ", 10, 26, 16, 6, "b8601dj", ValueKind::datetime},
                         {"B8601CI", 10, 26, 16, 6, "b8601ci", ValueKind::datetime},
                     },
                     *zel);
}

TEST_F(FamilyTest, MorvistaRegistersSixInformatsUnderItsNames) {
  auto fam = load(true);
  ASSERT_TRUE(fam);
  EXPECT_EQ(fam->module_name(), "morvista");
  check_registration(*fam,
                     {
                         {"ND8601DA", 4, 10, 10, 0, "b8601da", ValueKind::date},
                         {"ND8601TM", 2, 15, 8, 6, "b8601tm", ValueKind::time},
                         {"ND8601TZ", 7, 20, 14, 6, "b8601tz", ValueKind::time},
                         {"ND8601DT", 4, 26, 19, 6, "b8601dt", ValueKind::datetime},
                         {"ND8601DZ", 15, 35, 26, 6, "b8601dz", ValueKind::datetime},
                         {"ND8601DN", 4, 10, 10, 0, "b8601dn", ValueKind::datetime},
                     },
                     *mor);
}

TEST_F(FamilyTest, HostOwnsAndFreesBothBlocks) {
  long before = host->live_blocks();
  long allocs = host->allocations();
  auto fam = load(false);
  ASSERT_TRUE(fam);
  EXPECT_EQ(host->allocations(), allocs + 2);  // descriptor block, reader table
  EXPECT_EQ(host->live_blocks(), before + 2);
  fam.reset();
  EXPECT_EQ(host->live_blocks(), before);
}

TEST_F(FamilyTest, AllocationFailureIsReportedAndLeaksNothing) {
  // n = 0: the descriptor block fails; n = 1: the reader table fails after
  // the descriptor block was made, which must then be given back.
  for (long n : {0L, 1L}) {
    SCOPED_TRACE(n);
    long before = host->live_blocks();
    host->fail_allocations_after(n);
    std::string err;
    auto fam = Family::load(*host, *zel, &err);
    host->fail_allocations_after(-1);
    EXPECT_FALSE(fam);
    EXPECT_NE(err.find("request"), std::string::npos) << err;
    EXPECT_EQ(host->live_blocks(), before);
    ASSERT_FALSE(host->exits().empty());
    EXPECT_EQ(host->exits().back(), (std::pair<int32_t, int32_t>{1016, 0}));
  }
}

struct LookupRow {
  const char *name;
  int width;          // -1: none given
  bool morvista;
  const char *error;  // substring of the message, or null when found
  int want_width;     // -1: the rest of the record
  const char *display;
  const char *routine;
  const char *why;
};

TEST_F(FamilyTest, LookupByName) {
  auto zf = load(false), mf = load(true);
  ASSERT_TRUE(zf && mf);
  const LookupRow rows[] = {
      {"B8601DT", -1, false, nullptr, 19, "B8601DT19.", "b8601dt", "default width"},
      {"b8601dt19.", -1, false, nullptr, 19, "B8601DT19.", "b8601dt", "any case"},
      {"@B8601DT26", -1, false, nullptr, 26, "B8601DT26.", "b8601dt", "'@' and maximum"},
      {"B8601DT14.", -1, false, nullptr, 14, "B8601DT14.", "b8601dt", "minimum"},
      {"B8601dt.", -1, false, nullptr, 19, "B8601DT19.", "b8601dt", "'.' alone"},
      {"B8601DT", 20, false, nullptr, 20, "B8601DT20.", "b8601dt", "width apart"},
      {"B8601DT20", 20, false, nullptr, 20, "B8601DT20.", "b8601dt", "same width twice"},
      {"B8601DT27.", -1, false, "14 to 26", 0, "", "", "above maximum"},
      {"B8601DT13.", -1, false, "14 to 26", 0, "", "", "below minimum"},
      {"B8601DT0.", -1, false, "14 to 26", 0, "", "", "zero width"},
      {"B8601DT99999999999999999999", -1, false, "width 99999999999999999999 is out of range",
       0, "", "", "huge width stays out of range"},
      {"B8601DA", 11, false, "8 to 10", 0, "", "", "width apart, out of range"},
      {"B8601DA9", 10, false, "two widths", 0, "", "", "two different widths"},
      {"ND8601TM2.", -1, true, nullptr, 2, "ND8601TM2.", "b8601tm", "morvista minimum"},
      {"B8601TM2.", -1, false, "6 to 15", 0, "", "", "zelbrant minimum is 6"},
      {"ND8601DA", -1, false, "unknown informat", 0, "", "", "not a zelbrant name"},
      {"B8601DJ", -1, true, "unknown informat", 0, "", "", "not registered in morvista"},
      {"B8601DT", -1, true, "unknown informat", 0, "", "", "a zelbrant name in morvista"},
      {"b8601dj", -1, false, nullptr, 16, "B8601DJ16.", "b8601dj", "registered name wins"},
      {"b8601dj", -1, true, nullptr, -1, "b8601dj", "b8601dj", "routine in morvista"},
      {"i8601dz", -1, false, nullptr, -1, "i8601dz", "i8601dz", "routine, rest of record"},
      {"i8601dz30.", -1, false, nullptr, 30, "i8601dz30", "i8601dz", "routine with width"},
      {"@i8601dz.", -1, false, nullptr, -1, "i8601dz", "i8601dz", "routine with '@' and '.'"},
      {"I8601DZ", -1, false, "unknown informat", 0, "", "", "routine names are exact"},
      {"zifmtim", 12, true, nullptr, 12, "zifmtim12", "zifmtim", "calendar routine"},
      {"i8601dz0", -1, false, "1 to 32767", 0, "", "", "routine width zero"},
      {"i8601_time", -1, false, "unknown informat", 0, "", "", "takes a flag too"},
      {"is8601dui", -1, false, "unknown informat", 0, "", "", "entity informat"},
      {"@@B8601DA", -1, false, "unknown informat", 0, "", "", "two '@'"},
      {"", -1, false, "unknown informat", 0, "", "", "empty"},
      {"19.", -1, false, "unknown informat", 0, "", "", "width alone"},
      {"B8601XX", -1, false, "unknown informat", 0, "", "", "no such informat"},
  };
  for (const LookupRow &row : rows) {
    SCOPED_TRACE(std::string(row.name) + ": " + row.why);
    const Family &fam = row.morvista ? *mf : *zf;
    std::string err;
    auto got = fam.lookup(row.name, row.width < 0 ? std::nullopt : std::optional<int32_t>(row.width),
                          &err);
    if (row.error) {
      EXPECT_FALSE(got);
      EXPECT_NE(err.find(row.error), std::string::npos) << err;
      continue;
    }
    ASSERT_TRUE(got) << err;
    EXPECT_EQ(got->width, row.want_width);
    EXPECT_EQ(got->display, row.display);
    const zbhost::Module &mod = row.morvista ? *mor : *zel;
    EXPECT_EQ(reinterpret_cast<void *>(got->reader), mod.symbol(row.routine));
  }
}

TEST_F(FamilyTest, UnknownNameListsTheKnownOnes) {
  auto fam = load(true);
  ASSERT_TRUE(fam);
  std::string err;
  EXPECT_FALSE(fam->lookup("B8601DT", std::nullopt, &err));
  for (const char *name : {"ND8601DA", "ND8601TM", "ND8601TZ", "ND8601DT", "ND8601DZ",
                           "ND8601DN", "b8601dj", "i8601dz", "zifmtim", "zifmymd"})
    EXPECT_NE(err.find(name), std::string::npos) << name << " missing from: " << err;
}

TEST_F(FamilyTest, RoutineKindsAndDecimals) {
  auto fam = load(false);
  ASSERT_TRUE(fam);
  struct Row {
    const char *name;
    ValueKind kind;
    int decimals;
  };
  const Row rows[] = {
      {"i8601da", ValueKind::date, 0},     {"zifmymd", ValueKind::date, 0},
      {"i8601tm", ValueKind::time, 6},     {"i8601lz", ValueKind::time, 6},
      {"zifmtim", ValueKind::time, 6},     {"i8601dn", ValueKind::datetime, 0},
      {"i8601dt", ValueKind::datetime, 6}, {"B8601DN", ValueKind::datetime, 0},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.name);
    std::string err;
    auto got = fam->lookup(row.name, std::nullopt, &err);
    ASSERT_TRUE(got) << err;
    EXPECT_EQ(got->kind, row.kind);
    EXPECT_EQ(got->decimals, row.decimals);
  }
}

// The looked-up readers are the host's way in: a field read through them
// gives the registered readers' results.
TEST_F(FamilyTest, LookedUpReadersReadFields) {
  auto zf = load(false), mf = load(true);
  ASSERT_TRUE(zf && mf);
  struct Row {
    bool morvista;
    const char *name;
    const char *text;
    uint32_t rc;
    double value;
  };
  const Row rows[] = {
      {false, "B8601DA", "20110909", 0, 18879},
      {false, "B8601DT", "20110909T123045", 0, 1631190645},
      {false, "b8601dz", "20110909T123045-0500", 0, 1631208645},
      {true, "ND8601DA4.", "2011", 0, 18628},
      {true, "ND8601TM2.", "09", 0, 32400},
      {false, "i8601dz", "2011-09-09T12:30:00+02:00", 0, 1631183400},
      {false, "B8601DA", "2011090", IFM_INVALID_DATA, 0},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(std::string(row.name) + " " + row.text);
    std::string err;
    auto f = (row.morvista ? mf : zf)->lookup(row.name, std::nullopt, &err);
    ASSERT_TRUE(f) << err;
    int32_t len = static_cast<int32_t>(std::strlen(row.text));
    auto r = zbtest::read_numeric(f->reader, row.text, f->width < 0 ? len : f->width, len);
    EXPECT_EQ(r.rc, row.rc);
    if (row.rc == 0) {
      EXPECT_EQ(r.value, row.value);
    }
  }
}

}  // namespace
