// Fixed-length string routines, called through the loaded module. Every field
// sits against an inaccessible page (after its end, or before its start for
// the routines that scan backwards), so a read outside the field faults.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "support/fixture.h"
#include "support/guard.h"

namespace {

using vzsntl_fn = int32_t (*)(const void *, int64_t, int32_t);
using wzsearch_fn = int32_t (*)(const void *, int32_t, int32_t);
using vzstl_fn = int32_t (*)(const void *, int64_t, const uint8_t *);
using wzstlen_fn = int32_t (*)(const char *);
using wzstrip_fn = int32_t (*)(const void *, int32_t);
using wzbcup_fn = int32_t (*)(const void *, const void *, int32_t);
using wzstjls_fn = void (*)(char *, int32_t, int32_t, int32_t *, int32_t *);
using wzclchr_fn = uint32_t (*)(int64_t, char *, int32_t);

constexpr uint32_t kNoFit = 0x8000200Du;

// A field whose first byte follows an inaccessible page.
class FrontGuardedField {
 public:
  explicit FrontGuardedField(std::string_view text) : size_(text.size()) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t pages = text.empty() ? 1 : (text.size() + page - 1) / page;
    len_ = (pages + 1) * page;
    void *m = mmap(nullptr, len_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED) std::abort();
    map_ = static_cast<char *>(m);
    if (mprotect(map_, page, PROT_NONE) != 0) std::abort();
    begin_ = map_ + page;
    if (!text.empty()) std::memcpy(begin_, text.data(), text.size());
  }
  ~FrontGuardedField() { munmap(map_, len_); }
  FrontGuardedField(const FrontGuardedField &) = delete;
  FrontGuardedField &operator=(const FrontGuardedField &) = delete;
  char *data() { return begin_; }
  std::string str() const { return std::string(begin_, size_); }

 private:
  char *map_ = nullptr;
  size_t len_ = 0;
  char *begin_ = nullptr;
  size_t size_ = 0;
};

std::string str(zbtest::GuardedField &f) { return std::string(f.data(), f.size()); }

class FstringTest : public zbtest::ModuleTest {};

// --- searches ----------------------------------------------------------------

enum class Search { vzsntl, wzstnot, wzstpos };

struct SearchRow {
  Search routine;
  std::string_view text;
  int32_t len;  // -100: the text's length
  int32_t key;
  int32_t expected;
  const char *why;
};

TEST_F(FstringTest, SearchesFindTheFirstQualifyingByte) {
  auto vzsntl = fn<vzsntl_fn>("vzsntl");
  auto wzstnot = fn<wzsearch_fn>("wzstnot");
  auto wzstpos = fn<wzsearch_fn>("wzstpos");
  constexpr int32_t kAll = -100;
  const SearchRow rows[] = {
      {Search::wzstpos, "hh:mm", kAll, ':', 2, "colon found"},
      {Search::wzstpos, "hh:mm", kAll, '.', -1, "no point"},
      {Search::wzstpos, "a:b:c", kAll, ':', 1, "first of two"},
      {Search::wzstpos, "hh:mm", kAll, 0x100 + ':', 2, "only the key's low byte counts"},
      {Search::wzstpos, "hh:mm", 2, ':', -1, "colon lies past the length"},
      {Search::wzstpos, "\xff", kAll, -1, 0, "key -1 is byte 0xFF"},
      {Search::wzstpos, "x", 0, 'x', -1, "length 0"},
      {Search::wzstpos, "x", -1, 'x', -1, "negative length"},
      {Search::wzstnot, "   1", kAll, ' ', 3, "first non-blank"},
      {Search::wzstnot, "    ", kAll, ' ', -1, "all blank"},
      {Search::wzstnot, "   1", kAll, 0x7F00 + ' ', 3, "only the key's low byte counts"},
      {Search::wzstnot, "   1", 3, ' ', -1, "digit lies past the length"},
      {Search::wzstnot, "\xe0\xe0\x01", kAll, 0xE0, 2, "high bytes compare unsigned"},
      {Search::wzstnot, "1", 0, ' ', -1, "length 0"},
      {Search::wzstnot, "1", -7, ' ', -1, "negative length"},
      {Search::vzsntl, "000a", kAll, '0', 3, "first byte that differs"},
      {Search::vzsntl, "0000", kAll, '0', -1, "all equal"},
      {Search::vzsntl, "0000", kAll, 0x100 + '0', 0, "whole key compared: never matches"},
      {Search::vzsntl, "\xff\xff", kAll, -1, 0, "key -1 is not byte 0xFF"},
      {Search::vzsntl, "\xff\xfe", kAll, 0xFF, 1, "byte 0xFF compares as 255"},
      {Search::vzsntl, "0", 0, 'x', -1, "length 0"},
      {Search::vzsntl, "0", -1, 'x', -1, "negative length"},
  };
  for (const auto &r : rows) {
    SCOPED_TRACE(std::string(r.text) + ": " + r.why);
    zbtest::GuardedField f(r.text);
    const int32_t len = r.len == kAll ? static_cast<int32_t>(r.text.size()) : r.len;
    int32_t got = 0;
    switch (r.routine) {
      case Search::vzsntl: got = vzsntl(f.data(), len, r.key); break;
      case Search::wzstnot: got = wzstnot(f.data(), len, r.key); break;
      case Search::wzstpos: got = wzstpos(f.data(), len, r.key); break;
    }
    EXPECT_EQ(got, r.expected);
  }
}

TEST_F(FstringTest, SearchesTakeNullFieldsAndEmptyFields) {
  EXPECT_EQ(fn<wzsearch_fn>("wzstnot")(nullptr, 5, ' '), -1);
  EXPECT_EQ(fn<wzsearch_fn>("wzstpos")(nullptr, 5, ' '), -1);
  // A field of no bytes at all, right at the inaccessible page.
  zbtest::GuardedField empty("");
  EXPECT_EQ(fn<vzsntl_fn>("vzsntl")(empty.data(), 0, 'x'), -1);
  EXPECT_EQ(fn<vzsntl_fn>("vzsntl")(empty.data(), INT64_MIN, 'x'), -1);
  EXPECT_EQ(fn<vzstl_fn>("vzstl")(empty.data(), -1, host->gcb_ptr()->ctype),
            -1);
}

TEST_F(FstringTest, VzstlFindsTheFirstClassMember) {
  auto vzstl = fn<vzstl_fn>("vzstl");
  uint8_t table[256] = {};
  table[static_cast<unsigned char>('T')] = 1;
  table[0xFF] = 0x80;
  struct Row {
    std::string_view text;
    int32_t expected;
    const char *why;
  } rows[] = {
      {"2011T12", 4, "member after digits"},
      {"T", 0, "member first"},
      {"20111231", -1, "no member"},
      {"abc\xff", 3, "high byte indexes the table unsigned"},
  };
  for (const auto &r : rows) {
    SCOPED_TRACE(r.why);
    zbtest::GuardedField f(r.text);
    EXPECT_EQ(vzstl(f.data(), static_cast<int64_t>(r.text.size()), table), r.expected);
  }
  zbtest::GuardedField f("T");
  EXPECT_EQ(vzstl(f.data(), 0, table), -1);
}

TEST_F(FstringTest, WzstlenCountsBytesBeforeTheNul) {
  auto wzstlen = fn<wzstlen_fn>("wzstlen");
  EXPECT_EQ(wzstlen(nullptr), 0);
  EXPECT_EQ(wzstlen(""), 0);
  EXPECT_EQ(wzstlen("N8601DIAG"), 9);
  const char inner[] = "ab\0cd";
  EXPECT_EQ(wzstlen(inner), 2);
  zbtest::GuardedField f(std::string_view("xyz\0", 4));
  EXPECT_EQ(wzstlen(f.data()), 3);
}

// Each search with its key at every position of every length to 24, at every
// start alignment, against both pages; bytes just outside the field would
// qualify if they were read.
TEST_F(FstringTest, SearchesDoNotDependOnAlignment) {
  auto vzsntl = fn<vzsntl_fn>("vzsntl");
  auto wzstnot = fn<wzsearch_fn>("wzstnot");
  auto wzstpos = fn<wzsearch_fn>("wzstpos");
  auto vzstl = fn<vzstl_fn>("vzstl");
  uint8_t table[256] = {};
  table[static_cast<unsigned char>('x')] = 1;
  for (int32_t len = 1; len <= 24; ++len) {
    for (int32_t skew = 0; skew < 8; ++skew) {
      for (int32_t at = -1; at < len; ++at) {
        SCOPED_TRACE("len " + std::to_string(len) + " skew " + std::to_string(skew) + " at " +
                     std::to_string(at));
        std::string field(static_cast<size_t>(len), ' ');
        if (at >= 0) field[static_cast<size_t>(at)] = 'x';
        zbtest::GuardedField back(std::string(static_cast<size_t>(skew), 'x') + field);
        FrontGuardedField front(field + "x");
        for (char *p : {back.data() + skew, front.data()}) {
          ASSERT_EQ(wzstpos(p, len, 'x'), at);
          ASSERT_EQ(wzstnot(p, len, ' '), at);
          ASSERT_EQ(vzsntl(p, len, ' '), at);
          ASSERT_EQ(vzstl(p, len, table), at);
        }
      }
    }
  }
}

// --- wzstrip -------------------------------------------------------------------

TEST_F(FstringTest, WzstripDropsTrailingBlanks) {
  auto wzstrip = fn<wzstrip_fn>("wzstrip");
  struct Row {
    std::string_view text;
    int32_t len;
    int32_t expected;
    const char *why;
  } rows[] = {
      {"ab  ", 4, 2, "two letters, two blanks"},
      {"    ", 4, 0, "all blank"},
      {"x                   ", 20, 1, "one byte then 19 blanks"},
      {"a b ", 4, 3, "inner blank kept"},
      {"abcd", 4, 4, "no blanks"},
      {"P1Y2M3D! ! ", 11, 10, "'!' differs from the blank in one bit"},
      {"12345678 a b  c  ", 17, 15, "blanks inside the last word kept"},
      {std::string_view(" \t\0", 3), 3, 3, "only the space is a blank"},
      {"ab  xx", 4, 2, "bytes past the length ignored"},
      {"ab", 0, 0, "length 0 unchanged"},
      {"ab", -3, -3, "negative length unchanged"},
  };
  for (const auto &r : rows) {
    SCOPED_TRACE(r.why);
    zbtest::GuardedField back(r.text);
    EXPECT_EQ(wzstrip(back.data(), r.len), r.expected);
    FrontGuardedField front(r.text);
    EXPECT_EQ(wzstrip(front.data(), r.len), r.expected);
  }
}

// The word-at-a-time scan against a byte-by-byte reference: every length to
// 40, every start alignment, the last non-blank byte at every position, with
// non-blank bytes right before and after the field that must not be seen.
TEST_F(FstringTest, WzstripDoesNotDependOnAlignment) {
  auto wzstrip = fn<wzstrip_fn>("wzstrip");
  for (int32_t len = 1; len <= 40; ++len) {
    for (int32_t skew = 0; skew < 8; ++skew) {
      for (int32_t last = -1; last < len; ++last) {
        SCOPED_TRACE("len " + std::to_string(len) + " skew " + std::to_string(skew) +
                     " last " + std::to_string(last));
        std::string field(static_cast<size_t>(len), ' ');
        if (last >= 0) field[static_cast<size_t>(last)] = 'x';
        // Against the page after: skew bytes of prefix move the start.
        zbtest::GuardedField back(std::string(static_cast<size_t>(skew), '#') + field);
        ASSERT_EQ(wzstrip(back.data() + skew, len), last + 1);
        // Against the page before, with a non-blank byte right after.
        FrontGuardedField front(field + "#");
        ASSERT_EQ(wzstrip(front.data(), len), last + 1);
      }
    }
  }
}

// --- wzbcup --------------------------------------------------------------------

TEST_F(FstringTest, WzbcupComparesRegardlessOfCase) {
  auto wzbcup = fn<wzbcup_fn>("wzbcup");
  struct Row {
    std::string_view a, b;
    int32_t n;
    int32_t expected;
    const char *why;
  } rows[] = {
      {"n8601diag", "N8601DIAG", 9, 0, "letters and digits, lower against upper"},
      {"AbC", "aBc", 3, 0, "mixed case"},
      {"abc", "abd", 3, 'C' - 'D', "mapped difference, negative"},
      {"b", "A", 1, 'B' - 'A', "mapped difference, positive"},
      {"1", "2", 1, -1, "digits differ"},
      {"ab", "aX", 1, 0, "difference past n"},
      {"a", "b", 0, 0, "n of 0"},
      {"a", "b", -4, 0, "negative n"},
  };
  for (const auto &r : rows) {
    SCOPED_TRACE(r.why);
    const size_t n = r.n > 0 ? static_cast<size_t>(r.n) : 0;
    zbtest::GuardedField a(r.a.substr(0, n));
    zbtest::GuardedField b(r.b.substr(0, n));
    EXPECT_EQ(wzbcup(a.data(), b.data(), r.n), r.expected);
  }
}

TEST_F(FstringTest, WzbcupUsesTheHostsUpperCaseTable) {
  auto wzbcup = fn<wzbcup_fn>("wzbcup");
  uint8_t *up = host->gcb_ptr()->upcase;
  up[0xE9] = 0xC9;  // a table that folds one Latin-1 pair
  up[static_cast<unsigned char>('q')] = 'q';  // ... and does not fold q
  EXPECT_EQ(wzbcup("\xe9", "\xc9", 1), 0);
  EXPECT_EQ(wzbcup("q", "Q", 1), 'q' - 'Q');
  // Equal bytes match whatever the table says.
  up[static_cast<unsigned char>('z')] = 0;
  up[static_cast<unsigned char>('Z')] = 1;
  EXPECT_EQ(wzbcup("z", "z", 1), 0);
  EXPECT_EQ(wzbcup("z", "Z", 1), -1);
  // Mapped values compare as unsigned bytes.
  up[0xFF] = 0xFF;
  up[0x01] = 0x01;
  EXPECT_EQ(wzbcup("\xff", "\x01", 1), 0xFE);
}

// A difference at every position of every length to 24, both sides at
// different alignments; the difference past n is never seen.
TEST_F(FstringTest, WzbcupDoesNotDependOnAlignment) {
  auto wzbcup = fn<wzbcup_fn>("wzbcup");
  for (int32_t n = 1; n <= 24; ++n) {
    for (int32_t skew = 0; skew < 8; ++skew) {
      for (int32_t at = -1; at < n; ++at) {
        SCOPED_TRACE("n " + std::to_string(n) + " skew " + std::to_string(skew) + " at " +
                     std::to_string(at));
        std::string lower(static_cast<size_t>(n), 'k');
        std::string upper(static_cast<size_t>(n), 'K');
        if (at >= 0) upper[static_cast<size_t>(at)] = 'M';
        zbtest::GuardedField a(std::string(static_cast<size_t>(skew), '#') + lower);
        FrontGuardedField b(upper + "#");
        ASSERT_EQ(wzbcup(a.data() + skew, b.data(), n), at < 0 ? 0 : 'K' - 'M');
      }
    }
  }
}

// --- wzstjls -------------------------------------------------------------------

struct JustifyRow {
  std::string_view text;  // the whole field
  int32_t code;
  std::string_view after;  // the field afterwards
  int32_t offset;
  int32_t length;
  const char *why;
};

const JustifyRow kJustifyRows[] = {
    {"  12:30  ", 'n', "  12:30  ", 2, 5, "measure only"},
    {"  12:30  ", 'L', "12:30    ", 0, 5, "left"},
    {"  12:30  ", 'R', "    12:30", 4, 5, "right"},
    {"  12:30  ", 'C', "  12:30  ", 2, 5, "centred already"},
    {"12  ", 'C', " 12 ", 1, 2, "centre, even split"},
    {"12   ", 'C', " 12  ", 1, 2, "centre, odd blank right"},
    {"   12", 'c', " 12  ", 1, 2, "centre from the right end"},
    {"    1", 'l', "1    ", 0, 1, "lower-case left"},
    {"1    ", 'r', "    1", 4, 1, "lower-case right"},
    {"1    ", 'R', "    1", 4, 1, "move further than the text is long"},
    {"    1", 'L', "1    ", 0, 1, "move left further than the text is long"},
    {" a b ", 'L', "a b  ", 0, 3, "inner blank is part of the text"},
    {"abc", 'C', "abc", 0, 3, "no blanks"},
    {"  x  ", 'X', "  x  ", 2, 1, "unknown code measures"},
    {"  x  ", 0, "  x  ", 2, 1, "code 0 measures"},
    {"  x  ", 'L' + 0x100, "  x  ", 2, 1, "whole code compared"},
    {"\t x ", 'R', " \t x", 1, 3, "only the space is a blank"},
    {"     ", 'L', "     ", 0, 0, "all blank"},
    {"", 'L', "", 0, 0, "length 0"},
};

TEST_F(FstringTest, WzstjlsMovesTextAndReportsIt) {
  auto wzstjls = fn<wzstjls_fn>("wzstjls");
  for (const auto &r : kJustifyRows) {
    SCOPED_TRACE(std::string("'") + std::string(r.text) + "' " + r.why);
    const auto len = static_cast<int32_t>(r.text.size());
    zbtest::GuardedField back(r.text);
    FrontGuardedField front(r.text);
    for (char *p : {back.data(), front.data()}) {
      int32_t off = -99, n = -99;
      wzstjls(p, len, r.code, &n, &off);
      EXPECT_EQ(std::string(p, r.text.size()), r.after);
      EXPECT_EQ(off, r.offset);
      EXPECT_EQ(n, r.length);
    }
  }
}

// Text of every length at every place of fields to 16 bytes, at every start
// alignment: where each code puts it, and blanks everywhere else.
TEST_F(FstringTest, WzstjlsPlacesTextAtEveryAlignment) {
  auto wzstjls = fn<wzstjls_fn>("wzstjls");
  for (int32_t len = 1; len <= 16; ++len) {
    for (int32_t text = 1; text <= len; ++text) {
      for (int32_t from = 0; from + text <= len; ++from) {
        std::string field(static_cast<size_t>(len), ' ');
        for (int32_t k = 0; k < text; ++k) field[static_cast<size_t>(from + k)] = 'a' + k;
        const std::string body = field.substr(static_cast<size_t>(from), static_cast<size_t>(text));
        const struct {
          int32_t code;
          int32_t to;
        } moves[] = {{'L', 0}, {'R', len - text}, {'C', (len - text) / 2}, {'n', from}};
        for (const auto &m : moves) {
          for (int32_t skew = 0; skew < 8; skew += 3) {
            SCOPED_TRACE("'" + field + "' code " + static_cast<char>(m.code) + " skew " +
                         std::to_string(skew));
            zbtest::GuardedField f(std::string(static_cast<size_t>(skew), '#') + field);
            int32_t off = -1, n = -1;
            wzstjls(f.data() + skew, len, m.code, &n, &off);
            std::string want(static_cast<size_t>(skew), '#');
            want += std::string(static_cast<size_t>(m.to), ' ') + body;
            want += std::string(static_cast<size_t>(len - m.to - text), ' ');
            ASSERT_EQ(str(f), want);
            ASSERT_EQ(off, m.to);
            ASSERT_EQ(n, text);
          }
        }
      }
    }
  }
}

TEST_F(FstringTest, WzstjlsTakesNullOutputsAndNegativeLengths) {
  auto wzstjls = fn<wzstjls_fn>("wzstjls");
  {
    zbtest::GuardedField f("  ab ");
    wzstjls(f.data(), 5, 'R', nullptr, nullptr);
    EXPECT_EQ(str(f), "   ab");
    int32_t off = -1;
    wzstjls(f.data(), 5, 'L', nullptr, &off);
    EXPECT_EQ(str(f), "ab   ");
    EXPECT_EQ(off, 0);
    int32_t n = -1;
    wzstjls(f.data(), 5, 'C', &n, nullptr);
    EXPECT_EQ(str(f), " ab  ");
    EXPECT_EQ(n, 2);
  }
  {
    zbtest::GuardedField empty("");
    int32_t off = -1, n = -1;
    wzstjls(empty.data(), -3, 'L', &n, &off);
    EXPECT_EQ(off, 0);
    EXPECT_EQ(n, 0);
  }
  // Only the first len bytes are the field: the blank after it is no
  // trailing room for a right shift.
  zbtest::GuardedField f(" ab ");
  int32_t off = -1, n = -1;
  wzstjls(f.data(), 3, 'R', &n, &off);
  EXPECT_EQ(str(f), " ab ");
  EXPECT_EQ(off, 1);
  EXPECT_EQ(n, 2);
}

// --- wzclchr -------------------------------------------------------------------

TEST_F(FstringTest, WzclchrWritesRightJustifiedDecimal) {
  auto wzclchr = fn<wzclchr_fn>("wzclchr");
  struct Row {
    int64_t value;
    int32_t len;
    std::string_view expected;
    uint32_t rc;
    const char *why;
  } rows[] = {
      {12345, 5, "12345", 0, "five digits fill five positions"},
      {7, 3, "  7", 0, "blank-filled on the left"},
      {-7, 2, "-7", 0, "sign and digit"},
      {-7, 1, "*", kNoFit, "no room for the sign"},
      {123456, 5, "*****", kNoFit, "six digits in five"},
      {0, 1, "0", 0, "zero is one digit"},
      {0, 4, "   0", 0, "zero right-justified"},
      {-120, 6, "  -120", 0, "sign right before the digits"},
      {-120, 3, "***", kNoFit, "sign is the fourth position"},
      {INT64_MAX, 19, "9223372036854775807", 0, "largest value, exact fit"},
      {INT64_MAX, 18, "******************", kNoFit, "largest value, one short"},
      {INT64_MIN, 20, "-9223372036854775808", 0, "most negative value, exact fit"},
      {INT64_MIN, 22, "  -9223372036854775808", 0, "most negative value, blank-filled"},
      {INT64_MIN, 19, "*******************", kNoFit, "most negative value, no room for sign"},
      {1, 40, "                                       1", 0, "long field"},
  };
  for (const auto &r : rows) {
    SCOPED_TRACE(std::to_string(r.value) + " in " + std::to_string(r.len) + ": " + r.why);
    // A marker byte right before the field must survive; the page after it
    // catches a write past the end.
    zbtest::GuardedField f(std::string("#").append(static_cast<size_t>(r.len), '?'));
    EXPECT_EQ(wzclchr(r.value, f.data() + 1, r.len), r.rc);
    EXPECT_EQ(str(f), std::string("#").append(r.expected));
  }
}

TEST_F(FstringTest, WzclchrWithoutRoomWritesNothing) {
  auto wzclchr = fn<wzclchr_fn>("wzclchr");
  for (int32_t len : {0, -1, INT32_MIN}) {
    SCOPED_TRACE(len);
    zbtest::GuardedField f("##");
    char *at_guard = f.data() + 2;
    EXPECT_EQ(wzclchr(5, at_guard, len), kNoFit);
    EXPECT_EQ(str(f), "##");
  }
}

// Every length to 24 at every start alignment: the fills stay in the field.
TEST_F(FstringTest, WzclchrFillsStayInTheField) {
  auto wzclchr = fn<wzclchr_fn>("wzclchr");
  for (int32_t len = 1; len <= 24; ++len) {
    for (int32_t skew = 0; skew < 8; ++skew) {
      SCOPED_TRACE("len " + std::to_string(len) + " skew " + std::to_string(skew));
      const std::string prefix(static_cast<size_t>(skew) + 1, '#');
      zbtest::GuardedField f(prefix + std::string(static_cast<size_t>(len), '?'));
      char *field = f.data() + prefix.size();
      ASSERT_EQ(wzclchr(-5, field, len), len >= 2 ? 0u : kNoFit);
      const std::string want =
          len >= 2 ? std::string(static_cast<size_t>(len - 2), ' ') + "-5" : "*";
      ASSERT_EQ(str(f), prefix + want);
      FrontGuardedField front(std::string(static_cast<size_t>(len), '?') + "#");
      ASSERT_EQ(wzclchr(123456789012, front.data(), len), len >= 12 ? 0u : kNoFit);
      ASSERT_EQ(front.str().back(), '#');
    }
  }
}

}  // namespace
