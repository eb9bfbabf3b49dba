#include "support/fixture.h"

#include "support/call_block.h"

namespace zbtest {

ReadResult call_guarded(ifm_reader reader, std::string_view text, int32_t width, int32_t avail,
                        const std::function<void(ifmblock &)> &adjust) {
  GuardedField field(text);
  double target = sentinel();
  ifmblock blk = call_block(field.data(), width, avail, &target, sizeof target);
  if (adjust) adjust(blk);
  ReadResult r;
  r.rc = reader(&blk);
  r.value = target;
  r.status = blk.status;
  r.untouched = is_sentinel(target);
  return r;
}

void ModuleTest::SetUp() {
  host = std::make_unique<zbhost::Host>();
  host->capture_log(true);
  host->set_exit_returns(true);
  std::string err;
  zel = zbhost::Module::load(*host, zbhost::module_path("zelbrant"), &err);
  ASSERT_TRUE(zel) << err;
  mor = zbhost::Module::load(*host, zbhost::module_path("morvista"), &err);
  ASSERT_TRUE(mor) << err;
}

void ModuleTest::TearDown() {
  mor.reset();
  zel.reset();
  host.reset();
}

void *ModuleTest::sym(const char *name, bool morvista) {
  void *p = (morvista ? mor : zel)->symbol(name);
  EXPECT_NE(p, nullptr) << name << " is not exported";
  return p;
}

}  // namespace zbtest
