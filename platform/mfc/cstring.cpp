#include "platform/mfc/cstring.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "platform/mfc/exception.h"

namespace {

const char* OrEmpty(const char* text) { return text ? text : ""; }

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

constexpr const char* kWhitespace = " \t\r\n\v\f";

std::string VFormat(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int size = std::vsnprintf(nullptr, 0, OrEmpty(format), copy);
  va_end(copy);
  if (size <= 0) return std::string();
  std::string out(static_cast<size_t>(size), '\0');
  std::vsnprintf(out.data(), out.size() + 1, OrEmpty(format), args);
  return out;
}

int Sign(int value) { return value < 0 ? -1 : value > 0 ? 1 : 0; }

}  // namespace

CString::CString(const char* text) : text_(OrEmpty(text)) {}

CString::CString(const char* text, int length) {
  if (text && length > 0) text_.assign(text, static_cast<size_t>(length));
}

CString::CString(char ch, int repeat) {
  if (repeat > 0) text_.assign(static_cast<size_t>(repeat), ch);
}

CString::CString(const OLECHAR* text) : text_(ardo::BstrToUtf8(text)) {}

CString::CString(const wchar_t* text) : text_(text ? ardo::WideToUtf8(text) : std::string()) {}

CString& CString::operator=(const char* text) {
  text_ = OrEmpty(text);
  return *this;
}

CString& CString::operator=(const OLECHAR* text) {
  text_ = ardo::BstrToUtf8(text);
  return *this;
}

CString& CString::operator=(char ch) {
  text_.assign(1, ch);
  return *this;
}

char CString::GetAt(int index) const {
  return index >= 0 && index < GetLength() ? text_[static_cast<size_t>(index)] : '\0';
}

void CString::SetAt(int index, char ch) {
  if (index >= 0 && index < GetLength()) text_[static_cast<size_t>(index)] = ch;
}

int CString::Compare(const char* other) const { return Sign(std::strcmp(GetString(), OrEmpty(other))); }

int CString::CompareNoCase(const char* other) const {
  const char* a = GetString();
  const char* b = OrEmpty(other);
  for (;; ++a, ++b) {
    unsigned char x = static_cast<unsigned char>(AsciiLower(*a));
    unsigned char y = static_cast<unsigned char>(AsciiLower(*b));
    if (x != y) return x < y ? -1 : 1;
    if (!x) return 0;
  }
}

CString CString::Left(int count) const {
  return CString(text_.substr(0, static_cast<size_t>(std::clamp(count, 0, GetLength()))));
}

CString CString::Mid(int first) const { return Mid(first, GetLength()); }

CString CString::Mid(int first, int count) const {
  first = std::clamp(first, 0, GetLength());
  count = std::clamp(count, 0, GetLength() - first);
  return CString(text_.substr(static_cast<size_t>(first), static_cast<size_t>(count)));
}

CString CString::Right(int count) const {
  count = std::clamp(count, 0, GetLength());
  return CString(text_.substr(static_cast<size_t>(GetLength() - count)));
}

CString& CString::operator+=(const CString& other) {
  text_ += other.text_;
  return *this;
}

CString& CString::operator+=(const char* text) {
  text_ += OrEmpty(text);
  return *this;
}

CString& CString::operator+=(char ch) {
  text_ += ch;
  return *this;
}

void CString::Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  text_ = VFormat(format, args);
  va_end(args);
}

void CString::AppendFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  text_ += VFormat(format, args);
  va_end(args);
}

CString& CString::MakeUpper() {
  for (char& c : text_) c = AsciiUpper(c);
  return *this;
}

CString& CString::MakeLower() {
  for (char& c : text_) c = AsciiLower(c);
  return *this;
}

CString& CString::MakeReverse() {
  std::reverse(text_.begin(), text_.end());
  return *this;
}

CString& CString::Trim() { return TrimRight().TrimLeft(); }
CString& CString::Trim(char target) { return TrimRight(target).TrimLeft(target); }
CString& CString::Trim(const char* targets) { return TrimRight(targets).TrimLeft(targets); }
CString& CString::TrimLeft() { return TrimLeft(kWhitespace); }
CString& CString::TrimRight() { return TrimRight(kWhitespace); }

CString& CString::TrimLeft(char target) {
  char targets[2] = {target, '\0'};
  return TrimLeft(targets);
}

CString& CString::TrimRight(char target) {
  char targets[2] = {target, '\0'};
  return TrimRight(targets);
}

CString& CString::TrimLeft(const char* targets) {
  size_t first = text_.find_first_not_of(OrEmpty(targets));
  text_.erase(0, first == std::string::npos ? text_.size() : first);
  return *this;
}

CString& CString::TrimRight(const char* targets) {
  size_t last = text_.find_last_not_of(OrEmpty(targets));
  text_.erase(last == std::string::npos ? 0 : last + 1);
  return *this;
}

int CString::Find(char ch, int start) const {
  if (start < 0 || start >= GetLength()) return -1;
  size_t pos = text_.find(ch, static_cast<size_t>(start));
  return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::Find(const char* sub, int start) const {
  if (!sub || start < 0 || start > GetLength()) return -1;
  size_t pos = text_.find(sub, static_cast<size_t>(start));
  return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::ReverseFind(char ch) const {
  size_t pos = text_.rfind(ch);
  return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::Replace(const char* oldText, const char* newText) {
  if (!oldText || !*oldText) return 0;
  std::string from(oldText), to(OrEmpty(newText));
  int count = 0;
  for (size_t pos = text_.find(from); pos != std::string::npos;
       pos = text_.find(from, pos + to.size())) {
    text_.replace(pos, from.size(), to);
    ++count;
  }
  return count;
}

int CString::Replace(char oldChar, char newChar) {
  int count = 0;
  for (char& c : text_)
    if (c == oldChar) {
      c = newChar;
      ++count;
    }
  return count;
}

int CString::Remove(char ch) {
  size_t before = text_.size();
  text_.erase(std::remove(text_.begin(), text_.end(), ch), text_.end());
  return static_cast<int>(before - text_.size());
}

int CString::Insert(int index, const char* text) {
  index = std::clamp(index, 0, GetLength());
  text_.insert(static_cast<size_t>(index), OrEmpty(text));
  return GetLength();
}

int CString::Delete(int index, int count) {
  if (index >= 0 && index < GetLength() && count > 0)
    text_.erase(static_cast<size_t>(index), static_cast<size_t>(count));
  return GetLength();
}

char* CString::GetBuffer(int minLength) {
  if (minLength > GetLength()) text_.resize(static_cast<size_t>(minLength));
  return text_.data();
}

void CString::ReleaseBuffer(int newLength) {
  size_t length = newLength < 0 ? std::strlen(text_.c_str()) : static_cast<size_t>(newLength);
  text_.resize(std::min(length, text_.size()));
}

BSTR CString::AllocSysString() const {
  BSTR bstr = ardo::Utf8ToBstr(std::string_view(text_));
  if (!bstr) AfxThrowMemoryException();
  return bstr;
}

BSTR CString::SetSysString(BSTR* pbstr) const {
  std::u16string wide = ardo::Utf8ToUtf16(text_);
  if (!SysReAllocStringLen(pbstr, wide.data(), static_cast<UINT>(wide.size())))
    AfxThrowMemoryException();
  return *pbstr;
}

CString operator+(const CString& a, const CString& b) { return CString(a.str() + b.str()); }
CString operator+(const CString& a, const char* b) { return CString(a.str() + OrEmpty(b)); }
CString operator+(const char* a, const CString& b) { return CString(OrEmpty(a) + b.str()); }
CString operator+(const CString& a, char b) { return CString(a.str() + b); }
CString operator+(char a, const CString& b) { return CString(a + b.str()); }

bool operator==(const CString& a, const CString& b) { return a.str() == b.str(); }
bool operator==(const CString& a, const char* b) { return a.Compare(b) == 0; }
bool operator==(const char* a, const CString& b) { return b.Compare(a) == 0; }
bool operator!=(const CString& a, const CString& b) { return !(a == b); }
bool operator!=(const CString& a, const char* b) { return !(a == b); }
bool operator!=(const char* a, const CString& b) { return !(a == b); }
bool operator<(const CString& a, const CString& b) { return a.str() < b.str(); }
bool operator<(const CString& a, const char* b) { return a.Compare(b) < 0; }
bool operator<(const char* a, const CString& b) { return b.Compare(a) > 0; }
bool operator>(const CString& a, const CString& b) { return b < a; }
bool operator<=(const CString& a, const CString& b) { return !(b < a); }
bool operator>=(const CString& a, const CString& b) { return !(a < b); }
