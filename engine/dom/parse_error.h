// ParseErrorObject: the IXMLDOMParseError that get_parseError and validate
// hand out, a snapshot of one parse or validation result.
#pragma once

#include "engine/dom/document_loader.h"
#include "engine/include/xml_services.h"

namespace ardo::engine {

class ParseErrorObject final : public ComObject<ParseErrorObject, IXMLDOMParseError> {
 public:
  explicit ParseErrorObject(ParseFailure failure) : failure_(std::move(failure)) {}

  HRESULT get_errorCode(long* code) override;
  HRESULT get_url(BSTR* url) override;
  HRESULT get_reason(BSTR* reason) override;
  HRESULT get_srcText(BSTR* text) override;
  HRESULT get_line(long* line) override;
  HRESULT get_linepos(long* pos) override;
  HRESULT get_filepos(long* pos) override;

 private:
  ParseFailure failure_;
};

}  // namespace ardo::engine
