#include "SerialCtl.h"

#include <cstring>

SerialCtl& SerialCtl::operator=(const SerialCtl& other) {
  if (this != &other) std::memcpy(m_data, other.m_data, sizeof m_data);
  return *this;
}
