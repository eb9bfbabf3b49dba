#include "entity.h"

#include <cstring>

#include "codes.h"
#include "entity_text.h"
#include "render.h"

namespace isoread {

namespace {

// Written into the target before each call, to see whether the reader wrote it.
constexpr char kSentinel = '\x01';
constexpr int32_t kMaxWidth = 32767;

struct EntityName {
  const char *routine;
  const char *message_name;  // without the '$'
  bool interval;
};
constexpr EntityName kEntities[] = {
    {"is8601dui", "IS860DU", false},
    {"is8601pdi", "IS860PD", false},
    {"is8601vli", "IS860VL", true},
};

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool same(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (upper(a[i]) != upper(b[i])) return false;
  return true;
}

const EntityName *find(std::string_view s) {
  bool dollar = !s.empty() && s.front() == '$';
  if (dollar) s.remove_prefix(1);
  for (const EntityName &e : kEntities)
    if (same(s, dollar ? e.message_name : e.routine)) return &e;
  return nullptr;
}

char *append(char *p, std::string_view s) {
  std::memcpy(p, s.data(), s.size());
  return p + s.size();
}

// The entity for people, or "" when the target holds no packed entity.
std::string decoded(const EntityResult &r) {
  if (r.untouched) return {};
  return zbhost::packed_text(r.text());
}

}  // namespace

int lookup_entity(std::string_view name, const zbhost::Module &module, const TaskOptions &t,
                  EntityField *f, std::string *error) {
  std::string_view s = name;
  if (!s.empty() && s.back() == '.') s.remove_suffix(1);
  const EntityName *e = find(s);
  int64_t width = -1;
  if (!e) {
    size_t cut = s.size();
    while (cut > 0 && s[cut - 1] >= '0' && s[cut - 1] <= '9') --cut;
    if (cut == s.size() || !(e = find(s.substr(0, cut)))) return 0;
    width = 0;
    for (char c : s.substr(cut)) width = width <= kMaxWidth ? width * 10 + (c - '0') : width;
    if (width < 1 || width > kMaxWidth) {
      *error = "width " + std::string(s.substr(cut)) + " is out of range for " + e->routine +
               ": 1 to " + std::to_string(kMaxWidth);
      return -1;
    }
  }
  f->reader = module.fn<entity_reader>(e->routine);
  if (!f->reader) {
    *error = std::string("the module does not export ") + e->routine;
    return -1;
  }
  f->report = module.fn<problem_reporter>("n8601prob");
  f->width = static_cast<int32_t>(width);
  f->target_len = t.target_length ? *t.target_length : e->interval ? 32 : 16;
  f->short_target = f->target_len < (e->interval ? 32 : 16);
  f->mode = t.mode;
  f->fill = t.fill_stars ? 1 : 0;
  f->display = std::string(e->routine) + (width > 0 ? std::to_string(width) : "");
  return 1;
}

std::string_view EntityResult::text() const {
  size_t n = status < target.size() ? status : target.size();
  return std::string_view(target.data(), n);
}

bool EntityResult::missing() const { return !untouched && zbhost::packed_text(text()) == "."; }

void call_entity(const EntityField &f, ifmblock *blk, EntityResult *r) {
  r->target.assign(static_cast<size_t>(f.target_len), kSentinel);
  blk->target = r->target.data();
  blk->target_len = f.target_len;
  r->rc = f.reader(blk, f.mode);
  if (r->rc != 0 && f.report) f.report(blk, f.fill, static_cast<int32_t>(r->rc));
  r->status = blk->status;
  r->untouched = true;
  for (char c : r->target) r->untouched &= c == kSentinel;
}

size_t entity_room(const EntityResult &r) {
  // The target twice (hex and decoded, each at most a few times its size),
  // escaped for JSON, and the message.
  return r.target.size() * 6 * 3 + 512;
}

char *render_entity_text(char *p, const EntityResult &r) {
  if (r.rc != 0) {
    *p++ = '!';
    p = render_unsigned(p, r.rc);
    *p++ = ' ';
    p = append(p, problem_text(r.rc));
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

char *render_entity_json(char *p, const EntityResult &r) {
  p = append(p, ", \"error\": ");
  if (r.rc == 0) {
    p = append(p, "null");
  } else {
    *p++ = '"';
    p = append(p, problem_text(r.rc));
    *p++ = '"';
  }
  p = append(p, ", \"status\": ");
  p = render_unsigned(p, r.status);
  p = append(p, ", \"value\": ");
  if (r.untouched) {
    p = append(p, "null");
  } else {
    *p++ = '"';
    p = render_json_text(p, r.text());
    *p++ = '"';
  }
  p = append(p, ", \"decoded\": ");
  std::string d = decoded(r);
  if (d.empty()) {
    p = append(p, "null");
  } else {
    *p++ = '"';
    p = render_json_text(p, d);
    *p++ = '"';
  }
  return append(p, r.untouched ? ", \"untouched\": true}" : ", \"untouched\": false}");
}

}  // namespace isoread
