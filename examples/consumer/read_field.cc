// Loads zelbrant.so from the installed tree through the stand-in host,
// registers its informats and reads one field with B8601DT15.
//
//   read_field [FIELD]   (default 20110909T123045)
//
// Prints the host datetime (seconds from 1960-01-01T00:00:00); exit status
// 0 when the field was read, 1 when the reader rejected it, 2 when the
// module could not be loaded.
#include <cstdio>
#include <cstring>
#include <string>

#include "family.h"
#include "host.h"
#include "ifmblock.h"

int main(int argc, char **argv) {
  const char *text = argc > 1 ? argv[1] : "20110909T123045";
  zbhost::Host host;
  std::string error;
  auto module = zbhost::Module::load(host, std::string(MODULE_DIR) + "/zelbrant.so", &error);
  auto family = module ? zbhost::Family::load(host, *module, &error) : nullptr;
  auto informat = family ? family->lookup("B8601DT15.", std::nullopt, &error) : std::nullopt;
  if (!informat) {
    std::fprintf(stderr, "read_field: %s\n", error.c_str());
    return 2;
  }
  double value = 0;
  ifmblock blk;
  std::memset(&blk, 0, sizeof blk);
  blk.width = informat->width;
  blk.input = text;
  blk.avail = static_cast<int32_t>(std::strlen(text));
  blk.target = &value;
  const uint32_t rc = informat->reader(&blk);
  if (rc != 0) {
    std::printf("%s: rejected, code 0x%08x\n", text, rc);
    return 1;
  }
  if (ifm_is_missing(value)) std::printf("%s: missing\n", text);
  else std::printf("%s: %.0f\n", text, value);
  return 0;
}
