/*
 * PallixByteOrder.h - explicit little-endian field access.
 *
 * Every record that crosses a file or a socket (frames, chunks, result
 * records, the site configuration) is little-endian on the wire whatever the
 * host is. Fields are decoded byte by byte here; nothing is ever read by
 * casting a buffer to a struct.
 */
#ifndef PALLIX_BYTE_ORDER_H
#define PALLIX_BYTE_ORDER_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

static inline uint16_t PallixGetU16(const unsigned char* p) {
  return (uint16_t)(p[0] | ((uint16_t)p[1] << 8));
}

static inline int16_t PallixGetI16(const unsigned char* p) { return (int16_t)PallixGetU16(p); }

static inline uint32_t PallixGetU32(const unsigned char* p) {
  return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

static inline int32_t PallixGetI32(const unsigned char* p) { return (int32_t)PallixGetU32(p); }

static inline void PallixPutU16(unsigned char* p, uint16_t v) {
  p[0] = (unsigned char)(v & 0xff);
  p[1] = (unsigned char)(v >> 8);
}

static inline void PallixPutU32(unsigned char* p, uint32_t v) {
  p[0] = (unsigned char)(v & 0xff);
  p[1] = (unsigned char)((v >> 8) & 0xff);
  p[2] = (unsigned char)((v >> 16) & 0xff);
  p[3] = (unsigned char)(v >> 24);
}

#ifdef __cplusplus
}
#endif

#endif /* PALLIX_BYTE_ORDER_H */
