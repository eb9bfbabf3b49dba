// Registration of a module's informat family through its module entry, and
// lookup of informats and exported readers by name.
#include "family.h"

#include <cstring>

#include "catalog.h"
#include "records.h"

namespace zbhost {

namespace {

constexpr uint32_t kRegFlags = 0x2006;  // flags the registration blocks carry
constexpr int32_t kMaxInformats = 4096;  // sanity bound on a descriptor count
// Widths a routine name may be given (the host's widths are 16-bit).
constexpr int32_t kMaxRoutineWidth = 32767;

// The module's exported readers that take a call block alone are the
// catalog's numeric readers; routines of other shapes (i8601_time, the
// entity informats) are not callable this way.
ValueKind value_kind(const zb_catalog_row &r) {
  switch (r.kind) {
    case ZB_CATALOG_KIND_DATE: return ValueKind::date;
    case ZB_CATALOG_KIND_TIME: return ValueKind::time;
    default: return ValueKind::datetime;
  }
}

char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (ascii_upper(a[i]) != ascii_upper(b[i])) return false;
  return true;
}

// Routine names are symbols: exact, in lower case. Folding them would let a
// registered name of the other deliverable (B8601DT in morvista) pass
// silently as a routine with other width rules.
const zb_catalog_row *find_routine(std::string_view name) {
  for (const zb_catalog_row &r : zb_catalog)
    if (!zb_catalog_entity(r) && name == r.routine) return &r;
  return nullptr;
}

std::string decimal(int64_t v) { return std::to_string(v); }

}  // namespace

const char *kind_name(ValueKind k) {
  switch (k) {
    case ValueKind::date: return "date";
    case ValueKind::time: return "time";
    case ValueKind::datetime: return "datetime";
  }
  return "?";
}

std::unique_ptr<Family> Family::load(Host &host, const Module &module, std::string *error) {
  auto fail = [&](const std::string &why) {
    if (error) *error = module.path() + ": " + why;
    return std::unique_ptr<Family>();
  };
  const vi_mcn_record *image = module.image();
  if (!image) return fail("no image-information record");
  auto *pcns = static_cast<const pcn_record *const *>(image->pcns);
  if (!pcns || !pcns[0]) return fail("the image record lists no program-control node");
  const pcn_record *pcn = pcns[0];
  if (!pcn->entry) return fail("the program-control node has no module entry");

  std::unique_ptr<Family> fam(new Family(host));
  fam->module_ = &module;
  fam->module_name_.assign(pcn->name, strnlen(pcn->name, sizeof pcn->name));

  fam->descriptors_ = pcn->entry(1);
  if (!fam->descriptors_) return fail("request 1 of the module entry gave no descriptor block");
  auto *desc = static_cast<const descriptor_block *>(fam->descriptors_);
  if (desc->count < 0 || desc->count > kMaxInformats)
    return fail("descriptor block holds an impossible count " + decimal(desc->count));
  if (desc->count > 0 && !desc->items) return fail("descriptor block has no table");

  fam->readers_ = pcn->entry(2);
  if (!fam->readers_) return fail("request 2 of the module entry gave no reader table");
  auto *tab = static_cast<const reader_table *>(fam->readers_);

  for (int32_t i = 0; i < desc->count; ++i) {
    fmtitem item;
    std::memcpy(&item, reinterpret_cast<const char *>(desc->items) + i * sizeof(fmtitem),
                sizeof item);
    Registered r;
    size_t len = strnlen(item.name, sizeof item.name);
    if (len < 2 || item.name[0] != '@')
      return fail("descriptor " + decimal(i + 1) + " has no '@' name");
    r.name.assign(item.name + 1, len - 1);
    r.min_width = item.min_width;
    r.max_width = item.max_width;
    r.default_width = item.default_width;
    r.decimals = item.decimals;
    if (r.min_width < 1 || r.min_width > r.default_width || r.default_width > r.max_width)
      return fail("descriptor " + r.name + " has inconsistent widths");
    r.reader = reinterpret_cast<ifm_reader>(tab->readers[i]);
    if (!r.reader) return fail("reader table has no reader for " + r.name);
    // What the reader stores follows from which exported routine it is; a
    // reader the catalog does not know cannot be given a kind.
    for (const zb_catalog_row &c : zb_catalog) {
      if (!zb_catalog_entity(c) && module.symbol(c.routine) == reinterpret_cast<void *>(r.reader)) {
        r.routine = c.routine;
        r.kind = value_kind(c);
        break;
      }
    }
    if (r.routine.empty())
      return fail("the reader of " + r.name + " is no exported routine of the reader catalog");
    fam->informats_.push_back(std::move(r));
  }
  return fam;
}

Family::~Family() {
  host_allocator *a = host_.gcb_ptr()->reg_alloc;
  if (readers_) a->free(a, readers_, 0, kRegFlags);
  if (descriptors_) a->free(a, descriptors_, 0, kRegFlags);
}

const Registered *Family::find(std::string_view name) const {
  if (!name.empty() && name.front() == '@') name.remove_prefix(1);
  for (const Registered &r : informats_)
    if (same_name(name, r.name)) return &r;
  return nullptr;
}

std::string Family::known_names() const {
  std::string s = "informats of " + module_name_ + ":";
  for (const Registered &r : informats_) s += " " + r.name;
  s += "; exported readers:";
  for (const zb_catalog_row &c : zb_catalog)
    if (!zb_catalog_entity(c) && module_->symbol(c.routine)) s += std::string(" ") + c.routine;
  return s;
}

bool split_width(std::string_view s, std::string_view *base, int64_t *width) {
  size_t cut = s.size();
  while (cut > 0 && is_digit(s[cut - 1])) --cut;
  if (cut == s.size() || cut == 0) return false;
  int64_t w = 0;
  for (char c : s.substr(cut)) w = w < (int64_t{1} << 40) ? w * 10 + (c - '0') : w;
  *base = s.substr(0, cut);
  *width = w;
  return true;
}

std::optional<Informat> Family::lookup(std::string_view name, std::optional<int32_t> width,
                                       std::string *error, LookupError *why) const {
  auto fail_as = [&](LookupError kind, const std::string &text) {
    if (error) *error = text;
    if (why) *why = kind;
    return std::optional<Informat>();
  };
  auto fail = [&](const std::string &text) { return fail_as(LookupError::width, text); };
  const std::string given(name);
  std::string_view s = name;
  if (!s.empty() && s.front() == '@') s.remove_prefix(1);
  if (!s.empty() && s.back() == '.') s.remove_suffix(1);

  if (!s.empty() && s.front() == '@') s = {};  // one '@' at most
  // The whole text may be a name; otherwise its trailing digits are a width.
  const Registered *reg = find(s);
  const zb_catalog_row *routine = reg ? nullptr : find_routine(s);
  std::optional<int64_t> named_width;
  std::string width_text;  // as given, for messages
  if (!reg && !routine) {
    std::string_view base;
    int64_t w = 0;
    if (split_width(s, &base, &w)) {
      named_width = w;
      width_text = std::string(s.substr(base.size()));
      s = base;
      reg = find(s);
      routine = reg ? nullptr : find_routine(s);
    }
  }
  if (routine && !module_->symbol(routine->routine)) routine = nullptr;
  if (!reg && !routine)
    return fail_as(LookupError::name,
                   "unknown informat '" + given + "' (" + known_names() + ")");

  if (named_width && width && *named_width != *width)
    return fail("informat '" + given + "' is given two widths");
  std::optional<int64_t> w = named_width;
  if (!w && width) w = *width, width_text = decimal(*width);

  Informat f;
  if (reg) {
    if (w && (*w < reg->min_width || *w > reg->max_width))
      return fail("width " + width_text + " is out of range for " + reg->name + ": " +
                  decimal(reg->min_width) + " to " + decimal(reg->max_width));
    f.reader = reg->reader;
    f.width = w ? static_cast<int32_t>(*w) : reg->default_width;
    f.decimals = reg->decimals;
    f.kind = reg->kind;
    f.registered = true;
    f.display = reg->name + decimal(f.width) + ".";
    return f;
  }
  if (w && (*w < 1 || *w > kMaxRoutineWidth))
    return fail("width " + width_text + " is out of range for " + routine->routine + ": 1 to " +
                decimal(kMaxRoutineWidth));
  f.reader = reinterpret_cast<ifm_reader>(module_->symbol(routine->routine));
  f.width = w ? static_cast<int32_t>(*w) : -1;
  f.decimals = routine->decimals;
  f.kind = value_kind(*routine);
  f.display = std::string(routine->routine) + (w ? decimal(*w) : "");
  return f;
}

}  // namespace zbhost
