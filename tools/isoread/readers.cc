#include "readers.h"

#include <algorithm>

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
  for (const FieldSpec &spec : opts.fields) {
    int32_t reader;
    zb_reader_info info;
    if (zb_lookup(h, spec.name.c_str(), -1, &reader) != ZB_OK ||
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
    fields->push_back(std::move(f));
  }
  return handle;
}

bool any_reader_logs(const Handle &handle, const std::vector<Field> &fields) {
  for (size_t i = 0; i < fields.size(); ++i) {
    int32_t logs = 0;
    if (zb_reader_logs(handle.get(), static_cast<int32_t>(i), &logs) == ZB_OK && logs) return true;
  }
  return false;
}

}  // namespace isoread
