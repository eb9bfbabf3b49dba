// Private module instances (Module::load_private): each has globals and a GCB
// of its own, reads as the shared instance does, follows the host's task
// switches, and leaves no descriptor or mapping behind when it goes.
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "family.h"
#include "support/fixture.h"

namespace {

using zbhost::Module;

// Descriptors the process has open.
int open_descriptors() {
  DIR *d = opendir("/proc/self/fd");
  if (!d) return -1;
  int n = 0;
  while (readdir(d)) ++n;
  closedir(d);
  return n;
}

// Mappings of the memory files that private copies are loaded from.
int copy_mappings() {
  std::ifstream maps("/proc/self/maps");
  int n = 0;
  for (std::string line; std::getline(maps, line);) n += line.find("zbhost-module") != std::string::npos;
  return n;
}

constexpr const char *kReaders[] = {"b8601da", "b8601tm", "b8601tz", "b8601dt",
                                    "b8601dz", "b8601dn", "b8601dj", "b8601ci"};
constexpr const char *kTexts[] = {"20110909T123045", "20110909T123045+0100", "123045-0530",
                                  "20110909", "2011252", "20120229T240000Z", "2011-09-09",
                                  "  .  ", "", "9999x", "20110230", "15820101T000000"};

class PrivateModule : public zbtest::ModuleTest {
 protected:
  std::unique_ptr<Module> load_private(const char *name = "zelbrant") {
    std::string err;
    auto m = Module::load_private(*host, zbhost::module_path(name), &err);
    EXPECT_TRUE(m) << err;
    return m;
  }
};

TEST_F(PrivateModule, EachInstanceHasGlobalsAndAGcbOfItsOwn) {
  auto a = load_private(), b = load_private();
  ASSERT_TRUE(a && b);
  EXPECT_EQ(zel->gcb_ptr(), host->gcb_ptr());
  const Module *all[] = {zel.get(), a.get(), b.get()};
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    auto anchor = static_cast<gcb **>(all[i]->symbol("v_global_gcb_anchor"));
    ASSERT_NE(anchor, nullptr);
    EXPECT_EQ(*anchor, all[i]->gcb_ptr());
    for (size_t j = 0; j < i; ++j) {
      EXPECT_NE(all[i]->symbol("v_global_gcb_anchor"), all[j]->symbol("v_global_gcb_anchor"));
      EXPECT_NE(all[i]->symbol("b8601dt"), all[j]->symbol("b8601dt"));
      EXPECT_NE(all[i]->gcb_ptr(), all[j]->gcb_ptr());
    }
  }
  const gcb *h = host->gcb_ptr();
  for (const Module *m : {a.get(), b.get()}) {
    const gcb *g = m->gcb_ptr();
    EXPECT_EQ(reinterpret_cast<uintptr_t>(g) % 64, 0u) << "a GCB shares a cache line";
    EXPECT_STREQ(g->eye, "GCB");
    EXPECT_EQ(std::memcmp(g->vectors, h->vectors, sizeof h->vectors), 0);
    EXPECT_EQ(g->reg_alloc, h->reg_alloc);
    EXPECT_EQ(g->pool, h->pool);
    EXPECT_EQ(g->current_task, h->current_task);
    EXPECT_EQ(*static_cast<void **>(m->symbol("Exported_QJHandle")), h->runtime_handle);
    EXPECT_EQ(std::memcmp(g->upcase, h->upcase, 256), 0);
    EXPECT_EQ(std::memcmp(g->ctype, h->ctype, 256), 0);
    for (int v = 0; v < GCB_VECTORS; ++v) EXPECT_EQ(g->marks[v], 0xFF) << v;
  }
}

// The registered readers of a private instance answer as the shared ones,
// and the service words they write are their own GCB's.
TEST_F(PrivateModule, ReadsAsTheSharedInstanceIntoItsOwnGcb) {
  auto p = load_private();
  ASSERT_TRUE(p);
  std::string err;
  auto family = zbhost::Family::load(*host, *p, &err);
  ASSERT_TRUE(family) << err;
  ASSERT_EQ(family->informats().size(), 8u);
  std::vector<zbtest::ReadResult> want;
  for (const char *r : kReaders)
    for (const char *t : kTexts) want.push_back(zbtest::read_numeric(reader(r), t));

  gcb *h = host->gcb_ptr();
  std::memset(h->marks, 1, sizeof h->marks);
  h->service = ~uint64_t{0};
  size_t k = 0;
  for (const zbhost::Registered &reg : family->informats()) {
    EXPECT_EQ(reinterpret_cast<void *>(reg.reader), p->symbol(reg.routine.c_str())) << reg.name;
    for (const char *t : kTexts) {
      SCOPED_TRACE(reg.name + " on '" + t + "'");
      zbtest::ReadResult got = zbtest::read_numeric(reg.reader, t);
      EXPECT_EQ(got.rc, want[k].rc);
      EXPECT_EQ(got.status, want[k].status);
      EXPECT_EQ(std::memcmp(&got.value, &want[k].value, sizeof got.value), 0);
      ++k;
    }
  }
  EXPECT_EQ(h->service, ~uint64_t{0});
  EXPECT_EQ(h->marks[0], 1);
  EXPECT_EQ(h->marks[155], 1);
  EXPECT_EQ(p->gcb_ptr()->marks[0], 0);
  EXPECT_EQ(p->gcb_ptr()->marks[155], 0);
  EXPECT_NE(p->gcb_ptr()->service, 0u);
}

// The task slot is the task's, not the instance's: one made by the shared
// instance serves a private one.
TEST_F(PrivateModule, SeesTheSlotOfTheCurrentTask) {
  host->set_gmt_offset(19800);
  fn<void (*)()>("uwxn8601_init")();
  auto p = load_private();
  ASSERT_TRUE(p);
  auto offset = p->fn<const char *(*)(const ifmblock *)>("get_gmt_offsetc");
  ASSERT_NE(offset, nullptr);
  EXPECT_EQ(std::string(offset(nullptr), 6), "+05:30");
}

TEST_F(PrivateModule, FollowsTaskSwitches) {
  task_context *first = host->current_task();
  auto a = load_private();
  ASSERT_TRUE(a);
  task_context *t = host->new_task();
  host->switch_task(t);
  EXPECT_EQ(a->gcb_ptr()->current_task, t);
  auto b = load_private("morvista");
  ASSERT_TRUE(b);
  EXPECT_EQ(b->gcb_ptr()->current_task, t);
  a.reset();  // its GCB goes; switching must not reach it
  host->switch_task(first);
  EXPECT_EQ(b->gcb_ptr()->current_task, first);
  EXPECT_EQ(host->gcb_ptr()->current_task, first);
}

TEST_F(PrivateModule, LeavesNoDescriptorOrMappingBehind) {
  const int fds = open_descriptors();
  ASSERT_GT(fds, 0);
  ASSERT_EQ(copy_mappings(), 0);
  {
    auto a = load_private(), b = load_private();
    ASSERT_TRUE(a && b);
    EXPECT_EQ(open_descriptors(), fds + 2);
    EXPECT_GT(copy_mappings(), 0);
  }
  EXPECT_EQ(open_descriptors(), fds);
  EXPECT_EQ(copy_mappings(), 0);

  // Each failure leaves nothing behind either, and names the file.
  const std::string lib = ZB_TESTLIB_DIR, not_a_library = ZB_SOURCE_DIR "/README.md";
  const std::pair<std::string, const char *> failures[] = {
      {"/nonexistent/zelbrant.so", "cannot copy"},
      {not_a_library, "cannot load a private copy"},
      {lib + "/zb_bad_marker.so", "marker"},
      {lib + "/zb_null_image.so", "no image record"},
  };
  for (const auto &[path, says] : failures) {
    std::string err;
    EXPECT_FALSE(Module::load_private(*host, path, &err)) << path;
    EXPECT_NE(err.find(path), std::string::npos) << err;
    EXPECT_NE(err.find(says), std::string::npos) << err;
    EXPECT_EQ(open_descriptors(), fds) << path;
    EXPECT_EQ(copy_mappings(), 0) << path;
  }
}

// Threads that load and read through instances of their own at once, while
// the host switches tasks, get what one thread gets.
TEST_F(PrivateModule, ThreadsReadThroughInstancesOfTheirOwn) {
  std::vector<zbtest::ReadResult> want;
  for (const char *r : kReaders)
    for (const char *t : kTexts) want.push_back(zbtest::read_numeric(reader(r), t));
  task_context *first = host->current_task(), *other = host->new_task();
  std::vector<int> bad(4, 0);
  std::vector<std::thread> pool;
  for (size_t i = 0; i < bad.size(); ++i) {
    pool.emplace_back([&, i] {
      auto p = load_private();
      if (!p) return void(++bad[i]);
      for (int round = 0; round < 20; ++round) {
        size_t k = 0;
        for (const char *r : kReaders) {
          auto rd = p->fn<ifm_reader>(r);
          for (const char *t : kTexts) {
            zbtest::ReadResult got = zbtest::read_numeric(rd, t);
            bad[i] += got.rc != want[k].rc ||
                      std::memcmp(&got.value, &want[k].value, sizeof got.value) != 0;
            ++k;
          }
        }
      }
    });
  }
  for (int n = 0; n < 2000; ++n) host->switch_task(n % 2 ? other : first);
  host->switch_task(first);
  for (std::thread &t : pool) t.join();
  for (int b : bad) EXPECT_EQ(b, 0);
}

}  // namespace
