// CString: narrow UTF-8 text with value semantics. Lengths, indexes and
// counts are in bytes. A null const char* counts as empty text.
#pragma once

#include <string>

#include "platform/com/bstr.h"
#include "platform/win/win_types.h"

class CString {
 public:
  CString() = default;
  CString(const char* text);  // NOLINT: implicit like the framework's
  CString(const char* text, int length);
  CString(char ch, int repeat = 1);
  // Wide text converted to UTF-8, up to its first NUL; null gives "".
  CString(const OLECHAR* text);
  CString(const wchar_t* text);
  CString(const std::string& text) : text_(text) {}
  CString(const CString&) = default;
  CString(CString&&) noexcept = default;
  CString& operator=(const CString&) = default;
  CString& operator=(CString&&) noexcept = default;
  CString& operator=(const char* text);
  CString& operator=(const OLECHAR* text);
  CString& operator=(char ch);

  int GetLength() const { return static_cast<int>(text_.size()); }
  bool IsEmpty() const { return text_.empty(); }
  void Empty() { text_.clear(); }
  const char* GetString() const { return text_.c_str(); }
  operator const char*() const { return text_.c_str(); }
  const std::string& str() const { return text_; }

  // The byte at index; out of range gives '\0'.
  char GetAt(int index) const;
  char operator[](int index) const { return GetAt(index); }
  void SetAt(int index, char ch);

  // strcmp-like results; a null pointer compares as "".
  int Compare(const char* other) const;
  int CompareNoCase(const char* other) const;  // ASCII letters only

  // Substrings by byte counts, clamped to the text.
  CString Left(int count) const;
  CString Mid(int first) const;
  CString Mid(int first, int count) const;
  CString Right(int count) const;

  CString& operator+=(const CString& other);
  CString& operator+=(const char* text);
  CString& operator+=(char ch);

  // printf-style; replaces the content.
  void Format(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void AppendFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));

  CString& MakeUpper();  // ASCII letters only, so UTF-8 stays intact
  CString& MakeLower();
  CString& MakeReverse();
  // Without an argument: whitespace; otherwise the given character(s).
  CString& Trim();
  CString& Trim(char target);
  CString& Trim(const char* targets);
  CString& TrimLeft();
  CString& TrimLeft(char target);
  CString& TrimLeft(const char* targets);
  CString& TrimRight();
  CString& TrimRight(char target);
  CString& TrimRight(const char* targets);

  // Byte index of the first match at or after start, or -1.
  int Find(char ch, int start = 0) const;
  int Find(const char* sub, int start = 0) const;
  int ReverseFind(char ch) const;
  // Replaces every occurrence; returns how many. An empty old text replaces nothing.
  int Replace(const char* oldText, const char* newText);
  int Replace(char oldChar, char newChar);
  int Remove(char ch);
  int Insert(int index, const char* text);
  int Delete(int index, int count = 1);

  // Writable storage of at least minLength bytes plus a NUL; ReleaseBuffer
  // sets the length (-1: up to the first NUL).
  char* GetBuffer(int minLength = 0);
  void ReleaseBuffer(int newLength = -1);

  // A new BSTR of the text (the caller frees it); CMemoryException* when
  // it cannot be allocated.
  BSTR AllocSysString() const;
  // Replaces *pbstr with the text (freeing the old one); CMemoryException* on failure.
  BSTR SetSysString(BSTR* pbstr) const;

 private:
  std::string text_;
};

CString operator+(const CString& a, const CString& b);
CString operator+(const CString& a, const char* b);
CString operator+(const char* a, const CString& b);
CString operator+(const CString& a, char b);
CString operator+(char a, const CString& b);

bool operator==(const CString& a, const CString& b);
bool operator==(const CString& a, const char* b);
bool operator==(const char* a, const CString& b);
bool operator!=(const CString& a, const CString& b);
bool operator!=(const CString& a, const char* b);
bool operator!=(const char* a, const CString& b);
bool operator<(const CString& a, const CString& b);
bool operator<(const CString& a, const char* b);
bool operator<(const char* a, const CString& b);
bool operator>(const CString& a, const CString& b);
bool operator<=(const CString& a, const CString& b);
bool operator>=(const CString& a, const CString& b);
