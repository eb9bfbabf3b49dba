#include "writer.h"

#include "render.h"

namespace isoread {

namespace {

struct Format {
  bool (*picks)(const Options &opts, const Layout &layout);
  std::unique_ptr<Writer> (*make)(const Options &opts, const Layout &layout);
};

// The first that picks the options makes the writer.
const Format kFormats[] = {
    {[](const Options &o, const Layout &) { return o.mode == OutputMode::dump; },
     make_dump_writer},
    {[](const Options &o, const Layout &) { return o.mode == OutputMode::json; },
     make_json_writer},
    {[](const Options &, const Layout &l) { return l.csv_out(); }, make_csv_writer},
    {[](const Options &, const Layout &) { return true; }, make_text_writer},
};

}  // namespace

std::unique_ptr<Writer> make_writer(const Options &opts, const Layout &layout) {
  for (const Format &f : kFormats)
    if (f.picks(opts, layout)) return f.make(opts, layout);
  return nullptr;
}

std::vector<std::string> column_names(const Layout &layout, size_t i, bool raw) {
  const Field &f = layout.field(i);
  if (!raw || !f.entity()) return {layout.header_name(i)};
  size_t n;
  const char *const *names = entity_cell_names(f.kind, &n);
  std::vector<std::string> out;
  for (size_t k = 0; k < n; ++k) out.push_back(layout.header_name(i) + "_" + names[k]);
  return out;
}

char *render_kept(char *p, const RecordOut &rec, char sep) {
  p = append(p, rec.text);
  if (rec.mark == Mark::unclosed) *p++ = '"';
  *p++ = sep;
  return p;
}

}  // namespace isoread
