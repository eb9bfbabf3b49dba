#include <cstdlib>

#include "host.h"

namespace zbhost {

// ZB_MODULE_DIR in the environment overrides the build directory.
std::string module_dir() {
  if (const char *env = std::getenv("ZB_MODULE_DIR"); env && *env) return env;
  return ZB_MODULE_DIR;
}

std::string module_path(const std::string &name) { return module_dir() + "/" + name + ".so"; }

}  // namespace zbhost
