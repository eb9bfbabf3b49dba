// One libFuzzer target: ZB_FUZZ_TARGET names the family (fuzz/targets.txt,
// targets.h). Both modules are loaded once, before the first input, so that
// their coverage counters are registered with the fuzzer.
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "targets.h"

#ifndef ZB_FUZZ_TARGET
#error "ZB_FUZZ_TARGET names the target"
#endif

namespace {

std::unique_ptr<zbhost::Host> g_host;
std::unique_ptr<zbhost::Module> g_zel, g_mor;
zbfuzz::Env g_env;
int g_target = -1;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  g_target = zbfuzz::target_index(ZB_FUZZ_TARGET);
  if (g_target < 0) {
    std::fprintf(stderr, "no fuzz target named %s\n", ZB_FUZZ_TARGET);
    std::abort();
  }
  g_host = std::make_unique<zbhost::Host>();
  g_host->set_exit_returns(true);
  std::string err;
  g_zel = zbhost::Module::load(*g_host, zbhost::module_path("zelbrant"), &err);
  if (g_zel) g_mor = zbhost::Module::load(*g_host, zbhost::module_path("morvista"), &err);
  g_env.host = g_host.get();
  if (!g_zel || !g_mor || !zbfuzz::prepare(&g_env, *g_zel, *g_mor, &err)) {
    std::fprintf(stderr, "cannot load the modules: %s\n", err.c_str());
    std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  zbfuzz::Checker c;
  zbfuzz::run_target(g_target, g_env, data, size, &c);
  if (!c.failures.empty()) {
    for (const std::string &f : c.failures) std::fprintf(stderr, "PROPERTY: %s\n", f.c_str());
    std::abort();
  }
  return 0;
}
