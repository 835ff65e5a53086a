#include "engine/dom/parse_error.h"

#include "engine/common/bstr_text.h"

namespace ardo::engine {
namespace {

HRESULT ReturnLong(long value, long* out) {
  if (!out) return E_INVALIDARG;
  *out = value;
  return S_OK;
}

}  // namespace

HRESULT ParseErrorObject::get_errorCode(long* code) { return ReturnLong(failure_.errorCode, code); }
HRESULT ParseErrorObject::get_url(BSTR* url) { return ReturnBstr(failure_.url, url); }
HRESULT ParseErrorObject::get_reason(BSTR* reason) { return ReturnBstr(failure_.reason, reason); }
HRESULT ParseErrorObject::get_srcText(BSTR* text) { return ReturnBstr(failure_.srcText, text); }
HRESULT ParseErrorObject::get_line(long* line) { return ReturnLong(failure_.line, line); }
HRESULT ParseErrorObject::get_linepos(long* pos) { return ReturnLong(failure_.linepos, pos); }
HRESULT ParseErrorObject::get_filepos(long* pos) { return ReturnLong(failure_.filepos, pos); }

}  // namespace ardo::engine
