// Fixed-length string routines: fields are a pointer and a length, never
// NUL-terminated (wzstlen alone takes a C string). The blank is byte 32.
#pragma once

#include <stdint.h>

#include "module.h"

ZB_API int32_t vzsntl(const void *field, int64_t len, int32_t key);
ZB_API int32_t wzstnot(const void *field, int32_t len, int32_t key);
ZB_API int32_t wzstpos(const void *field, int32_t len, int32_t key);
ZB_API int32_t vzstl(const void *field, int64_t len, const uint8_t *table);
ZB_API int32_t wzstlen(const char *text);
ZB_API int32_t wzstrip(const void *field, int32_t len);
ZB_API int32_t wzbcup(const void *a, const void *b, int32_t n);
ZB_API void wzstjls(char *field, int32_t len, int32_t code, int32_t *out_length,
                    int32_t *out_offset);
ZB_API uint32_t wzclchr(int64_t value, char *field, int32_t len);
