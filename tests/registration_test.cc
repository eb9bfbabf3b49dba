// Registration of both informat families through their module entries: the
// descriptor tables read byte by byte at their fixed offsets, the reader
// tables, and every registered reader over the widths a host may give it.
#include "basic_support.h"

namespace {

using namespace basictest;

using Entry = void *(*)(int32_t);

struct Descriptor {
  const char *name;
  int16_t min, max, def, decimals;
  const char *reader;
  const char *sample;  // a field the reader reads to `value` at any width >= its length
  double value;
};

const Descriptor kZelbrant[] = {
    {"@B8601DA", 8, 10, 10, 0, "b8601da", "20110909", 18879},
    {"@B8601TM", 6, 15, 8, 6, "b8601tm", "123045", 45045},
    {"@B8601TZ", 7, 20, 14, 6, "b8601tz", "123045Z", 45045},
    {"@B8601DT", 14, 26, 19, 6, "b8601dt", "20110909T123045", 1631190645},
    {"@B8601DZ", 15, 35, 26, 6, "b8601dz", "20110909T123045Z", 1631190645},
    {"@B8601DN", 8, 10, 10, 0, "b8601dn", "20110909", 1631145600},
    {"@B8601DJ", 10, 26, 16, 6, "b8601dj", "20110909123045", 1631190645},
    {"@B8601CI", 10, 26, 16, 6, "b8601ci", "1110909T123045", 1631190645},
};

const Descriptor kMorvista[] = {
    {"@ND8601DA", 4, 10, 10, 0, "b8601da", "20110909", 18879},
    {"@ND8601TM", 2, 15, 8, 6, "b8601tm", "123045", 45045},
    {"@ND8601TZ", 7, 20, 14, 6, "b8601tz", "123045Z", 45045},
    {"@ND8601DT", 4, 26, 19, 6, "b8601dt", "20110909T123045", 1631190645},
    {"@ND8601DZ", 15, 35, 26, 6, "b8601dz", "20110909T123045Z", 1631190645},
    {"@ND8601DN", 4, 10, 10, 0, "b8601dn", "20110909", 1631145600},
};

template <class T>
T at(const void *base, size_t off) {
  T v;
  std::memcpy(&v, static_cast<const unsigned char *>(base) + off, sizeof v);
  return v;
}

class Registration : public zbtest::ModuleTest {
 protected:
  const zbhost::Module &module(bool morvista) { return morvista ? *mor : *zel; }
  std::vector<Descriptor> expected(bool morvista) {
    if (morvista) return {std::begin(kMorvista), std::end(kMorvista)};
    return {std::begin(kZelbrant), std::end(kZelbrant)};
  }
  // The module entry as the host finds it: at offset 40 of the
  // program-control-node record.
  Entry entry(bool morvista) { return at<Entry>(module(morvista).pcn(), 40); }
};

TEST_F(Registration, EntryIsNamedInTheRecord) {
  EXPECT_EQ(reinterpret_cast<void *>(entry(false)), zel->symbol("zelbrant"));
  EXPECT_EQ(reinterpret_cast<void *>(entry(true)), mor->symbol("morvista"));
  EXPECT_EQ(zel->symbol("morvista"), nullptr);
  EXPECT_EQ(mor->symbol("zelbrant"), nullptr);
}

TEST_F(Registration, DescriptorTablesByteByByte) {
  for (bool morvista : {false, true}) {
    SCOPED_TRACE(morvista ? "morvista" : "zelbrant");
    std::vector<Descriptor> want = expected(morvista);
    void *block = entry(morvista)(1);
    ASSERT_NE(block, nullptr);
    ASSERT_EQ(at<int32_t>(block, 0), static_cast<int32_t>(want.size()));
    const void *table = at<const void *>(block, 8);
    ASSERT_NE(table, nullptr);
    for (size_t i = 0; i < want.size(); ++i) {
      SCOPED_TRACE(want[i].name);
      const unsigned char *e = static_cast<const unsigned char *>(table) + 54 * i;
      char name[33] = {};
      std::memcpy(name, e, 32);
      EXPECT_STREQ(name, want[i].name);
      for (size_t k = std::strlen(want[i].name); k < 32; ++k) EXPECT_EQ(e[k], 0) << "byte " << k;
      EXPECT_EQ(at<int16_t>(e, 38), want[i].min);
      EXPECT_EQ(at<int16_t>(e, 40), want[i].max);
      EXPECT_EQ(at<int16_t>(e, 42), want[i].def);
      EXPECT_EQ(at<int16_t>(e, 48), want[i].decimals);
      for (size_t off : {32, 34, 36, 44, 46, 50, 52}) EXPECT_EQ(at<int16_t>(e, off), 0) << off;
      EXPECT_LE(at<int16_t>(e, 38), at<int16_t>(e, 42));
      EXPECT_LE(at<int16_t>(e, 42), at<int16_t>(e, 40));
    }
  }
}

TEST_F(Registration, ReaderTablesInDescriptorOrder) {
  for (bool morvista : {false, true}) {
    SCOPED_TRACE(morvista ? "morvista" : "zelbrant");
    std::vector<Descriptor> want = expected(morvista);
    void *table = entry(morvista)(2);
    ASSERT_NE(table, nullptr);
    for (size_t i = 0; i < want.size(); ++i) {
      SCOPED_TRACE(want[i].reader);
      EXPECT_EQ(at<void *>(table, 8 + 8 * i), module(morvista).symbol(want[i].reader));
    }
  }
  // Not registered in morvista, yet exported there too.
  EXPECT_NE(mor->symbol("b8601dj"), nullptr);
  EXPECT_NE(mor->symbol("b8601ci"), nullptr);
}

TEST_F(Registration, EachRequestAllocatesOneBlock) {
  for (bool morvista : {false, true}) {
    SCOPED_TRACE(morvista ? "morvista" : "zelbrant");
    Entry e = entry(morvista);
    long before = host->allocations();
    for (int32_t bad : {0, 3, -1}) EXPECT_EQ(e(bad), nullptr) << bad;
    EXPECT_EQ(host->allocations(), before) << "bad requests allocate nothing";

    void *first = e(1);
    void *second = e(1);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(at<const void *>(first, 8), at<const void *>(second, 8)) << "one static table";
    EXPECT_NE(e(2), nullptr);
    EXPECT_EQ(host->allocations(), before + 3);
  }
}

TEST_F(Registration, AllocationFailureEndsTheTask) {
  host->fail_allocations_after(0);
  EXPECT_EQ(entry(false)(1), nullptr);
  EXPECT_EQ(entry(true)(2), nullptr);
  auto exits = host->exits();
  ASSERT_EQ(exits.size(), 2u);
  EXPECT_EQ(exits[0], std::make_pair(1016, 0));
}

TEST_F(Registration, ModuleLocalNamesAreHidden) {
  for (bool morvista : {false, true}) {
    for (const char *name : {"make_iso_time", "fmtitems", "rewrite_time", "rewrite_date"})
      EXPECT_EQ(module(morvista).symbol(name), nullptr) << name;
  }
}

// Missing-value notation (an all-blank field for the stand-in host): status
// word 8, return 0, the host's missing value left in the target unscaled.
TEST_F(Registration, MissingNotationInEveryReader) {
  for (bool morvista : {false, true}) {
    for (const Descriptor &d : expected(morvista)) {
      SCOPED_TRACE(d.name);
      Call c = call(reader(d.reader, morvista), std::string(16, ' '), d.def, 16, 0x55);
      EXPECT_EQ(c.rc, 0u);
      EXPECT_EQ(c.status, 8u);
      EXPECT_TRUE(ifm_is_missing(c.value));
    }
  }
}

// A host finds an informat by name in the descriptor table and calls the
// reader at the same position.
TEST_F(Registration, ReadersFoundByName) {
  struct Use {
    bool morvista;
    const char *name;
    const char *text;
    double value;
  } uses[] = {
      {true, "@ND8601DA", "2011", 18628},
      {true, "@ND8601TM", "09", 32400},
      {true, "@ND8601DT", "2011", 1609459200},
      {true, "@ND8601DN", "2011", 1609459200},
      {false, "@B8601CI", "0991231123045", 1262262645},
      {false, "@B8601TZ", "123045+0100", 41445},
  };
  for (const Use &u : uses) {
    SCOPED_TRACE(u.name);
    void *block = entry(u.morvista)(1);
    void *readers = entry(u.morvista)(2);
    ASSERT_TRUE(block && readers);
    const auto *table = at<const unsigned char *>(block, 8);
    int32_t count = at<int32_t>(block, 0);
    ifm_reader r = nullptr;
    int16_t min = 0;
    for (int32_t i = 0; i < count; ++i) {
      if (std::strncmp(reinterpret_cast<const char *>(table + 54 * i), u.name, 32) == 0) {
        r = at<ifm_reader>(readers, 8 + 8 * static_cast<size_t>(i));
        min = at<int16_t>(table + 54 * i, 38);
      }
    }
    ASSERT_NE(r, nullptr);
    ASSERT_GE(static_cast<int>(std::strlen(u.text)), min) << "the text is a registered width";
    expect_result(zbtest::read_numeric(r, u.text), 0, V(u.value));
  }
}

// Every registered reader over widths from 0 to far beyond the registered
// maximum: the field ends at an inaccessible page, and the same field
// followed by bytes that would change the answer must read the same.
TEST_F(Registration, EveryReaderKeepsToItsWindow) {
  const std::string after = "T9:9-9Z+0100";
  for (bool morvista : {false, true}) {
    for (const Descriptor &d : expected(morvista)) {
      ifm_reader r = reader(d.reader, morvista);
      for (int32_t w : {0, 1, 2, int32_t{d.min}, int32_t{d.def}, int32_t{d.max}, 500, 5000}) {
        SCOPED_TRACE(std::string(d.name) + " width " + std::to_string(w));
        std::string field(d.sample);
        field.resize(static_cast<size_t>(w), ' ');
        zbtest::ReadResult alone = zbtest::read_numeric(r, field, w);
        Call followed = call(r, field, w, w, 0, after);
        Call wide = call(r, field, 100000, w, 0, after);  // avail is the limit
        EXPECT_EQ(followed.rc, alone.rc);
        EXPECT_EQ(wide.rc, alone.rc);
        EXPECT_EQ(std::memcmp(&followed.value, &alone.value, 8), 0);
        EXPECT_EQ(std::memcmp(&wide.value, &alone.value, 8), 0);
        if (alone.rc == kInvalid) {
          EXPECT_TRUE(alone.untouched);
        }
        if (static_cast<size_t>(w) >= std::strlen(d.sample)) {
          EXPECT_EQ(alone.rc, 0u);
          EXPECT_EQ(alone.value, d.value);
        }
      }
      // Negative widths and lengths are an empty window.
      SCOPED_TRACE(d.name);
      Call neg = call(r, d.sample, -5, -5);
      Call empty = call(r, "", 0, 0);
      EXPECT_EQ(neg.rc, empty.rc);
      EXPECT_EQ(std::memcmp(&neg.value, &empty.value, 8), 0);
    }
  }
}

}  // namespace
