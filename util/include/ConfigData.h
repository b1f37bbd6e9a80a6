// ConfigData: one configuration value, an owned block of bytes with its length
// and a text form.
//
//   ConfigData v("on");              // valid, text "on"
//   ConfigData b(bytes, 4);          // valid, exactly those 4 bytes
//   ConfigData none;                 // invalid: "no value"
//   if (v == ConfigData("on")) ...   // validity and bytes compared
//
// A value made from a text or from bytes is valid, the empty text included. A
// default-constructed value, or one marked with SetInvalid(), is invalid and
// differs from every valid value. Values have plain value semantics; copies
// share nothing. The bytes live in one std::string, so values of up to 15
// bytes are copied without touching the heap.
//
// Thread safety: like std::string, a value may be read from many threads at
// once but must not be written while another thread reads it.
#ifndef UTIL_INCLUDE_CONFIGDATA_H_
#define UTIL_INCLUDE_CONFIGDATA_H_

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "util_export.h"

class ConfigData {
 public:
  // The invalid value.
  ConfigData() noexcept : m_bValid(false) {}
  // A valid value holding the text's bytes.
  ConfigData(std::string text) : m_strData(std::move(text)), m_bValid(true) {}
  // A valid value holding the text up to its NUL; a null pointer gives the
  // invalid value.
  ConfigData(const char* szText)
      : m_strData(szText ? szText : ""), m_bValid(szText != nullptr) {}
  // A valid value holding exactly `length` bytes copied from `data`. A null
  // `data` with a non-zero length gives the invalid value. Compiled into and
  // exported by libostrel.
  CMUTIL_EXT_API ConfigData(const char* data, unsigned length);

  ConfigData(const ConfigData&) = default;
  ConfigData(ConfigData&&) noexcept = default;
  ConfigData& operator=(const ConfigData&) = default;
  ConfigData& operator=(ConfigData&&) noexcept = default;
  ~ConfigData() = default;

  // Equal when both are invalid, or both are valid with the same bytes.
  bool operator==(const ConfigData& other) const {
    return m_bValid == other.m_bValid &&
           m_strData.size() == other.m_strData.size() &&
           SameBytes(m_strData.data(), other.m_strData.data(),
                     m_strData.size());
  }
  bool operator!=(const ConfigData& other) const { return !(*this == other); }

  bool IsValid() const { return m_bValid; }
  // Makes this the invalid value and drops its bytes.
  void SetInvalid() {
    m_strData.clear();
    m_bValid = false;
  }

  // The value's bytes followed by a NUL; the text it was made from. Valid
  // while the value is unchanged. The invalid value gives "".
  const char* ToCstr() const { return m_strData.c_str(); }
  const char* GetData() const { return m_strData.data(); }
  unsigned GetLength() const { return static_cast<unsigned>(m_strData.size()); }

  // A readable single-line form for trace lines: printable ASCII as is,
  // backslash and every other byte escaped (\\, \n, \xNN); "<invalid>" for the
  // invalid value.
  CMUTIL_API std::string ToString() const;

  // Copies the bytes into `buffer` only when `size` equals the value's length;
  // otherwise copies nothing and yields false. Compiled into and exported by
  // libostrel.
  CMUTIL_EXT_API bool CopyBufferTo(char* buffer, unsigned size) const;

  // Copies n bytes from src to dst (source first). Does nothing for a null
  // pointer or n of 0.
  static void SafeCopy(const char* src, char* dst, unsigned n) {
    if (n != 0 && src != nullptr && dst != nullptr) std::memmove(dst, src, n);
  }

 private:
  // Whether the `size` bytes at a and b are equal; short values (the common
  // case) by overlapping word loads, without a call.
  static bool SameBytes(const char* a, const char* b, size_t size) {
    if (size > 16) return std::memcmp(a, b, size) == 0;
    if (size >= 8) {
      return ((Load64(a) ^ Load64(b)) |
              (Load64(a + size - 8) ^ Load64(b + size - 8))) == 0;
    }
    if (size >= 4) {
      return ((Load32(a) ^ Load32(b)) |
              (Load32(a + size - 4) ^ Load32(b + size - 4))) == 0;
    }
    for (size_t i = 0; i < size; ++i) {
      if (a[i] != b[i]) return false;
    }
    return true;
  }
  static uint64_t Load64(const char* p) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    return word;
  }
  static uint32_t Load32(const char* p) {
    uint32_t word;
    std::memcpy(&word, p, 4);
    return word;
  }

  // The library's lock-free readers fill a value in place through it; it
  // adds no member and no exported symbol.
  friend struct ConfigDataWriter;

  std::string m_strData;
  bool m_bValid;
};

#endif  // UTIL_INCLUDE_CONFIGDATA_H_
