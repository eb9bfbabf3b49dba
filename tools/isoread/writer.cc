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

char *render_kept(char *p, const RecordOut &rec, char sep) {
  p = append(p, rec.text);
  if (rec.mark == Mark::unclosed) *p++ = '"';
  *p++ = sep;
  return p;
}

}  // namespace isoread
