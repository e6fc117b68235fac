// CHardWare - a device description shared with the other modules of the
// line. The program never looks inside it: it only lends the modules its
// copy, assignment and destruction (exported, see docs/exported-records.md).
//
// The fields carry no names of their own here because nothing in this
// program depends on their meaning; they are numbered in declaration order.
// Plain blocks are byte arrays, so they sit on byte boundaries and copy
// byte for byte; texts are
// GBK bytes in std::string like every text of the program.
#ifndef BRENNA_RECORDS_HARDWARE_H
#define BRENNA_RECORDS_HARDWARE_H

#include <array>
#include <cstdint>
#include <string>

#include "RecordsApi.h"

class CHardWare {
 public:
  // Modules create records themselves; only the three operations below are
  // exported, so this one is inline and compiled into each module.
  CHardWare() = default;
  BRENNA_RECORDS_API CHardWare(const CHardWare& other);
  BRENNA_RECORDS_API ~CHardWare();
  BRENNA_RECORDS_API CHardWare& operator=(const CHardWare& other);

  std::int32_t m_n1 = 0;
  std::array<unsigned char, 72> m_b2{};
  std::array<unsigned char, 1032> m_b3{};
  std::array<unsigned char, 254> m_b4{};
  std::array<unsigned char, 108> m_b5{};
  std::string m_str6;
  std::string m_str7;
  std::int32_t m_n8 = 0;
  std::string m_str9;
  std::int32_t m_n10 = 0;
  std::int32_t m_n11 = 0;
  std::int32_t m_n12 = 0;
  std::int32_t m_n13 = 0;
  std::int32_t m_n14 = 0;
  std::array<unsigned char, 104> m_b15{};
  std::array<unsigned char, 104> m_b16{};
  std::array<unsigned char, 108> m_b17{};
  std::array<std::int32_t, 1000> m_arr18{};
  std::int32_t m_n19 = 0;
  std::int32_t m_n20 = 0;
  std::int32_t m_n21 = 0;
  std::int32_t m_n22 = 0;
  std::int32_t m_n23 = 0;
};

#endif  // BRENNA_RECORDS_HARDWARE_H
