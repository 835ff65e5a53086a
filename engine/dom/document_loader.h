// Parsing documents for load, loadXML and validate, with the engine's
// limits and policies applied:
// - never the network on a document's behalf: external DTDs and entities
//   come only from local files, and only when resolveExternals is on and
//   ProhibitDTD is off (a URL that the host itself hands to load is fetched);
// - entity expansion stays within libxml2's amplification limits (the
//   "huge" option is never given), so entity bombs are parse errors;
// - nesting deeper than MaxElementDepth and input larger than MaxXMLSize
//   are parse errors;
// - a document type with ProhibitDTD on is a parse error;
// - validateOnParse validates against the DTD when the document has one
//   that could be read completely;
// - preserveWhiteSpace off drops white-space-only text outside
//   xml:space="preserve";
// - the XML declaration, when present, becomes an "xml" processing
//   instruction ahead of the document element.
// Messages are captured, never printed.
#pragma once

#include <string>
#include <string_view>

#include <libxml/tree.h>

#include "platform/platform.h"

namespace ardo::engine {

struct LoadOptions {
  bool preserveWhiteSpace = false;
  bool validateOnParse = true;
  bool resolveExternals = false;
  bool prohibitDtd = false;
  long maxElementDepth = 256;
  long maxXmlSizeKb = 0;  // 0: no limit
};

// What IXMLDOMParseError reports; errorCode 0 means no error.
struct ParseFailure {
  HRESULT errorCode = S_OK;
  std::string reason;
  std::string srcText;
  std::string url;
  long line = 0;
  long linepos = 0;
  long filepos = 0;
};

// A parsed tree (owned by the receiver) or the failure.
struct ParseOutcome {
  xmlDocPtr doc = nullptr;
  ParseFailure error;
};

// Text from loadXML: UTF-8 whatever the declaration says.
ParseOutcome ParseText(std::string_view utf8, const LoadOptions& options);
// The host's UTF-16 text (loadXML): a surrogate without its pair is no
// character at all, and fails as invalid UTF-8 would.
ParseOutcome ParseUtf16Text(const char16_t* text, size_t length, const LoadOptions& options);
// Bytes in any encoding the declaration or a byte-order mark names.
ParseOutcome ParseBytes(const char* data, size_t size, const std::string& url,
                        const LoadOptions& options);
// A local file.
ParseOutcome ParseFile(const std::string& path, const std::string& url, const LoadOptions& options);
// Everything a stream holds from its current position.
ParseOutcome ParseStream(ISequentialStream* stream, const LoadOptions& options);
// A document the host names by an http: or https: URL (fetched with
// libcurl: redirects followed within those two schemes, bounded in time and,
// with MaxXMLSize, in size). Documents never make the engine fetch: this is
// for load() of a URL only.
ParseOutcome ParseUrl(const std::string& url, const LoadOptions& options);
// True for the http: and https: URLs that ParseUrl takes.
bool IsWebUrl(const std::string& location);

// Gives every internal entity of the document's DTD its content as nodes.
// libxml2 builds an entity's nodes when the parser first meets a reference
// to it; an entity never referenced, or one in a copied tree, has none, and
// its declaration and the references a host creates would show nothing.
void BuildEntityContent(xmlDocPtr doc);

// Checks a document against its DTD.
ParseFailure ValidateDocument(xmlDocPtr doc, const LoadOptions& options);

// The local path a file: URL or plain path names; false for other schemes.
bool LocalPathOf(const std::string& location, std::string* path);

// Installs the engine's external-entity loader and sets libxml2's own
// nesting limit to 2048 (its value for "huge" documents, without the other
// relaxations of that option), so that MaxElementDepth can be raised above
// libxml2's default of 256. Once, at engine load.
void InstallEntityLoader();

}  // namespace ardo::engine
