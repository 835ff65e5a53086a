// A bound on the attributes of one start tag, checked on the input before
// libxml2 parses it.
//
// libxml2 checks each attribute of a tag against all the tag's attributes
// before it, so that the time a tag takes grows with the square of their
// number: 40,000 attributes take seconds, a million half an hour. A tag
// with more than kMaxAttributesPerElement attributes (namespace
// declarations included) makes the load fail instead.
//
// The guard costs next to nothing on ordinary input: such a tag is at
// least kMinAttributeBytes bytes an attribute long, with no '<' inside
// (an attribute value cannot hold one), so only a stretch of input that
// long without a '<' is looked at, from the '<' before it. Bytes are
// looked at one by one there, the zero bytes of UTF-16 ignored.
#pragma once

#include <cstddef>
#include <string>

namespace ardo::engine {

inline constexpr size_t kMaxAttributesPerElement = 10000;

class AttributeGuard {
 public:
  // Takes the next bytes of the input; false once a start tag has more
  // attributes than the bound (and from then on).
  bool Feed(const char* data, size_t size);
  // Where the tag over the bound starts, as a byte offset in the input.
  size_t TagOffset() const { return stretchOffset_; }

 private:
  static constexpr size_t kMinAttributeBytes = 5;  // a space, a name, '=' and two quotes
  static constexpr size_t kLongStretch = kMaxAttributesPerElement * kMinAttributeBytes;
  static constexpr size_t kBlock = 4096;

  enum State { kLooking, kTagStart, kInTag, kInValue, kOverBound };
  // Looks for a long stretch without '<' in one block.
  void Look(const char* p, const char* end);
  // Reads a tag byte by byte from p on; the first byte past it, or end.
  const char* Scan(const char* p, const char* end);

  State state_ = kLooking;
  std::string stretch_;   // the input from the last '<' on, while short
  size_t offset_ = 0;         // of the next byte fed
  size_t stretchOffset_ = 0;  // of the stretch's '<', where a tag read starts
  size_t count_ = 0;      // the tag's attributes so far
  char quote_ = 0;
  bool equals_ = false;  // an '=' since the last value, with only spaces after it
};

}  // namespace ardo::engine
