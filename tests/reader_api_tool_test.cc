// What the reader API gives a tool that runs on it alone: whether a reader
// logs, module identification, the civil calendar, one width parse of
// reader names, and records that keep their layout.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host.h"
#include "records.h"
#include "zelbrant/reader.h"

namespace {

std::string padded(const char *p, size_t width) { return std::string(p, strnlen(p, width)); }

TEST(ReaderApiTool, WhichReadersLog) {
  struct Row {
    const char *debug;  // the DEBUG host option, or null
    int32_t target_length;
    const char *name;
    int32_t logs;
  } rows[] = {
      {nullptr, 0, "B8601DT", 0},
      {nullptr, 0, "is8601dui", 0},
      {nullptr, 0, "is8601vli", 0},
      {"N8601DIAG", 0, "is8601dui", 1},
      {"xyz,n8601Diag", 0, "$IS860PD", 1},
      {"N8601DIAG", 0, "B8601DT", 0},  // numeric readers report nothing
      {"N8601DIA", 0, "is8601dui", 0},
      {nullptr, 20, "is8601vli", 1},  // a target too short for an interval
      {nullptr, 20, "is8601dui", 0},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(std::string(r.name) + " DEBUG=" + (r.debug ? r.debug : "-"));
    std::string opt = std::string("DEBUG=") + (r.debug ? r.debug : "");
    const char *opts[] = {opt.c_str()};
    zb_options o{};
    o.size = sizeof o;
    o.n_host_options = r.debug ? 1 : 0;
    o.host_options = opts;
    o.target_length = r.target_length;
    zb_handle *h = nullptr;
    ASSERT_EQ(zb_open("zelbrant", &o, &h), ZB_OK) << zb_last_error();
    int32_t id = -1, logs = -1;
    ASSERT_EQ(zb_lookup(h, r.name, -1, &id), ZB_OK) << zb_last_error();
    EXPECT_EQ(zb_reader_logs(h, id, &logs), ZB_OK);
    EXPECT_EQ(logs, r.logs);
    EXPECT_EQ(zb_reader_logs(h, id + 1, &logs), ZB_E_READER);
    EXPECT_EQ(zb_reader_logs(h, id, nullptr), ZB_E_NULL);
    zb_close(h);
  }
}

// Described through the API (which needs no host of the caller's), then
// compared with the records as a host loads them.
TEST(ReaderApiTool, DescribesAModuleByItsRecords) {
  zb_module_info infos[2];
  const char *names[] = {"zelbrant", "morvista"};
  for (int i = 0; i < 2; ++i) {
    std::memset(&infos[i], 0x55, sizeof infos[i]);  // every byte written
    infos[i].size = sizeof infos[i];
    ASSERT_EQ(zb_module_describe(names[i], &infos[i]), ZB_OK) << zb_last_error();
  }
  zbhost::Host host;
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(names[i]);
    std::string error;
    auto m = zbhost::Module::load(host, zbhost::module_path(names[i]), &error);
    ASSERT_TRUE(m) << error;
    const zb_module_info &info = infos[i];
    const vi_mcn_record *img = m->image();
    const void *slots[INFO_SLOTS] = {};
    m->fn<void (*)(void *)>("qjvercn1")(slots);
    EXPECT_EQ(info.name, padded(m->pcn()->name, sizeof m->pcn()->name));
    EXPECT_EQ(info.release, padded(img->release, sizeof img->release));
    EXPECT_EQ(info.build, padded(img->build_id, sizeof img->build_id));
    EXPECT_EQ(info.long_build, std::string(static_cast<const char *>(slots[0])));
    EXPECT_EQ(info.built, padded(img->build_date, sizeof img->build_date));
    EXPECT_EQ(info.path, zbhost::module_path(names[i]));
  }
}

TEST(ReaderApiTool, ModulesThatCannotBeDescribed) {
  zb_module_info info{};
  info.size = sizeof info;
  EXPECT_EQ(zb_module_describe("/nonexistent/x.so", &info), ZB_E_LOAD);
  EXPECT_NE(std::string(zb_last_error()).find("/nonexistent/x.so"), std::string::npos);
  EXPECT_EQ(zb_module_describe("nomodule", &info), ZB_E_LOAD);
  EXPECT_EQ(zb_module_describe(nullptr, &info), ZB_E_NULL);
  info.size = 100;  // a record of another size
  EXPECT_EQ(zb_module_describe("zelbrant", &info), ZB_E_RANGE);
}

TEST(ReaderApiTool, CivilDates) {
  struct Row {
    int64_t days, year;
    int32_t month, day;
  } rows[] = {
      {0, 1960, 1, 1},         {-1, 1959, 12, 31},     {18879, 2011, 9, 9},
      {-138061, 1582, 1, 1},   {-141427, 1572, 10, 14}, {14669, 2000, 2, 29},
      {2936549, 9999, 12, 31}, {-715875, 0, 1, 1},      {-716240, -1, 1, 1},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.days);
    int64_t y = 0;
    int32_t m = 0, d = 0;
    zb_civil_from_days(r.days, &y, &m, &d);
    EXPECT_EQ(y, r.year);
    EXPECT_EQ(m, r.month);
    EXPECT_EQ(d, r.day);
  }
}

// Widths are parsed once for every kind of name: past 32 bits they stay out
// of range and the error is a width error, whatever the reader.
TEST(ReaderApiTool, OneWidthParseForEveryName) {
  zb_handle *h = nullptr;
  ASSERT_EQ(zb_open("zelbrant", nullptr, &h), ZB_OK);
  struct Row {
    const char *name;
    int want;
  } rows[] = {
      {"B8601DT99999999999999999999.", ZB_E_WIDTH},
      {"i8601dz99999999999999999999", ZB_E_WIDTH},
      {"is8601dui99999999999999999999", ZB_E_WIDTH},
      {"$IS860VL4294967312", ZB_E_WIDTH},  // 2^32 + 16: not 16
      {"B8601DT4294967315.", ZB_E_WIDTH},
      {"$IS860DU20", ZB_OK},
      {"B8601XX19.", ZB_E_NAME},
      {"is8601xx20", ZB_E_NAME},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.name);
    int32_t id;
    EXPECT_EQ(zb_lookup(h, r.name, -1, &id), r.want) << zb_last_error();
  }
  zb_close(h);
}

// The records keep their layout: members read back from bytes put at their
// offsets.
TEST(ReaderApiTool, RecordsFromRawBytes) {
  unsigned char raw[sizeof(zb_module_info)] = {};
  auto put32 = [&](size_t at, uint32_t v) { std::memcpy(raw + at, &v, 4); };
  auto put64 = [&](size_t at, uint64_t v) { std::memcpy(raw + at, &v, 8); };

  put32(0, 48), put32(4, 2), put64(8, 0x1122334455667788ull), put32(16, 1), put32(20, 3600),
      put32(24, 0x80), put32(28, 20), put32(32, 1), put32(36, 1), put32(40, 1);
  zb_options o;
  std::memcpy(&o, raw, sizeof o);
  EXPECT_EQ(o.size, 48u);
  EXPECT_EQ(o.n_host_options, 2u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(o.host_options), 0x1122334455667788ull);
  EXPECT_EQ(o.gmt_offset, 3600);
  EXPECT_EQ(o.entity_mode, 0x80);
  EXPECT_EQ(o.target_length, 20);
  EXPECT_EQ(o.has_target_length, 1);

  std::memset(raw, 0, sizeof raw);
  put32(0, 4), put32(4, 19), put32(8, 3), put32(12, 16), put32(16, 1);
  std::memcpy(raw + 20, "B8601DT19.", 11);
  zb_reader_info ri;
  std::memcpy(&ri, raw, sizeof ri);
  EXPECT_EQ(ri.kind, 4);
  EXPECT_EQ(ri.width, 19);
  EXPECT_EQ(ri.decimals, 3);
  EXPECT_EQ(ri.target_length, 16);
  EXPECT_EQ(ri.registered, 1);
  EXPECT_STREQ(ri.display, "B8601DT19.");

  std::memset(raw, 0, sizeof raw);
  put64(8, 7), put64(16, 19), put64(24, 18), put32(56, ZB_NUL_PADDED), put64(72, 0x99);
  zb_column c;
  std::memcpy(&c, raw, sizeof c);
  EXPECT_EQ(c.n, 7u);
  EXPECT_EQ(c.stride, 19u);
  EXPECT_EQ(c.field_len, 18u);
  EXPECT_EQ(c.flags, ZB_NUL_PADDED);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(c.lengths), 0x99u);

  std::memset(raw, 0, sizeof raw);
  put64(16, 32), put64(32, 0x77), put64(48, 0x66);
  zb_results res;
  std::memcpy(&res, raw, sizeof res);
  EXPECT_EQ(res.text_stride, 32u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(res.codes), 0x77u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(res.written), 0x66u);

  std::memset(raw, 0, sizeof raw);
  put32(0, sizeof(zb_module_info));
  for (auto [at, text] : {std::pair<size_t, const char *>{4, "zelbrant"}, {24, "9.40"},
                          {32, "build"}, {56, "long build"}, {128, "Sep 09 2011"},
                          {160, "/lib/zelbrant.so"}})
    std::memcpy(raw + at, text, std::strlen(text));
  zb_module_info mi;
  std::memcpy(&mi, raw, sizeof mi);
  EXPECT_STREQ(mi.name, "zelbrant");
  EXPECT_STREQ(mi.release, "9.40");
  EXPECT_STREQ(mi.build, "build");
  EXPECT_STREQ(mi.long_build, "long build");
  EXPECT_STREQ(mi.built, "Sep 09 2011");
  EXPECT_STREQ(mi.path, "/lib/zelbrant.so");
  EXPECT_GE(ZB_READER_API_VERSION, 3);
}

}  // namespace
