// The stand-in host: its GCB, every service of vectors 0 and 30 called
// through the GCB's vector entries, allocators, tasks and module loading.
#include <dlfcn.h>
#include <stdarg.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "host.h"
#include "support/call_block.h"
#include "support/guard.h"

namespace {

using zbhost::Host;

template <class F>
F svc(Host &h, unsigned v, unsigned s) {
  return reinterpret_cast<F>(h.gcb_ptr()->vectors[v][s]);
}

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host = std::make_unique<Host>();
    host->capture_log(true);
    host->set_exit_returns(true);
  }
  void TearDown() override { host.reset(); }

  // Calls xpslog through the GCB as the module's binding does.
  void log(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    svc<svc_xpslog>(*host, SVC_XPSLOG)(fmt, ap);
    va_end(ap);
  }
  std::string last_line() {
    auto l = host->log();
    return l.empty() ? "<no line>" : l.back();
  }

  std::unique_ptr<Host> host;
};

// --- the GCB ----------------------------------------------------------------

TEST_F(HostTest, GcbCarriesTablesAllocatorsAndCurrentTask) {
  gcb *g = host->gcb_ptr();
  EXPECT_STREQ(g->eye, "GCB");
  for (int v = 0; v < GCB_VECTORS; ++v) EXPECT_EQ(g->marks[v], 0xFF) << v;
  EXPECT_NE(g->reg_alloc, nullptr);
  EXPECT_NE(g->pool, nullptr);
  EXPECT_NE(g->runtime_handle, nullptr);
  for (int c = 0; c < 256; ++c) {
    SCOPED_TRACE(c);
    EXPECT_EQ(g->upcase[c], c >= 'a' && c <= 'z' ? c - 32 : c);
    EXPECT_EQ((g->ctype[c] & GCB_CTYPE_DIGIT) != 0, c >= '0' && c <= '9');
  }
  task_context *t = g->current_task;
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t, host->current_task());
  EXPECT_STREQ(t->eye, "TASKCTX");
  ASSERT_NE(t->names, nullptr);
  EXPECT_NE(t->names->alloc, nullptr);
  // The locale is the first object along the chain that carries tables.
  const locale_tables *tables = nullptr;
  for (task_object *o = t->objects; o && !tables; o = o->next) tables = o->tables;
  ASSERT_NE(tables, nullptr);
  locale_tables def = Host::default_locale();
  EXPECT_EQ(std::memcmp(tables, &def, sizeof def), 0);
}

TEST_F(HostTest, EveryServiceSlotIsFilled) {
  const unsigned slots[][2] = {
      {SVC_VIR2G},   {SVC_WTRSCRT}, {SVC_WTRSSET}, {SVC_WZDTGMT}, {SVC_WZFMHC},  {SVC_WZIFMCH},
      {SVC_WZIFMN},  {SVC_WZRLCHR}, {SVC_XEXIT},   {SVC_XOPTCGT}, {SVC_XPSLOG},  {SVC_XYTNSL},
      {SVC_XYTNGL},  {SVC_ZDATPRT}, {SVC_ZDAY},    {SVC_ZDHMS},   {SVC_ZHMS},    {SVC_ZHOUR},
      {SVC_ZJULDAT}, {SVC_ZMDY},    {SVC_ZMINUTE}, {SVC_ZMONTH},  {SVC_ZSECOND}, {SVC_ZTIMPRT},
      {SVC_ZYEAR},   {SVC_ZYMDJUL}};
  for (auto &s : slots) EXPECT_NE(host->gcb_ptr()->vectors[s[0]][s[1]], nullptr) << s[0] << "/" << s[1];
  EXPECT_EQ(host->gcb_ptr()->vectors[1], nullptr);
}

TEST_F(HostTest, OneHostAtATime) {
  EXPECT_EQ(Host::active(), host.get());
  EXPECT_THROW(Host second, std::logic_error);
  EXPECT_EQ(Host::active(), host.get());
  host.reset();
  EXPECT_EQ(Host::active(), nullptr);
  Host again;
  EXPECT_EQ(Host::active(), &again);
}

// --- field services -------------------------------------------------------------

TEST_F(HostTest, WzifmchRecognisesMissingNotation) {
  struct Row {
    const char *text;
    bool blank_is_missing;
    int32_t rc;
    const char *why;
  } rows[] = {
      {".", true, 1, "lone point"},
      {"  .   ", true, 1, "point among blanks"},
      {"", true, 1, "empty field"},
      {"    ", true, 1, "blanks alone"},
      {"", false, 0, "empty, blanks not missing"},
      {"   ", false, 0, "blanks, blanks not missing"},
      {" . ", false, 1, "the point counts either way"},
      {"..", true, 0, "two points"},
      {". .", true, 0, "points apart"},
      {".5", true, 0, "a number"},
      {"0", true, 0, "a digit"},
      {"\t.", true, 0, "a tab is no blank"},
  };
  auto f = svc<svc_wzifmch>(*host, SVC_WZIFMCH);
  for (const Row &r : rows) {
    SCOPED_TRACE(r.why);
    host->set_blank_is_missing(r.blank_is_missing);
    zbtest::GuardedField field(r.text);
    double target = 42;
    EXPECT_EQ(f(field.data(), static_cast<int32_t>(field.size()), &target), r.rc);
    if (r.rc == 1)
      EXPECT_TRUE(ifm_is_missing(target));
    else
      EXPECT_EQ(target, 42);
  }
}

TEST_F(HostTest, WzrlchrReadsLeadingDigits) {
  struct Row {
    const char *text;
    int32_t len;  // -1: the text's length
    int32_t rc, used;
    int64_t value;
    const char *why;
  } rows[] = {
      {"2011", -1, 0, 4, 2011, "whole field"},
      {"09-09", -1, 0, 2, 9, "stops at the first non-digit"},
      {"12345", 3, 0, 3, 123, "stops at the length"},
      {"007", -1, 0, 3, 7, "leading zeros"},
      {"9223372036854775807", -1, 0, 19, INT64_MAX, "largest value"},
      {"9223372036854775808", -1, zbhost::kOverflow, 0, 0, "one past it"},
      {"99999999999999999999", -1, zbhost::kOverflow, 0, 0, "twenty digits"},
      {"x1", -1, zbhost::kNoDigit, 0, 0, "no leading digit"},
      {"-5", -1, zbhost::kNoDigit, 0, 0, "no sign"},
      {" 5", -1, zbhost::kNoDigit, 0, 0, "no blank"},
      {"5", 0, zbhost::kNoDigit, 0, 0, "length 0"},
  };
  auto f = svc<svc_wzrlchr>(*host, SVC_WZRLCHR);
  for (const Row &r : rows) {
    SCOPED_TRACE(r.why);
    zbtest::GuardedField field(r.text);
    int32_t len = r.len < 0 ? static_cast<int32_t>(field.size()) : r.len;
    int32_t used = -7;
    int64_t value = -7;
    EXPECT_EQ(f(field.data(), len, 0, &used, &value), r.rc);
    EXPECT_EQ(used, r.rc == 0 ? r.used : -7);
    EXPECT_EQ(value, r.rc == 0 ? r.value : -7);
  }
}

// Runs of two and four characters, the ones dates and times hand over, are
// read on a shorter way: every text of one to five characters over digits
// and their neighbours must read as digit-by-digit counting says, with the
// length at, below and above each run.
TEST_F(HostTest, WzrlchrShortRunsAsDigitByDigit) {
  auto f = svc<svc_wzrlchr>(*host, SVC_WZRLCHR);
  const std::string alphabet = "0379/:a";
  std::vector<std::string> texts = {""};
  for (int size = 1; size <= 5; ++size) {
    std::vector<std::string> longer;
    for (const std::string &t : texts)
      if (static_cast<int>(t.size()) == size - 1)
        for (char c : alphabet) longer.push_back(t + c);
    texts.insert(texts.end(), longer.begin(), longer.end());
  }
  for (const std::string &t : texts) {
    for (int32_t len = 1; len <= static_cast<int32_t>(t.size()); ++len) {
      SCOPED_TRACE("'" + t + "' length " + std::to_string(len));
      int32_t want_used = 0;
      int64_t want_value = 0;
      while (want_used < len && t[want_used] >= '0' && t[want_used] <= '9')
        want_value = want_value * 10 + (t[want_used++] - '0');
      zbtest::GuardedField field(t);
      int32_t used = -7;
      int64_t value = -7;
      const int32_t rc = f(field.data(), len, 0, &used, &value);
      if (want_used == 0) {
        EXPECT_EQ(rc, zbhost::kNoDigit);
        EXPECT_EQ(used, -7);
        continue;
      }
      EXPECT_EQ(rc, 0);
      EXPECT_EQ(used, want_used);
      EXPECT_EQ(value, want_value);
    }
  }
}

TEST_F(HostTest, WzifmnReadsTheWindowOnly) {
  struct Row {
    const char *text;
    int32_t width, avail;  // -1: the text's length
    uint32_t rc;
    double value;
    const char *why;
  } rows[] = {
      {"45", -1, -1, 0, 45, "digits"},
      {"45.25", -1, -1, 0, 45.25, "fraction"},
      {" -1.5 ", -1, -1, 0, -1.5, "blanks and sign"},
      {"+7", -1, -1, 0, 7, "plus sign"},
      {".5", -1, -1, 0, 0.5, "point first"},
      {"5.", -1, -1, 0, 5, "point last"},
      {"12345", 3, -1, 0, 123, "width cuts the window"},
      {"12345", 10, 2, 0, 12, "available length cuts it"},
      {"1.2.3", -1, -1, IFM_INVALID_DATA, 0, "two points"},
      {"1e5", -1, -1, IFM_INVALID_DATA, 0, "no exponent"},
      {"- 5", -1, -1, IFM_INVALID_DATA, 0, "blank after sign"},
      {".", -1, -1, IFM_INVALID_DATA, 0, "no digit"},
      {"   ", -1, -1, IFM_INVALID_DATA, 0, "blanks"},
      {"", -1, -1, IFM_INVALID_DATA, 0, "empty"},
      {"12", -5, -1, IFM_INVALID_DATA, 0, "negative width"},
  };
  auto f = svc<svc_wzifmn>(*host, SVC_WZIFMN);
  for (const Row &r : rows) {
    SCOPED_TRACE(r.why);
    zbtest::GuardedField field(r.text);
    int32_t n = static_cast<int32_t>(field.size());
    // Bytes past a cut window are digits that would change the value; a
    // whole-field window ends at the guard page.
    double target = 42;
    ifmblock blk = zbtest::call_block(field.data(), r.width == -1 ? n : r.width,
                                      r.avail < 0 ? n : r.avail, &target, 8);
    EXPECT_EQ(f(&blk), r.rc);
    EXPECT_EQ(target, r.rc == 0 ? r.value : 42);
  }
}

TEST_F(HostTest, WzfmhcWritesAtMostOutlen) {
  const unsigned char bytes[] = {0x01, 0xAB, 0xFF, 0x00};
  struct Row {
    int32_t count, outlen;
    int32_t rc;
    const char *out;
  } rows[] = {
      {4, 8, 0, "01ABFF00"},
      {4, 10, 0, "01ABFF00"},
      {4, 5, 1, "01ABF"},
      {2, 4, 0, "01AB"},
      {0, 4, 0, ""},
  };
  auto f = svc<svc_wzfmhc>(*host, SVC_WZFMHC);
  for (const Row &r : rows) {
    SCOPED_TRACE(r.out);
    char out[16];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(f(bytes, r.count, r.outlen, 1, out), r.rc);
    size_t n = std::strlen(r.out);
    EXPECT_EQ(std::string(out, n), r.out);
    EXPECT_EQ(out[n], '#') << "wrote past the digits";
  }
}

TEST_F(HostTest, WzdtgmtGivesTheSettingOrTheSystemOffset) {
  auto f = svc<svc_wzdtgmt>(*host, SVC_WZDTGMT);
  double d = 0;
  host->set_gmt_offset(19800);
  f(&d);
  EXPECT_EQ(d, 19800);
  host->set_gmt_offset(-18000);
  f(&d);
  EXPECT_EQ(d, -18000);
  host->set_gmt_offset(std::nullopt);
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  f(&d);
  EXPECT_EQ(d, static_cast<double>(local.tm_gmtoff));
}

// --- options, log, exit ------------------------------------------------------

TEST_F(HostTest, XoptcgtValuesStayValid) {
  auto f = svc<svc_xoptcgt>(*host, SVC_XOPTCGT);
  int32_t status = 0;
  EXPECT_STREQ(f("DEBUG", &status), "");
  EXPECT_NE(status, 0);
  host->set_option("DEBUG", "N8601DIAG");
  const char *v = f("DEBUG", &status);
  EXPECT_EQ(status, 0);
  EXPECT_STREQ(v, "N8601DIAG");
  EXPECT_STREQ(f("debug", &status), "N8601DIAG") << "option names ignore case";
  host->set_option("DEBUG", "OTHER");
  EXPECT_STREQ(f("DEBUG", &status), "OTHER");
  EXPECT_STREQ(v, "N8601DIAG") << "an earlier value text stays readable";
  host->clear_option("DEBUG");
  EXPECT_STREQ(f("DEBUG", &status), "");
  EXPECT_NE(status, 0);
}

TEST_F(HostTest, XpslogFormatsOneLine) {
  log("%d and %d", 42, -7);
  EXPECT_EQ(last_line(), "42 and -7");
  log("%s: 100%%", "done");
  EXPECT_EQ(last_line(), "done: 100%");
  log("%u %x %c", 7u, 255u, 'Z');
  EXPECT_EQ(last_line(), "7 ff Z");
  log("unknown %q stays");
  EXPECT_EQ(last_line(), "unknown %q stays");
  log("trailing newline\n");
  EXPECT_EQ(last_line(), "trailing newline");
  log("%s", static_cast<const char *>(nullptr));
  EXPECT_EQ(last_line(), "(null)");
  EXPECT_EQ(host->log().size(), 6u);
  host->clear_log();
  EXPECT_TRUE(host->log().empty());
}

TEST_F(HostTest, XpslogReadsACountedTextNoFurther) {
  // The field ends where an inaccessible page begins: a formatter that looked
  // for a NUL would fault.
  zbtest::GuardedField field("2011-13-09T12");
  int len = static_cast<int>(field.size());
  log("Problem with: '%*s': %s.", len, field.data(), "invalid datetime value");
  EXPECT_EQ(last_line(), "Problem with: '2011-13-09T12': invalid datetime value.");
  log("[%*s]", 4, field.data());
  EXPECT_EQ(last_line(), "[2011]");
  log("[%.*s]", 7, field.data());
  EXPECT_EQ(last_line(), "[2011-13]");
  log("[%*s]", 0, field.data());
  EXPECT_EQ(last_line(), "[]");
  log("[%*s]", -3, field.data());
  EXPECT_EQ(last_line(), "[]");
}

TEST_F(HostTest, XpslogEchoesToStderrUnlessCapturing) {
  host->capture_log(false);
  testing::internal::CaptureStderr();
  log("echoed %d", 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "echoed 1\n");
  host->capture_log(true);
  testing::internal::CaptureStderr();
  log("kept %d", 2);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(last_line(), "kept 2");
}

TEST_F(HostTest, XexitReturnsOnATestHost) {
  svc<svc_xexit>(*host, SVC_XEXIT)(1016, 0);
  ASSERT_EQ(host->exits().size(), 1u);
  EXPECT_EQ(host->exits()[0], std::make_pair(int32_t{1016}, int32_t{0}));
}

int32_t term_says_so() {
  std::fputs("termination routine ran\n", stderr);
  return 0;
}

TEST_F(HostTest, XexitEndsTaskAndProcessByDefault) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  host->set_exit_returns(false);
  auto end_through_xexit = [this] {
    uint64_t token = 0;
    svc<svc_vir2g>(*host, SVC_VIR2G)(term_says_so, &token, host->current_task()->names,
                                     host->pidb());
    svc<svc_xexit>(*host, SVC_XEXIT)(1016, 0);
  };
  EXPECT_EXIT(end_through_xexit(), testing::ExitedWithCode(3),
              "xexit\\(1016, 0\\)(.|\n)*termination routine ran");
  host->set_exit_returns(true);
}

// --- allocators -----------------------------------------------------------------

TEST_F(HostTest, AllocatorsZeroFillAndCountBlocks) {
  host_allocator *reg = host->gcb_ptr()->reg_alloc;
  long before = host->live_blocks();
  auto *p = static_cast<unsigned char *>(reg->alloc(reg, 64, 0x2006));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(p[i], 0) << i;
  EXPECT_EQ(host->live_blocks(), before + 1);
  ASSERT_TRUE(host->last_allocation());
  EXPECT_EQ(host->last_allocation()->allocator, "registration");
  EXPECT_EQ(host->last_allocation()->size, 64u);
  EXPECT_EQ(host->last_allocation()->flags, 0x2006u);
  reg->free(reg, p, 0, 4);
  EXPECT_EQ(host->live_blocks(), before);
}

TEST_F(HostTest, PoolFreesBlocksOfAnyHostAllocator) {
  host_allocator *task_alloc = host->current_task()->names->alloc;
  host_allocator *pool = host->gcb_ptr()->pool;
  long before = host->live_blocks();
  void *slot = task_alloc->alloc(task_alloc, 34, 0x3006);
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(host->last_allocation()->allocator, "task");
  pool->free(pool, slot, 0, 4);
  EXPECT_EQ(host->live_blocks(), before);
  EXPECT_EQ(host->bad_frees(), 0);
  int not_ours = 0;
  pool->free(pool, &not_ours, 0, 4);
  EXPECT_EQ(host->bad_frees(), 1) << "a foreign pointer is refused, not freed";
  pool->free(pool, nullptr, 0, 4);
  EXPECT_EQ(host->bad_frees(), 1);
}

TEST_F(HostTest, FailureInjectionCoversEveryAllocator) {
  gcb *g = host->gcb_ptr();
  host_allocator *allocs[] = {g->reg_alloc, g->pool, host->current_task()->names->alloc};
  long count = host->allocations();
  host->fail_allocations_after(2);
  EXPECT_NE(allocs[0]->alloc(allocs[0], 8, 0), nullptr);
  EXPECT_NE(allocs[2]->alloc(allocs[2], 8, 0), nullptr);
  for (host_allocator *a : allocs) EXPECT_EQ(a->alloc(a, 8, 0), nullptr);
  EXPECT_EQ(host->allocations(), count + 2);
  host->fail_allocations_after(-1);
  for (host_allocator *a : allocs) EXPECT_NE(a->alloc(a, 8, 0), nullptr);
  EXPECT_EQ(host->allocations(), count + 5);
}

// --- name tables ---------------------------------------------------------------------

struct NameTableTest : HostTest {
  uint32_t create() {
    uint32_t h = 0;
    EXPECT_EQ(svc<svc_wtrscrt>(*host, SVC_WTRSCRT)(names(), &h, 0, 1), 0);
    return h;
  }
  name_table *names() { return host->current_task()->names; }
  uint32_t lookup(const char *name, int32_t len, uint32_t *handle, name_pages *table) {
    return svc<svc_xytngl>(*host, SVC_XYTNGL)(names(), 0, name, len, handle, table);
  }
  int32_t bind(const char *name, int32_t len, uint32_t h) {
    return svc<svc_xytnsl>(*host, SVC_XYTNSL)(names(), 1, name, len, h);
  }
  int32_t set(uint32_t h, void *p) { return svc<svc_wtrsset>(*host, SVC_WTRSSET)(names(), h, p); }
};

TEST_F(NameTableTest, BindLookUpAndStore) {
  uint32_t h = create();
  name_pages table = nullptr;
  uint32_t got = 99;
  EXPECT_EQ(lookup("__FMT_ZELBRANT", 14, &got, &table), XYTNGL_UNBOUND);
  EXPECT_EQ(got, 99u) << "an unbound lookup leaves the handle alone";
  EXPECT_EQ(bind("__FMT_ZELBRANT", 14, h), 0);
  ASSERT_EQ(lookup("__FMT_ZELBRANT", 14, &got, &table), 0u);
  EXPECT_EQ(got, h);
  EXPECT_EQ(table[got >> 16][got & 0xFFFF], nullptr) << "a new entry holds null";
  int slot = 0;
  EXPECT_EQ(set(h, &slot), 0);
  EXPECT_EQ(table[got >> 16][got & 0xFFFF], &slot);
}

TEST_F(NameTableTest, NamesCompareAsBytesOfTheirLength) {
  uint32_t h = create();
  ASSERT_EQ(bind("__FMT_MORVISTA-and-more", 14, h), 0);
  uint32_t got = 0;
  name_pages table = nullptr;
  zbtest::GuardedField exact("__FMT_MORVISTA");  // no NUL after it
  EXPECT_EQ(lookup(exact.data(), 14, &got, &table), 0u);
  EXPECT_EQ(lookup("__FMT_MORVIST", 13, &got, &table), XYTNGL_UNBOUND);
  EXPECT_EQ(lookup("__fmt_morvista", 14, &got, &table), XYTNGL_UNBOUND);
  EXPECT_EQ(lookup("__FMT_ZELBRANT", 14, &got, &table), XYTNGL_UNBOUND);
}

TEST_F(NameTableTest, HandlesPastTheFirstPage) {
  uint32_t h = 0;
  for (int i = 0; i < 70000; ++i) h = create();
  ASSERT_GT(h, 0xFFFFu);
  int a = 0, b = 0;
  ASSERT_EQ(set(h, &a), 0);
  ASSERT_EQ(set(h - 0x10000, &b), 0);
  ASSERT_EQ(bind("far", 3, h), 0);
  uint32_t got = 0;
  name_pages table = nullptr;
  ASSERT_EQ(lookup("far", 3, &got, &table), 0u);
  EXPECT_EQ(got, h);
  EXPECT_EQ(table[got >> 16][got & 0xFFFF], &a);
  EXPECT_EQ(table[(got - 0x10000) >> 16][got & 0xFFFF], &b);
}

TEST_F(NameTableTest, RejectsWhatWasNeverCreated) {
  uint32_t h = create();
  EXPECT_EQ(set(h + 1, nullptr), static_cast<int32_t>(zbhost::kNoEntry));
  EXPECT_EQ(bind("x", 1, h + 1), static_cast<int32_t>(zbhost::kNoEntry));
  EXPECT_EQ(set(0, nullptr), static_cast<int32_t>(zbhost::kNoEntry));
  name_table stranger{};
  uint32_t got = 0;
  name_pages table = nullptr;
  EXPECT_EQ(svc<svc_xytngl>(*host, SVC_XYTNGL)(&stranger, 0, "x", 1, &got, &table),
            zbhost::kBadArgument);
  EXPECT_EQ(svc<svc_wtrscrt>(*host, SVC_WTRSCRT)(&stranger, &got, 0, 1),
            static_cast<int32_t>(zbhost::kBadArgument));
  EXPECT_EQ(lookup("x", -1, &got, &table), zbhost::kBadArgument);
}

TEST_F(NameTableTest, EachTaskHasItsOwnTable) {
  ASSERT_EQ(bind("__FMT_ZELBRANT", 14, create()), 0);
  task_context *first = host->current_task();
  task_context *second = host->new_task();
  EXPECT_EQ(host->current_task(), first) << "a new task is not made current";
  host->switch_task(second);
  EXPECT_EQ(host->gcb_ptr()->current_task, second);
  uint32_t got = 0;
  name_pages table = nullptr;
  EXPECT_EQ(lookup("__FMT_ZELBRANT", 14, &got, &table), XYTNGL_UNBOUND);
  host->switch_task(first);
  EXPECT_EQ(lookup("__FMT_ZELBRANT", 14, &got, &table), 0u);
}

// --- tasks -----------------------------------------------------------------------------

int g_term_calls = 0;
task_context *g_term_current = nullptr;
int32_t record_term() {
  ++g_term_calls;
  g_term_current = Host::active()->current_task();
  return 0;
}

TEST_F(HostTest, EndTaskRunsTerminationRoutinesAndFreesTheTask) {
  g_term_calls = 0;
  g_term_current = nullptr;
  task_context *first = host->current_task();
  task_context *t = host->new_task();
  long before = host->live_blocks();
  uint64_t token = 0;
  ASSERT_EQ(svc<svc_vir2g>(*host, SVC_VIR2G)(record_term, &token, t->names, host->pidb()), 0);
  EXPECT_NE(token, 0u);
  host_allocator *a = t->names->alloc;
  ASSERT_NE(a->alloc(a, 34, 0x3006), nullptr);
  ASSERT_NE(a->alloc(a, 100, 0x3006), nullptr);
  EXPECT_EQ(host->live_blocks(), before + 2);
  host->end_task(t);
  EXPECT_EQ(g_term_calls, 1);
  EXPECT_EQ(g_term_current, t) << "the routine runs with its task current";
  EXPECT_EQ(host->current_task(), first) << "the previous task is current again";
  EXPECT_EQ(host->live_blocks(), before) << "the task's blocks are freed with it";
}

TEST_F(HostTest, EndingTheCurrentTaskLeavesNoneCurrent) {
  g_term_calls = 0;
  task_context *first = host->current_task();
  uint64_t token = 0;
  ASSERT_EQ(svc<svc_vir2g>(*host, SVC_VIR2G)(record_term, &token, first->names, host->pidb()), 0);
  host->end_task(first);
  EXPECT_EQ(g_term_calls, 1);
  EXPECT_EQ(host->current_task(), nullptr);
  task_context *t = host->new_task();
  host->switch_task(t);
  EXPECT_EQ(host->gcb_ptr()->current_task, t);
}

TEST_F(HostTest, HostEndsRemainingTasksWhenDestroyed) {
  g_term_calls = 0;
  uint64_t token = 0;
  task_context *t = host->new_task();
  ASSERT_EQ(svc<svc_vir2g>(*host, SVC_VIR2G)(record_term, &token, t->names, host->pidb()), 0);
  host.reset();
  EXPECT_EQ(g_term_calls, 1);
}

TEST_F(HostTest, SetLocaleReplacesTheTasksTables) {
  task_context *t = host->current_task();
  // The tables are indexed by the character's byte value.
  auto entry = [](auto &table, char c) -> auto & { return table[static_cast<unsigned char>(c)]; };
  locale_tables l = Host::default_locale();
  entry(l.separator, ' ') = 0;
  entry(l.separator, '_') = 1;
  host->set_locale(t, l);
  const locale_tables *found = nullptr;
  for (task_object *o = t->objects; o && !found; o = o->next) found = o->tables;
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(entry(found->separator, '_'), 1);
  EXPECT_EQ(entry(found->separator, ' '), 0);
  EXPECT_EQ(entry(found->digit, '5'), 1);
}

// Readers call the per-field services from many threads while the host
// switches tasks and changes options.
TEST_F(HostTest, FieldServicesRunFromManyThreads) {
  auto ifmch = svc<svc_wzifmch>(*host, SVC_WZIFMCH);
  auto rlchr = svc<svc_wzrlchr>(*host, SVC_WZRLCHR);
  auto zmdy = svc<svc_d3>(*host, SVC_ZMDY);
  std::vector<std::thread> readers;
  std::vector<int> failures(4, 0);
  for (int i = 0; i < 4; ++i) {
    readers.emplace_back([&, i] {
      for (int n = 0; n < 20000; ++n) {
        double d = 0;
        int32_t used = 0;
        int64_t v = 0;
        if (ifmch(" . ", 3, &d) != 1 || rlchr("2011-", 5, 0, &used, &v) != 0 || v != 2011 ||
            zmdy(9, 9, 2011) != 18879)
          ++failures[static_cast<size_t>(i)];
      }
    });
  }
  task_context *t = host->new_task();
  for (int n = 0; n < 2000; ++n) {
    host->switch_task(n % 2 ? t : nullptr);
    host->set_option("DEBUG", n % 2 ? "N8601DIAG" : "");
  }
  for (auto &r : readers) r.join();
  for (int f : failures) EXPECT_EQ(f, 0);
}

// --- module loading ------------------------------------------------------------------

TEST_F(HostTest, LoadsAModuleAndRunsMcnMain) {
  std::string err;
  auto m = zbhost::Module::load(*host, zbhost::module_path("zelbrant"), &err);
  ASSERT_TRUE(m) << err;
  EXPECT_STREQ(m->image()->marker, VI_MCN_MARKER);
  ASSERT_NE(m->pcn(), nullptr);
  EXPECT_STREQ(m->pcn()->name, "zelbrant");
  auto anchor = static_cast<gcb **>(m->symbol("v_global_gcb_anchor"));
  ASSERT_NE(anchor, nullptr);
  EXPECT_EQ(*anchor, host->gcb_ptr());
  EXPECT_EQ(*static_cast<void **>(m->symbol("Exported_QJHandle")), host->gcb_ptr()->runtime_handle);
  EXPECT_EQ(m->symbol("no_such_routine"), nullptr);
}

TEST_F(HostTest, LoadingAgainRunsMcnMainAgain) {
  std::string err;
  auto m = zbhost::Module::load(*host, zbhost::module_path("morvista"), &err);
  ASSERT_TRUE(m) << err;
  m.reset();
  host.reset();
  Host second;
  auto again = zbhost::Module::load(second, zbhost::module_path("morvista"), &err);
  ASSERT_TRUE(again) << err;
  EXPECT_EQ(*static_cast<gcb **>(again->symbol("v_global_gcb_anchor")), second.gcb_ptr());
  EXPECT_EQ(*static_cast<void **>(again->symbol("v_global_pidb_anchor")), second.pidb());
}

TEST_F(HostTest, LoadErrorsNameTheFile) {
  char text_file[] = "/tmp/zbhost_not_a_library_XXXXXX";
  int fd = mkstemp(text_file);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "not a library\n", 14), 14);
  close(fd);
  std::string dir = ZB_TESTLIB_DIR;
  struct Row {
    std::string path;
    const char *says;
  } rows[] = {
      {text_file, "cannot load"},
      {"/nonexistent/zelbrant.so", "cannot load"},
      {"libm.so.6", "no mcn_main"},
      {dir + "/zb_bad_marker.so", "marker"},
      {dir + "/zb_bad_magic.so", "magic"},
      {dir + "/zb_no_pcns.so", "program-control node"},
      {dir + "/zb_null_image.so", "no image record"},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.path);
    std::string err;
    EXPECT_FALSE(zbhost::Module::load(*host, r.path, &err));
    EXPECT_NE(err.find(r.path), std::string::npos) << err;
    EXPECT_NE(err.find(r.says), std::string::npos) << err;
  }
  unlink(text_file);
}

// A library refused before any of its code ran is not left mapped; the
// others keep their reference.
TEST_F(HostTest, RefusedLibraryWithoutEntryIsUnloaded) {
  const std::string dir = ZB_TESTLIB_DIR;
  struct Row {
    std::string path;
    bool stays;
  } rows[] = {
      {dir + "/zb_no_entry.so", false},
      {dir + "/zb_bad_magic.so", true},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.path);
    std::string err;
    ASSERT_FALSE(zbhost::Module::load(*host, r.path, &err));
    void *h = dlopen(r.path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    EXPECT_EQ(h != nullptr, r.stays);
    if (h) dlclose(h);
  }
}

}  // namespace
