// Per-task slot and problem diagnostics, through the host: the DEBUG switch,
// the offset text, the problem log and its once-only codes, the fill of
// n8601prob, separate slots per task and per deliverable, release at task end,
// and the failure paths (no memory, odd lookup answers).
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "support/call_block.h"
#include "support/fixture.h"
#include "support/module_api.h"

namespace {

using zbtest::GuardedField;

constexpr uint32_t kProblem = 0x8001D825u;
constexpr size_t kOffset = 28;  // offset text within the slot

using zbtest::bind_module;
using zbtest::ModuleApi;


std::string formatting(const char *msg) { return std::string("Problem with formatting: ") + msg + "."; }
std::string field_line(const std::string &field, const char *msg) {
  return "Problem with: '" + field + "': " + msg + ".";
}

// Live blocks seen by a termination routine that runs after the module's.
long g_live_at_probe = -1;
int32_t probe_term() {
  g_live_at_probe = zbhost::Host::active()->live_blocks();
  return 0;
}

// Puts another entry into a GCB vector for the life of the object.
class VectorPatch {
 public:
  VectorPatch(gcb *g, unsigned v, unsigned s, gcb_entry e) : at_(&g->vectors[v][s]), old_(*at_) {
    *at_ = e;
  }
  ~VectorPatch() { *at_ = old_; }

 private:
  gcb_entry *at_;
  gcb_entry old_;
};

uint32_t g_odd_answer = 0;
uint32_t odd_lookup(name_table *, int32_t, const char *, int32_t, uint32_t *handle,
                    name_pages *table) {
  *handle = 1;
  *table = nullptr;  // answered 0 below: bound, but no table to reach the entry
  return g_odd_answer;
}

// Host steps that refuse: no entry made, nothing stored.
int32_t refuse_entry(name_table *, uint32_t *, int32_t, uint64_t) { return 0x80008022; }
int32_t refuse_store(name_table *, uint32_t, void *) { return 0x80008021; }

class DiagTest : public zbtest::ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    if (HasFatalFailure()) return;
    for (bool m : {false, true}) {
      std::string missing;
      ASSERT_TRUE(bind_module(m ? *mor : *zel, &api_[m], &missing)) << missing;
    }
    first_ = host->current_task();
  }
  // Tasks end while the modules are loaded: ending one runs their routines.
  void TearDown() override {
    for (task_context *t : tasks_) host->end_task(t);
    ModuleTest::TearDown();
  }

  const ModuleApi &api(bool morvista = false) { return api_[morvista]; }

  task_context *enter_task() {
    task_context *t = host->new_task();
    tasks_.push_back(t);
    host->switch_task(t);
    return t;
  }

  // A fresh task whose slot (zelbrant's) is made with DEBUG as given.
  void task_with_debug(std::optional<std::string> debug, bool morvista = false) {
    enter_task();
    set_debug(debug);
    api(morvista).uwxn8601_init();
  }

  void set_debug(const std::optional<std::string> &debug) {
    if (debug)
      host->set_option("DEBUG", *debug);
    else
      host->clear_option("DEBUG");
  }

  std::string offset(task_context *t = nullptr, bool morvista = false) {
    ifmblock blk{};
    blk.task = t;
    return std::string(api(morvista).get_gmt_offsetc(&blk), 6);
  }

  // The slot bytes, found through the offset text's place in the slot.
  const uint8_t *slot(bool morvista = false) {
    ifmblock blk{};
    return reinterpret_cast<const uint8_t *>(api(morvista).get_gmt_offsetc(&blk)) - kOffset;
  }

  // n8601prob on the field "abc" with a target of 8 bytes.
  uint32_t prob(int32_t code, bool morvista = false, int32_t fill = 0) {
    GuardedField field("abc");
    char target[8];
    ifmblock blk{};
    blk.width = 3;
    blk.input = field.data();
    blk.avail = 3;
    blk.target = target;
    blk.target_len = 8;
    return api(morvista).n8601prob(&blk, fill, code);
  }

  // The bytes of the name-table entry that key is bound to, or null.
  void *bound(const char *key) {
    auto lookup = reinterpret_cast<svc_xytngl>(host->gcb_ptr()->vectors[30][166]);
    uint32_t handle = 0;
    name_pages table = nullptr;
    uint32_t rc = lookup(host->current_task()->names, 0, key, 14, &handle, &table);
    return rc == 0 ? table[handle >> 16][handle & 0xFFFF] : nullptr;
  }

  ModuleApi api_[2];
  task_context *first_ = nullptr;
  std::vector<task_context *> tasks_;
};

TEST_F(DiagTest, DebugOptionSetsTheSwitch) {
  struct Row {
    std::optional<std::string> debug;
    bool on;
    const char *why;
  } rows[] = {
      {"N8601DIAG", true, "the word alone"},
      {"n8601diag", true, "any letter case"},
      {"XYZ,N8601Diag,ABC", true, "among other words"},
      {"abN8601DIAG", true, "ends the value"},
      {"NN8601DIAG", true, "after an N that does not start it"},
      {"N8601DIA", false, "8 characters"},
      {"N8601_DIAG", false, "not the word"},
      {"xN8601DIA", false, "9 characters, the word cut off"},
      {"", false, "empty"},
      {std::nullopt, false, "unset"},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.why);
    task_with_debug(r.debug);
    EXPECT_EQ(slot()[0], r.on ? 1 : 0);
    host->clear_log();
    EXPECT_EQ(prob(7), kProblem);
    EXPECT_EQ(host->log().size(), r.on ? 1u : 0u);
  }
}

TEST_F(DiagTest, SwitchStaysOnOnceSet) {
  task_with_debug("N8601DIAG");
  for (std::optional<std::string> later : {std::optional<std::string>{"N8601DIA"},
                                           std::optional<std::string>{}}) {
    set_debug(later);
    api().uwxn8601_init();
    EXPECT_EQ(slot()[0], 1);
  }
}

TEST_F(DiagTest, OffsetText) {
  struct Row {
    double seconds;
    const char *text;
    const char *why;
  } rows[] = {
      {-18000, "-05:00", "west"},
      {19800, "+05:30", "east, half hour"},
      {0, "+00:00", "GMT"},
      {-1800, "-00:30", "west, under an hour"},
      {3599, "+00:59", "leftover seconds dropped"},
      {50400, "+14:00", "widest real offset"},
      {-1800.9, "-00:30", "truncated to whole seconds"},
      {-59, "-00:00", "sign from the seconds, minutes from the rest"},
      {-0.9, "+00:00", "truncates to 0"},
      {400000, "+99:59", "over 99 hours held to two digits"},
      {-1e300, "-99:59", "far out of range"},
      {std::nan(""), "+00:00", "not a number"},
  };
  enter_task();
  EXPECT_EQ(offset(), "      ") << "no slot before uwxn8601_init";
  for (const Row &r : rows) {
    SCOPED_TRACE(r.why);
    host->set_gmt_offset(r.seconds);
    api().uwxn8601_init();  // a later init rewrites the text
    EXPECT_EQ(offset(), r.text);
  }
}

TEST_F(DiagTest, OffsetOfTheBlocksTask) {
  task_context *a = enter_task();
  host->set_gmt_offset(-3600);
  api().uwxn8601_init();
  task_context *b = enter_task();
  host->set_gmt_offset(7200);
  api().uwxn8601_init();
  task_context *none = host->new_task();
  tasks_.push_back(none);
  EXPECT_EQ(offset(a), "-01:00");
  EXPECT_EQ(offset(b), "+02:00");
  EXPECT_EQ(offset(nullptr), "+02:00") << "null: the current task";
  EXPECT_EQ(offset(none), "      ");
  EXPECT_EQ(offset(first_), "      ");
}

TEST_F(DiagTest, MessagesAndLogForms) {
  struct Row {
    int32_t code;
    std::string line;
  } rows[] = {
      {1, field_line("abc", "too many digits with no delimiters")},
      {2, field_line("abc", "number not found where expected")},
      {3, field_line("abc", "4-digit year not seen where expected")},
      {4, field_line("abc", "YMDHMSW chars seen in datetime spec")},
      {5, field_line("abc", "YMDHMSW chars not seen where expected")},
      {6, field_line("abc", "YMDHMSW chars seen out of order")},
      {7, field_line("abc", "an element was out of range")},
      {8, field_line("abc", "invalid datetime value")},
      {9, field_line("abc", "invalid GMT offset")},
      {10, field_line("abc", "extra chars after specification")},
      {11, field_line("abc", "all blank")},
      {12, field_line("abc", "not expected delimiter")},
      {13, field_line("abc", "interval is blank")},
      {14, field_line("abc", "interval has 2 durations")},
      {15, field_line("abc", "start datetime > end datetime in intvl")},
      {16, field_line("abc", "interval has 1 component - datetime")},
      {17, field_line("abc", "ISO strict - must be right number of digs")},
      {18, field_line("abc", "ISO strict - delimiters expected")},
      {19, field_line("abc", "Leading character P expected")},
      {20, field_line("abc", "multiple fractions encountered")},
      {21, field_line("abc", "T missing before H or S component")},
      {22, formatting("informat target not 32 (intvl) or 16")},
      {23, field_line("abc", "T found before day component")},
      {24, formatting("Entity less than length 16")},
      {25, field_line("abc", "Entity must have 16 or 32 hex digits")},
      {26, field_line("abc", "Entity contains non-hex digits")},
      {27, formatting("Insufficient room to format the result")},
  };
  task_with_debug("N8601DIAG");
  for (const Row &r : rows) {
    SCOPED_TRACE(r.code);
    host->clear_log();
    EXPECT_EQ(prob(r.code), kProblem);
    EXPECT_EQ(host->log(), std::vector<std::string>{r.line});
    EXPECT_EQ(slot()[r.code], 1) << "marker set";
  }
}

TEST_F(DiagTest, UnknownCodesLogButMarkNothing) {
  task_with_debug("N8601DIAG");
  std::string before(reinterpret_cast<const char *>(slot()), 34);
  for (int32_t code : {28, -1, 100, std::numeric_limits<int32_t>::min(),
                       std::numeric_limits<int32_t>::max()}) {
    SCOPED_TRACE(code);
    host->clear_log();
    EXPECT_EQ(prob(code), kProblem);
    EXPECT_EQ(host->log(), std::vector<std::string>{field_line("abc", "Unknown reason")});
  }
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(slot()), 34), before);
}

TEST_F(DiagTest, OnceOnlyCodesAndTheirReset) {
  task_with_debug("N8601DIAG");
  for (int32_t code : {22, 22, 24, 24, 27, 27, 7, 7}) prob(code);
  std::vector<std::string> expect = {
      formatting("informat target not 32 (intvl) or 16"),
      formatting("Entity less than length 16"),
      formatting("Insufficient room to format the result"),
      formatting("Insufficient room to format the result"),
      field_line("abc", "an element was out of range"),
      field_line("abc", "an element was out of range"),
  };
  EXPECT_EQ(host->log(), expect);
  api().uwxn8601_init();
  for (int i = 1; i <= 27; ++i) EXPECT_EQ(slot()[i], 0) << "marker " << i << " cleared";
  host->clear_log();
  prob(22);
  prob(24);
  EXPECT_EQ(host->log().size(), 2u) << "logged once more after init";
}

TEST_F(DiagTest, FillStatusAndResult) {
  enum Slot { kNone, kOff, kOn };
  struct Row {
    Slot slot;
    int32_t fill, code, width, target_len;
    uint32_t rc;
    int32_t n;  // bytes filled and status; -1: status and target untouched
    char ch;
    size_t lines;
    const char *why;
  } rows[] = {
      {kOff, 0, 7, 10, 16, kProblem, 10, 'F', 0, "off, selector 0"},
      {kOff, 1, 7, 10, 16, kProblem, 10, '*', 0, "off, selector 1"},
      {kOff, 2, 7, 10, 16, kProblem, 10, 'F', 0, "any other selector"},
      {kOff, -1, 99, 10, 16, kProblem, 10, 'F', 0, "unknown code fills too"},
      {kOn, 1, 7, 10, 16, kProblem, 10, '*', 1, "on: logged and filled"},
      {kNone, 1, 7, 10, 16, kProblem, 10, '*', 0, "no slot: filled, nothing logged"},
      {kOn, 1, 0, 10, 16, 0, -1, 0, 0, "code 0 does nothing"},
      {kOff, 0, 0, 10, 16, 0, -1, 0, 0, "code 0 does nothing, off"},
      {kOff, 0, 7, 16, 4, kProblem, 4, 'F', 0, "target shorter than width"},
      {kOff, 0, 7, 0, 16, kProblem, 0, 'F', 0, "width 0"},
      {kOff, 0, 7, -5, 16, kProblem, 0, 'F', 0, "negative width fills nothing"},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.why);
    if (r.slot == kNone)
      enter_task();
    else
      task_with_debug(r.slot == kOn ? "N8601DIAG" : "");
    host->clear_log();
    // The target ends at a guard page: a fill past its length faults.
    GuardedField target(std::string(static_cast<size_t>(r.target_len), '.'));
    GuardedField field("abc");
    ifmblock blk = zbtest::call_block(field.data(), r.width, 3, target.data(), r.target_len);
    blk.status = 0xABCD;
    EXPECT_EQ(api().n8601prob(&blk, r.fill, r.code), r.rc);
    int32_t n = r.n < 0 ? 0 : r.n;
    std::string want = std::string(static_cast<size_t>(n), r.ch) +
                       std::string(static_cast<size_t>(r.target_len - n), '.');
    EXPECT_EQ(std::string(target.data(), target.size()), want);
    EXPECT_EQ(blk.status, r.n < 0 ? 0xABCDu : static_cast<uint32_t>(r.n));
    EXPECT_EQ(host->log().size(), r.lines);
  }
}

TEST_F(DiagTest, FieldLoggedWithinItsLength) {
  struct Row {
    std::string text;
    int32_t avail;
    bool null_input;
    std::string shown;
    const char *why;
  } rows[] = {
      {"P1Y2M", 5, false, "P1Y2M", "whole field, ends at a guard page"},
      {"P1Y2M", 3, false, "P1Y", "available length, not the text"},
      {"", 0, true, "", "no field"},
      {"P1Y2M", -4, false, "", "negative length reads nothing"},
      {std::string(300, 'x'), 300, false, std::string(300, 'x'), "long field"},
      {"P1Y2M", 5, false, "P1", "width shorter than the available length"},
  };
  task_with_debug("N8601DIAG");
  for (const Row &r : rows) {
    SCOPED_TRACE(r.why);
    host->clear_log();
    GuardedField field(r.text);
    char target[4];
    ifmblock blk = zbtest::call_block(r.null_input ? nullptr : field.data(),
                                      std::string_view(r.why).starts_with("width") ? 2 : 1000,
                                      r.avail, target, 4);
    api().n8601prob(&blk, 0, 2);
    EXPECT_EQ(host->log(),
              std::vector<std::string>{field_line(r.shown, "number not found where expected")});
  }
}

TEST_F(DiagTest, TasksKeepSeparateSlots) {
  task_context *a = enter_task();
  set_debug("N8601DIAG");
  api().uwxn8601_init();
  const uint8_t *slot_a = slot();
  task_context *b = enter_task();
  set_debug(std::nullopt);
  api().uwxn8601_init();
  EXPECT_NE(slot(), slot_a);
  prob(7);
  EXPECT_TRUE(host->log().empty()) << "b has diagnostics off";

  host->switch_task(a);
  prob(22);
  EXPECT_EQ(host->log().size(), 1u);
  host->switch_task(b);
  set_debug("N8601DIAG");
  api().uwxn8601_init();
  prob(22);
  EXPECT_EQ(host->log().size(), 2u) << "a's marker is not b's";
  host->switch_task(a);
  prob(22);
  EXPECT_EQ(host->log().size(), 2u);
}

TEST_F(DiagTest, DeliverablesKeepSeparateSlotsUnderOwnKeys) {
  enter_task();
  set_debug("N8601DIAG");
  api(false).uwxn8601_init();
  set_debug(std::nullopt);
  api(true).uwxn8601_init();
  EXPECT_EQ(bound("__FMT_ZELBRANT"), slot(false));
  EXPECT_EQ(bound("__FMT_MORVISTA"), slot(true));
  EXPECT_NE(slot(false), slot(true));
  prob(7, true);
  EXPECT_TRUE(host->log().empty()) << "morvista's switch is off";
  prob(7, false);
  EXPECT_EQ(host->log().size(), 1u) << "zelbrant's is on";
  auto alloc = host->last_allocation();
  ASSERT_TRUE(alloc);
  EXPECT_EQ(alloc->allocator, "task");
  EXPECT_EQ(alloc->size, 34u);
  EXPECT_EQ(alloc->flags, 0x3006u);
}

// Both modules' slots are gone by the time a routine registered before them
// runs at task end (the host runs the latest registration first).
TEST_F(DiagTest, SlotsReleasedWhenTasksEnd) {
  auto vir2g = reinterpret_cast<svc_vir2g>(host->gcb_ptr()->vectors[0][76]);
  long base = host->live_blocks();
  for (int i = 0; i < 1000; ++i) {
    task_context *t = host->new_task();
    host->switch_task(t);
    uint64_t token = 0;
    vir2g(probe_term, &token, t->names, host->pidb());
    api(false).uwxn8601_init();
    api(true).uwxn8601_init();
    ASSERT_EQ(host->live_blocks(), base + 2);
    host->switch_task(first_);
    g_live_at_probe = -1;
    host->end_task(t);
    ASSERT_EQ(g_live_at_probe, base) << "task " << i;
  }
  EXPECT_EQ(host->live_blocks(), base);
  EXPECT_EQ(host->bad_frees(), 0);
}

svc_vir2g g_real_vir2g = nullptr;
int g_vir2g_calls = 0;
int32_t counting_vir2g(term_routine r, uint64_t *token, name_table *names, void *pidb) {
  ++g_vir2g_calls;
  return g_real_vir2g(r, token, names, pidb);
}

// A slot released within the task and made again by a later init lives under
// the entry made at the first init, whose termination routine is registered
// already: it is released at task end like the first, with no second
// registration, and the allocator accounting balances over 1,000 cycles.
TEST_F(DiagTest, SlotMadeAgainAfterReleaseGoesAtTaskEnd) {
  g_real_vir2g = reinterpret_cast<svc_vir2g>(host->gcb_ptr()->vectors[0][76]);
  const long base = host->live_blocks(), made = host->allocations();
  task_context *t = host->new_task();
  host->switch_task(t);
  uint64_t token = 0;
  g_real_vir2g(probe_term, &token, t->names, host->pidb());  // runs after the module's
  {
    VectorPatch patch(host->gcb_ptr(), 0, 76, reinterpret_cast<gcb_entry>(counting_vir2g));
    g_vir2g_calls = 0;
    api().uwxn8601_init();
    ASSERT_EQ(host->live_blocks(), base + 1);
    for (int i = 0; i < 1000; ++i) {
      ASSERT_EQ(api().uwxn8601_term(), 0);
      ASSERT_EQ(host->live_blocks(), base) << "cycle " << i;
      ASSERT_EQ(offset(), "      ");
      api().uwxn8601_init();
      ASSERT_EQ(host->live_blocks(), base + 1) << "cycle " << i;
      ASSERT_NE(offset(), "      ");
    }
    EXPECT_EQ(g_vir2g_calls, 1) << "one registration for the entry";
  }
  EXPECT_EQ(host->allocations() - made, 1001);
  host->switch_task(first_);
  g_live_at_probe = -1;
  host->end_task(t);
  EXPECT_EQ(g_live_at_probe, base) << "the last slot went back at task end";
  EXPECT_EQ(host->live_blocks(), base);
  EXPECT_EQ(host->bad_frees(), 0);
}

TEST_F(DiagTest, ReleasedSlotIsNeverUsed) {
  task_with_debug("N8601DIAG");
  long live = host->live_blocks();
  EXPECT_EQ(api().uwxn8601_term(), 0);
  EXPECT_EQ(host->live_blocks(), live - 1);
  EXPECT_EQ(offset(), "      ");
  EXPECT_EQ(prob(7), kProblem);
  EXPECT_TRUE(host->log().empty());
  EXPECT_EQ(api().uwxn8601_term(), 0) << "nothing left to release";
  EXPECT_EQ(host->bad_frees(), 0);
  api().uwxn8601_init();  // a new slot under the same key
  EXPECT_EQ(host->live_blocks(), live);
  EXPECT_NE(offset(), "      ");
  prob(7);
  EXPECT_EQ(host->log().size(), 1u);
  {
    // A host that will not clear the entry: the slot stays, still usable.
    VectorPatch patch(host->gcb_ptr(), 0, 192, reinterpret_cast<gcb_entry>(refuse_store));
    EXPECT_EQ(api().uwxn8601_term(), 0);
  }
  EXPECT_EQ(host->live_blocks(), live);
  prob(7);
  EXPECT_EQ(host->log().size(), 2u);
}

TEST_F(DiagTest, FailedSlotAllocationLeavesNoSlot) {
  enter_task();
  set_debug("N8601DIAG");
  long live = host->live_blocks();
  host->fail_allocations_after(0);
  api().uwxn8601_init();
  host->fail_allocations_after(-1);
  EXPECT_EQ(host->live_blocks(), live);
  EXPECT_EQ(offset(), "      ");
  EXPECT_EQ(prob(7), kProblem);
  EXPECT_TRUE(host->log().empty());
  EXPECT_EQ(api().uwxn8601_term(), 0);
  api().uwxn8601_init();  // memory again: the slot is made now
  EXPECT_EQ(host->live_blocks(), live + 1);
  prob(7);
  EXPECT_EQ(host->log().size(), 1u);
}

TEST_F(DiagTest, OddLookupAnswersLeaveThingsAlone) {
  enter_task();
  set_debug("N8601DIAG");
  for (uint32_t answer : {0x80008020u, 0x80000001u, 0u}) {
    SCOPED_TRACE(answer);
    g_odd_answer = answer;
    long live = host->live_blocks(), made = host->allocations();
    {
      VectorPatch patch(host->gcb_ptr(), 30, 166, reinterpret_cast<gcb_entry>(odd_lookup));
      api().uwxn8601_init();
      EXPECT_EQ(offset(), "      ");
      EXPECT_EQ(prob(7), kProblem);
      EXPECT_EQ(api().uwxn8601_term(), 0);
    }
    EXPECT_EQ(host->allocations(), made);
    EXPECT_EQ(host->live_blocks(), live);
    EXPECT_TRUE(host->log().empty());
    EXPECT_EQ(bound("__FMT_ZELBRANT"), nullptr) << "nothing bound";
  }
}

TEST_F(DiagTest, RefusedStepsMakeNoSlot) {
  struct Row {
    unsigned v, s;
    gcb_entry fake;
    const char *why;
  } rows[] = {
      {0, 190, reinterpret_cast<gcb_entry>(refuse_entry), "no entry: key not bound elsewhere"},
      {0, 192, reinterpret_cast<gcb_entry>(refuse_store), "slot not stored: block returned"},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.why);
    enter_task();
    set_debug("N8601DIAG");
    long live = host->live_blocks();
    {
      VectorPatch patch(host->gcb_ptr(), r.v, r.s, r.fake);
      api().uwxn8601_init();
    }
    EXPECT_EQ(host->live_blocks(), live);
    EXPECT_EQ(offset(), "      ");
    EXPECT_EQ(prob(7), kProblem);
    EXPECT_TRUE(host->log().empty());
    api().uwxn8601_init();  // the host cooperates again
    EXPECT_EQ(host->live_blocks(), live + 1);
    EXPECT_NE(offset(), "      ");
    host->clear_log();
  }
}

}  // namespace
