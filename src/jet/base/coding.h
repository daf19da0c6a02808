// Little-endian reads of the integers and floats stored in Access pages.
// Callers check bounds first; these helpers only assemble bytes.
#pragma once

#include <cstdint>
#include <cstring>

namespace jet {

inline uint8_t ReadU8(const uint8_t* p) { return p[0]; }

inline uint16_t ReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline uint32_t ReadU24(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16);
}

inline uint32_t ReadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t ReadU64(const uint8_t* p) {
  return static_cast<uint64_t>(ReadU32(p)) | (static_cast<uint64_t>(ReadU32(p + 4)) << 32);
}

inline int16_t ReadI16(const uint8_t* p) { return static_cast<int16_t>(ReadU16(p)); }
inline int32_t ReadI32(const uint8_t* p) { return static_cast<int32_t>(ReadU32(p)); }
inline int64_t ReadI64(const uint8_t* p) { return static_cast<int64_t>(ReadU64(p)); }

inline float ReadF32(const uint8_t* p) {
  uint32_t bits = ReadU32(p);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

inline double ReadF64(const uint8_t* p) {
  uint64_t bits = ReadU64(p);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

inline void WriteU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

inline void WriteU32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

// A row pointer as stored in definitions, maps and long-value headers:
// byte 0 is the row slot, bytes 1..3 the page number.
inline uint32_t RowPointerPage(uint32_t pointer) { return pointer >> 8; }
inline uint32_t RowPointerSlot(uint32_t pointer) { return pointer & 0xFF; }

}  // namespace jet
