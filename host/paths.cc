#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "host.h"

namespace zbhost {

namespace {

// The installed module directory next to the running program (the program
// in P/bin, the modules in P/lib/zelbrant), or "" when the program is not
// part of an installed tree: that directory holds neither module.
std::string installed_module_dir() {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec || exe.empty()) return "";
  const fs::path dir = (exe.parent_path() / ZB_MODULEDIR_FROM_BINDIR).lexically_normal();
  for (const char *name : {"zelbrant.so", "morvista.so"})
    if (fs::is_regular_file(dir / name, ec)) return dir.string();
  return "";
}

}  // namespace

// ZB_MODULE_DIR in the environment wins; then the module directory of the
// installed tree the program belongs to; then the build directory.
std::string module_dir() {
  if (const char *env = std::getenv("ZB_MODULE_DIR"); env && *env) return env;
  static const std::string installed = installed_module_dir();
  if (!installed.empty()) return installed;
  return ZB_MODULE_DIR;
}

std::string module_path(const std::string &name) { return module_dir() + "/" + name + ".so"; }

}  // namespace zbhost
