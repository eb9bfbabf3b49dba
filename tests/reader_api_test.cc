// The reader API: handles, lookups, the column layouts, entity readers, the
// errors of every call, and handles on several threads.
#include "zelbrant/reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host.h"
#include "ifmblock.h"
#include "support/guard.h"

namespace {

constexpr double kDt = 1631190645;  // 2011-09-09T12:30:45
constexpr double kDay = 86400;
constexpr double kDa = 18879;  // 2011-09-09

uint64_t bits(double d) {
  uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

// A handle on zelbrant with the API's defaults, closed at the end.
class ReaderApi : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(zb_open("zelbrant", nullptr, &h), ZB_OK) << zb_last_error(); }
  void TearDown() override { zb_close(h); }
  int32_t reader(const char *name, int32_t width = -1) {
    int32_t id = -1;
    EXPECT_EQ(zb_lookup(h, name, width, &id), ZB_OK) << name << ": " << zb_last_error();
    return id;
  }
  zb_handle *h = nullptr;
};

struct Got {
  std::vector<double> values;
  std::vector<uint32_t> codes;
  std::vector<uint8_t> written;
};

Got read(zb_handle *h, int32_t id, const zb_column &c) {
  Got g;
  g.values.assign(c.n, -1.0);
  g.codes.assign(c.n, 77);
  g.written.assign(c.n, 9);
  zb_results r{};
  r.values = g.values.data();
  r.codes = g.codes.data();
  r.written = g.written.data();
  EXPECT_EQ(zb_read_column(h, id, &c, &r), ZB_OK) << zb_last_error();
  return g;
}

// Fields laid out with the offsets of Arrow's string layout.
struct Offsets {
  std::string data;
  std::vector<int64_t> off{0};
  explicit Offsets(const std::vector<std::string> &texts) {
    for (const auto &t : texts) data += t, off.push_back(static_cast<int64_t>(data.size()));
  }
  zb_column column() const {
    zb_column c{};
    c.data = data.data();
    c.n = off.size() - 1;
    c.offsets = off.data();
    return c;
  }
};

struct Row {
  const char *informat;
  const char *text;
  uint32_t code;
  double value;  // NAN: the missing value
};

// The same values and codes as the readers give, by every layout.
TEST_F(ReaderApi, ValuesByEveryLayout) {
  const Row rows[] = {
      {"B8601DT19.", "20110909T123045", 0, kDt},
      {"B8601DT19.", "20110909T123045123", 0, kDt + 0.123},
      {"B8601DT19.", "2011", 0, 18628 * kDay},
      {"B8601DT19.", "20110909 123045", IFM_INVALID_DATA, NAN},
      {"B8601DT19.", "20110909T240000", 0, NAN},
      {"B8601DA9.", "20110909", 0, kDa},
      {"B8601TM8.", "123045", 0, 45045},
      {"B8601DZ21.", "20110909T123045+0100", 0, kDt - 3600},
      {"B8601CI14.", "1110909T123045", 0, kDt},
      {"i8601dt", "2011-09-09T12:30:45", 0, kDt},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(std::string(row.informat) + " '" + row.text + "'");
    int32_t id = reader(row.informat);
    std::string text = row.text;
    std::vector<std::string> texts{text, text, text};
    // Fixed width, a stride wider than the field: the bytes between are 'x'.
    std::string fixed;
    for (const auto &t : texts) fixed += t + "xx";
    zb_column fc{};
    fc.data = fixed.data();
    fc.n = 3;
    fc.stride = text.size() + 2;
    fc.field_len = text.size();
    Offsets o(texts);
    std::vector<int32_t> off32(o.off.begin(), o.off.end());
    zb_column o32 = o.column();
    o32.offsets = nullptr;
    o32.offsets32 = off32.data();
    for (const zb_column &c : {fc, o.column(), o32}) {
      Got g = read(h, id, c);
      for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(g.codes[i], row.code) << std::hex << g.codes[i];
        if (std::isnan(row.value)) EXPECT_TRUE(ifm_is_missing(g.values[i])) << g.values[i];
        else EXPECT_DOUBLE_EQ(g.values[i], row.value);
      }
    }
    double one = 0;
    uint32_t code = 99;
    ASSERT_EQ(zb_read_field(h, id, text.data(), text.size(), &one, &code), ZB_OK);
    EXPECT_EQ(code, row.code);
    EXPECT_EQ(bits(one), bits(read(h, id, o.column()).values[0]));
  }
}

TEST_F(ReaderApi, NulPaddingValidityAndUntouchedTargets) {
  int32_t dt = reader("B8601DT19.");
  // NumPy's 'S19' pads shorter values with NULs.
  const char fixed[2][19] = {"20110909T123045", "20110909"};
  zb_column c{};
  c.data = fixed[0];
  c.n = 2;
  c.stride = c.field_len = 19;
  EXPECT_EQ(read(h, dt, c).codes[0], IFM_INVALID_DATA) << "NULs are text without the flag";
  c.flags = ZB_NUL_PADDED;
  Got g = read(h, dt, c);
  EXPECT_EQ(g.codes, (std::vector<uint32_t>{0, 0}));
  EXPECT_DOUBLE_EQ(g.values[0], kDt);
  EXPECT_DOUBLE_EQ(g.values[1], kDa * kDay);

  Offsets o({"20110909T123045", "never read", "20110909X"});
  zb_column oc = o.column();
  const uint8_t valid = 0b101;
  oc.validity = &valid;
  g = read(h, dt, oc);
  EXPECT_EQ(g.codes, (std::vector<uint32_t>{0, 0, IFM_INVALID_DATA}));
  EXPECT_DOUBLE_EQ(g.values[0], kDt);
  EXPECT_TRUE(ifm_is_missing(g.values[1]));
  EXPECT_EQ(g.written, (std::vector<uint8_t>{1, 0, 0})) << "the refused field is left alone";
  EXPECT_TRUE(ifm_is_missing(g.values[2])) << "an untouched target reads as missing";
}

// The last field ends at an inaccessible page: a read past it faults.
TEST_F(ReaderApi, ReadsNoByteOutsideAField) {
  zbtest::GuardedField f("20110909T123045" "20110909T1230");
  int32_t wide = reader("B8601DT26.");
  zb_column c{};
  c.data = f.data();
  c.n = 2;
  c.stride = 15;
  c.field_len = 13;  // the second field ends at the page
  Got g = read(h, wide, c);
  EXPECT_EQ(g.codes[0], 0u);
  EXPECT_DOUBLE_EQ(g.values[0], kDt - 45) << "the window is the 13 bytes given";
  EXPECT_DOUBLE_EQ(g.values[1], kDt - 45);
  zb_column oc{};
  int64_t off[2] = {15, 28};
  oc.data = f.data();
  oc.n = 1;
  oc.offsets = off;
  EXPECT_DOUBLE_EQ(read(h, wide, oc).values[0], kDt - 45);
}

// Spans: fields in any order, each running to the end of its record, cut
// by the reader's width, as a command-line reader lays out a column.
TEST_F(ReaderApi, SpansOfRecords) {
  const std::string records = "20110909T123045 20110909T1230\n20110909 x";
  int64_t starts[3] = {16, 0, 30};
  int32_t lengths[3] = {13, 29, 10};
  zb_column c{};
  c.data = records.data();
  c.n = 3;
  c.starts = starts;
  c.lengths = lengths;
  Got g = read(h, reader("B8601DT15."), c);
  EXPECT_EQ(g.codes, (std::vector<uint32_t>{0, 0, IFM_INVALID_DATA}));
  EXPECT_DOUBLE_EQ(g.values[0], kDt - 45);
  EXPECT_DOUBLE_EQ(g.values[1], kDt) << "the width cuts the record";
  int32_t bad_len[3] = {13, -1, 10};
  c.lengths = bad_len;
  zb_results r{};
  double v[3];
  uint32_t codes[3];
  r.values = v;
  r.codes = codes;
  EXPECT_EQ(zb_read_column(h, 0, &c, &r), ZB_E_RANGE);
  c.lengths = nullptr;
  EXPECT_EQ(zb_read_column(h, 0, &c, &r), ZB_E_NULL);
}

// Addresses: each field where it lives (the strings of a Python list),
// no data pointer; the same values as the offsets layout, absent rows not
// read, the last field against an inaccessible page, and the ticks and
// entity calls through the same layout.
TEST_F(ReaderApi, FieldsByAddress) {
  const std::vector<std::string> texts{"20110909T123045", "", "20110909X", "2011"};
  std::vector<std::unique_ptr<char[]>> apart;
  std::vector<int64_t> starts;
  std::vector<int32_t> lengths;
  for (const auto &t : texts) {
    apart.emplace_back(new char[t.size() + 1]);
    std::memcpy(apart.back().get(), t.c_str(), t.size() + 1);
    starts.push_back(static_cast<int64_t>(reinterpret_cast<uintptr_t>(apart.back().get())));
    lengths.push_back(static_cast<int32_t>(t.size()));
  }
  zbtest::GuardedField guarded("20110909T1230");
  starts.push_back(static_cast<int64_t>(reinterpret_cast<uintptr_t>(guarded.data())));
  lengths.push_back(13);
  starts.push_back(0);  // absent: no address
  lengths.push_back(0);
  zb_column c{};
  c.n = starts.size();
  c.starts = starts.data();
  c.lengths = lengths.data();
  c.flags = ZB_ADDRESSES;
  const uint8_t valid = 0b011111;
  c.validity = &valid;
  int32_t dt = reader("B8601DT19.");
  Got g = read(h, dt, c);
  Offsets o({"20110909T123045", "", "20110909X", "2011", "20110909T1230", ""});
  zb_column oc = o.column();
  oc.validity = &valid;
  Got want = read(h, dt, oc);
  EXPECT_EQ(g.codes, want.codes);
  EXPECT_EQ(g.written, want.written);
  for (size_t i = 0; i < c.n; ++i) EXPECT_EQ(bits(g.values[i]), bits(want.values[i])) << i;
  EXPECT_DOUBLE_EQ(g.values[4], kDt - 45);

  std::vector<int64_t> ticks(c.n);
  std::vector<uint32_t> codes(c.n);
  ASSERT_EQ(zb_read_ticks(h, dt, &c, 0, ticks.data(), codes.data()), ZB_OK) << zb_last_error();
  EXPECT_EQ(ticks[0], static_cast<int64_t>(kDt) - 3653 * 86400);
  EXPECT_EQ(ticks[5], ZB_NAT);

  const char *dur = "P1Y2M";
  int64_t dur_start = static_cast<int64_t>(reinterpret_cast<uintptr_t>(dur));
  int32_t dur_len = 5;
  zb_column dc{};
  dc.n = 1;
  dc.starts = &dur_start;
  dc.lengths = &dur_len;
  dc.flags = ZB_ADDRESSES;
  char packed[16];
  uint32_t code = 9, len = 0;
  zb_results r{};
  r.texts = packed;
  r.text_stride = sizeof packed;
  r.codes = &code;
  r.text_lens = &len;
  ASSERT_EQ(zb_read_column(h, reader("$IS860DU"), &dc, &r), ZB_OK) << zb_last_error();
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(len, 16u);
}

TEST_F(ReaderApi, BadAddresses) {
  int32_t dt = reader("B8601DT19.");
  const char *text = "20110909T123045";
  int64_t starts[2] = {static_cast<int64_t>(reinterpret_cast<uintptr_t>(text)), 0};
  int32_t lengths[2] = {15, 15};
  zb_column c{};
  c.n = 2;
  c.starts = starts;
  c.lengths = lengths;
  c.flags = ZB_ADDRESSES;
  double values[2] = {5, 5};
  uint32_t codes[2] = {5, 5};
  zb_results r{};
  r.values = values;
  r.codes = codes;
  EXPECT_EQ(zb_read_column(h, dt, &c, &r), ZB_E_NULL) << "a null address with text";
  EXPECT_NE(std::string(zb_last_error()).find("field 1"), std::string::npos) << zb_last_error();
  lengths[1] = -1;
  starts[1] = starts[0];
  EXPECT_EQ(zb_read_column(h, dt, &c, &r), ZB_E_RANGE) << "a negative length";
  zb_column fixed{};
  fixed.data = text;
  fixed.n = 1;
  fixed.stride = fixed.field_len = 15;
  fixed.flags = ZB_ADDRESSES;
  EXPECT_EQ(zb_read_column(h, dt, &fixed, &r), ZB_E_RANGE) << "addresses need the spans layout";
  EXPECT_EQ(values[0], 5);
  EXPECT_EQ(codes[0], 5u) << "nothing written by a failed call";
  lengths[1] = 0;
  starts[1] = 0;
  EXPECT_EQ(zb_read_column(h, dt, &c, &r), ZB_OK) << "no address needed for no text";
  EXPECT_EQ(codes[0], 0u);
  EXPECT_EQ(codes[1], 0u);
  EXPECT_TRUE(ifm_is_missing(values[1])) << "an empty field is a missing value";
}

TEST_F(ReaderApi, EntityReaders) {
  int32_t du = reader("$IS860DU");
  int32_t vl = reader("is8601vli");
  zb_reader_info info;
  ASSERT_EQ(zb_describe(h, du, &info), ZB_OK);
  EXPECT_EQ(info.kind, ZB_KIND_DURATION);
  EXPECT_EQ(info.width, -1);
  EXPECT_EQ(info.target_length, 16);
  EXPECT_STREQ(info.display, "is8601dui");
  ASSERT_EQ(zb_describe(h, vl, &info), ZB_OK);
  EXPECT_EQ(info.target_length, 32);

  Offsets o({"P1Y2M10DT2H30M", "X", "2011-09-09"});
  zb_column c = o.column();
  std::vector<char> texts(3 * 20, '?');
  uint32_t codes[3], lens[3];
  uint8_t written[3];
  zb_results r{};
  r.texts = texts.data();
  r.text_stride = 20;
  r.text_lens = lens;
  r.codes = codes;
  r.written = written;
  ASSERT_EQ(zb_read_column(h, du, &c, &r), ZB_OK) << zb_last_error();
  EXPECT_EQ(codes[0], 0u);
  EXPECT_EQ(std::string(texts.data(), lens[0]), "00012100230FFFFC");
  char decoded[64];
  int n = zb_entity_text(texts.data(), lens[0], decoded, sizeof decoded);
  EXPECT_EQ(std::string(decoded, n > 0 ? n : 0), "P1Y2M10DT2H30M");
  EXPECT_EQ(codes[1], 2u) << "number not found where expected";
  EXPECT_STREQ(zb_problem_text(codes[1]), "number not found where expected");
  EXPECT_EQ(std::string(texts.data() + 20, lens[1]), "F") << "the report fills the 1-byte field";
  EXPECT_EQ(codes[2], 19u) << "a datetime read as a duration is refused";
  EXPECT_EQ(std::string(texts.data() + 40, lens[2]), "FFFFFFFFFF") << "and reported";

  char one[32];
  uint32_t code, len;
  ASSERT_EQ(zb_read_entity_field(h, vl, "2011-01-01/P1M", 14, one, sizeof one, &code, &len), ZB_OK);
  EXPECT_EQ(code, 0u);
  n = zb_entity_text(one, len, decoded, sizeof decoded);
  EXPECT_EQ(std::string(decoded, n > 0 ? n : 0), "2011-01-01/P1M");
  EXPECT_EQ(zb_entity_text("12", 2, decoded, sizeof decoded), ZB_E_RANGE);
}

// zb_read_into hands the reader the caller's target as it stands: what the
// reader writes is what a column read gives, the rest keeps the caller's
// bytes.
TEST_F(ReaderApi, ReadIntoKeepsWhatTheReaderDidNotWrite) {
  struct IntoRow {
    const char *informat;
    const char *text;
    bool written;
  } rows[] = {
      {"B8601DA8.", "20110909", true},
      {"B8601TM8.", "", true},  // the missing-value notation
      {"B8601DA9.", "\"\\\x01\xc3\xa9\xff", false},
      {"$IS860DU", "PT36H", true},
      {"$IS860DU", "2011-09-09", true},  // a datetime read as a duration: reported
      {"is8601vli", "P1D/P2D", true},     // a problem, reported into the target
  };
  for (const IntoRow &row : rows) {
    SCOPED_TRACE(std::string(row.informat) + " '" + row.text + "'");
    int32_t id = reader(row.informat);
    zb_reader_info info;
    ASSERT_EQ(zb_describe(h, id, &info), ZB_OK);
    const bool entity = info.kind >= ZB_KIND_DURATION;
    const size_t room = entity ? static_cast<size_t>(info.target_length) : sizeof(double);
    const std::string text = row.text;
    // The column read of the same field.
    int64_t start = 0;
    int32_t length = static_cast<int32_t>(text.size());
    zb_column c{};
    c.data = text.data();
    c.n = 1;
    c.starts = &start;
    c.lengths = &length;
    double value;
    std::string packed(room, '\0');
    uint32_t code = 77, status = 77;
    uint8_t written = 9;
    zb_results r{};
    r.values = &value;
    r.texts = packed.data();
    r.text_stride = room;
    r.codes = &code;
    r.status = &status;
    r.written = &written;
    ASSERT_EQ(zb_read_column(h, id, &c, &r), ZB_OK) << zb_last_error();
    ASSERT_EQ(written, row.written);

    std::string target(room + 3, '#');  // room to spare: the reader is given its own
    uint32_t into_code = 55, into_status = 55;
    ASSERT_EQ(zb_read_into(h, id, text.data(), text.size(), target.data(), target.size(),
                           &into_code, &into_status),
              ZB_OK)
        << zb_last_error();
    EXPECT_EQ(into_code, code);
    EXPECT_EQ(into_status, status);
    EXPECT_EQ(target.substr(room), "###") << "past what the reader is given";
    if (!row.written) {
      EXPECT_EQ(target, std::string(room + 3, '#'));
    } else if (entity) {
      EXPECT_EQ(target.substr(0, std::min<size_t>(status, room)),
                packed.substr(0, std::min<size_t>(status, room)));
    } else {
      double got;
      std::memcpy(&got, target.data(), sizeof got);
      EXPECT_EQ(bits(got), bits(value));
    }
  }

  int32_t da = reader("B8601DA8.");
  int32_t du = reader("$IS860DU");
  char t[16];
  uint32_t code = 5, status = 5;
  struct Case {
    const char *what;
    int got, want;
  } cases[] = {
      {"no room for a double", zb_read_into(h, da, "20110909", 8, t, 7, &code, &status),
       ZB_E_RANGE},
      {"no room for the target length", zb_read_into(h, du, "P1D", 3, t, 15, &code, &status),
       ZB_E_RANGE},
      {"null target", zb_read_into(h, da, "20110909", 8, nullptr, 8, &code, &status), ZB_E_NULL},
      {"null code", zb_read_into(h, da, "20110909", 8, t, 8, nullptr, &status), ZB_E_NULL},
      {"null status", zb_read_into(h, da, "20110909", 8, t, 8, &code, nullptr), ZB_E_NULL},
      {"null text", zb_read_into(h, da, nullptr, 8, t, 8, &code, &status), ZB_E_NULL},
      {"no such reader", zb_read_into(h, 9, "20110909", 8, t, 8, &code, &status), ZB_E_READER},
      {"null handle", zb_read_into(nullptr, da, "20110909", 8, t, 8, &code, &status),
       ZB_E_HANDLE},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.got, c.want);
    EXPECT_STRNE(zb_last_error(), "");
  }
  EXPECT_EQ(code, 5u);
  EXPECT_EQ(status, 5u);
}

// Every call on bad arguments: a status, a message, nothing written.
TEST_F(ReaderApi, BadArguments) {
  int32_t dt = reader("B8601DT19.");
  int32_t du = reader("$IS860DU");
  double v = 5;
  uint32_t code = 5;
  int32_t id = 5;
  zb_handle *closed = nullptr;
  ASSERT_EQ(zb_open("zelbrant", nullptr, &closed), ZB_OK);
  ASSERT_EQ(zb_lookup(closed, "B8601DT", -1, &id), ZB_OK) << "used, then closed";
  zb_close(closed);
  id = 5;
  int not_a_handle = 0;
  auto *stranger = reinterpret_cast<zb_handle *>(&not_a_handle);
  struct Case {
    const char *what;
    int got, want;
  } cases[] = {
      {"null handle", zb_lookup(nullptr, "B8601DT", -1, &id), ZB_E_HANDLE},
      {"closed handle", zb_lookup(closed, "B8601DT", -1, &id), ZB_E_HANDLE},
      {"no handle at all", zb_read_field(stranger, 0, "2011", 4, &v, &code), ZB_E_HANDLE},
      {"null name", zb_lookup(h, nullptr, -1, &id), ZB_E_NULL},
      {"null id", zb_lookup(h, "B8601DT", -1, nullptr), ZB_E_NULL},
      {"unknown name", zb_lookup(h, "B8601XX", -1, &id), ZB_E_NAME},
      {"width 0", zb_lookup(h, "B8601DT", 0, &id), ZB_E_WIDTH},
      {"width -2", zb_lookup(h, "B8601DT", -2, &id), ZB_E_WIDTH},
      {"width 32768", zb_lookup(h, "i8601dt", 32768, &id), ZB_E_WIDTH},
      {"width above the informat's", zb_lookup(h, "B8601DT", 27, &id), ZB_E_WIDTH},
      {"width in the name too wide", zb_lookup(h, "B8601DT99.", -1, &id), ZB_E_WIDTH},
      {"two widths", zb_lookup(h, "B8601DT19.", 20, &id), ZB_E_WIDTH},
      {"entity width 0", zb_lookup(h, "$IS860DU0", -1, &id), ZB_E_WIDTH},
      {"entity width too big", zb_lookup(h, "is8601dui40000", -1, &id), ZB_E_WIDTH},
      {"reader -1", zb_read_field(h, -1, "2011", 4, &v, &code), ZB_E_READER},
      {"reader past the end", zb_read_field(h, 2, "2011", 4, &v, &code), ZB_E_READER},
      {"null text", zb_read_field(h, dt, nullptr, 4, &v, &code), ZB_E_NULL},
      {"null value", zb_read_field(h, dt, "2011", 4, nullptr, &code), ZB_E_NULL},
      {"numeric call on an entity reader", zb_read_field(h, du, "P1D", 3, &v, &code), ZB_E_KIND},
      {"null describe", zb_describe(h, dt, nullptr), ZB_E_NULL},
      {"open: null module", zb_open(nullptr, nullptr, &closed), ZB_E_NULL},
      {"open: null out", zb_open("zelbrant", nullptr, nullptr), ZB_E_NULL},
      {"open: unknown module", zb_open("nomodule", nullptr, &closed), ZB_E_LOAD},
      {"open: missing file", zb_open("/nonexistent/x.so", nullptr, &closed), ZB_E_LOAD},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.got, c.want);
  }
  EXPECT_EQ(v, 5);
  EXPECT_EQ(code, 5u);
  EXPECT_EQ(id, 5);
  EXPECT_EQ(closed, nullptr);
  EXPECT_EQ(zb_lookup(h, "B8601DT", 27, &id), ZB_E_WIDTH);
  EXPECT_NE(std::string(zb_last_error()).find("14 to 26"), std::string::npos) << zb_last_error();
}

TEST_F(ReaderApi, BadColumns) {
  int32_t dt = reader("B8601DT19.");
  int32_t du = reader("$IS860DU");
  double values[2] = {5, 5};
  uint32_t codes[2] = {5, 5};
  char texts[32];
  zb_results r{};
  r.values = values;
  r.codes = codes;
  const char *data = "2011201120112011";
  zb_column fixed{};
  fixed.data = data;
  fixed.n = 2;
  fixed.stride = fixed.field_len = 4;
  int64_t back[3] = {0, 8, 4};
  zb_column backwards{};
  backwards.data = data;
  backwards.n = 2;
  backwards.offsets = back;
  int64_t neg[3] = {-4, 0, 4};
  zb_column negative = backwards;
  negative.offsets = neg;
  zb_column no_data = fixed;
  no_data.data = nullptr;
  zb_column both = backwards;
  int32_t o32[3] = {0, 4, 8};
  both.offsets32 = o32;
  zb_column too_long = fixed;
  too_long.field_len = size_t{1} << 31;
  zb_results no_codes = r;
  no_codes.codes = nullptr;
  zb_results no_values = r;
  no_values.values = nullptr;
  zb_results narrow{};
  narrow.texts = texts;
  narrow.text_stride = 15;
  narrow.codes = codes;
  struct Case {
    const char *what;
    int got, want;
  } cases[] = {
      {"null column", zb_read_column(h, dt, nullptr, &r), ZB_E_NULL},
      {"null results", zb_read_column(h, dt, &fixed, nullptr), ZB_E_NULL},
      {"null codes", zb_read_column(h, dt, &fixed, &no_codes), ZB_E_NULL},
      {"null values", zb_read_column(h, dt, &fixed, &no_values), ZB_E_NULL},
      {"null data", zb_read_column(h, dt, &no_data, &r), ZB_E_NULL},
      {"offsets going back", zb_read_column(h, dt, &backwards, &r), ZB_E_RANGE},
      {"negative offset", zb_read_column(h, dt, &negative, &r), ZB_E_RANGE},
      {"two layouts", zb_read_column(h, dt, &both, &r), ZB_E_RANGE},
      {"field of 2 GiB", zb_read_column(h, dt, &too_long, &r), ZB_E_RANGE},
      {"text stride below 16", zb_read_column(h, du, &fixed, &narrow), ZB_E_RANGE},
      {"entity reader, no texts", zb_read_column(h, du, &fixed, &r), ZB_E_NULL},
      {"bad handle", zb_read_column(nullptr, dt, &fixed, &r), ZB_E_HANDLE},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.got, c.want);
    EXPECT_STRNE(zb_last_error(), "");
  }
  EXPECT_EQ(values[0], 5);
  EXPECT_EQ(codes[0], 5u) << "nothing written by a failed call";
  // n = 0 needs no arrays at all.
  zb_column empty{};
  zb_results none{};
  EXPECT_EQ(zb_read_column(h, dt, &empty, &none), ZB_OK);
  EXPECT_EQ(zb_read_column(h, du, &empty, &none), ZB_OK);
}

TEST(ReaderApiHost, OptionsAreTheHostsAndCheckedAgainstIt) {
  const char *debug[] = {"DEBUG=N8601DIAG"};
  zb_options o{};
  o.size = sizeof o;
  o.n_host_options = 1;
  o.host_options = debug;
  zb_handle *a = nullptr, *b = nullptr;
  ASSERT_EQ(zb_open("zelbrant", &o, &a), ZB_OK) << zb_last_error();
  EXPECT_EQ(zb_open("zelbrant", nullptr, &b), ZB_E_OPTION) << "other host options";
  o.has_gmt_offset = 1;
  o.gmt_offset = 3600;
  EXPECT_EQ(zb_open("zelbrant", &o, &b), ZB_E_OPTION) << "another offset";
  o.has_gmt_offset = 0;
  o.fill_stars = 1;  // the handle's own
  ASSERT_EQ(zb_open("morvista", &o, &b), ZB_OK) << zb_last_error();
  int32_t du = -1;
  ASSERT_EQ(zb_lookup(b, "$IS860DU", -1, &du), ZB_OK);
  char t[16];
  uint32_t code, len;
  ASSERT_EQ(zb_read_entity_field(b, du, "PX", 2, t, sizeof t, &code, &len), ZB_OK);
  EXPECT_EQ(std::string(t, len), "**");
  char log[512];
  size_t need = zb_take_log(log, sizeof log);
  EXPECT_GT(need, 0u);
  EXPECT_NE(std::string(log).find("Problem with: 'PX'"), std::string::npos) << log;
  EXPECT_EQ(zb_take_log(log, sizeof log), 0u) << "taken once";
  zb_close(a);
  zb_close(b);
  EXPECT_EQ(zbhost::Host::active(), nullptr) << "the host ends with the last handle";

  zb_options bad{};
  bad.size = sizeof bad;
  bad.target_length = 5000;
  EXPECT_EQ(zb_open("zelbrant", &bad, &a), ZB_E_OPTION);
  bad.target_length = 0;
  const char *no_eq[] = {"DEBUG"};
  bad.n_host_options = 1;
  bad.host_options = no_eq;
  EXPECT_EQ(zb_open("zelbrant", &bad, &a), ZB_E_OPTION);
  bad.host_options = nullptr;
  EXPECT_EQ(zb_open("zelbrant", &bad, &a), ZB_E_NULL);
  bad.n_host_options = 0;
  bad.size = 4;
  EXPECT_EQ(zb_open("zelbrant", &bad, &a), ZB_E_OPTION) << "a record of an unknown size";
  EXPECT_EQ(zbhost::Host::active(), nullptr);
}

// The entity settings of version 2 take 0 as given: a mode word of 0 and
// a target of no bytes. A version 1 record, told by its size, keeps the
// defaults whatever follows it.
TEST(ReaderApiHost, ModeWordAndTargetLengthAsGiven) {
  struct Case {
    uint32_t size;
    int32_t want_length;
    bool missing_written;  // "." read by $IS860PD: mode 0x100 tests the notation first
  } cases[] = {{sizeof(zb_options), 0, false}, {ZB_OPTIONS_V1_SIZE, 16, true}};
  for (const Case &c : cases) {
    SCOPED_TRACE("size " + std::to_string(c.size));
    zb_options o{};
    o.size = c.size;
    o.has_entity_mode = 1;
    o.has_target_length = 1;
    zb_handle *h = nullptr;
    ASSERT_EQ(zb_open("zelbrant", &o, &h), ZB_OK) << zb_last_error();
    int32_t du = -1, pd = -1;
    ASSERT_EQ(zb_lookup(h, "$IS860DU", -1, &du), ZB_OK);
    ASSERT_EQ(zb_lookup(h, "$IS860PD", -1, &pd), ZB_OK);
    zb_reader_info info;
    ASSERT_EQ(zb_describe(h, du, &info), ZB_OK);
    EXPECT_EQ(info.target_length, c.want_length);

    char t[17] = "################";
    uint32_t code = 0, status = 0;
    ASSERT_EQ(zb_read_into(h, pd, ".", 1, t, 16, &code, &status), ZB_OK);
    EXPECT_EQ(std::string(t) != "################", c.missing_written) << t;
    ASSERT_EQ(zb_read_into(h, du, "PT36H", 5, t, 16, &code, &status), ZB_OK);
    char log[256] = "";
    zb_take_log(log, sizeof log);
    if (c.want_length == 0) {
      EXPECT_EQ(code, 22u) << "a target too short";
      EXPECT_NE(std::string(log).find("has length 0 but 16 is needed"), std::string::npos) << log;
    } else {
      EXPECT_EQ(code, 0u);
      EXPECT_EQ(std::string(t, 16), "0000000000002412");
    }
    zb_close(h);
  }
}

TEST(ReaderApiHost, RefusesWhenTheProcessRunsAHost) {
  zbhost::Host host;
  zb_handle *h = nullptr;
  EXPECT_EQ(zb_open("zelbrant", nullptr, &h), ZB_E_HOST);
  EXPECT_EQ(h, nullptr);
}

// Two threads, each with its own handle and reader, on columns of their own.
TEST(ReaderApiThreads, TwoHandlesInParallel) {
  constexpr size_t kN = 20000;
  auto work = [](const char *informat, std::string text, double want, bool *ok) {
    zb_handle *h = nullptr;
    int32_t id = -1;
    *ok = zb_open("zelbrant", nullptr, &h) == ZB_OK && zb_lookup(h, informat, -1, &id) == ZB_OK;
    std::string fixed;
    for (size_t i = 0; i < kN; ++i) fixed += text;
    zb_column c{};
    c.data = fixed.data();
    c.n = kN;
    c.stride = c.field_len = text.size();
    std::vector<double> v(kN);
    std::vector<uint32_t> codes(kN);
    zb_results r{};
    r.values = v.data();
    r.codes = codes.data();
    for (int rep = 0; rep < 20 && *ok; ++rep) {
      *ok = zb_read_column(h, id, &c, &r) == ZB_OK;
      for (size_t i = 0; i < kN && *ok; ++i) *ok = codes[i] == 0 && v[i] == want;
    }
    zb_close(h);
  };
  bool ok1 = false, ok2 = false;
  std::thread t1(work, "B8601DT19.", "20110909T123045", kDt, &ok1);
  std::thread t2(work, "B8601DA8.", "20110909", kDa, &ok2);
  t1.join();
  t2.join();
  EXPECT_TRUE(ok1);
  EXPECT_TRUE(ok2);
  EXPECT_EQ(zbhost::Host::active(), nullptr);
}

}  // namespace
