// Host bindings: one small routine per host service. Each clears the marker
// byte of its vector, hands the host its service number V << 32 | S, and
// passes the caller's arguments unchanged to entry S of vector V. Every
// binding is exported under its name and under _name_V_S.
//
// Readers run in many threads at once, so the two writes to the GCB are
// atomic; the host sees the same bytes as with plain stores.
#include <stdarg.h>

#include "module.h"

namespace {

template <class Fn>
inline Fn zb_enter(unsigned v, unsigned s) {
  gcb *g = zb_gcb();
  // Written only when they change: the GCB is one block shared by every
  // reading thread, and a store that changes nothing would still take its
  // cache line away from the other cores. The host sees the same values.
  if (__atomic_load_n(&g->marks[v], __ATOMIC_RELAXED) != 0)
    __atomic_store_n(&g->marks[v], uint8_t{0}, __ATOMIC_RELAXED);
  const uint64_t service = (uint64_t{v} << 32) | s;
  if (__atomic_load_n(&g->service, __ATOMIC_RELAXED) != service)
    __atomic_store_n(&g->service, service, __ATOMIC_RELAXED);
  return reinterpret_cast<Fn>(g->vectors[v][s]);
}

}  // namespace

// svc is one of the SVC_* numbers of gcb.h, "V, S": the outer macros expand
// it into two arguments of the inner ones.
#define ZB_ALIAS_VS(name, v, s) \
  ZB_API __typeof__(name) _##name##_##v##_##s __attribute__((alias(#name)));
#define ZB_ALIAS(name, svc) ZB_ALIAS_VS(name, svc)

#define ZB_BIND_VS(ret, name, v, s, type, params, args) \
  ZB_API ret name params { return zb_enter<type>(v, s) args; } \
  ZB_ALIAS_VS(name, v, s)
#define ZB_BIND(ret, name, svc, type, params, args) ZB_BIND_VS(ret, name, svc, type, params, args)

ZB_BIND(int32_t, vir2g, SVC_VIR2G, svc_vir2g,
        (term_routine routine, uint64_t *token, name_table *names, void *pidb),
        (routine, token, names, pidb))
ZB_BIND(int32_t, wtrscrt, SVC_WTRSCRT, svc_wtrscrt,
        (name_table *names, uint32_t *handle, int32_t zero, uint64_t token),
        (names, handle, zero, token))
ZB_BIND(int32_t, wtrsset, SVC_WTRSSET, svc_wtrsset, (name_table *names, uint32_t handle, void *ptr),
        (names, handle, ptr))
ZB_BIND(int32_t, xytnsl, SVC_XYTNSL, svc_xytnsl,
        (name_table *names, int32_t one, const char *name, int32_t len, uint32_t handle),
        (names, one, name, len, handle))
ZB_BIND(uint32_t, xytngl, SVC_XYTNGL, svc_xytngl,
        (name_table *names, int32_t zero, const char *name, int32_t len, uint32_t *handle,
         name_pages *table),
        (names, zero, name, len, handle, table))
ZB_BIND(const char *, xoptcgt, SVC_XOPTCGT, svc_xoptcgt, (const char *name, int32_t *status),
        (name, status))
ZB_BIND(void, xexit, SVC_XEXIT, svc_xexit, (int32_t code, int32_t zero), (code, zero))
ZB_BIND(void, wzdtgmt, SVC_WZDTGMT, svc_wzdtgmt, (double *offset), (offset))
ZB_BIND(int32_t, wzifmch, SVC_WZIFMCH, svc_wzifmch, (const char *text, int32_t len, double *target),
        (text, len, target))
ZB_BIND(uint32_t, wzifmn, SVC_WZIFMN, svc_wzifmn, (ifmblock * blk), (blk))
ZB_BIND(int32_t, wzrlchr, SVC_WZRLCHR, svc_wzrlchr,
        (const char *text, int32_t len, int32_t zero, int32_t *used, int64_t *value),
        (text, len, zero, used, value))
ZB_BIND(int32_t, wzfmhc, SVC_WZFMHC, svc_wzfmhc,
        (const void *bytes, int32_t count, int32_t outlen, int32_t one, char *out),
        (bytes, count, outlen, one, out))
ZB_BIND(double, zdatprt, SVC_ZDATPRT, svc_d1, (double datetime), (datetime))
ZB_BIND(double, zday, SVC_ZDAY, svc_d1, (double date), (date))
ZB_BIND(double, zdhms, SVC_ZDHMS, svc_d4, (double date, double hour, double minute, double second),
        (date, hour, minute, second))
ZB_BIND(double, zhms, SVC_ZHMS, svc_d3, (double hour, double minute, double second),
        (hour, minute, second))
ZB_BIND(double, zhour, SVC_ZHOUR, svc_d1, (double t), (t))
ZB_BIND(double, zjuldat, SVC_ZJULDAT, svc_d1, (double date), (date))
ZB_BIND(double, zmdy, SVC_ZMDY, svc_d3, (double month, double day, double year),
        (month, day, year))
ZB_BIND(double, zminute, SVC_ZMINUTE, svc_d1, (double t), (t))
ZB_BIND(double, zmonth, SVC_ZMONTH, svc_d1, (double date), (date))
ZB_BIND(double, zsecond, SVC_ZSECOND, svc_d1, (double t), (t))
ZB_BIND(double, ztimprt, SVC_ZTIMPRT, svc_d1, (double datetime), (datetime))
ZB_BIND(double, zyear, SVC_ZYEAR, svc_d1, (double date), (date))
ZB_BIND(void, zymdjul, SVC_ZYMDJUL, svc_zymdjul,
        (double *year, double *month, double *day, double julian), (year, month, day, julian))

// The log takes a variable argument list; the host entry receives it whole.
ZB_API void xpslog(const char *fmt, ...) {
  auto log = zb_enter<svc_xpslog>(SVC_XPSLOG);
  va_list ap;
  va_start(ap, fmt);
  log(fmt, ap);
  va_end(ap);
}
ZB_ALIAS(xpslog, SVC_XPSLOG)
