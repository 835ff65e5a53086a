#include "engine/dom/attribute_guard.h"

#include <cstring>

namespace ardo::engine {

bool AttributeGuard::Feed(const char* data, size_t size) {
  const char* end = data + size;
  for (const char* p = data; p < end && state_ != kOverBound;) {
    const char* stop = p + std::min(kBlock, static_cast<size_t>(end - p));
    if (state_ == kLooking) {
      Look(p, stop);
      offset_ += static_cast<size_t>(stop - p);
      p = stop;
      continue;
    }
    const char* next = Scan(p, stop);
    offset_ += static_cast<size_t>(next - p);
    p = next;
  }
  return state_ != kOverBound;
}

void AttributeGuard::Look(const char* p, const char* end) {
  if (const void* lt = memrchr(p, '<', static_cast<size_t>(end - p))) {
    const char* from = static_cast<const char*>(lt);
    stretch_.assign(from, end);
    stretchOffset_ = offset_ + static_cast<size_t>(from - p);
  } else if (!stretch_.empty()) {
    stretch_.append(p, end);
  }
  if (stretch_.size() < kLongStretch) return;
  // A stretch long enough to hold a tag over the bound: read from its '<'
  // (the only one in it), and on into the input after it while the tag
  // goes on. Should the tag end inside the stretch, the rest is text.
  state_ = kTagStart;
  count_ = 0;
  equals_ = false;
  std::string stretch;
  stretch.swap(stretch_);
  const char* q = stretch.data() + 1;
  const char* stop = stretch.data() + stretch.size();
  while (q < stop && state_ != kLooking && state_ != kOverBound) q = Scan(q, stop);
}

const char* AttributeGuard::Scan(const char* p, const char* end) {
  while (p < end) {
    char c = *p;
    if (c == 0) {  // UTF-16's other byte
      ++p;
      continue;
    }
    switch (state_) {
      case kTagStart:
        // Comments, sections, declarations, instructions and end tags
        // have no attributes.
        state_ = c == '!' || c == '?' || c == '/' ? kLooking : kInTag;
        if (state_ == kLooking) return p + 1;
        break;
      case kInTag:
        if (c == '>') {
          state_ = kLooking;
          return p + 1;
        }
        if (c == '<') {  // not well-formed: the next tag starts here
          state_ = kLooking;
          return p;
        }
        // An attribute is a name, '=' and a quoted value: a value that
        // opens after '=' counts one.
        if (c == '=') {
          equals_ = true;
        } else if (c == '"' || c == '\'') {
          if (equals_ && ++count_ > kMaxAttributesPerElement) {
            state_ = kOverBound;
            return end;
          }
          quote_ = c;
          state_ = kInValue;
          equals_ = false;
        } else if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
          equals_ = false;
        }
        break;
      case kInValue: {
        const void* close = std::memchr(p, quote_, static_cast<size_t>(end - p));
        if (!close) return end;
        state_ = kInTag;
        p = static_cast<const char*>(close);
        break;
      }
      default:
        return p;
    }
    ++p;
  }
  return end;
}

}  // namespace ardo::engine
