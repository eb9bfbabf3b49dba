// Text output: one line per record, the fields' values separated by tabs
// (or the delimiter with --keep of delimited records).
#include "render.h"
#include "writer.h"

namespace isoread {

namespace {

class TextWriter : public Writer {
 public:
  TextWriter(const Options &opts, const Layout &layout)
      : layout_(layout), keep_(opts.keep), raw_(opts.mode == OutputMode::raw) {
    for (size_t i = 0; i < layout.size(); ++i) any_entity_ |= layout.field(i).entity();
  }

  bool has_header() const override { return true; }
  void header(const Layout &layout, std::string_view first_record, Output &out) override {
    std::string line;
    if (keep_) (line = first_record) += layout.out_sep();
    bool first = true;
    for (size_t i = 0; i < layout.size(); ++i)
      for (const std::string &name : column_names(layout, i, raw_)) {
        if (!first) line += layout.out_sep();
        first = false;
        line += name;
      }
    out.put(line += '\n');
  }

  void record(const RecordOut &rec, Output &out) override {
    const char sep = layout_.out_sep();
    const size_t n = layout_.size();
    if (!any_entity_) {
      // Room for the whole line at once.
      char *p = out.reserve((keep_ ? kept_room(rec) : 0) + n * (kValueRoom + 1) + 1);
      if (keep_) p = render_kept(p, rec, sep);
      for (size_t i = 0; i < n; ++i) {
        if (i) *p++ = sep;
        p = value(p, rec.results[i], layout_.field(i));
      }
      *p++ = '\n';
      out.commit(p);
      return;
    }
    if (keep_) out.commit(render_kept(out.reserve(kept_room(rec)), rec, sep));
    for (size_t i = 0; i < n; ++i) {
      const Result &r = rec.results[i];
      char *p = out.reserve(kValueRoom + entity_room(r.ent) + 2);
      if (i) *p++ = sep;
      const Field &f = layout_.field(i);
      if (!f.entity()) {
        p = value(p, r, f);
      } else if (!raw_ || r.rc != 0 || r.ent.untouched) {
        p = render_entity_text(p, r.ent);
      } else if (r.ent.missing()) {
        *p++ = '.';
      } else {
        p = render_entity_cells(p, r.ent, f.kind, sep);
      }
      out.commit(p);
    }
    out.put('\n');
  }

 private:
  // The text of a field read by a numeric reader (kValueRoom at most).
  char *value(char *p, const Result &r, const Field &f) const {
    if (r.rc != 0) {
      *p++ = '!';
      return render_code(p, r.rc);
    }
    if (r.untouched) {
      *p++ = '?';
      return p;
    }
    if (r.missing()) {
      *p++ = '.';
      return p;
    }
    return render_plain(p, r, f, raw_);
  }

  const Layout &layout_;
  const bool keep_, raw_;
  bool any_entity_ = false;
};

}  // namespace

std::unique_ptr<Writer> make_text_writer(const Options &opts, const Layout &layout) {
  return std::make_unique<TextWriter>(opts, layout);
}

}  // namespace isoread
