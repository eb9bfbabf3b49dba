// The dump: per field, what the reader was given and what it left in a
// target filled first (for bug reports).
#include "render.h"
#include "writer.h"

namespace isoread {

namespace {

class DumpWriter : public Writer {
 public:
  explicit DumpWriter(const Layout &layout) : layout_(layout) {}

  bool serial() const override { return true; }

  void record(const RecordOut &rec, Output &out) override {
    char *p = out.reserve(32);
    p = append(p, "record ");
    p = render_unsigned(p, rec.number);
    *p++ = '\n';
    out.commit(p);
    const bool fixed = layout_.records() == Records::fixed;
    for (size_t i = 0; i < layout_.size(); ++i) {
      const Field &f = layout_.field(i);
      const Result &r = rec.results[i];
      std::string_view win = r.window();
      p = out.reserve(f.given.size() + f.display.size() + win.size() * 7 + entity_room(r.ent) +
                      512);
      p = append(p, "  field ");
      p = render_unsigned(p, i + 1);
      p = append(p, " ");
      p = append(p, f.display);
      p = append(p, fixed ? ": column " : ": field number ");
      p = render_unsigned(p, static_cast<uint32_t>(r.column));
      p = append(p, ", width ");
      p = render_unsigned(p, static_cast<uint32_t>(r.width));
      p = append(p, ", available ");
      p = render_unsigned(p, static_cast<uint32_t>(r.avail));
      p = append(p, "\n    window ");
      p = render_quoted(p, win);
      p = append(p, " [");
      p = render_hex(p, reinterpret_cast<const unsigned char *>(win.data()), win.size());
      p = append(p, "]\n    returned ");
      p = render_code(p, r.rc);
      if (f.entity()) {
        p = append(p, ", status ");
        p = render_unsigned(p, r.status);
        p = append(p, ", target ");
        p = render_entity_text(p, r.ent);
        *p++ = '\n';
        out.commit(p);
        continue;
      }
      if (r.rc) {
        p = append(p, " (");
        p = append(p, zb_code_text(r.rc));
        p = append(p, ")");
      }
      p = append(p, ", status ");
      p = render_code(p, r.status);
      p = append(p, ", target [");
      p = render_hex(p, r.target, sizeof r.target);
      p = append(p, "]");
      if (r.untouched) {
        p = append(p, " untouched");
      } else if (r.missing()) {
        p = append(p, " missing");
      } else {
        p = append(p, " = ");
        p = render_number(p, r.value);
        p = append(p, " = ");
        p = render_iso(p, r.value, f.kind, f.zoned);
      }
      *p++ = '\n';
      out.commit(p);
    }
  }

 private:
  const Layout &layout_;
};

}  // namespace

std::unique_ptr<Writer> make_dump_writer(const Options &, const Layout &layout) {
  return std::make_unique<DumpWriter>(layout);
}

}  // namespace isoread
