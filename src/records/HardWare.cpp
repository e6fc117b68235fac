#include "HardWare.h"

// Every field in declaration order: plain fields byte for byte, the texts as
// text copies.
CHardWare::CHardWare(const CHardWare& other)
    : m_n1(other.m_n1),
      m_b2(other.m_b2),
      m_b3(other.m_b3),
      m_b4(other.m_b4),
      m_b5(other.m_b5),
      m_str6(other.m_str6),
      m_str7(other.m_str7),
      m_n8(other.m_n8),
      m_str9(other.m_str9),
      m_n10(other.m_n10),
      m_n11(other.m_n11),
      m_n12(other.m_n12),
      m_n13(other.m_n13),
      m_n14(other.m_n14),
      m_b15(other.m_b15),
      m_b16(other.m_b16),
      m_b17(other.m_b17),
      m_arr18(other.m_arr18),
      m_n19(other.m_n19),
      m_n20(other.m_n20),
      m_n21(other.m_n21),
      m_n22(other.m_n22),
      m_n23(other.m_n23) {}

// Members go in reverse declaration order, so the texts are released
// m_str9 first, then m_str7, then m_str6.
CHardWare::~CHardWare() = default;

CHardWare& CHardWare::operator=(const CHardWare& other) {
  // Byte copies onto themselves are not allowed; a record assigned to
  // itself already holds what it would get.
  if (this == &other) return *this;
  m_n1 = other.m_n1;
  m_b2 = other.m_b2;
  m_b3 = other.m_b3;
  m_b4 = other.m_b4;
  m_b5 = other.m_b5;
  m_str6 = other.m_str6;
  m_str7 = other.m_str7;
  m_n8 = other.m_n8;
  m_str9 = other.m_str9;
  m_n10 = other.m_n10;
  m_n11 = other.m_n11;
  m_n12 = other.m_n12;
  m_n13 = other.m_n13;
  m_n14 = other.m_n14;
  m_b15 = other.m_b15;
  m_b16 = other.m_b16;
  m_b17 = other.m_b17;
  for (size_t i = 0; i < m_arr18.size(); ++i) m_arr18[i] = other.m_arr18[i];
  m_n19 = other.m_n19;
  m_n20 = other.m_n20;
  m_n21 = other.m_n21;
  m_n22 = other.m_n22;
  m_n23 = other.m_n23;
  return *this;
}
