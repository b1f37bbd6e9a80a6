// The two ConfigData operations that libostrel compiles from the util header
// and exports.
#include <ConfigData.h>

ConfigData::ConfigData(const char* data, unsigned length) : m_bValid(false) {
  if (data == nullptr && length != 0) return;  // no bytes to take: invalid
  m_strData.resize(length);
  SafeCopy(data, &m_strData[0], length);
  m_bValid = true;
}

bool ConfigData::CopyBufferTo(char* buffer, unsigned size) const {
  if (size != m_strData.size()) return false;
  SafeCopy(m_strData.data(), buffer, size);
  return true;
}
