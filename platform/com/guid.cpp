#include "platform/com/guid.h"

#include <cstdio>

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads `digits` hex digits at text[*pos].
bool ReadHex(const char* text, size_t* pos, int digits, uint32_t* out) {
  uint32_t value = 0;
  for (int i = 0; i < digits; ++i) {
    int v = HexValue(text[*pos]);
    if (v < 0) return false;
    value = (value << 4) | static_cast<uint32_t>(v);
    ++*pos;
  }
  *out = value;
  return true;
}

bool Expect(const char* text, size_t* pos, char c) {
  if (text[*pos] != c) return false;
  ++*pos;
  return true;
}

HRESULT GuidFromWide(LPCOLESTR text, GUID* out) {
  if (!out) return E_POINTER;
  if (!text) return CO_E_CLASSSTRING;
  GUID parsed;
  if (!ardo::ParseGuid(ardo::BstrToUtf8(text).c_str(), &parsed)) return CO_E_CLASSSTRING;
  *out = parsed;
  return S_OK;
}

}  // namespace

int StringFromGUID2(REFGUID guid, LPOLESTR buf, int cchMax) {
  std::string text = ardo::GuidToString(guid);
  if (!buf || cchMax < static_cast<int>(text.size()) + 1) return 0;
  for (size_t i = 0; i < text.size(); ++i) buf[i] = static_cast<OLECHAR>(text[i]);
  buf[text.size()] = 0;
  return static_cast<int>(text.size()) + 1;
}

HRESULT CLSIDFromString(LPCOLESTR text, LPCLSID clsid) { return GuidFromWide(text, clsid); }
HRESULT IIDFromString(LPCOLESTR text, IID* iid) { return GuidFromWide(text, iid); }

namespace ardo {

std::string GuidToString(REFGUID g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return buf;
}

bool ParseGuid(const char* text, GUID* out) {
  if (!text || !out) return false;
  size_t pos = 0;
  uint32_t d1, d2, d3, byte;
  GUID g{};
  if (!Expect(text, &pos, '{') || !ReadHex(text, &pos, 8, &d1) || !Expect(text, &pos, '-') ||
      !ReadHex(text, &pos, 4, &d2) || !Expect(text, &pos, '-') || !ReadHex(text, &pos, 4, &d3) ||
      !Expect(text, &pos, '-'))
    return false;
  for (int i = 0; i < 8; ++i) {
    if (i == 2 && !Expect(text, &pos, '-')) return false;
    if (!ReadHex(text, &pos, 2, &byte)) return false;
    g.Data4[i] = static_cast<uint8_t>(byte);
  }
  if (!Expect(text, &pos, '}') || text[pos] != '\0') return false;
  g.Data1 = d1;
  g.Data2 = static_cast<uint16_t>(d2);
  g.Data3 = static_cast<uint16_t>(d3);
  *out = g;
  return true;
}

}  // namespace ardo
