#include "version.h"

#include <vector>

#include "zelbrant/reader.h"

namespace isoread {

int print_version(const std::string &module, FILE *out, FILE *err) {
  std::fprintf(out, "isoread %s\n", ZB_PROJECT_VERSION);
  std::vector<std::string> modules = {"zelbrant", "morvista"};
  if (module != "zelbrant" && module != "morvista") modules.push_back(module);
  for (const std::string &m : modules) {
    zb_module_info info{};
    info.size = sizeof info;
    if (zb_module_describe(m.c_str(), &info) != ZB_OK) {
      std::fprintf(err, "isoread: %s\n", zb_last_error());
      continue;
    }
    std::fprintf(out, "%s: release %s, build %s", info.name, info.release, info.build);
    if (info.long_build[0]) std::fprintf(out, " (%s)", info.long_build);
    std::fprintf(out, ", built %s, %s\n", info.built, info.path);
  }
  return 0;
}

}  // namespace isoread
