#include "entity.h"

#include <cstring>

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

}  // namespace

std::string_view EntityResult::text() const {
  size_t n = status < target_len ? status : target_len;
  return std::string_view(target, n);
}

bool EntityResult::missing() const { return !untouched && decoded(*this) == "."; }

size_t entity_room(const EntityResult &r) {
  // The target twice (hex and decoded, each at most a few times its size),
  // escaped for JSON, and the message.
  return r.target_len * 6 * 3 + 512;
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

char *render_entity_json(char *p, const EntityResult &r) {
  p = append(p, ", \"error\": ");
  if (r.rc == 0) {
    p = append(p, "null");
  } else {
    *p++ = '"';
    p = append(p, zb_problem_text(r.rc));
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
