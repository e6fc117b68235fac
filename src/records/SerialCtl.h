// SerialCtl - a serial-port control record shared with the other modules of
// the line: plain bytes only, whose meaning is theirs. The program exports
// its assignment (docs/exported-records.md).
#ifndef BRENNA_RECORDS_SERIALCTL_H
#define BRENNA_RECORDS_SERIALCTL_H

#include <cstddef>

#include "RecordsApi.h"

constexpr size_t kSerialCtlSize = 819633;

struct SerialCtl {
  BRENNA_RECORDS_API SerialCtl& operator=(const SerialCtl& other);

  unsigned char m_data[kSerialCtlSize];
};

// Modules built against this header must agree on the size to the byte.
static_assert(sizeof(SerialCtl) == kSerialCtlSize, "SerialCtl must be 819,633 bytes");

#endif  // BRENNA_RECORDS_SERIALCTL_H
