#include "entity.h"

#include <charconv>
#include <cstring>
#include <iterator>

#include "render.h"
#include "zelbrant/reader.h"

namespace isoread {

namespace {

char *append(char *p, std::string_view s) {
  std::memcpy(p, s.data(), s.size());
  return p + s.size();
}

// The entity for people, or "" when the target holds no packed entity.
std::string decoded(const EntityResult &r) {
  if (r.untouched) return {};
  std::string_view hex = r.text();
  char buf[128];
  int n = zb_entity_text(hex.data(), hex.size(), buf, sizeof buf);
  if (n < 0) return {};
  if (static_cast<size_t>(n) < sizeof buf) return std::string(buf, static_cast<size_t>(n));
  std::string s(static_cast<size_t>(n) + 1, '\0');
  zb_entity_text(hex.data(), hex.size(), s.data(), s.size());
  s.pop_back();
  return s;
}

// An entity taken apart: its form, components and, for an interval, the
// extended text of its ends ("" where it fixes none).
struct Data {
  zb_entity_parts parts{};
  bool interval = false;
  char start[kValueRoom] = "", end[kValueRoom] = "";
};

const char *const kCellNames[] = {"start",   "end",   "sign",    "years",      "months",
                                  "days",    "hours", "minutes", "seconds",    "thousandths"};
constexpr size_t kEndCells = 2;  // the interval's start and end come first

// The extended text of an interval's end at ms (milliseconds from 1970),
// "" for none.
void end_text(int64_t ms, char *out) {
  *out = 0;
  if (ms == ZB_NAT) return;
  constexpr int64_t kMs1960To1970 = 315619200000;
  const double seconds = static_cast<double>(ms + kMs1960To1970) / 1000.0;
  if (zb_value_text(ZB_KIND_DATETIME, seconds, 0, out, kValueRoom) < 0) *out = 0;
}

// False when the target holds no packed entity (a failure, a target not
// written, or not the digits of one).
bool take_apart(const EntityResult &r, int32_t kind, Data *d) {
  d->interval = kind == ZB_KIND_INTERVAL;
  if (r.untouched || r.rc != 0) return false;
  std::string_view hex = r.text();
  if (!d->interval) return zb_entity_parts_of(hex.data(), hex.size(), &d->parts) == ZB_OK;
  zb_interval_parts ip;
  uint32_t code = 0;
  if (zb_interval_parts_of(hex.data(), hex.size(), ZB_UNIT_MS, &ip, &code) != ZB_OK) return false;
  d->parts = ip.duration;
  end_text(ip.start, d->start);
  end_text(ip.end, d->end);
  return true;
}

const char *form_name(int32_t form) {
  switch (form) {
    case ZB_FORM_MISSING: return "missing";
    case ZB_FORM_DATETIME: return "datetime";
    case ZB_FORM_ANCHOR: return "anchor";
    case ZB_FORM_DURATION: return "duration";
    case ZB_FORM_SINGLE_UNIT: return "single unit";
    default: return "unknown";
  }
}

// The numbers of the components, in kCellNames' order from "sign".
void components(const zb_entity_parts &e, int64_t out[8]) {
  const int64_t v[8] = {e.sign, e.years, e.months, e.days, e.hours, e.minutes, e.seconds,
                        e.thousandths};
  std::copy(std::begin(v), std::end(v), out);
}

char *json_text_or_null(char *p, const char *s) {
  if (!*s) return append(p, "null");
  *p++ = '"';
  p = render_json_text(p, s);
  *p++ = '"';
  return p;
}

}  // namespace

const char *const *entity_cell_names(int32_t kind, size_t *n) {
  const size_t skip = kind == ZB_KIND_INTERVAL ? 0 : kEndCells;
  *n = std::size(kCellNames) - skip;
  return kCellNames + skip;
}

char *render_entity_cells(char *p, const EntityResult &r, int32_t kind, char sep) {
  Data d;
  const bool ok = take_apart(r, kind, &d);
  if (d.interval) {
    p = append(p, d.start);
    *p++ = sep;
    p = append(p, d.end);
    *p++ = sep;
  }
  int64_t v[8];
  components(d.parts, v);
  const bool given = ok && d.parts.form != ZB_FORM_MISSING;
  for (int i = 0; i < 8; ++i) {
    if (i) *p++ = sep;
    if (given) p = std::to_chars(p, p + 24, v[i]).ptr;
  }
  return p;
}

std::string_view EntityResult::text() const {
  size_t n = status < target_len ? status : target_len;
  return std::string_view(target, n);
}

bool EntityResult::missing() const { return !untouched && decoded(*this) == "."; }

size_t entity_room(const EntityResult &r) {
  // The target twice (hex and decoded, each at most a few times its size),
  // escaped for JSON, and the message; an interval's ends, the components.
  return r.target_len * 6 * 3 + 2 * kValueRoom + 512;
}

char *render_entity_text(char *p, const EntityResult &r) {
  if (r.rc != 0) {
    *p++ = '!';
    p = render_unsigned(p, r.rc);
    *p++ = ' ';
    p = append(p, zb_problem_text(r.rc));
    p = append(p, " [");
    if (!r.untouched) p = append(p, r.text());
    return append(p, "]");
  }
  if (r.untouched) {
    *p++ = '?';
    return p;
  }
  p = append(p, r.text());
  std::string d = decoded(r);
  if (d.empty()) return p;
  *p++ = ' ';
  return append(p, d);
}

char *render_entity_json(char *p, const EntityResult &r, int32_t kind) {
  p = append(p, ", \"packed\": ");
  if (r.untouched) {
    p = append(p, "null");
  } else {
    *p++ = '"';
    p = render_json_text(p, r.text());
    *p++ = '"';
  }
  p = append(p, ", \"decoded\": ");
  p = json_text_or_null(p, decoded(r).c_str());
  Data d;
  const bool ok = take_apart(r, kind, &d);
  if (kind == ZB_KIND_INTERVAL) {
    p = append(p, ", \"start\": ");
    p = json_text_or_null(p, d.start);
    p = append(p, ", \"end\": ");
    p = json_text_or_null(p, d.end);
  }
  p = append(p, ", \"form\": ");
  p = ok ? json_text_or_null(p, form_name(d.parts.form)) : append(p, "null");
  // A missing entity, and an interval of two datetimes, have no components.
  int64_t v[8];
  components(d.parts, v);
  const bool given = ok && d.parts.form != ZB_FORM_MISSING;
  for (int i = 0; i < 8; ++i) {
    p = append(p, ", \"");
    p = append(p, kCellNames[kEndCells + i]);
    p = append(p, "\": ");
    p = given ? std::to_chars(p, p + 24, v[i]).ptr : append(p, "null");
  }
  return append(p, r.untouched ? ", \"untouched\": true}" : ", \"untouched\": false}");
}

}  // namespace isoread
