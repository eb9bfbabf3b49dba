// Prints the bad-input record of docs/robustness.md: what each exported
// reader returns for one sample of each class of hostile input, every field
// held against an inaccessible page. Run from the build: zb_badinput.
#include <climits>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "targets.h"

namespace {

struct Sample {
  const char *klass;
  std::string text;
  int32_t width, avail;  // -2: the text's length
};

std::vector<Sample> samples() {
  using namespace std::string_literals;
  return {
      {"truncated", "2011-09-0", -2, -2},
      {"truncated", "20110909T12", -2, -2},
      {"truncated", "12:3", -2, -2},
      {"over-long", "2011-09-09T12:30:45.12345678901234567890", -2, -2},
      {"over-long", "201109091230451234567890", -2, -2},
      {"non-digits", "2011-0X-09", -2, -2},
      {"non-digits", "12:3a:00", -2, -2},
      {"wrong separators", "2011/09/09", -2, -2},
      {"wrong separators", "2011-09-09 12:30:45", -2, -2},
      {"wrong separators", "12.30.45", -2, -2},
      {"out of range", "2011-13-01", -2, -2},
      {"out of range", "2011-02-30T25:00:00", -2, -2},
      {"out of range", "12:60:61", -2, -2},
      {"huge numbers", "99999999999999999999", -2, -2},
      {"huge numbers", "P99999999999999999999Y", -2, -2},
      {"huge numbers", "PT4294967296S", -2, -2},
      {"NUL and bytes > 127", "2011\0-09-09"s, -2, -2},
      {"NUL and bytes > 127", "20110909T\xff\xfe", -2, -2},
      {"NUL and bytes > 127", "\xc3\xa9\xc3\xa9", -2, -2},
      {"zero width", "20110909T123045", 0, -2},
      {"negative width", "20110909T123045", -1, -2},
      {"negative available length", "20110909T123045", -2, -5},
      {"most negative length", "20110909T123045", INT_MIN, INT_MIN},
      {"width beyond the data", "2011-09-09", 200, -2},
  };
}

zbfuzz::Field field_of(const Sample &s) {
  zbfuzz::Field f;
  const int32_t len = static_cast<int32_t>(s.text.size());
  f.width = s.width == -2 ? len : s.width;
  f.avail = s.avail == -2 ? len : s.avail;
  int32_t w = f.width < f.avail ? f.width : f.avail;
  if (w < 0) w = 0;
  f.window = s.text.substr(0, static_cast<size_t>(w));
  return f;
}

std::string cell(const zbfuzz::Outcome &o) {
  char buf[64];
  const double v = zbfuzz::value_of(o);
  const char *what = zbfuzz::untouched(o) ? "-" : ifm_is_missing(v) ? "." : nullptr;
  if (o.rc >= 0x80000000u)
    std::snprintf(buf, sizeof buf, "%X %s", o.rc & 0xFFFFu, what ? what : "set");
  else if (what)
    std::snprintf(buf, sizeof buf, "%u %s", o.rc, what);
  else
    std::snprintf(buf, sizeof buf, "%u %.10g", o.rc, v);
  return buf;
}

std::string shown(const Sample &s, const zbfuzz::Field &f) {
  std::string t = "`";
  t += zbfuzz::printable(s.text);
  t += '`';
  if (f.width != static_cast<int32_t>(s.text.size()) || f.avail != static_cast<int32_t>(s.text.size()))
    t += " w=" + std::to_string(f.width) + " a=" + std::to_string(f.avail);
  return t;
}

void numeric_table(const char *title, const std::vector<std::pair<const char *, ifm_reader>> &rd) {
  std::printf("\n%s\n\n| class | field |", title);
  for (auto &r : rd) std::printf(" %s |", r.first);
  std::printf("\n|---|---|");
  for (size_t i = 0; i < rd.size(); ++i) std::printf("---|");
  std::printf("\n");
  zbfuzz::Checker c;
  for (const Sample &s : samples()) {
    const zbfuzz::Field f = field_of(s);
    std::printf("| %s | %s |", s.klass, shown(s, f).c_str());
    for (auto &r : rd) std::printf(" %s |", cell(zbfuzz::numeric_call(f, r.second, &c)).c_str());
    std::printf("\n");
  }
}

void entity_table(zbhost::Host &host, const zbfuzz::Api &a) {
  std::printf("\nEntity informats (mode word 0, target of 32 characters) and the scanner:\n\n"
              "| class | field |");
  std::string rule = "|---|---|";
  for (const zb_catalog_row &r : zb_catalog)
    if (zb_catalog_entity(r)) std::printf(" %s |", r.routine), rule += "---|";
  std::printf(" read_date_or_duration |\n%s---|\n", rule.c_str());
  for (const Sample &s : samples()) {
    const zbfuzz::Field f = field_of(s);
    std::printf("| %s | %s |", s.klass, shown(s, f).c_str());
    for (int i = 0; i < zb_catalog_count; ++i) {
      if (!a.entity[i]) continue;
      zbfuzz::Call call(f, 32, false);
      host.clear_log();
      const uint32_t rc = a.entity[i](&call.blk, 0);
      const std::string t = call.target_bytes();
      const size_t n = zb_catalog[i].kind == ZB_CATALOG_KIND_INTERVAL ? 32 : 16;
      std::string w = static_cast<uint8_t>(t[0]) == zbfuzz::kCanary ? "-" : t.substr(0, n);
      std::string text;
      if (w != "-") text = zbhost::packed_text(w);
      std::printf(" %u %s |", rc, text.empty() ? w.c_str() : ("`" + text + "`").c_str());
    }
    zbfuzz::Call call(f, 0, false);
    zbfuzz::Record rec;
    const int32_t rc = a.read_date_or_duration(call.field(), zbfuzz::raw_len(f), &rec, 0, 0);
    zbhost::PackedEntity e;
    std::string text = zbhost::decode_entity(rec.packed, &e) ? zbhost::entity_text(e) : "?";
    std::printf(" %d `%s` |\n", rc, text.c_str());
  }
}

}  // namespace

int main() {
  zbhost::Host host;
  host.set_exit_returns(true);
  std::string err;
  auto zel = zbhost::Module::load(host, zbhost::module_path("zelbrant"), &err);
  auto mor = zel ? zbhost::Module::load(host, zbhost::module_path("morvista"), &err) : nullptr;
  zbfuzz::Env env;
  env.host = &host;
  if (!zel || !mor || !zbfuzz::prepare(&env, *zel, *mor, &err)) {
    std::fprintf(stderr, "zb_badinput: %s\n", err.c_str());
    return 1;
  }
  const zbfuzz::Api &a = env.api[0];
  std::printf("<!-- generated by zb_badinput; do not edit by hand -->\n"
              "Cells: the return code (host codes by their low 16 bits, hexadecimal), then the "
              "target: `-` untouched, `.` the missing value, else the value stored. Local GMT "
              "offset +01:00.\n");
  // The catalog's numeric readers: the registered ones, then the others.
  std::vector<std::pair<const char *, ifm_reader>> registered, others;
  for (int i = 0; i < zb_catalog_count; ++i) {
    const zb_catalog_row &r = zb_catalog[i];
    if (zb_catalog_entity(r)) continue;
    (r.zelbrant.name || r.morvista.name ? registered : others).emplace_back(r.routine, a.numeric[i]);
  }
  numeric_table("Registered readers:", registered);
  numeric_table("Extended readers:", others);
  entity_table(host, a);
  host.clear_log();
  return 0;
}
