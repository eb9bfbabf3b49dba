#include "readers.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

namespace isoread {

std::unique_ptr<Handle> Handle::open(const Options &opts, std::vector<Field> *fields,
                                     std::string *error) {
  const TaskOptions &t = opts.task;
  std::vector<std::string> texts;
  for (const auto &o : t.host_options) texts.push_back(o.first + "=" + o.second);
  std::vector<const char *> host_options;
  for (const std::string &s : texts) host_options.push_back(s.c_str());
  zb_options o{};
  o.size = sizeof o;
  o.n_host_options = static_cast<uint32_t>(host_options.size());
  o.host_options = host_options.data();
  o.has_gmt_offset = t.gmt_offset.has_value();
  o.gmt_offset = static_cast<int32_t>(t.gmt_offset.value_or(0));
  o.entity_mode = t.mode;
  o.has_entity_mode = 1;
  o.target_length = t.target_length.value_or(0);
  o.has_target_length = t.target_length.has_value();
  o.fill_stars = t.fill_stars;

  zb_handle *h = nullptr;
  if (zb_open(opts.module.c_str(), &o, &h) != ZB_OK) {
    *error = zb_last_error();
    return nullptr;
  }
  std::unique_ptr<Handle> handle(new Handle(h));
  const bool cells = opts.csv || opts.delimited;
  for (const FieldSpec &spec : opts.fields) {
    int32_t reader;
    zb_reader_info info;
    // A cell is read whole: an informat given without a width reads at its
    // widest, not at a default width that would cut longer cells.
    const zb_catalog_entry *whole = cells ? informat_without_width(spec.name, opts.module) : nullptr;
    const int32_t width = whole ? whole->max_width : -1;
    if (zb_lookup(h, spec.name.c_str(), width, &reader) != ZB_OK ||
        zb_describe(h, reader, &info) != ZB_OK) {
      *error = "field '" + spec.given + "': " + zb_last_error();
      return nullptr;
    }
    if (!fields) continue;
    Field f;
    f.given = spec.given;
    f.pos = spec.pos;
    f.kind = info.kind;
    f.width = info.width;
    f.target_len = info.target_length;
    f.display = info.display;
    const zb_catalog_entry *e = catalog_entry(info, opts.module);
    f.zoned = e && (e->flags & ZB_READER_ZONED);
    fields->push_back(std::move(f));
  }
  return handle;
}

namespace {

bool same_letters(char a, char b) {
  return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
}

// Whether module (a name or a path) is one of the words of modules.
bool in_modules(const char *modules, const std::string &module) {
  std::string base = module.substr(module.find_last_of('/') + 1);
  if (size_t dot = base.find('.'); dot != std::string::npos) base.resize(dot);
  for (const char *p = modules; *p;) {
    const char *end = std::strchr(p, ' ');
    const size_t n = end ? static_cast<size_t>(end - p) : std::strlen(p);
    if (base.size() == n && base.compare(0, n, p, n) == 0) return true;
    p += n + (end != nullptr);
  }
  return false;
}

}  // namespace

const zb_catalog_entry *informat_without_width(const std::string &name,
                                               const std::string &module) {
  std::string_view s = name;
  if (!s.empty() && s.front() == '@') s.remove_prefix(1);
  if (!s.empty() && s.back() == '.') s.remove_suffix(1);
  const zb_catalog_entry *entries;
  size_t count;
  if (zb_list(&entries, &count) != ZB_OK) return nullptr;
  for (size_t i = 0; i < count; ++i) {
    const zb_catalog_entry &e = entries[i];
    if (e.min_width < 0 || std::strlen(e.name) != s.size() || !in_modules(e.modules, module))
      continue;
    if (std::equal(s.begin(), s.end(), e.name, same_letters)) return &e;
  }
  return nullptr;
}

const zb_catalog_entry *catalog_entry(const zb_reader_info &info, const std::string &module) {
  const zb_catalog_entry *entries;
  size_t count;
  if (zb_list(&entries, &count) != ZB_OK) return nullptr;
  const std::string display = info.display;
  const zb_catalog_entry *found = nullptr;
  for (size_t i = 0; i < count; ++i) {
    const zb_catalog_entry &e = entries[i];
    const size_t n = std::strlen(e.name);
    if (display.size() < n || !std::equal(e.name, e.name + n, display.begin(), same_letters))
      continue;
    if (display.find_first_not_of("0123456789.", n) != std::string::npos) continue;
    // A name may be another module's (b8601dj): the module's own wins.
    if (in_modules(e.modules, module)) return &e;
    if (!found) found = &e;
  }
  return found;
}

bool any_reader_logs(const Handle &handle, const std::vector<Field> &fields) {
  for (size_t i = 0; i < fields.size(); ++i) {
    int32_t logs = 0;
    if (zb_reader_logs(handle.get(), static_cast<int32_t>(i), &logs) == ZB_OK && logs) return true;
  }
  return false;
}

}  // namespace isoread
