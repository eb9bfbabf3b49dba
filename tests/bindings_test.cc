// Every host binding, under both of its names, in both deliverables: the
// entry of its vector and slot is replaced by a recorder that notes the
// arguments and, at the moment of the call, the GCB's service word and the
// vector's marker byte.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "support/fixture.h"

namespace {

// What the recorder saw. The recorders are plain host entries without a
// context argument, so they report through this one record.
struct Seen {
  int calls = 0;
  uint64_t service = 0;
  uint8_t mark = 0xEE;
  const void *p[6] = {};
  int64_t i[6] = {};
  double d[4] = {};
  std::string text;
};
Seen g_seen;
gcb *g_gcb = nullptr;
unsigned g_vector = 0;

void note() {
  ++g_seen.calls;
  g_seen.service = g_gcb->service;
  g_seen.mark = g_gcb->marks[g_vector];
}

bool same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Argument values that a lost, swapped or truncated argument cannot match.
int g_obj[6];
void *obj(int k) { return &g_obj[k]; }
constexpr int32_t kI1 = -123456789, kI2 = 0x7FFF1234;
constexpr uint32_t kU = 0xFEDC0005u;
constexpr uint64_t kToken = 0x0123456789ABCDEFull;
constexpr double kD[4] = {-1.5e300, 0.1, 12345.0625, -0.0};
constexpr double kResult = 98765.4375;
const char kText[] = "N8601DIAG";

int32_t term_stub() { return 0; }

// --- recorders, one per entry signature ---------------------------------------

int32_t rec_vir2g(term_routine r, uint64_t *token, name_table *n, void *pidb) {
  note();
  g_seen.p[0] = reinterpret_cast<const void *>(r);
  g_seen.p[1] = token;
  g_seen.p[2] = n;
  g_seen.p[3] = pidb;
  return -76;
}
int32_t rec_wtrscrt(name_table *n, uint32_t *handle, int32_t zero, uint64_t token) {
  note();
  g_seen.p[0] = n;
  g_seen.p[1] = handle;
  g_seen.i[0] = zero;
  g_seen.i[1] = static_cast<int64_t>(token);
  return -190;
}
int32_t rec_wtrsset(name_table *n, uint32_t handle, void *ptr) {
  note();
  g_seen.p[0] = n;
  g_seen.i[0] = handle;
  g_seen.p[1] = ptr;
  return -192;
}
int32_t rec_xytnsl(name_table *n, int32_t one, const char *name, int32_t len, uint32_t handle) {
  note();
  g_seen.p[0] = n;
  g_seen.i[0] = one;
  g_seen.p[1] = name;
  g_seen.i[1] = len;
  g_seen.i[2] = handle;
  return -164;
}
uint32_t rec_xytngl(name_table *n, int32_t zero, const char *name, int32_t len, uint32_t *handle,
                    name_pages *table) {
  note();
  g_seen.p[0] = n;
  g_seen.i[0] = zero;
  g_seen.p[1] = name;
  g_seen.i[1] = len;
  g_seen.p[2] = handle;
  g_seen.p[3] = table;
  return XYTNGL_UNBOUND;
}
const char *rec_xoptcgt(const char *name, int32_t *status) {
  note();
  g_seen.p[0] = name;
  g_seen.p[1] = status;
  return kText;
}
void rec_xpslog(const char *fmt, va_list ap) {
  note();
  g_seen.p[0] = fmt;
  char line[128];
  std::vsnprintf(line, sizeof line, fmt, ap);
  g_seen.text = line;
}
void rec_xexit(int32_t code, int32_t zero) {
  note();
  g_seen.i[0] = code;
  g_seen.i[1] = zero;
}
void rec_wzdtgmt(double *offset) {
  note();
  g_seen.p[0] = offset;
}
int32_t rec_wzifmch(const char *text, int32_t len, double *target) {
  note();
  g_seen.p[0] = text;
  g_seen.i[0] = len;
  g_seen.p[1] = target;
  return -302;
}
uint32_t rec_wzifmn(ifmblock *blk) {
  note();
  g_seen.p[0] = blk;
  return 0x8001D819u;
}
int32_t rec_wzrlchr(const char *text, int32_t len, int32_t zero, int32_t *used, int64_t *value) {
  note();
  g_seen.p[0] = text;
  g_seen.i[0] = len;
  g_seen.i[1] = zero;
  g_seen.p[1] = used;
  g_seen.p[2] = value;
  return -320;
}
int32_t rec_wzfmhc(const void *bytes, int32_t count, int32_t outlen, int32_t one, char *out) {
  note();
  g_seen.p[0] = bytes;
  g_seen.i[0] = count;
  g_seen.i[1] = outlen;
  g_seen.i[2] = one;
  g_seen.p[1] = out;
  return -293;
}
double rec_d1(double a) {
  note();
  g_seen.d[0] = a;
  return kResult;
}
double rec_d3(double a, double b, double c) {
  note();
  g_seen.d[0] = a;
  g_seen.d[1] = b;
  g_seen.d[2] = c;
  return kResult;
}
double rec_d4(double a, double b, double c, double e) {
  note();
  g_seen.d[0] = a;
  g_seen.d[1] = b;
  g_seen.d[2] = c;
  g_seen.d[3] = e;
  return kResult;
}
void rec_zymdjul(double *y, double *m, double *d, double julian) {
  note();
  g_seen.p[0] = y;
  g_seen.p[1] = m;
  g_seen.p[2] = d;
  g_seen.d[0] = julian;
}

// --- callers: call a binding and check what went through ------------------------

void call_vir2g(void *f) {
  EXPECT_EQ(reinterpret_cast<svc_vir2g>(f)(term_stub, static_cast<uint64_t *>(obj(0)),
                                           static_cast<name_table *>(obj(1)), obj(2)),
            -76);
  EXPECT_EQ(g_seen.p[0], reinterpret_cast<const void *>(&term_stub));
  EXPECT_EQ(g_seen.p[1], obj(0));
  EXPECT_EQ(g_seen.p[2], obj(1));
  EXPECT_EQ(g_seen.p[3], obj(2));
}
void call_wtrscrt(void *f) {
  EXPECT_EQ(reinterpret_cast<svc_wtrscrt>(f)(static_cast<name_table *>(obj(0)),
                                             static_cast<uint32_t *>(obj(1)), kI1, kToken),
            -190);
  EXPECT_EQ(g_seen.p[0], obj(0));
  EXPECT_EQ(g_seen.p[1], obj(1));
  EXPECT_EQ(g_seen.i[0], kI1);
  EXPECT_EQ(static_cast<uint64_t>(g_seen.i[1]), kToken);
}
void call_wtrsset(void *f) {
  EXPECT_EQ(reinterpret_cast<svc_wtrsset>(f)(static_cast<name_table *>(obj(0)), kU, obj(1)), -192);
  EXPECT_EQ(g_seen.p[0], obj(0));
  EXPECT_EQ(g_seen.i[0], int64_t{kU});
  EXPECT_EQ(g_seen.p[1], obj(1));
}
void call_xytnsl(void *f) {
  EXPECT_EQ(reinterpret_cast<svc_xytnsl>(f)(static_cast<name_table *>(obj(0)), kI1, kText, kI2, kU),
            -164);
  EXPECT_EQ(g_seen.p[0], obj(0));
  EXPECT_EQ(g_seen.i[0], kI1);
  EXPECT_EQ(g_seen.p[1], kText);
  EXPECT_EQ(g_seen.i[1], kI2);
  EXPECT_EQ(g_seen.i[2], int64_t{kU});
}
void call_xytngl(void *f) {
  EXPECT_EQ(reinterpret_cast<svc_xytngl>(f)(static_cast<name_table *>(obj(0)), kI2, kText, kI1,
                                            static_cast<uint32_t *>(obj(1)),
                                            static_cast<name_pages *>(obj(2))),
            XYTNGL_UNBOUND);
  EXPECT_EQ(g_seen.p[0], obj(0));
  EXPECT_EQ(g_seen.i[0], kI2);
  EXPECT_EQ(g_seen.p[1], kText);
  EXPECT_EQ(g_seen.i[1], kI1);
  EXPECT_EQ(g_seen.p[2], obj(1));
  EXPECT_EQ(g_seen.p[3], obj(2));
}
void call_xoptcgt(void *f) {
  EXPECT_EQ(reinterpret_cast<svc_xoptcgt>(f)("DEBUG", static_cast<int32_t *>(obj(0))), kText);
  EXPECT_STREQ(static_cast<const char *>(g_seen.p[0]), "DEBUG");
  EXPECT_EQ(g_seen.p[1], obj(0));
}
void call_xpslog(void *f) {
  using log_fn = void (*)(const char *, ...);
  static const char fmt[] = "%d|%s|%*s|%lld";
  reinterpret_cast<log_fn>(f)(fmt, kI1, kText, 6, "ab", static_cast<long long>(kToken));
  EXPECT_EQ(g_seen.p[0], fmt);
  EXPECT_EQ(g_seen.text, std::to_string(kI1) + "|N8601DIAG|    ab|" + std::to_string(kToken));
}
void call_xexit(void *f) {
  reinterpret_cast<svc_xexit>(f)(kI1, kI2);
  EXPECT_EQ(g_seen.i[0], kI1);
  EXPECT_EQ(g_seen.i[1], kI2);
}
void call_wzdtgmt(void *f) {
  reinterpret_cast<svc_wzdtgmt>(f)(static_cast<double *>(obj(0)));
  EXPECT_EQ(g_seen.p[0], obj(0));
}
void call_wzifmch(void *f) {
  EXPECT_EQ(reinterpret_cast<svc_wzifmch>(f)(kText, kI1, static_cast<double *>(obj(0))), -302);
  EXPECT_EQ(g_seen.p[0], kText);
  EXPECT_EQ(g_seen.i[0], kI1);
  EXPECT_EQ(g_seen.p[1], obj(0));
}
void call_wzifmn(void *f) {
  EXPECT_EQ(reinterpret_cast<svc_wzifmn>(f)(static_cast<ifmblock *>(obj(0))), 0x8001D819u);
  EXPECT_EQ(g_seen.p[0], obj(0));
}
void call_wzrlchr(void *f) {
  EXPECT_EQ(reinterpret_cast<svc_wzrlchr>(f)(kText, kI2, kI1, static_cast<int32_t *>(obj(0)),
                                             static_cast<int64_t *>(obj(1))),
            -320);
  EXPECT_EQ(g_seen.p[0], kText);
  EXPECT_EQ(g_seen.i[0], kI2);
  EXPECT_EQ(g_seen.i[1], kI1);
  EXPECT_EQ(g_seen.p[1], obj(0));
  EXPECT_EQ(g_seen.p[2], obj(1));
}
void call_wzfmhc(void *f) {
  EXPECT_EQ(reinterpret_cast<svc_wzfmhc>(f)(obj(0), kI1, kI2, -1, static_cast<char *>(obj(1))),
            -293);
  EXPECT_EQ(g_seen.p[0], obj(0));
  EXPECT_EQ(g_seen.i[0], kI1);
  EXPECT_EQ(g_seen.i[1], kI2);
  EXPECT_EQ(g_seen.i[2], -1);
  EXPECT_EQ(g_seen.p[1], obj(1));
}
void call_d1(void *f) {
  EXPECT_TRUE(same(reinterpret_cast<svc_d1>(f)(kD[0]), kResult));
  EXPECT_TRUE(same(g_seen.d[0], kD[0]));
}
void call_d3(void *f) {
  EXPECT_TRUE(same(reinterpret_cast<svc_d3>(f)(kD[1], kD[2], kD[3]), kResult));
  EXPECT_TRUE(same(g_seen.d[0], kD[1]));
  EXPECT_TRUE(same(g_seen.d[1], kD[2]));
  EXPECT_TRUE(same(g_seen.d[2], kD[3]));
}
void call_d4(void *f) {
  EXPECT_TRUE(same(reinterpret_cast<svc_d4>(f)(kD[0], kD[1], kD[2], kD[3]), kResult));
  for (int k = 0; k < 4; ++k) EXPECT_TRUE(same(g_seen.d[k], kD[k])) << "argument " << k;
}
void call_zymdjul(void *f) {
  reinterpret_cast<svc_zymdjul>(f)(static_cast<double *>(obj(0)), static_cast<double *>(obj(1)),
                                   static_cast<double *>(obj(2)), kD[2]);
  EXPECT_EQ(g_seen.p[0], obj(0));
  EXPECT_EQ(g_seen.p[1], obj(1));
  EXPECT_EQ(g_seen.p[2], obj(2));
  EXPECT_TRUE(same(g_seen.d[0], kD[2]));
}

struct Binding {
  const char *name;
  unsigned vector, slot;
  gcb_entry recorder;
  void (*call)(void *binding);
};

template <class F>
gcb_entry entry(F f) {
  return reinterpret_cast<gcb_entry>(f);
}

const Binding kBindings[] = {
    {"vir2g", 0, 76, entry(rec_vir2g), call_vir2g},
    {"wtrscrt", 0, 190, entry(rec_wtrscrt), call_wtrscrt},
    {"wtrsset", 0, 192, entry(rec_wtrsset), call_wtrsset},
    {"xytnsl", 30, 164, entry(rec_xytnsl), call_xytnsl},
    {"xytngl", 30, 166, entry(rec_xytngl), call_xytngl},
    {"xoptcgt", 30, 41, entry(rec_xoptcgt), call_xoptcgt},
    {"xpslog", 30, 89, entry(rec_xpslog), call_xpslog},
    {"xexit", 30, 4, entry(rec_xexit), call_xexit},
    {"wzdtgmt", 0, 290, entry(rec_wzdtgmt), call_wzdtgmt},
    {"wzifmch", 0, 302, entry(rec_wzifmch), call_wzifmch},
    {"wzifmn", 0, 305, entry(rec_wzifmn), call_wzifmn},
    {"wzrlchr", 0, 320, entry(rec_wzrlchr), call_wzrlchr},
    {"wzfmhc", 0, 293, entry(rec_wzfmhc), call_wzfmhc},
    {"zdatprt", 155, 3, entry(rec_d1), call_d1},
    {"zday", 155, 5, entry(rec_d1), call_d1},
    {"zdhms", 155, 6, entry(rec_d4), call_d4},
    {"zhms", 155, 7, entry(rec_d3), call_d3},
    {"zhour", 155, 8, entry(rec_d1), call_d1},
    {"zjuldat", 155, 9, entry(rec_d1), call_d1},
    {"zmdy", 155, 11, entry(rec_d3), call_d3},
    {"zminute", 155, 12, entry(rec_d1), call_d1},
    {"zmonth", 155, 13, entry(rec_d1), call_d1},
    {"zsecond", 155, 15, entry(rec_d1), call_d1},
    {"ztimprt", 155, 17, entry(rec_d1), call_d1},
    {"zyear", 155, 20, entry(rec_d1), call_d1},
    {"zymdjul", 155, 21, entry(rec_zymdjul), call_zymdjul},
};
static_assert(std::size(kBindings) == 26);

// Puts the recorder in place for one call and the host's entry back after.
class SwapEntry {
 public:
  SwapEntry(gcb *g, const Binding &b) : slot_(&g->vectors[b.vector][b.slot]), saved_(*slot_) {
    *slot_ = b.recorder;
  }
  ~SwapEntry() { *slot_ = saved_; }

 private:
  gcb_entry *slot_;
  gcb_entry saved_;
};

class BindingsTest : public zbtest::ModuleTest {};

TEST_F(BindingsTest, EveryBindingReachesItsEntry) {
  gcb *g = host->gcb_ptr();
  g_gcb = g;
  for (const Binding &b : kBindings) {
    ASSERT_NE(g->vectors[b.vector], nullptr) << "host has no vector " << b.vector;
    const gcb_entry host_entry = g->vectors[b.vector][b.slot];
    const std::string alias = "_" + std::string(b.name) + "_" + std::to_string(b.vector) + "_" +
                              std::to_string(b.slot);
    for (bool morvista : {false, true}) {
      for (const std::string &name : {std::string(b.name), alias}) {
        SCOPED_TRACE(name + (morvista ? " in morvista" : " in zelbrant"));
        void *binding = sym(name.c_str(), morvista);
        ASSERT_NE(binding, nullptr);
        g_seen = {};
        g_vector = b.vector;
        g->marks[b.vector] = 1;
        g->service = ~uint64_t{0};
        {
          SwapEntry swap(g, b);
          b.call(binding);
        }
        EXPECT_EQ(g_seen.calls, 1);
        EXPECT_EQ(g_seen.service, uint64_t{b.vector} << 32 | b.slot);
        EXPECT_EQ(g_seen.mark, 0) << "marker byte not cleared before the call";
      }
    }
    EXPECT_EQ(g->vectors[b.vector][b.slot], host_entry) << b.name << ": host entry restored";
  }
}

}  // namespace
