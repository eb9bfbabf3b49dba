// JSON Lines: one object per record, what each field's reader was given
// and gave back.
#include <cmath>

#include "render.h"
#include "writer.h"

namespace isoread {

namespace {

class JsonWriter : public Writer {
 public:
  explicit JsonWriter(const Layout &layout) : layout_(layout) {}

  void record(const RecordOut &rec, Output &out) override {
    char *p = out.reserve(64);
    p = append(p, "{\"record\": ");
    p = render_unsigned(p, rec.number);
    p = append(p, ", \"fields\": [");
    out.commit(p);
    for (size_t i = 0; i < layout_.size(); ++i) {
      const Field &f = layout_.field(i);
      const Result &r = rec.results[i];
      std::string_view win = r.window();
      p = out.reserve(f.display.size() * 6 + win.size() * 6 + entity_room(r.ent) + 256);
      if (i) p = append(p, ", ");
      p = append(p, "{\"name\": \"");
      p = render_json_text(p, f.display);
      p = append(p, "\", \"width\": ");
      p = render_unsigned(p, static_cast<uint32_t>(r.width));
      p = append(p, ", \"text\": \"");
      p = render_json_text(p, win);
      p = append(p, "\", \"rc\": ");
      p = render_unsigned(p, r.rc);
      // "code": the same number ("rc" is kept for older consumers), and its
      // message: a host code's or an entity reader's problem's.
      p = append(p, ", \"code\": ");
      p = render_unsigned(p, r.rc);
      p = append(p, ", \"message\": ");
      if (r.rc == 0) {
        p = append(p, "null");
      } else {
        *p++ = '"';
        p = render_json_text(p, f.entity() ? zb_problem_text(r.rc) : zb_code_text(r.rc));
        *p++ = '"';
      }
      p = append(p, ", \"status\": ");
      p = render_unsigned(p, f.entity() ? r.ent.status : r.status);
      if (f.entity()) {
        out.commit(render_entity_json(p, r.ent, f.kind));
        continue;
      }
      p = append(p, ", \"value\": ");
      if (r.untouched || r.missing() || !std::isfinite(r.value)) p = append(p, "null");
      else p = render_number(p, r.value);
      p = append(p, r.untouched ? ", \"untouched\": true}" : ", \"untouched\": false}");
      out.commit(p);
    }
    out.put("]}\n");
  }

 private:
  const Layout &layout_;
};

}  // namespace

std::unique_ptr<Writer> make_json_writer(const Options &, const Layout &layout) {
  return std::make_unique<JsonWriter>(layout);
}

}  // namespace isoread
