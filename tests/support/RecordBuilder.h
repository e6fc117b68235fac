// RecordBuilder - result records written with libPallix's own writer (the
// library must be loaded through the binding).
#ifndef BRENNA_TESTS_RECORDBUILDER_H
#define BRENNA_TESTS_RECORDBUILDER_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PallixByteOrder.h"
#include "platform/PallixBinding.h"

class RecordBuilder {
 public:
  RecordBuilder() : m_buf(PALLIX_RECORD_MAX, 0) {
    m_size = WriteStdHead(m_buf.data(), nullptr);
    EXPECT_GT(m_size, 0) << "is libPallix loaded?";
  }

  // Appends an item; the value is GBK.
  RecordBuilder& Item(int code, int judge, const std::string& value) {
    const int size =
        WriteStdHead_Result(m_buf.data(), PALLIX_RECORD_MAX, code, value.c_str(), judge);
    EXPECT_GT(size, 0) << "item " << code;
    if (size > 0) m_size = size;
    return *this;
  }

  // Overwrites the header's result count, leaving the items in place.
  RecordBuilder& SetCount(int count) {
    PallixPutU16(m_buf.data() + PALLIX_STD_HEAD_COUNT_OFFSET, static_cast<uint16_t>(count));
    return *this;
  }

  std::string Bytes() const {
    return std::string(reinterpret_cast<const char*>(m_buf.data()), static_cast<size_t>(m_size));
  }

 private:
  std::vector<unsigned char> m_buf;
  int m_size = 0;
};

#endif  // BRENNA_TESTS_RECORDBUILDER_H
