// zb_suggest: what would have read the texts a reader failed on or cut
// short, found by reading them again: with the same informat at its other
// widths, then with the other readers of the catalog that make the same
// kind of value.
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "api_internal.h"
#include "zelbrant/reader.h"

namespace {

// One reader at one width over the texts.
struct Trial {
  int read = 0;                  // texts read to a value
  size_t covered = 0;            // bytes of those texts in the reader's window
  std::vector<std::string> got;  // per text: the value's bytes; empty when not read
};

// a reads more texts than b, or as many, more of them and to other values
// (the zone that b left out; not a time part a date reader passes over).
bool better(const Trial &a, const Trial &b) {
  return a.read > b.read || (a.read == b.read && a.covered > b.covered && a.got != b.got);
}

// A reader that does better than the one given: its name as a user writes
// it ("B8601DT15.", "i8601dz") and its trial.
struct Pick {
  std::string name;
  Trial trial;
};

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool same_name(const std::string &a, const char *b) {
  if (a.size() != std::strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (upper(a[i]) != upper(b[i])) return false;
  return true;
}

// The name in a reader's display, without width and dot: "B8601DT19." is
// B8601DT, "is8601dui20" is8601dui.
std::string base_name(const char *display) {
  std::string s = display;
  if (!s.empty() && s.back() == '.') s.pop_back();
  while (!s.empty() && s.back() >= '0' && s.back() <= '9') s.pop_back();
  return s;
}

bool is_entity_kind(int32_t kind) { return kind >= ZB_KIND_DURATION; }

bool missing(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return (bits >> 48) == 0xFFFF;
}

// Trial reads on a handle. Each reader looked up for a trial is dropped
// again, so the handle keeps the readers its caller handed out.
class Trials {
 public:
  Trials(zb_handle *h, const char *const *texts, const size_t *lens, size_t n)
      : h_(h), texts_(texts), lens_(lens), n_(n) {}

  // Reads every text with reader number id.
  Trial run(int32_t id) {
    Trial t;
    t.got.resize(n_);
    zb_reader_info info;
    if (zb_describe(h_, id, &info) != ZB_OK) return t;
    std::string packed(static_cast<size_t>(info.target_length), '\0');
    for (size_t i = 0; i < n_; ++i) {
      uint32_t code = 1;
      if (is_entity_kind(info.kind)) {
        uint32_t len = 0;
        if (zb_read_entity_field(h_, id, texts_[i], lens_[i], packed.data(), packed.size(), &code,
                                 &len) == ZB_OK &&
            code == 0 && len > 0)
          t.got[i].assign(packed.data(), len);
      } else {
        double v = 0;
        if (zb_read_field(h_, id, texts_[i], lens_[i], &v, &code) == ZB_OK && code == 0 &&
            !missing(v))
          t.got[i].assign(reinterpret_cast<const char *>(&v), sizeof v);
      }
      if (t.got[i].empty()) continue;
      ++t.read;
      // The window's bytes, blanks at its end not counted.
      size_t len = lens_[i];
      if (info.width >= 0 && static_cast<size_t>(info.width) < len)
        len = static_cast<size_t>(info.width);
      while (len > 0 && texts_[i][len - 1] == ' ') --len;
      t.covered += len;
    }
    return t;
  }

  // Reads every text with the reader of that name at width (-1: its own);
  // false when the handle's module has no such reader.
  bool run(const char *name, int32_t width, Trial *t) {
    int32_t id = -1;
    if (zb_lookup(h_, name, width, &id) != ZB_OK) return false;
    if (keep_ < 0) keep_ = id;
    *t = run(id);
    zbhost::api_drop_readers(h_, static_cast<size_t>(keep_));
    return true;
  }

  // The best width of a registered informat: of the widths that read the
  // most texts, the narrowest that reads what the widest of them reads (the
  // text itself and not a cut of it, without what follows it). False when
  // no width reads a text.
  bool best_width(const zb_catalog_entry &e, int32_t *width, Trial *best) {
    std::vector<Trial> trials;
    for (int32_t w = e.min_width; w <= e.max_width; ++w) {
      trials.emplace_back();
      if (!run(e.name, w, &trials.back())) return false;
    }
    int most = 0;
    for (const Trial &t : trials) most = t.read > most ? t.read : most;
    if (most == 0) return false;
    size_t widest = trials.size() - 1;
    while (trials[widest].read != most) --widest;
    for (size_t i = 0; i <= widest; ++i)
      if (trials[i].read == most && trials[i].got == trials[widest].got) {
        *width = e.min_width + static_cast<int32_t>(i);
        *best = trials[i];
        return true;
      }
    return false;
  }

 private:
  zb_handle *h_;
  const char *const *texts_;
  const size_t *lens_;
  size_t n_;
  int32_t keep_ = -1;
};

int suggest(zb_handle *h, int32_t reader, const char *const *texts, const size_t *lens, size_t n,
            char *out, size_t size) {
  zb_reader_info info;
  if (int rc = zb_describe(h, reader, &info)) return rc;
  if ((n && (!texts || !lens)) || (!out && size))
    return zbhost::api_fail(ZB_E_NULL, "a required pointer is null");
  if (n > ZB_SUGGEST_TEXTS) n = ZB_SUGGEST_TEXTS;
  for (size_t i = 0; i < n; ++i)
    if (!texts[i] && lens[i])
      return zbhost::api_fail(ZB_E_NULL, "text " + std::to_string(i) + " is null");
  const zb_catalog_entry *catalog = nullptr;
  size_t count = 0;
  zb_list(&catalog, &count);

  Trials trials(h, texts, lens, n);
  const Trial given = trials.run(reader);
  const std::string own = base_name(info.display);
  Pick pick;
  pick.trial = given;
  // The same informat at another width: better when it reads more texts, or
  // the same ones to other values (more of each text).
  for (size_t i = 0; i < count && info.registered; ++i) {
    const zb_catalog_entry &e = catalog[i];
    int32_t w;
    Trial t;
    if (e.min_width < 1 || !same_name(own, e.name) || !trials.best_width(e, &w, &t)) continue;
    if (w != info.width && (t.read > given.read || (t.read == given.read && t.got != given.got)))
      pick = {e.name + std::to_string(w) + ".", t};
    break;
  }
  // Another reader of the same kind (any entity reader for an entity
  // reader): better when it reads more texts, or as many and more of them
  // (a zone the reader given leaves out).
  for (size_t i = 0; i < count; ++i) {
    const zb_catalog_entry &e = catalog[i];
    const bool family = is_entity_kind(info.kind) ? is_entity_kind(e.kind) : e.kind == info.kind;
    if (!family || same_name(own, e.name) || same_name(own, e.routine)) continue;
    int32_t w = -1;
    Trial t;
    const bool ran = e.min_width >= 1 ? trials.best_width(e, &w, &t) : trials.run(e.name, -1, &t);
    if (ran && better(t, pick.trial))
      pick = {e.min_width >= 1 ? e.name + std::to_string(w) + "." : std::string(e.name), t};
  }

  std::string text;
  if (!pick.name.empty()) {
    text = "try " + pick.name;
    if (pick.trial.read < static_cast<int>(n))
      text += " (reads " + std::to_string(pick.trial.read) + " of " + std::to_string(n) + ")";
  }
  if (size) {
    const size_t k = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(out, text.data(), k);
    out[k] = 0;
  }
  return static_cast<int>(text.size());
}

}  // namespace

extern "C" int zb_suggest(zb_handle *h, int32_t reader, const char *const *texts,
                          const size_t *lens, size_t n, char *out, size_t size) {
  try {
    return suggest(h, reader, texts, lens, n, out, size);
  } catch (const std::bad_alloc &) {
    return zbhost::api_fail(ZB_E_MEMORY, "out of memory");
  }
}
