// Status codes that the DOM engine reports beyond the platform's named ones:
// the parse-error codes of IXMLDOMParseError::get_errorCode and the failing
// HRESULTs of refused tree changes.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace ardo::engine {

// Parse errors found by libxml2 are reported with the codes that programs
// written for this DOM know, where the error is one of theirs (a missing or
// second top-level element, mismatched end tags, a duplicate attribute, an
// undefined entity, ...): see ParseErrorCodeFor. Any other is
// kParseErrorBase plus the libxml2 error number (its xmlParserErrors value,
// which also groups the classes: well-formedness below 200, namespaces
// 200..299, DTD validity 500..599, ...). Numbers past 0xFFF share the last
// code of the range.
inline constexpr HRESULT kParseErrorBase = static_cast<HRESULT>(0xC00CE000u);
// The code for a libxml2 error; `at` is the input from the error's position
// on, where known (some errors take their code from what stands there).
HRESULT ParseErrorCodeFor(int libxmlCode, std::string_view at = {});

// Errors the engine raises itself while loading.
inline constexpr HRESULT kParseErrorTooDeep = static_cast<HRESULT>(0xC00CEF01u);
inline constexpr HRESULT kParseErrorDtdProhibited = static_cast<HRESULT>(0xC00CEF02u);
inline constexpr HRESULT kParseErrorTooLarge = static_cast<HRESULT>(0xC00CEF03u);
inline constexpr HRESULT kParseErrorUnsupportedUrl = static_cast<HRESULT>(0xC00CEF04u);
inline constexpr HRESULT kParseErrorReadFailed = static_cast<HRESULT>(0xC00CEF05u);
inline constexpr HRESULT kParseErrorNoDefinition = static_cast<HRESULT>(0xC00CEF06u);
// An element's text is not a value of the data type its dt:dt names.
inline constexpr HRESULT kParseErrorDataType = static_cast<HRESULT>(0xC00CEF07u);
// A start tag has more attributes than the engine reads (see
// engine/dom/attribute_guard.h).
inline constexpr HRESULT kParseErrorTooManyAttributes = static_cast<HRESULT>(0xC00CEF08u);
// The byte-order mark and the declared encoding disagree.
inline constexpr HRESULT kParseErrorEncodingSwitch = static_cast<HRESULT>(0xC00CE56Fu);
// The resource named by a load path or URL does not exist.
inline constexpr HRESULT kResourceNotFound = static_cast<HRESULT>(0x800C0006u);

// A tree change that the DOM forbids (a second document element, a node
// inserted into its own subtree, a child on a node type that has none, a
// change inside read-only entity content).
inline constexpr HRESULT kInvalidTreeChange = E_FAIL;

// A failure found deep inside an engine call; the call's guard turns it
// into the call's HRESULT and the thread's error reason.
struct EngineFailure {
  HRESULT hr;
  std::string reason;
};

}  // namespace ardo::engine
