// The entity informats $IS860DU, $IS860PD and $IS860VL: what they write into
// a character target, the status word, the target-length check, and that they
// keep to the field window and the target length.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support/call_block.h"
#include "support/fixture.h"

namespace {

using EntityReader = uint32_t (*)(ifmblock *, int32_t);
using Bcd8 = uint32_t (*)(ifmblock *, int32_t, int32_t);

constexpr char kFill = '~';          // target bytes before the call
constexpr size_t kGuard = 8;         // bytes after the target that must stay
constexpr uint32_t kStatusPreset = 0xDEADBEEFu;
constexpr const char *kUntouched = nullptr;

struct Outcome {
  uint32_t rc = 0;
  uint32_t status = 0;
  std::string target;  // target_len bytes
  bool guard_intact = true;
};

// Calls the reader the way the host does, on a field that ends where an
// inaccessible page begins, with guard bytes after the target.
template <class Call>
Outcome run(Call call, std::string_view text, int32_t target_len, int32_t width = -1) {
  zbtest::GuardedField field(text);
  size_t n = target_len > 0 ? static_cast<size_t>(target_len) : 0;
  std::vector<char> buf(n + kGuard, kFill);
  const auto len = static_cast<int32_t>(text.size());
  ifmblock blk = zbtest::call_block(field.data(), width < 0 ? len : width, len, buf.data(),
                                    target_len);
  blk.status = kStatusPreset;
  Outcome o;
  o.rc = call(&blk);
  o.status = blk.status;
  o.target.assign(buf.data(), n);
  for (size_t i = n; i < buf.size(); ++i) o.guard_intact = o.guard_intact && buf[i] == kFill;
  return o;
}

std::string untouched(size_t n) { return std::string(n, kFill); }

class EntityInformatTest : public zbtest::ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    if (HasFatalFailure()) return;
    dui = fn<EntityReader>("is8601dui");
    pdi = fn<EntityReader>("is8601pdi");
    vli = fn<EntityReader>("is8601vli");
    bcd8 = fn<Bcd8>("get_bcd8");
    ASSERT_TRUE(dui && pdi && vli && bcd8);
  }
  Outcome read(EntityReader r, std::string_view text, int32_t target_len, int32_t mode,
               int32_t width = -1) {
    return run([&](ifmblock *b) { return r(b, mode); }, text, target_len, width);
  }
  struct Row {
    const char *text;
    int32_t mode;
    uint32_t rc;
    const char *digits;  // what the target starts with; kUntouched: nothing written
    const char *why;
  };
  // Rows on a 20-character target: at most 16 digits are written, and the
  // status word says 16 whatever the outcome.
  template <size_t N>
  void check(EntityReader r, const Row (&rows)[N]) {
    for (const Row &row : rows) {
      SCOPED_TRACE(std::string("'") + row.text + "': " + row.why);
      Outcome o = read(r, row.text, 20, row.mode);
      EXPECT_EQ(o.rc, row.rc);
      EXPECT_EQ(o.status, 16u);
      EXPECT_EQ(o.target, row.digits ? std::string(row.digits) + untouched(4) : untouched(20));
      EXPECT_TRUE(o.guard_intact);
    }
  }
  EntityReader dui = nullptr, pdi = nullptr, vli = nullptr;
  Bcd8 bcd8 = nullptr;
};

TEST_F(EntityInformatTest, ExportedByBothAndRegisteredByNeither) {
  for (const char *name : {"is8601dui", "is8601pdi", "is8601vli", "get_bcd8", "derive_interval",
                           "compute_duration", "compute_end", "compute_start", "get_lastday"}) {
    SCOPED_TRACE(name);
    EXPECT_NE(sym(name, false), nullptr);
    EXPECT_NE(sym(name, true), nullptr);
  }
}

TEST_F(EntityInformatTest, DurationReader) {
  const Row rows[] = {
      {"PT36H", 0, 0, "0000000000002412", "single unit, hours"},
      {"P1Y2M10DT2H30M", 0, 0, "00012100230FFFFC", "component form"},
      {"  P2W  ", 0, 0, "000000000000020E", "weeks, blanks around"},
      {"2011-09-09", 0, 19, kUntouched, "a datetime: refused, nothing written"},
      {".", 0x100, 0, "FFFFFFFFFFFFFFFF", "missing-value notation"},
      {"    ", 0x100, 0, "FFFFFFFFFFFFFFFF", "blanks are the missing notation"},
      {"    ", 0, 0, "FFFFFFFFFFFFFFFF", "blank field scanned: missing duration"},
      {"    ", 0x200, 11, kUntouched, "blank field in mode 0x200"},
      {".", 0, 0, "FFFFFFFFFFFFFFFF", "a lone '.' scanned: missing duration"},
      {"P1X", 0, 1, kUntouched, "scanner problem"},
      {"P00010210T023000", 0x80, 18, kUntouched, "strict: delimiters expected"},
  };
  check(dui, rows);
}

TEST_F(EntityInformatTest, DatetimeReader) {
  const Row rows[] = {
      {"2011-09-09T12:30:45.5", 0, 0, "20119091230457D1", "fraction of a second"},
      {"20110909T123045", 0, 0, "2011909123045FFD", "mode 0: lenient"},
      {"P1Y", 0, 4, kUntouched, "a duration: refused, nothing written"},
      {".", 0x100, 0, "FFFFFFFFFFFFFFFF", "missing-value notation"},
      {"    ", 0, 0, kUntouched, "blank field scanned: missing duration, not written"},
      {"    ", 0x200, 11, kUntouched, "blank field in mode 0x200"},
      {"2011-13-01", 0, 7, kUntouched, "month out of range"},
      {"20110909T123045", 0x80, 18, kUntouched, "strict: delimiters expected"},
      {"2011-9-9", 0x200, 17, kUntouched, "strict: digit counts"},
  };
  check(pdi, rows);
}

TEST_F(EntityInformatTest, BlankWithoutMissingNotationReachesTheScanner) {
  host->set_blank_is_missing(false);
  Outcome d = read(dui, "    ", 16, 0x100);
  EXPECT_EQ(d.rc, 0u);
  EXPECT_EQ(d.target, std::string(16, 'F'));
  Outcome p = read(pdi, "    ", 16, 0x100);
  EXPECT_EQ(p.rc, 0u);
  EXPECT_EQ(p.target, untouched(16));
  EXPECT_EQ(p.status, 16u);
}

TEST_F(EntityInformatTest, IntervalReader) {
  const std::string f32(32, 'F');
  struct VRow {
    const char *text;
    int32_t mode;
    uint32_t rc;
    std::string digits;
    const char *why;
  } rows[] = {
      {"2011-01-31/P1M40D", 0, 0, "2011131FFFFFFFFDFFFF209FFFFFFFFC", "re-derived duration"},
      {"P2D", 0, 0, "1960101000000003FFFFF02FFFFFFFFC", "lone duration, reference start"},
      {"     ", 0, 13, f32, "blank"},
      {"P1D/P2D", 0, 14, f32, "two durations"},
      {"2011-09-09", 0, 16, f32, "a datetime alone"},
      {"2011-09-09/P1X", 0, 1, f32, "scanner problem"},
      {"P1M145D", 0, 7, f32, "more days than the packed form holds"},
      {".", 0x100, 0, f32, "missing-value notation"},
      {"20110909/2011-09-10", 0x80, 18, f32, "strict mode passed on"},
  };
  for (const VRow &r : rows) {
    SCOPED_TRACE(std::string("'") + r.text + "': " + r.why);
    Outcome o = read(vli, r.text, 40, r.mode);
    EXPECT_EQ(o.rc, r.rc);
    EXPECT_EQ(o.status, 32u);
    EXPECT_EQ(o.target, r.digits + untouched(8));
    EXPECT_TRUE(o.guard_intact);
  }
}

TEST_F(EntityInformatTest, TargetTooShort) {
  struct TRow {
    EntityReader reader;
    int32_t target_len;
    const char *log;
  } rows[] = {
      {dui, 15,
       "ERROR: Target location for $IS860DU has length 15 but 16 is needed."},
      {pdi, 15,
       "ERROR: Target location for $IS860PD has length 15 but 16 is needed."},
      {dui, 0,
       "ERROR: Target location for $IS860DU has length 0 but 16 is needed."},
      {pdi, -1,
       "ERROR: Target location for $IS860PD has length -1 but 16 is needed."},
      {vli, 31,
       "ERROR: Target location for $IS860VL has length 31 but 32 is needed."},
      {vli, 16,
       "ERROR: Target location for $IS860VL has length 16 but 32 is needed."},
  };
  for (const TRow &r : rows) {
    SCOPED_TRACE(r.log);
    host->clear_log();
    const char *text = r.reader == vli ? "2011-09-09/P1D" : "2011-09-09T12:30";
    Outcome o = read(r.reader, text, r.target_len, 0);
    EXPECT_EQ(o.rc, 22u);
    EXPECT_EQ(o.status, kStatusPreset);
    EXPECT_EQ(o.target, untouched(o.target.size()));
    EXPECT_TRUE(o.guard_intact);
    auto log = host->log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], r.log);
  }
}

TEST_F(EntityInformatTest, ExactTargetLengths) {
  host->clear_log();
  Outcome d = read(pdi, "2011-09-09T12:30:45.5", 16, 0);
  EXPECT_EQ(d.rc, 0u);
  EXPECT_EQ(d.target, "20119091230457D1");
  EXPECT_EQ(d.status, 16u);
  EXPECT_TRUE(d.guard_intact);
  Outcome v = read(vli, "P2D", 32, 0);
  EXPECT_EQ(v.rc, 0u);
  EXPECT_EQ(v.target, "1960101000000003FFFFF02FFFFFFFFC");
  EXPECT_EQ(v.status, 32u);
  EXPECT_TRUE(v.guard_intact);
  EXPECT_TRUE(host->log().empty());
}

TEST_F(EntityInformatTest, SharedBodyKeepsToAShortTarget) {
  // get_bcd8 itself takes any target length: it writes no more than that.
  struct BRow {
    int32_t kind, target_len;
    const char *text, *digits;
    uint32_t status;
  } rows[] = {
      {1, 10, "2011-09-09T12:30:45.5", "2011909123", 10},
      {0, 5, "PT36H", "00000", 5},
      {1, 0, "2011-09-09", "", 0},
      {0, -3, "PT36H", "", 0},
  };
  for (const BRow &r : rows) {
    SCOPED_TRACE(r.text);
    Outcome o = run([&](ifmblock *b) { return bcd8(b, r.kind, 0); }, r.text, r.target_len);
    EXPECT_EQ(o.rc, 0u);
    EXPECT_EQ(o.status, r.status);
    EXPECT_EQ(o.target, r.digits);
    EXPECT_TRUE(o.guard_intact);
  }
}

TEST_F(EntityInformatTest, ReadsOnlyTheWindow) {
  // Width shorter than the field: the bytes after the window would change the
  // answer if they were read.
  Outcome d = read(dui, "PT36HX", 16, 0, 5);
  EXPECT_EQ(d.rc, 0u);
  EXPECT_EQ(d.target, "0000000000002412");
  Outcome v = read(vli, "P2D/2011-09-09", 32, 0, 3);
  EXPECT_EQ(v.rc, 0u);
  EXPECT_EQ(v.target, "1960101000000003FFFFF02FFFFFFFFC");
  // Width longer than what is available: the field ends at the guard page.
  Outcome p = read(pdi, "2011-09-09", 16, 0, 60);
  EXPECT_EQ(p.rc, 0u);
  EXPECT_EQ(p.target, "2011909FFFFFFFFD");
  Outcome z = read(vli, "", 32, 0, 0);
  EXPECT_EQ(z.rc, 13u);
  EXPECT_EQ(z.target, std::string(32, 'F'));
}

}  // namespace
