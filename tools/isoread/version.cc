#include "version.h"

#include <cstring>
#include <string_view>

#include "host.h"
#include "records.h"

namespace isoread {

namespace {

using qjvercn1_fn = void (*)(void *buf);

// A NUL-padded text of a fixed-width record field: up to the first NUL,
// never past the field.
std::string_view field_text(const char *p, size_t width) {
  const void *nul = std::memchr(p, 0, width);
  return {p, nul ? static_cast<size_t>(static_cast<const char *>(nul) - p) : width};
}

// The text a slot of the version record points at, at most `limit`
// characters, or "" when the slot is null.
std::string slot_text(const void *slot, size_t limit) {
  if (!slot) return "";
  const char *p = static_cast<const char *>(slot);
  return std::string(field_text(p, limit));
}

}  // namespace

int print_version(const std::vector<std::string> &modules, FILE *out, FILE *err) {
  std::fprintf(out, "isoread %s\n", ZB_PROJECT_VERSION);
  zbhost::Host host;
  for (const std::string &m : modules) {
    const std::string path = (m == "zelbrant" || m == "morvista") ? zbhost::module_path(m) : m;
    std::string error;
    auto module = zbhost::Module::load(host, path, &error);
    if (!module) {
      std::fprintf(err, "isoread: %s\n", error.c_str());
      continue;
    }
    const vi_mcn_record *img = module->image();
    const pcn_record *pcn = module->pcn();
    const std::string name =
        pcn ? std::string(field_text(pcn->name, sizeof pcn->name)) : std::string("?");
    // The version record: 26 pointer-sized slots, the long build identifier
    // in the first.
    std::string long_id;
    if (auto q = module->fn<qjvercn1_fn>("qjvercn1")) {
      const void *info[INFO_SLOTS] = {};
      q(info);
      long_id = slot_text(info[0], 64);
    }
    std::fprintf(out, "%s: release %.*s, build %.*s", name.c_str(),
                 static_cast<int>(field_text(img->release, sizeof img->release).size()),
                 img->release,
                 static_cast<int>(field_text(img->build_id, sizeof img->build_id).size()),
                 img->build_id);
    if (!long_id.empty()) std::fprintf(out, " (%s)", long_id.c_str());
    const std::string_view date = field_text(img->build_date, sizeof img->build_date);
    std::fprintf(out, ", built %.*s, %s\n", static_cast<int>(date.size()), date.data(),
                 path.c_str());
  }
  return 0;
}

}  // namespace isoread
