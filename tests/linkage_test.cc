// Module linkage as the host sees it: the records it reads by layout (read
// here as raw bytes at their offsets, not through the module's own structs),
// the family-entry builder, the version query, the load-time entry, and the
// built files themselves.
#include <dlfcn.h>
#include <elf.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "support/fixture.h"

// Definitions under the names of module routines, exported from the test
// program. The module must keep calling its own: a call that lands here is
// counted.
namespace {
struct Interposed {
  int himodcn = 0;
  int xexit = 0;
  int vmalcp_handler = 0;
} g_interposed;
}  // namespace

extern "C" {
__attribute__((visibility("default"))) gcb *v_global_gcb_anchor = nullptr;
__attribute__((visibility("default"))) void himodcn(void) { ++g_interposed.himodcn; }
__attribute__((visibility("default"))) void xexit(int32_t, int32_t) { ++g_interposed.xexit; }
__attribute__((visibility("default"))) void *vmalcp_handler(host_allocator *, size_t, uint32_t) {
  ++g_interposed.vmalcp_handler;
  return nullptr;
}
}

namespace {

using mcn_main_fn = const void *(*)(gcb *, void *);
using qjvercn1_fn = void (*)(void *);
using xfmfent_fn = void *(*)(int32_t, int32_t, const void *, void *const *);

struct Deliverable {
  const char *name;
  bool morvista;
  const char *pcn;
  uint64_t particular;
  const char *description;
};

const Deliverable kDeliverables[] = {
    {"zelbrant", false, "pcn_ZELBRANT", 0x12D80C, "The ISO 8601 informats - Basic"},
    {"morvista", true, "pcn_MORVISTA", 0x2053ACB1,
     "The ISO 8601 informats - Basic - original names"},
};

const unsigned char *ub(const void *p) { return static_cast<const unsigned char *>(p); }

template <class T>
T at(const void *base, size_t off) {
  T v;
  std::memcpy(&v, ub(base) + off, sizeof v);
  return v;
}

// width bytes at off: the text, then NULs to the end of the area.
void expect_padded(const void *base, size_t off, size_t width, std::string_view text) {
  const std::string area(reinterpret_cast<const char *>(ub(base) + off), width);
  EXPECT_EQ(area.substr(0, text.size()), text) << "at offset " << off;
  EXPECT_EQ(area.substr(text.size()), std::string(width - text.size(), '\0'))
      << "padding at offset " << off;
}

// A NUL-terminated text of exactly len characters, without reading past it.
std::string text_of(const char *p, size_t len) {
  EXPECT_NE(p, nullptr);
  if (!p) return {};
  EXPECT_EQ(strnlen(p, len + 1), len) << "text '" << std::string(p, strnlen(p, len + 1)) << "'";
  return std::string(p, strnlen(p, len));
}

bool all_digits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}
int num(std::string_view s) { return std::stoi(std::string(s)); }

const char *const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

class LinkageTest : public zbtest::ModuleTest {
 protected:
  const unsigned char *record(const Deliverable &d, const char *name) {
    return ub(sym(name, d.morvista));
  }
};

// --- vi_mcn ------------------------------------------------------------------

TEST_F(LinkageTest, ImageRecordBytes) {
  for (const auto &d : kDeliverables) {
    SCOPED_TRACE(d.name);
    const unsigned char *vi = record(d, "vi_mcn");
    expect_padded(vi, 0, 24, "QOR_Image_Information=");
    EXPECT_EQ(at<uint32_t>(vi, 24), 0xB0BDEBEDu);
    EXPECT_EQ(vi[24], 0xED) << "little-endian magic";
    EXPECT_EQ(at<uint32_t>(vi, 28), 0u);
    EXPECT_EQ(at<int64_t>(vi, 32), 8);

    const std::string release(reinterpret_cast<const char *>(vi + 40), 4);
    expect_padded(vi, 40, 6, release);
    EXPECT_TRUE(all_digits(release.substr(0, 1)) && release[1] == '.' &&
                all_digits(release.substr(2)))
        << release;

    // release . maintenance level mmddyy
    const std::string id(reinterpret_cast<const char *>(vi + 46), 16);
    expect_padded(vi, 46, 20, id);
    EXPECT_EQ(id.substr(0, 4), release);
    EXPECT_EQ(id[4], '.');
    EXPECT_TRUE(all_digits(id.substr(5, 2))) << id;
    for (char c : id.substr(7, 3)) EXPECT_TRUE(c > ' ' && c < 0x7F) << "level code " << id;
    ASSERT_TRUE(all_digits(id.substr(10, 6))) << id;
    EXPECT_GE(num(id.substr(10, 2)), 1);
    EXPECT_LE(num(id.substr(10, 2)), 12);
    EXPECT_GE(num(id.substr(12, 2)), 1);
    EXPECT_LE(num(id.substr(12, 2)), 31);

    // "Mon dd yyyy", the day blank-filled; the same day as the identifier.
    const std::string date(reinterpret_cast<const char *>(vi + 66), 11);
    expect_padded(vi, 66, 30, date);
    const auto month = std::find_if(std::begin(kMonths), std::end(kMonths),
                                    [&](const char *m) { return date.substr(0, 3) == m; });
    ASSERT_NE(month, std::end(kMonths)) << date;
    EXPECT_EQ(date[3], ' ');
    EXPECT_TRUE(date[4] == ' ' ? date[5] >= '1' && date[5] <= '9'
                               : date[4] >= '1' && date[4] <= '3' && all_digits(date.substr(5, 1)))
        << date;
    EXPECT_EQ(date[6], ' ');
    ASSERT_TRUE(all_digits(date.substr(7, 4))) << date;
    EXPECT_EQ(num(id.substr(10, 2)), month - std::begin(kMonths) + 1) << id << " / " << date;
    EXPECT_EQ(num(id.substr(12, 2)), num(date.substr(4, 2))) << id << " / " << date;
    EXPECT_EQ(id.substr(14, 2), date.substr(9, 2)) << id << " / " << date;

    EXPECT_EQ(at<const void *>(vi, 96), sym("mcn_pcns", d.morvista));
    const std::string copyright = text_of(at<const char *>(vi, 104), 88);
    EXPECT_EQ(copyright.substr(0, 1), " ");
    expect_padded(vi, 112, 8, "001");
  }
}

TEST_F(LinkageTest, ProgramControlNodeBytes) {
  for (const auto &d : kDeliverables) {
    SCOPED_TRACE(d.name);
    const unsigned char *list = record(d, "mcn_pcns");
    const unsigned char *pcn = record(d, d.pcn);
    EXPECT_EQ(at<const void *>(list, 0), pcn);
    EXPECT_EQ(at<const void *>(list, 8), nullptr);

    const unsigned char lead[8] = {0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(std::memcmp(pcn, lead, 8), 0);
    EXPECT_EQ(at<int64_t>(pcn, 8), 0x400);
    EXPECT_EQ(at<int64_t>(pcn, 16), 0x400);
    expect_padded(pcn, 24, 16, d.name);
    EXPECT_EQ(at<const void *>(pcn, 40), sym(d.name, d.morvista)) << "module entry";
    EXPECT_EQ(at<int64_t>(pcn, 48), 1);
    EXPECT_EQ(at<int64_t>(pcn, 56), 0x25D3);
    EXPECT_EQ(at<uint64_t>(pcn, 64), d.particular);
    EXPECT_EQ(at<int64_t>(pcn, 72), 15);
  }
}

// --- info and qjvercn1 ---------------------------------------------------------

TEST_F(LinkageTest, VersionQueryCopiesExactlyTheRecord) {
  constexpr size_t kGuard = 32;
  for (const auto &d : kDeliverables) {
    SCOPED_TRACE(d.name);
    alignas(8) unsigned char buf[kGuard + 208 + kGuard];
    std::memset(buf, 0xA5, sizeof buf);
    fn<qjvercn1_fn>("qjvercn1", d.morvista)(buf + kGuard);
    for (size_t i = 0; i < kGuard; ++i) {
      ASSERT_EQ(buf[i], 0xA5) << "byte " << i << " before the buffer";
      ASSERT_EQ(buf[kGuard + 208 + i], 0xA5) << "byte " << i << " after the buffer";
    }
    EXPECT_EQ(std::memcmp(buf + kGuard, sym("info", d.morvista), 208), 0);
  }
}

TEST_F(LinkageTest, VersionRecordSlots) {
  for (const auto &d : kDeliverables) {
    SCOPED_TRACE(d.name);
    alignas(8) unsigned char info[208];
    fn<qjvercn1_fn>("qjvercn1", d.morvista)(info);
    auto slot = [&](size_t off) { return at<const char *>(info, off); };
    auto text = [&](size_t off) { return std::string(slot(off) ? slot(off) : "<null>"); };

    // Same release, maintenance and level as vi_mcn's identifier; mmddyyyy.
    const std::string id = text_of(slot(0), 18);
    const std::string short_id(reinterpret_cast<const char *>(record(d, "vi_mcn") + 46), 16);
    EXPECT_EQ(id.substr(0, 10), short_id.substr(0, 10));
    ASSERT_TRUE(all_digits(id.substr(10, 8))) << id;
    EXPECT_EQ(id.substr(10, 4), short_id.substr(10, 4)) << id << " / " << short_id;
    EXPECT_EQ(id.substr(16, 2), short_id.substr(14, 2)) << id << " / " << short_id;

    const std::string trees = text_of(slot(8), 26);
    const size_t colon = trees.find(':');
    ASSERT_NE(colon, std::string::npos) << trees;
    EXPECT_GT(colon, 0u) << trees;
    EXPECT_LT(colon, trees.size() - 1) << trees;

    // 32-bit seconds since 1970, zero-extended; the UTC day of the build date.
    const uint64_t stamp = at<uint64_t>(info, 24);
    EXPECT_LE(stamp, UINT32_MAX);
    using namespace std::chrono;
    const year_month_day built{sys_days{days{static_cast<int64_t>(stamp / 86400)}}};
    EXPECT_EQ(static_cast<unsigned>(built.month()), static_cast<unsigned>(num(id.substr(10, 2))));
    EXPECT_EQ(static_cast<unsigned>(built.day()), static_cast<unsigned>(num(id.substr(12, 2))));
    EXPECT_EQ(static_cast<int>(built.year()), num(id.substr(14, 4)));

    EXPECT_EQ(text(16), "");
    EXPECT_EQ(text(32), "base");
    EXPECT_EQ(text(40), d.name);
    EXPECT_EQ(text(48), "base");
    const std::string root = text_of(slot(56), 17);
    EXPECT_EQ(root.substr(0, 1), "/") << root;
    EXPECT_EQ(text(64), "");
    EXPECT_EQ(text(72), "version");
    EXPECT_EQ(text(80), "::");
    EXPECT_EQ(text(88), "");
    EXPECT_EQ(text_of(slot(96), 65), "QOR_VERSION_HOTFIX_NUMBER=" + std::string(39, ' '));
    EXPECT_EQ(text(104), d.description);
    EXPECT_EQ(text_of(slot(112), 65), "VERCON_IMAGE_DESCRIPTION=" + std::string(40, ' '));
    EXPECT_EQ(text(120), "laxno");
    for (size_t off = 128; off < 208; ++off) EXPECT_EQ(info[off], 0) << "byte " << off;
  }
}

// --- xfmfent -------------------------------------------------------------------

// A registration allocator that records what it is asked for and hands out
// one pre-filled block, so untouched bytes can be seen.
struct RecordingAllocator {
  host_allocator base;
  int calls = 0;
  size_t size = 0;
  uint32_t flags = 0;
  alignas(16) unsigned char block[256];

  static void *alloc(host_allocator *self, size_t size, uint32_t flags) {
    auto *r = reinterpret_cast<RecordingAllocator *>(self);
    ++r->calls;
    r->size = size;
    r->flags = flags;
    return size <= sizeof r->block ? r->block : nullptr;
  }
  static void release(host_allocator *, void *, int32_t, uint32_t) { ADD_FAILURE() << "freed"; }

  RecordingAllocator() : base{alloc, release} { std::memset(block, 0xA5, sizeof block); }
};

// Puts a recording allocator in the GCB for the life of the object.
class SwapRegistrationAllocator {
 public:
  SwapRegistrationAllocator(gcb *g, RecordingAllocator *r) : g_(g), saved_(g->reg_alloc) {
    g->reg_alloc = &r->base;
  }
  ~SwapRegistrationAllocator() { g_->reg_alloc = saved_; }

 private:
  gcb *g_;
  host_allocator *saved_;
};

TEST_F(LinkageTest, XfmfentOtherRequestsAllocateNothing) {
  auto xfmfent = fn<xfmfent_fn>("xfmfent");
  RecordingAllocator rec;
  SwapRegistrationAllocator swap(host->gcb_ptr(), &rec);
  static const char table[54] = "@B8601DA";
  void *readers[1] = {nullptr};
  for (int32_t request : {0, 3, -1, INT32_MIN, INT32_MAX}) {
    SCOPED_TRACE(request);
    EXPECT_EQ(xfmfent(request, 1, table, readers), nullptr);
  }
  EXPECT_EQ(rec.calls, 0);
}

TEST_F(LinkageTest, XfmfentDescriptorBlock) {
  auto xfmfent = fn<xfmfent_fn>("xfmfent");
  static const char table[2 * 54] = "@B8601DA";
  RecordingAllocator rec;
  {
    SwapRegistrationAllocator swap(host->gcb_ptr(), &rec);
    EXPECT_EQ(xfmfent(1, 8, table, nullptr), rec.block);
  }
  EXPECT_EQ(rec.calls, 1);
  EXPECT_EQ(rec.size, 16u);
  EXPECT_EQ(rec.flags, 0x2006u);
  EXPECT_EQ(at<int32_t>(rec.block, 0), 8);
  EXPECT_EQ(at<uint32_t>(rec.block, 4), 0xA5A5A5A5u) << "bytes 4..7 are left alone";
  EXPECT_EQ(at<const void *>(rec.block, 8), table);
  EXPECT_EQ(rec.block[16], 0xA5) << "nothing past the block";

  // From the host's allocator: a new block every time, the same table.
  const long before = host->allocations();
  void *a = xfmfent(1, 8, table, nullptr);
  void *b = xfmfent(1, 8, table, nullptr);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);
  EXPECT_EQ(host->allocations(), before + 2);
  EXPECT_EQ(at<int32_t>(a, 0), 8);
  EXPECT_EQ(at<const void *>(a, 8), table);
  EXPECT_EQ(at<const void *>(b, 8), at<const void *>(a, 8));
}

TEST_F(LinkageTest, XfmfentReaderTable) {
  auto xfmfent = fn<xfmfent_fn>("xfmfent");
  int r0, r1, r2;  // stand-ins for reader addresses: only copied, never called
  void *const readers[3] = {&r0, &r1, &r2};
  struct Row {
    int32_t count;
    size_t size;
    int copied;
    const char *why;
  } rows[] = {
      {3, 32, 3, "three readers after the header word"},
      {1, 16, 1, "one reader"},
      {0, 8, 0, "count 0: the header word alone"},
      {-2, 8, 0, "negative count: treated as none"},
  };
  for (const auto &r : rows) {
    SCOPED_TRACE(r.why);
    RecordingAllocator rec;
    SwapRegistrationAllocator swap(host->gcb_ptr(), &rec);
    EXPECT_EQ(xfmfent(2, r.count, nullptr, readers), rec.block);
    EXPECT_EQ(rec.calls, 1);
    EXPECT_EQ(rec.size, r.size);
    EXPECT_EQ(rec.flags, 0x2006u);
    EXPECT_EQ(at<uint64_t>(rec.block, 0), 0xA5A5A5A5A5A5A5A5u) << "header word left alone";
    for (int i = 0; i < r.copied; ++i)
      EXPECT_EQ(at<void *>(rec.block, 8 + 8 * static_cast<size_t>(i)), readers[i]) << i;
    for (size_t off = 8 + 8 * static_cast<size_t>(r.copied); off < sizeof rec.block; ++off)
      ASSERT_EQ(rec.block[off], 0xA5) << "byte " << off << " written";
  }
}

TEST_F(LinkageTest, XfmfentAllocationFailureExitsAndReturnsNull) {
  auto xfmfent = fn<xfmfent_fn>("xfmfent");
  static const char table[54] = "@B8601DA";
  void *const readers[1] = {nullptr};
  host->fail_allocations_after(0);
  const long before = host->allocations();
  EXPECT_EQ(xfmfent(1, 1, table, nullptr), nullptr);
  EXPECT_EQ(xfmfent(2, 1, nullptr, readers), nullptr);
  host->fail_allocations_after(-1);
  EXPECT_EQ(host->allocations(), before);
  const auto exits = host->exits();
  ASSERT_EQ(exits.size(), 2u);
  for (const auto &e : exits) {
    EXPECT_EQ(e.first, 1016);
    EXPECT_EQ(e.second, 0);
  }
}

// --- mcn_main and the anchors ----------------------------------------------------

void *anchor(void *sym) { return *static_cast<void **>(sym); }

TEST_F(LinkageTest, McnMainKeepsTheLatestAnchors) {
  for (const auto &d : kDeliverables) {
    SCOPED_TRACE(d.name);
    auto mcn_main = fn<mcn_main_fn>("mcn_main", d.morvista);
    void *gcb_anchor = sym("v_global_gcb_anchor", d.morvista);
    void *pidb_anchor = sym("v_global_pidb_anchor", d.morvista);
    void *handle = sym("Exported_QJHandle", d.morvista);
    gcb *real = host->gcb_ptr();
    EXPECT_EQ(anchor(gcb_anchor), real) << "set when the host loaded the module";
    EXPECT_EQ(anchor(pidb_anchor), host->pidb());
    EXPECT_EQ(anchor(handle), real->runtime_handle);

    auto other = std::make_unique<gcb>(*real);
    int tag;
    other->runtime_handle = &tag;
    int pidb;
    const void *first = mcn_main(other.get(), &pidb);
    EXPECT_EQ(first, sym("vi_mcn", d.morvista));
    EXPECT_EQ(anchor(gcb_anchor), other.get());
    EXPECT_EQ(anchor(pidb_anchor), &pidb);
    EXPECT_EQ(anchor(handle), &tag);

    EXPECT_EQ(mcn_main(real, host->pidb()), first);
    EXPECT_EQ(anchor(gcb_anchor), real);
    EXPECT_EQ(anchor(pidb_anchor), host->pidb());
    EXPECT_EQ(anchor(handle), real->runtime_handle);
  }
}

TEST_F(LinkageTest, DeliverablesKeepTheirAnchorsApart) {
  gcb *real = host->gcb_ptr();
  auto a = std::make_unique<gcb>(*real);
  auto b = std::make_unique<gcb>(*real);
  int pa, pb;
  fn<mcn_main_fn>("mcn_main", false)(a.get(), &pa);
  fn<mcn_main_fn>("mcn_main", true)(b.get(), &pb);
  EXPECT_EQ(anchor(sym("v_global_gcb_anchor", false)), a.get());
  EXPECT_EQ(anchor(sym("v_global_pidb_anchor", false)), &pa);
  EXPECT_EQ(anchor(sym("v_global_gcb_anchor", true)), b.get());
  EXPECT_EQ(anchor(sym("v_global_pidb_anchor", true)), &pb);
  fn<mcn_main_fn>("mcn_main", false)(real, host->pidb());
  fn<mcn_main_fn>("mcn_main", true)(real, host->pidb());
}

// The test program exports routines and an anchor under the module's names;
// the module's calls to its own routines and its own anchor must not reach
// them.
TEST_F(LinkageTest, CallsInsideTheModuleBindInside) {
  ASSERT_EQ(dlsym(RTLD_DEFAULT, "xexit"), reinterpret_cast<void *>(&xexit))
      << "the test program must export its definitions for this test to mean anything";
  ASSERT_EQ(dlsym(RTLD_DEFAULT, "v_global_gcb_anchor"), &v_global_gcb_anchor);
  g_interposed = {};
  static const char table[54] = "@B8601DA";
  for (const auto &d : kDeliverables) {
    SCOPED_TRACE(d.name);
    // mcn_main calls himodcn and writes the anchor.
    fn<mcn_main_fn>("mcn_main", d.morvista)(host->gcb_ptr(), host->pidb());
    EXPECT_EQ(v_global_gcb_anchor, nullptr);
    EXPECT_EQ(anchor(sym("v_global_gcb_anchor", d.morvista)), host->gcb_ptr());
    // xfmfent allocates through vmalcp_handler and, failing, calls xexit.
    auto xfmfent = fn<xfmfent_fn>("xfmfent", d.morvista);
    EXPECT_NE(xfmfent(1, 1, table, nullptr), nullptr);
    host->fail_allocations_after(0);
    EXPECT_EQ(xfmfent(1, 1, table, nullptr), nullptr);
    host->fail_allocations_after(-1);
  }
  EXPECT_EQ(g_interposed.himodcn, 0);
  EXPECT_EQ(g_interposed.vmalcp_handler, 0);
  EXPECT_EQ(g_interposed.xexit, 0);
  EXPECT_EQ(host->exits().size(), 2u) << "the host's xexit saw both failures";
}

// --- the built files --------------------------------------------------------------

// The parts of an ELF shared object these tests look at.
struct ElfFacts {
  std::string error;
  std::vector<std::string> needed;
  std::set<std::string> exported;  // defined global or weak dynamic symbols
};

ElfFacts read_elf(const std::string &path) {
  ElfFacts facts;
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> file((std::istreambuf_iterator<char>(in)), {});
  auto fits = [&](uint64_t off, uint64_t len) {
    return off <= file.size() && len <= file.size() - off;
  };
  if (!fits(0, sizeof(Elf64_Ehdr)) || std::memcmp(file.data(), ELFMAG, SELFMAG) != 0 ||
      file[EI_CLASS] != ELFCLASS64) {
    facts.error = path + ": not a 64-bit ELF file";
    return facts;
  }
  const auto eh = at<Elf64_Ehdr>(file.data(), 0);
  if (eh.e_shentsize != sizeof(Elf64_Shdr) ||
      !fits(eh.e_shoff, uint64_t{eh.e_shnum} * sizeof(Elf64_Shdr))) {
    facts.error = path + ": bad section table";
    return facts;
  }
  auto section = [&](size_t i) {
    return at<Elf64_Shdr>(file.data(), eh.e_shoff + i * sizeof(Elf64_Shdr));
  };
  auto str = [&](const Elf64_Shdr &strtab, uint64_t off) -> std::string {
    if (off >= strtab.sh_size || !fits(strtab.sh_offset, strtab.sh_size)) return "<bad>";
    const char *p = file.data() + strtab.sh_offset + off;
    return std::string(p, strnlen(p, strtab.sh_size - off));
  };
  for (size_t i = 0; i < eh.e_shnum; ++i) {
    const Elf64_Shdr sh = section(i);
    if (sh.sh_type != SHT_DYNAMIC && sh.sh_type != SHT_DYNSYM) continue;
    if (!fits(sh.sh_offset, sh.sh_size) || sh.sh_link >= eh.e_shnum) {
      facts.error = path + ": bad section " + std::to_string(i);
      return facts;
    }
    const Elf64_Shdr strtab = section(sh.sh_link);
    if (sh.sh_type == SHT_DYNAMIC) {
      for (uint64_t off = 0; off + sizeof(Elf64_Dyn) <= sh.sh_size; off += sizeof(Elf64_Dyn)) {
        const auto dyn = at<Elf64_Dyn>(file.data(), sh.sh_offset + off);
        if (dyn.d_tag == DT_NULL) break;
        if (dyn.d_tag == DT_NEEDED) facts.needed.push_back(str(strtab, dyn.d_un.d_val));
      }
    } else {
      for (uint64_t off = 0; off + sizeof(Elf64_Sym) <= sh.sh_size; off += sizeof(Elf64_Sym)) {
        const auto s = at<Elf64_Sym>(file.data(), sh.sh_offset + off);
        const unsigned bind = ELF64_ST_BIND(s.st_info);
        if (s.st_shndx == SHN_UNDEF || s.st_name == 0) continue;
        if (bind != STB_GLOBAL && bind != STB_WEAK && bind != STB_GNU_UNIQUE) continue;
        if (ELF64_ST_VISIBILITY(s.st_other) != STV_DEFAULT) continue;
        facts.exported.insert(str(strtab, s.st_name));
      }
    }
  }
  return facts;
}

std::string built(const std::string &file) { return std::string(ZB_BUILD_DIR) + "/" + file; }

TEST(BuiltModules, NeedNothingButTheRuntime) {
#ifdef ZB_SANITIZED
  GTEST_SKIP() << "sanitized builds take their runtime from the host program";
#else
  const char *const runtime[] = {"libc.so", "libm.so", "libgcc_s.so", "libstdc++.so", "ld-linux"};
  for (const char *mod : {"zelbrant", "morvista"}) {
    SCOPED_TRACE(mod);
    const ElfFacts elf = read_elf(built(std::string(mod) + ".so"));
    ASSERT_EQ(elf.error, "");
    for (const auto &lib : elf.needed) {
      const bool ok = std::any_of(std::begin(runtime), std::end(runtime),
                                  [&](const char *r) { return lib.rfind(r, 0) == 0; });
      EXPECT_TRUE(ok) << "needs " << lib;
    }
  }
#endif
}

TEST(BuiltModules, ExportExactlyTheirNames) {
  for (const char *mod : {"zelbrant", "morvista"}) {
    SCOPED_TRACE(mod);
    const ElfFacts elf = read_elf(built(std::string(mod) + ".so"));
    ASSERT_EQ(elf.error, "");
    std::ifstream names(built(std::string(mod) + ".names"));
    ASSERT_TRUE(names) << "no names file";
    std::set<std::string> want;
    for (std::string line; std::getline(names, line);)
      if (!line.empty()) want.insert(line);
    ASSERT_FALSE(want.empty());
    std::vector<std::string> missing, extra;
    std::set_difference(want.begin(), want.end(), elf.exported.begin(), elf.exported.end(),
                        std::back_inserter(missing));
    std::set_difference(elf.exported.begin(), elf.exported.end(), want.begin(), want.end(),
                        std::back_inserter(extra));
    EXPECT_TRUE(missing.empty()) << "not exported: " << ::testing::PrintToString(missing);
    EXPECT_TRUE(extra.empty()) << "exported beyond the list: " << ::testing::PrintToString(extra);
  }
}

}  // namespace
