#include "engine/dom/document_loader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <type_traits>
#include <unordered_map>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include <curl/curl.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/SAX2.h>
#include <libxml/uri.h>
#include <libxml/valid.h>

#include "engine/common/bstr_text.h"
#include "engine/common/engine_errors.h"
#include "engine/common/error_capture.h"
#include "engine/dom/attribute_guard.h"
#include "engine/dom/data_types.h"
#include "engine/dom/node_navigation.h"
#include "engine/dom/node_serializer.h"
#include "engine/dom/text_content.h"

namespace ardo::engine {
namespace {

// The nesting libxml2 allows at most (raised from its own 256 at engine
// start, see document_loader.h); MaxElementDepth applies below it.
constexpr long kParserDepthLimit = 2048;
constexpr size_t kHeadBytes = 512;
// How far into the input the prolog is looked at for a document type
// (comments before the first element can be long).
constexpr size_t kPrologBytes = 64 * 1024;
// Bounds on the entity content built beyond what the document refers to.
constexpr size_t kMaxBuiltEntities = 1000;
constexpr int kMaxBuiltEntityBytes = 64 * 1024;

// The load in progress on this thread: the entity loader and the SAX hooks
// read their policy from it.
struct ParseSession {
  const LoadOptions* options = nullptr;
  ErrorCapture* capture = nullptr;
  HRESULT ownError = S_OK;
  startElementNsSAX2Func startElement = nullptr;
  endElementNsSAX2Func endElement = nullptr;
  internalSubsetSAXFunc internalSubset = nullptr;
  externalSubsetSAXFunc externalSubset = nullptr;
  elementDeclSAXFunc elementDecl = nullptr;
  attributeDeclSAXFunc attributeDecl = nullptr;
  notationDeclSAXFunc notationDecl = nullptr;
  unparsedEntityDeclSAXFunc unparsedEntityDecl = nullptr;
  commentSAXFunc comment = nullptr;
  processingInstructionSAXFunc processingInstruction = nullptr;
  // The document type declaration as written, taken from the document's
  // input while it is read (the input keeps only a window of the text):
  // the input, where the declaration starts and how far it is taken (in
  // the count of the input's characters), the text, and whether the
  // window moved on before a stretch was taken (a long comment does that).
  // Up to the declaration, where the last markup before it ended.
  xmlParserInputPtr doctypeInput = nullptr;
  unsigned long doctypeStart = 0, doctypeTaken = 0, prologEnd = 0;
  std::string doctypeText;
  bool doctypeBroken = false;
  // Reads the document's own bytes again (at an offset, a length), where
  // they can be: a declaration the window lost is taken from there.
  std::function<bool(size_t, size_t, std::string*)> readBack;
  cdataBlockSAXFunc cdataBlock = nullptr;
  entityDeclSAXFunc entityDecl = nullptr;
  resolveEntitySAXFunc resolveEntity = nullptr;
  double defaultedBytes = 0;  // of attribute values the document type supplied
};
thread_local ParseSession* t_session = nullptr;

// What entity references (and defaults of the document type) may bring
// into a document: characters of text, and elements.
constexpr double kEntityTextLimit = 10'000'000;
constexpr double kEntityElementLimit = 1'000'000;
// Defaults are copied as often as the document names an element: past the
// text limit, they may come to this many times the input read so far.
constexpr double kDefaultsPerInputByte = 16;

class SessionScope {
 public:
  explicit SessionScope(ParseSession* s) : previous_(t_session) { t_session = s; }
  ~SessionScope() { t_session = previous_; }

 private:
  ParseSession* previous_;
};

void RaiseOwn(xmlParserCtxtPtr ctxt, HRESULT code, std::string message) {
  ParseSession* s = t_session;
  if (!s || s->ownError != S_OK) return;
  s->ownError = code;
  CapturedError e;
  e.domain = XML_FROM_PARSER;
  e.level = XML_ERR_FATAL;
  e.message = std::move(message);
  ErrorCapture::FillPosition(ctxt, &e);
  // Ours goes first: it is the reason the parse stopped.
  if (s->capture) s->capture->AddCause(std::move(e));
  xmlStopParser(ctxt);
}

// libxml2 hands a declaration's namespace name over as the attribute value
// it kept, in which "&" (written &amp; or &#38;) stands as "&#38;" for a
// later pass that declarations never get.
void ResolveAmpersands(xmlParserCtxtPtr ctxt, xmlNodePtr element) {
  static const char kKept[] = "&#38;";
  for (xmlNsPtr ns = element->nsDef; ns; ns = ns->next) {
    const char* href = reinterpret_cast<const char*>(ns->href);
    if (!href || !std::strstr(href, kKept)) continue;
    std::string resolved;
    for (const char* p = href; *p;) {
      if (std::strncmp(p, kKept, sizeof kKept - 1) == 0) {
        resolved += '&';
        p += sizeof kKept - 1;
      } else {
        resolved += *p++;
      }
    }
    xmlChar* copy = xmlStrdup(Xml(resolved));
    if (!copy) return RaiseOwn(ctxt, E_OUTOFMEMORY, "Out of memory while reading a namespace declaration.");
    xmlFree(const_cast<xmlChar*>(ns->href));
    ns->href = copy;
  }
}

// The names of a start tag's attributes, declarations among them, in the
// order the tag gives them; false for text that does not read as a tag.
bool AttributeNamesInOrder(std::string_view tag, std::vector<std::string_view>* names) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  size_t i = 1;  // past '<', over the element's name
  while (i < tag.size() && !blank(tag[i]) && tag[i] != '>' && tag[i] != '/') ++i;
  for (;;) {
    while (i < tag.size() && blank(tag[i])) ++i;
    if (i >= tag.size() || tag[i] == '>' || tag[i] == '/') return true;
    const size_t start = i;
    while (i < tag.size() && !blank(tag[i]) && tag[i] != '=') ++i;
    names->push_back(tag.substr(start, i - start));
    while (i < tag.size() && blank(tag[i])) ++i;
    if (i >= tag.size() || tag[i] != '=') return false;
    ++i;
    while (i < tag.size() && blank(tag[i])) ++i;
    if (i >= tag.size() || (tag[i] != '"' && tag[i] != '\'')) return false;
    const size_t close = tag.find(tag[i], i + 1);
    if (close == std::string_view::npos) return false;
    i = close + 1;
  }
}

// libxml2 has read the start tag when it reports the element, and holds it
// still: back from where it stands to the tag's '<' (attribute values
// hold none) is the tag. Declarations written after attributes are placed
// after them (see PlaceDeclarationAfter).
void PlaceDeclarationsAsWritten(xmlParserCtxtPtr ctxt, xmlNodePtr element) {
  xmlParserInputPtr in = ctxt->input;
  if (!in || !in->base || !in->cur) return;
  const char* base = reinterpret_cast<const char*>(in->base);
  const char* cur = reinterpret_cast<const char*>(in->cur);
  const char* open = cur;
  while (open > base && *open != '<') --open;
  if (*open != '<') return;
  std::vector<std::string_view> names;
  if (!AttributeNamesInOrder(std::string_view(open, static_cast<size_t>(cur - open)), &names)) return;
  // The tag's names must match the element's declarations and (written)
  // attributes one for one before any place is taken from them.
  std::vector<std::pair<xmlNsPtr, xmlAttrPtr>> places;
  xmlNsPtr ns = element->nsDef;
  xmlAttrPtr attr = element->properties, last = nullptr;
  for (std::string_view name : names) {
    if (name == "xmlns:xml") continue;  // libxml2 keeps no such declaration
    if (IsDeclarationName(name)) {
      if (!ns) return;
      places.emplace_back(ns, last);
      ns = ns->next;
    } else {
      const size_t colon = name.find(':');
      if (!attr || View(attr->name) != (colon == std::string_view::npos ? name : name.substr(colon + 1))) return;
      last = attr;
      attr = attr->next;
    }
  }
  // (Declarations left over are the document type's defaults, after the
  // tag's own: they go first.)
  for (auto& [declaration, after] : places) PlaceDeclarationAfter(declaration, after);
}

// Names the parser at work on an element to the error capture while
// libxml2 builds (and validates) it.
class ElementParserScope {
 public:
  ElementParserScope(ParseSession* s, void* ctxt)
      : capture_(s->capture), previous_(capture_ ? capture_->SetElementParser(ctxt) : nullptr) {}
  ~ElementParserScope() {
    if (capture_) capture_->SetElementParser(previous_);
  }
  ElementParserScope(const ElementParserScope&) = delete;
  ElementParserScope& operator=(const ElementParserScope&) = delete;

 private:
  ErrorCapture* capture_;
  void* previous_;
};

void CheckingEndElement(void* ctx, const xmlChar* localname, const xmlChar* prefix, const xmlChar* uri) {
  ParseSession* s = t_session;
  if (!s || !s->endElement) return;
  ElementParserScope scope(s, ctx);
  s->endElement(ctx, localname, prefix, uri);
}

// Every element start passes here: MaxElementDepth is enforced before the
// element is built, and the attributes that the document type supplied by
// default are marked once it is (libxml2 appends them after the written ones).
void CheckingStartElement(void* ctx, const xmlChar* localname, const xmlChar* prefix, const xmlChar* uri,
                          int nbNamespaces, const xmlChar** namespaces, int nbAttributes, int nbDefaulted,
                          const xmlChar** attributes) {
  auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
  ParseSession* s = t_session;
  if (!s || !s->startElement) return;
  // The element being started is not on the name stack yet.
  // The parser's own bound is checked here too: a parse without libxml2's
  // limits (see HasNoDocumentType) has no other.
  const long limit = s->options->maxElementDepth;
  const bool ownLimit = limit > 0 && limit < kParserDepthLimit;
  if (ctxt->nameNr >= (ownLimit ? limit : kParserDepthLimit)) {
    RaiseOwn(ctxt, kParseErrorTooDeep,
             ownLimit ? "Elements are nested deeper than MaxElementDepth (" + std::to_string(limit) + ") allows."
                      : "Elements are nested deeper than the parser allows (" +
                            std::to_string(kParserDepthLimit) + " levels).");
    return;
  }
  // A default is copied into every element it applies to: its text counts
  // where each copy stands, as an entity's does.
  for (int i = nbAttributes - nbDefaulted; i < nbAttributes; ++i)
    s->defaultedBytes += static_cast<double>(attributes[5 * i + 4] - attributes[5 * i + 3]);
  if (s->defaultedBytes > kEntityTextLimit && ctxt->input &&
      s->defaultedBytes > kDefaultsPerInputByte * static_cast<double>(ctxt->input->consumed +
                                                                      (ctxt->input->cur - ctxt->input->base))) {
    RaiseOwn(ctxt, kParseErrorTooLarge,
             "Attribute values the document type supplies by default come to more than " +
                 std::to_string(static_cast<int>(kDefaultsPerInputByte)) + " times the document's own size.");
    return;
  }
  {
    ElementParserScope scope(s, ctxt);
    s->startElement(ctx, localname, prefix, uri, nbNamespaces, namespaces, nbAttributes, nbDefaulted, attributes);
  }
  xmlNodePtr element = ctxt->node;
  if (!element || element->name != localname) return;
  if (nbNamespaces > 0) ResolveAmpersands(ctxt, element);
  if (nbNamespaces > 0 && nbAttributes > nbDefaulted) PlaceDeclarationsAsWritten(ctxt, element);
  if (nbDefaulted <= 0) return;
  int written = 0;
  for (xmlAttrPtr a = element->properties; a; a = a->next) ++written;
  written -= nbDefaulted;
  for (xmlAttrPtr a = element->properties; a; a = a->next)
    if (written-- <= 0) MarkDefaulted(a);
}

// libxml2 joins a CDATA section to one that ends just before it; in the
// DOM each section stays a node of its own.
void SeparateCdataBlock(void* ctx, const xmlChar* value, int len) {
  auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
  ParseSession* s = t_session;
  if (!s || !s->cdataBlock) return;
  xmlNodePtr parent = ctxt->node;
  if (!parent || !parent->last || parent->last->type != XML_CDATA_SECTION_NODE)
    return s->cdataBlock(ctx, value, len);
  xmlNodePtr section = xmlNewCDataBlock(ctxt->myDoc, value, len);
  if (!section) return RaiseOwn(ctxt, E_OUTOFMEMORY, "Out of memory while building a CDATA section.");
  xmlAddChild(parent, section);
}

// Whether a URL escapes a NUL: libxml2 unescapes it, and the file name
// it opens ends there, naming another file.
bool EscapesNul(const void* url) {
  return url && std::string_view(static_cast<const char*>(url)).find("%00") != std::string_view::npos;
}

// Where the parser stands in its input, in the count of its characters.
unsigned long InputPosition(const xmlParserInput* in) {
  return in->consumed + static_cast<unsigned long>(in->cur - in->base);
}

// Takes the document type's text that the parser has read since the last
// call, while its input still holds it. The text of parameter entities is
// not the document's: only the document's own input counts. Before the
// declaration, notes where the prolog's last markup ended.
void TakeDoctypeText(ParseSession* s, void* ctx) {
  auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
  xmlParserInputPtr in = ctxt->input;
  if (!in || !in->base || !in->cur) return;
  if (!s->doctypeInput) {
    if (ctxt->inputNr == 1 && !ctxt->node && ctxt->inSubset == 0) s->prologEnd = InputPosition(in);
    return;
  }
  if (in != s->doctypeInput || s->doctypeBroken) return;
  if (s->doctypeTaken < in->consumed) {
    s->doctypeBroken = true;
    s->doctypeText.clear();
    return;
  }
  const unsigned long end = InputPosition(in);
  if (end <= s->doctypeTaken) return;
  s->doctypeText.append(reinterpret_cast<const char*>(in->base) + (s->doctypeTaken - in->consumed),
                        end - s->doctypeTaken);
  s->doctypeTaken = end;
}

// An external entity's system identifier is resolved as it is declared,
// and libxml2 unescapes an escaped NUL and cuts the name short before the
// loader sees it: such an entity is given a location of a scheme of ours
// instead, which libxml2 passes on as it is and the loader refuses.
constexpr std::string_view kNulNamed = "x-ardoxml-nul:";
void NulCheckingEntityDecl(void* ctx, const xmlChar* name, int type, const xmlChar* publicId,
                           const xmlChar* systemId, xmlChar* content) {
  ParseSession* s = t_session;
  if (!s || !s->entityDecl) return;
  TakeDoctypeText(s, ctx);
  s->entityDecl(ctx, name, type, publicId, systemId, content);
  if (!EscapesNul(systemId)) return;
  const bool parameter = type == XML_INTERNAL_PARAMETER_ENTITY || type == XML_EXTERNAL_PARAMETER_ENTITY;
  xmlEntityPtr entity = parameter ? xmlSAX2GetParameterEntity(ctx, name) : xmlSAX2GetEntity(ctx, name);
  if (!entity || !xmlStrEqual(entity->SystemID, systemId)) return;
  xmlChar* kept = xmlStrdup(Xml(std::string(kNulNamed) + std::string(View(systemId))));
  if (!kept) return;
  xmlFree(const_cast<xmlChar*>(entity->URI));
  entity->URI = kept;
}

// The external DTD's identifier, likewise, before libxml2 resolves it.
xmlParserInputPtr NulCheckingResolveEntity(void* ctx, const xmlChar* publicId, const xmlChar* systemId) {
  ParseSession* s = t_session;
  if (EscapesNul(systemId) && s && s->options->resolveExternals && !s->options->prohibitDtd) {
    RaiseOwn(static_cast<xmlParserCtxtPtr>(ctx), kResourceNotFound,
             "The system cannot locate the resource specified: " + std::string(View(systemId)));
    return nullptr;
  }
  return s && s->resolveEntity ? s->resolveEntity(ctx, publicId, systemId) : nullptr;
}

// A SAX callback that takes the document type's text read so far, then
// calls the handler it stands in for.
template <class Callback>
struct TakingDoctype;
template <class... Args>
struct TakingDoctype<void (*)(void*, Args...)> {
  template <void (*ParseSession::*handler)(void*, Args...)>
  static void Call(void* ctx, Args... args) {
    ParseSession* s = t_session;
    if (!s) return;
    TakeDoctypeText(s, ctx);
    if (s->*handler) (s->*handler)(ctx, args...);
  }
};

// Puts TakingDoctype in the parser's place for one of its handlers.
template <auto kSax, auto kSession>
void TakeDoctypeBefore(xmlSAXHandlerPtr sax, ParseSession* s) {
  using Callback = std::remove_reference_t<decltype(sax->*kSax)>;
  s->*kSession = sax->*kSax;
  sax->*kSax = TakingDoctype<Callback>::template Call<kSession>;
}

// libxml2 reports the document type after its name and identifiers: the
// declaration starts before, the first one after the prolog's last markup
// (its identifiers may hold the same letters).
void RecordingInternalSubset(void* ctx, const xmlChar* name, const xmlChar* externalId,
                             const xmlChar* systemId) {
  auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
  ParseSession* s = t_session;
  if (!s || !s->internalSubset) return;
  xmlParserInputPtr in = ctxt->input;
  if (in && in->base && in->cur && ctxt->inputNr == 1) {
    const size_t from = s->prologEnd > in->consumed ? s->prologEnd - in->consumed : 0;
    std::string_view read(reinterpret_cast<const char*>(in->base), static_cast<size_t>(in->cur - in->base));
    size_t at = from < read.size() ? read.find("<!DOCTYPE", from) : std::string_view::npos;
    if (at != std::string_view::npos) {
      s->doctypeInput = in;
      s->doctypeStart = s->doctypeTaken = in->consumed + at;
      s->doctypeText.clear();
      s->doctypeBroken = false;
      TakeDoctypeText(s, ctx);
    }
  }
  s->internalSubset(ctx, name, externalId, systemId);
}

// Reported just after the declaration's closing '>'.
void RecordingExternalSubset(void* ctx, const xmlChar* name, const xmlChar* externalId,
                             const xmlChar* systemId) {
  auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
  ParseSession* s = t_session;
  if (!s) return;
  TakeDoctypeText(s, ctx);
  xmlParserInputPtr in = ctxt->input;
  if (s->doctypeInput && in == s->doctypeInput && s->doctypeBroken && s->readBack &&
      !(in->buf && in->buf->encoder && xmlStrcasecmp(Xml(in->buf->encoder->name), Xml("UTF-8")) != 0)) {
    // Read as UTF-8, the input counts the document's own bytes (the text
    // read back is checked to be the declaration, whole).
    const unsigned long end = InputPosition(in);
    if (s->doctypeStart >= end || !s->readBack(s->doctypeStart, end - s->doctypeStart, &s->doctypeText))
      s->doctypeText.clear();
  }
  std::string_view text = s->doctypeText;
  if (!s->doctypeInput || text.size() < 10 || text.substr(0, 9) != "<!DOCTYPE" || text.back() != '>')
    s->doctypeText.clear();
  s->doctypeInput = nullptr;
  if (s->externalSubset) s->externalSubset(ctx, name, externalId, systemId);
}

void DtdRefusingInternalSubset(void* ctx, const xmlChar* name, const xmlChar* externalId,
                               const xmlChar* systemId) {
  RaiseOwn(static_cast<xmlParserCtxtPtr>(ctx), kParseErrorDtdProhibited,
           "A document type declaration is not allowed (ProhibitDTD is set).");
}

xmlParserInputPtr EngineEntityLoader(const char* url, const char* id, xmlParserCtxtPtr ctxt) {
  if (ParseSession* s = t_session) {
    if (!s->options->resolveExternals || s->options->prohibitDtd) return nullptr;
    if (EscapesNul(url)) {
      std::string named(url);
      if (named.compare(0, kNulNamed.size(), kNulNamed) == 0) named.erase(0, kNulNamed.size());
      if (ctxt) RaiseOwn(ctxt, kResourceNotFound, "The system cannot locate the resource specified: " + named);
      return nullptr;
    }
    std::string path;
    // A network resource is never fetched: the document loads without it.
    if (!url || !LocalPathOf(url, &path)) return nullptr;
    // Nor is a device or a pipe read, which may never end.
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
      if (ctxt) RaiseOwn(ctxt, kResourceNotFound, "The resource is not a file: " + std::string(url));
      return nullptr;
    }
    // A local one that is named but cannot be read fails the load, as a
    // missing document does.
    xmlParserInputPtr input = xmlNoNetExternalEntityLoader(url, id, ctxt);
    if (!input && ctxt)
      RaiseOwn(ctxt, kResourceNotFound, "The system cannot locate the resource specified: " + std::string(url));
    return input;
  }
  // Outside a DOM load (other engine components) local files only as well.
  return EscapesNul(url) ? nullptr : xmlNoNetExternalEntityLoader(url, id, ctxt);
}

int ParseOptions(const LoadOptions& o) {
  int options = XML_PARSE_NONET | XML_PARSE_DTDATTR | XML_PARSE_BIG_LINES;
  // With externals resolved, libxml2 reads external parsed entities only
  // when it validates while parsing; validity messages of that pass do not
  // fail the load (validateOnParse decides that afterwards).
  if (o.resolveExternals && !o.prohibitDtd) options |= XML_PARSE_DTDLOAD | XML_PARSE_DTDVALID;
  // Without them, validating while parsing still gives a validity error
  // its place in the text (nothing external is read: the loader refuses).
  if (o.validateOnParse && !o.prohibitDtd) options |= XML_PARSE_DTDVALID;
  return options;
}

// The text of the XML declaration ("version='1.0' encoding='...'") as the
// input spells it, from the first bytes of the input; false when there is none.
bool DeclarationText(std::string_view head, std::string* out) {
  std::string ascii;
  const auto* b = reinterpret_cast<const unsigned char*>(head.data());
  size_t n = head.size(), i = 0;
  int step = 1, offset = 0;
  if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
    i = 3;
  } else if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
    i = 2, step = 2, offset = 0;
  } else if (n >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
    i = 2, step = 2, offset = 1;
  } else if (n >= 2 && b[0] == '<' && b[1] == 0) {
    step = 2, offset = 0;
  } else if (n >= 2 && b[0] == 0 && b[1] == '<') {
    step = 2, offset = 1;
  }
  for (; i + step <= n && ascii.size() < kPrologBytes; i += step) {
    unsigned char c = b[i + offset];
    if (step == 2 && b[i + 1 - offset] != 0) break;
    if (c == 0 || c >= 0x80) break;
    ascii.push_back(static_cast<char>(c));
    if (ascii.size() >= 2 && ascii.compare(ascii.size() - 2, 2, "?>") == 0) break;
  }
  if (ascii.compare(0, 5, "<?xml") != 0 || ascii.size() < 8 || !IsXmlSpace(ascii[5]) ||
      ascii.compare(ascii.size() - 2, 2, "?>") != 0)
    return false;
  *out = TrimMessage(ascii.substr(6, ascii.size() - 8).c_str());
  return true;
}

// The encoding name the input's declaration gives, as written; false when
// there is no declaration or it names none.
bool DeclaredEncoding(std::string_view head, std::string* name) {
  std::string declaration;
  if (!DeclarationText(head, &declaration)) return false;
  size_t at = declaration.find("encoding");
  size_t open = at == std::string::npos ? at : declaration.find_first_of("'\"", at);
  size_t close = open == std::string::npos ? open : declaration.find(declaration[open], open + 1);
  if (close == std::string::npos) return false;
  *name = declaration.substr(open + 1, close - open - 1);
  return true;
}

// Where libxml2 switches to the encoding that the declaration names: just
// after the name's closing quote (0 when the input opens with a byte-order
// mark or names UTF-8 or nothing: no switch drops text then).
long EncodingSwitchOffset(std::string_view head) {
  std::string name;
  if (head.compare(0, 5, "<?xml") != 0 || !DeclaredEncoding(head, &name) || FoldedEncodingName(name) == "utf8")
    return 0;
  size_t at = head.find(name, head.find("encoding"));
  return at == std::string::npos ? 0 : static_cast<long>(at + name.size() + 1);
}

// True when the opening bytes of a document reach its first element with
// no document type before it (comments, instructions and blanks only). Such
// a document has no entities but the predefined ones, so it may be parsed
// without libxml2's limits on the size of one text or attribute value
// (which go together with its guard against entity expansion).
bool HasNoDocumentType(std::string_view bytes) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  // Only encodings whose markup characters are plain ASCII bytes are read;
  // in any other (ISO-2022-JP, EBCDIC, ...) other characters could pass for
  // markup, and the document keeps the limits.
  std::string encoding;
  if (DeclaredEncoding(bytes.substr(0, kPrologBytes), &encoding)) {
    const std::string name = FoldedEncodingName(encoding);
    static const char* const kPlain[] = {"utf8", "utf16", "usascii", "ascii", "iso8859", "windows125", "latin"};
    if (std::none_of(std::begin(kPlain), std::end(kPlain), [&](const char* p) { return name.rfind(p, 0) == 0; }))
      return false;
  }
  // UTF-16: a character is ASCII only when its other byte is zero; any
  // other character stands as a non-ASCII byte, never as markup.
  std::string ascii;
  size_t start = 0;
  bool bigEndian = false;
  if (bytes.size() >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
    start = 2;
  } else if (bytes.size() >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
    start = 2, bigEndian = true;
  } else if (bytes.size() >= 2 && b[0] == 0 && b[1] != 0) {
    bigEndian = true;
  }
  bool wide = start == 2 || (bytes.size() >= 2 && (b[0] == 0 || b[1] == 0));
  if (wide) {
    for (size_t i = start; i + 1 < bytes.size(); i += 2) {
      unsigned char low = bigEndian ? b[i + 1] : b[i], high = bigEndian ? b[i] : b[i + 1];
      ascii.push_back(high == 0 && low < 0x80 ? char(low) : '\x80');
    }
    bytes = ascii;
  } else if (bytes.size() >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
    bytes.remove_prefix(3);
  }
  size_t i = 0;
  while (i < bytes.size()) {
    char c = bytes[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++i;
    } else if (bytes.compare(i, 4, "<!--") == 0) {
      size_t end = bytes.find("-->", i + 4);
      if (end == std::string_view::npos) return false;
      i = end + 3;
    } else if (bytes.compare(i, 2, "<?") == 0) {
      size_t end = bytes.find("?>", i + 2);
      if (end == std::string_view::npos) return false;
      i = end + 2;
    } else {
      // The first element: a name start after '<'.
      return c == '<' && i + 1 < bytes.size() &&
             (std::isalpha(static_cast<unsigned char>(bytes[i + 1])) || bytes[i + 1] == '_' ||
              bytes[i + 1] == ':' || static_cast<unsigned char>(bytes[i + 1]) >= 0x80);
    }
  }
  return false;
}

void LinkFirst(xmlDocPtr doc, xmlNodePtr node) {
  node->parent = reinterpret_cast<xmlNodePtr>(doc);
  node->next = doc->children;
  node->prev = nullptr;
  if (doc->children) {
    doc->children->prev = node;
  } else {
    doc->last = node;
  }
  doc->children = node;
}

void AddDeclarationNode(xmlDocPtr doc, std::string_view head) {
  if (doc->standalone == -1) return;  // the input had no declaration
  std::string data;
  if (!DeclarationText(head, &data)) {
    data = "version=\"" + std::string(View(doc->version ? doc->version : Xml("1.0"))) + "\"";
    if (doc->standalone == 1) data += " standalone=\"yes\"";
    if (doc->standalone == 0) data += " standalone=\"no\"";
  }
  xmlNodePtr pi = xmlNewDocPI(doc, Xml("xml"), Xml(data));
  if (!pi) throw std::bad_alloc();
  LinkFirst(doc, pi);
}

void PruneWhiteSpace(xmlDocPtr doc) {
  struct Frame {
    xmlNodePtr element;
    bool preserve;
  };
  std::vector<Frame> stack;
  for (xmlNodePtr c = doc->children; c; c = c->next)
    if (c->type == XML_ELEMENT_NODE) stack.push_back({c, false});
  while (!stack.empty()) {
    Frame f = stack.back();
    stack.pop_back();
    int declared = DeclaredSpace(f.element);
    bool preserve = declared < 0 ? f.preserve : declared == 1;
    // A style sheet's xsl:text keeps its blanks: they are its whole point
    // (<xsl:text> </xsl:text>), and XSLT itself never strips them.
    if (f.element->ns && xmlStrEqual(f.element->name, Xml("text")) &&
        xmlStrEqual(f.element->ns->href, Xml("http://www.w3.org/1999/XSL/Transform")))
      preserve = true;
    xmlNodePtr next;
    for (xmlNodePtr c = f.element->children; c; c = next) {
      next = c->next;
      if (c->type == XML_TEXT_NODE && !preserve && IsAllXmlSpace(View(c->content))) {
        xmlUnlinkNode(c);
        xmlFreeNode(c);
      } else if (c->type == XML_ELEMENT_NODE) {
        stack.push_back({c, preserve});
      }
    }
  }
}

// The byte-order mark is no part of the first line's text.
std::string_view WithoutMark(std::string_view text) {
  return text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? text.substr(3) : text;
}

// The reason and position of a captured error.
void DescribeFrom(const CapturedError& e, ParseFailure* f) {
  f->reason = e.message;
  f->srcText = WithoutMark(e.sourceLine);
  f->line = e.line;
  f->linepos = e.column;
  f->filepos = e.offset >= 0 ? e.offset : 0;
  // The position is in that file's text.
  if (!e.entityFile.empty()) f->url = e.entityFile;
}

// libxml2 reports a byte the declared encoding cannot decode without a
// place; decoding stops there, so the parser's next complaint (the input
// ended early) stands where that byte does.
void BorrowPosition(const ErrorCapture& capture, const CapturedError& conversion, ParseFailure* f) {
  bool after = false;
  for (const CapturedError& c : capture.All()) {
    if (&c == &conversion) {
      after = true;
    } else if (after && c.line > 0 && c.domain == XML_FROM_PARSER) {
      std::string reason = f->reason;
      DescribeFrom(c, f);
      f->reason = std::move(reason);
      return;
    }
  }
}

// libxml2 stops a text longer than its limit (kept for documents with a
// document type, see HasNoDocumentType) with an out-of-memory message at
// error level, and then reports what follows it as the fatal error.
const CapturedError* TextLimitError(const ErrorCapture& capture) {
  for (const CapturedError& e : capture.All())
    if (e.code == XML_ERR_NO_MEMORY && e.message.find("huge text node") != std::string::npos) return &e;
  return nullptr;
}

ParseFailure FailureFrom(const ErrorCapture& capture, HRESULT ownError, const std::string& url,
                         const char* fallback) {
  ParseFailure f;
  f.url = url;
  const CapturedError* e = capture.FirstError();
  if (const CapturedError* limit = ownError == S_OK ? TextLimitError(capture) : nullptr) {
    DescribeFrom(*limit, &f);
    f.errorCode = kParseErrorTooLarge;
    f.reason = "A text is longer than the parser takes (10,000,000 characters) in a document with a document type.";
    return f;
  }
  if (ownError != S_OK) {
    f.errorCode = ownError;
    // The engine's own error was recorded last but is the cause.
    for (const auto& c : capture.All())
      if (c.code == 0 && c.level == XML_ERR_FATAL) e = &c;
  } else {
    std::string_view at;
    if (e && e->column > 0 && static_cast<size_t>(e->column) <= e->sourceLine.size())
      at = std::string_view(e->sourceLine).substr(e->column - 1);
    f.errorCode = ParseErrorCodeFor(e ? e->code : XML_ERR_INTERNAL_ERROR, at);
  }
  if (e) DescribeFrom(*e, &f);
  if (e && e->domain == XML_FROM_I18N && e->line <= 0) BorrowPosition(capture, *e, &f);
  if (f.reason.empty()) f.reason = fallback;
  return f;
}

bool ShouldValidate(xmlDocPtr doc) {
  xmlDtdPtr dtd = doc->intSubset;
  if (!dtd) return doc->extSubset != nullptr;
  return doc->extSubset != nullptr || (!dtd->ExternalID && !dtd->SystemID);
}

ParseFailure RunValidation(xmlDocPtr doc, const std::string& url) {
  ErrorCapture capture;
  xmlValidCtxtPtr vctxt = xmlNewValidCtxt();
  if (!vctxt) throw std::bad_alloc();
  int valid = xmlValidateDocument(vctxt, doc);
  xmlFreeValidCtxt(vctxt);
  if (valid) return ParseFailure();
  return FailureFrom(capture, S_OK, url, "The document is not valid according to its DTD.");
}

// An element typed with dt:dt holds a value of its type (blank text aside).
// A document whose typed text does not read as its type, or that names a
// type there is none of, fails as a document that breaks its DTD does.
ParseFailure CheckTypedValues(xmlDocPtr doc, bool preserveWhiteSpace, const std::string& url) {
  // The attribute's name is in the document's dictionary if any node has it.
  if (doc->dict && !xmlDictExists(doc->dict, Xml("dt"), 2)) return ParseFailure();
  xmlNodePtr root = xmlDocGetRootElement(doc);
  for (xmlNodePtr n = root; n;) {
    if (xmlAttrPtr attr = FindAttributeNs(n, "dt", kDataTypesNamespace)) {
      std::string name = AttributeValue(attr), reason;
      DataType type;
      if (FAILED(ParseDataType(name.c_str(), &type))) {
        reason = "The data type \"" + name + "\" of element '" + std::string(View(n->name)) + "' is not known.";
      } else {
        std::string text = TextOf(n, preserveWhiteSpace);
        VARIANT probe;
        VariantInit(&probe);
        if (!text.empty() && FAILED(TypedValueFromText(type, text.c_str(), &probe)))
          reason = "Error parsing '" + text + "' as " + name + " datatype.";
        VariantClear(&probe);
      }
      if (!reason.empty()) {
        ParseFailure f;
        f.errorCode = kParseErrorDataType;
        f.reason = std::move(reason);
        f.line = static_cast<long>(xmlGetLineNo(n));
        f.url = url;
        return f;
      }
    }
    n = NextElementWithin(n, root);
  }
  return ParseFailure();
}

// True when an entity's replacement text refers to another general entity
// (the five predefined ones aside). Such content is left to libxml2, which
// builds it when the document refers to the entity: building it here would
// expand chains of entities that the document never uses.
bool RefersToEntities(const xmlChar* content) {
  for (const xmlChar* p = content; *p; ++p) {
    if (*p != '&') continue;
    if (p[1] == '#') continue;
    const xmlChar* end = xmlStrchr(p, ';');
    std::string_view name(reinterpret_cast<const char*>(p + 1), end ? static_cast<size_t>(end - p - 1) : 0);
    if (name != "lt" && name != "gt" && name != "amp" && name != "quot" && name != "apos") return true;
  }
  return false;
}

void CollectEntity(void* payload, void* data, const xmlChar*) {
  auto* ent = static_cast<xmlEntityPtr>(payload);
  if (ent->etype != XML_INTERNAL_GENERAL_ENTITY || ent->children || !ent->content) return;
  if (xmlStrlen(ent->content) > kMaxBuiltEntityBytes || RefersToEntities(ent->content)) return;
  static_cast<std::vector<xmlEntityPtr>*>(data)->push_back(ent);
}

void BuildOneEntity(xmlEntityPtr ent, xmlDocPtr doc) {
  xmlNodePtr list = nullptr;
  // Content that is not well-formed (allowed while nothing refers to the
  // entity) leaves the entity empty.
  if (xmlParseBalancedChunkMemory(doc, nullptr, nullptr, 0, ent->content, &list) != 0 || !list) {
    xmlFreeNodeList(list);
    return;
  }
  // As libxml2 does when a reference meets the entity first: the entity
  // owns the nodes.
  ent->children = list;
  ent->owner = 1;
  for (xmlNodePtr n = list; n; n = n->next) {
    n->parent = reinterpret_cast<xmlNodePtr>(ent);
    if (n->doc != doc) xmlSetTreeDoc(n, doc);
    ent->last = n;
  }
}

// The first validity error a parse that validated as it went reported.
// Without one (the parser judged validity silently), the finished tree is
// checked after all.
ParseFailure ValidityFailure(const ErrorCapture& capture, const std::string& url) {
  for (const CapturedError& e : capture.All()) {
    if (e.domain != XML_FROM_VALID || e.level < XML_ERR_ERROR) continue;
    ParseFailure f;
    f.url = url;
    f.errorCode = ParseErrorCodeFor(e.code);
    DescribeFrom(e, &f);
    return f;
  }
  ParseFailure f;
  f.url = url;
  f.errorCode = ParseErrorCodeFor(XML_ERR_INTERNAL_ERROR);
  f.reason = "The document is not valid according to its DTD.";
  return f;
}

// Whether the parse broke a namespace rule (libxml2 also marks the parse
// for a namespace name that is not a URI, which the capture keeps as a
// warning).
bool HasNamespaceErrors(const ErrorCapture& capture) {
  for (const CapturedError& e : capture.All())
    if (e.domain == XML_FROM_NAMESPACE && e.level >= XML_ERR_ERROR) return true;
  return false;
}

// Runs one parse: read(ctxt, options) does the libxml2 call.
// What entity references add to a document. libxml2 parses an entity's
// content once, where it is first referred to, and shares it with every
// reference: neither its nesting nor the text it repeats count against the
// parser's limits where the other references stand.
class EntityExpansion {
 public:
  struct Measure {
    long depth = 0;       // element levels below where the list stands
    double added = 0;     // characters that references bring in
    double elements = 0;  // elements that references bring in
    double own = 0;       // elements of the list itself
    double text = 0;      // characters of its own text
  };
  // The elements under nodes (a children list) and the text references
  // bring into them and their attributes.
  Measure Of(xmlNodePtr nodes) {
    Measure m;
    if (!nodes) return m;
    xmlNodePtr top = nodes->parent;
    long depth = 0;
    for (xmlNodePtr n = nodes; n;) {
      if (n->type == XML_ELEMENT_NODE) {
        m.depth = std::max(m.depth, depth + 1);
        ++m.own;
        for (xmlAttrPtr a = n->properties; a; a = a->next)
          for (xmlNodePtr c = a->children; c; c = c->next) {
            Reference(c, depth, &m);
            if (c->content) m.text += xmlUTF8Strlen(c->content);
          }
      } else {
        Reference(n, depth - 1, &m);
        if (n->type != XML_ENTITY_REF_NODE && n->content) m.text += xmlUTF8Strlen(n->content);
      }
      // Preorder through elements only, keeping the depth.
      if (n->type == XML_ELEMENT_NODE && n->children) {
        n = n->children;
        ++depth;
        continue;
      }
      while (n && !n->next && n->parent != top) {
        n = n->parent;
        --depth;
      }
      n = n ? n->next : nullptr;
    }
    return m;
  }

 private:
  void Reference(xmlNodePtr n, long depth, Measure* m) {
    xmlEntityPtr ent = n->type == XML_ENTITY_REF_NODE ? ReferencedEntity(n) : nullptr;
    if (!ent) return;
    auto it = seen_.find(ent);
    if (it == seen_.end()) {
      seen_[ent] = Measure();  // counts as nothing should it refer to itself
      Measure inner = Of(ent->children);
      // An internal entity counts its text as written, markup and all; an
      // external one (read from a file, no text kept) the text it holds.
      inner.added += ent->content ? xmlUTF8Strlen(ent->content) : inner.text;
      inner.elements += inner.own;
      it = seen_.insert_or_assign(ent, inner).first;
    }
    m->depth = std::max(m->depth, depth + 1 + it->second.depth);
    m->added += it->second.added;
    m->elements += it->second.elements;
  }
  std::unordered_map<xmlEntityPtr, Measure> seen_;
};


// A document whose entity references nest elements deeper than the limit,
// or repeat more than 10,000,000 characters of entity text, fails as one
// written out that way would.
ParseFailure CheckEntityExpansion(xmlDocPtr doc, const LoadOptions& options, const std::string& url) {
  bool declared = false;
  for (xmlDtdPtr dtd : {doc->intSubset, doc->extSubset})
    declared = declared || (dtd && dtd->entities && xmlHashSize(static_cast<xmlHashTablePtr>(dtd->entities)) > 0);
  if (!declared) return ParseFailure();
  EntityExpansion::Measure m = EntityExpansion().Of(doc->children);
  const long limit = options.maxElementDepth;
  const bool ownLimit = limit > 0 && limit < kParserDepthLimit;
  ParseFailure f;
  f.url = url;
  if (m.depth > (ownLimit ? limit : kParserDepthLimit)) {
    f.errorCode = kParseErrorTooDeep;
    f.reason = ownLimit ? "Elements are nested deeper than MaxElementDepth (" + std::to_string(limit) +
                              ") allows, counting the content of entity references."
                        : "Elements are nested deeper than the parser allows (" + std::to_string(kParserDepthLimit) +
                              " levels), counting the content of entity references.";
  } else if (m.added > kEntityTextLimit) {
    f.errorCode = kParseErrorTooLarge;
    f.reason = "Entity references bring in more than 10,000,000 characters of text.";
  } else if (m.elements > kEntityElementLimit) {
    f.errorCode = kParseErrorTooLarge;
    f.reason = "Entity references bring in more than 1,000,000 elements.";
  }
  return f;
}

// Reading back from a document held in memory.
std::function<bool(size_t, size_t, std::string*)> ReadBackFrom(std::string_view text) {
  return [text](size_t offset, size_t length, std::string* out) {
    if (offset > text.size() || length > text.size() - offset) return false;
    out->assign(text.substr(offset, length));
    return true;
  };
}

template <class Read>
ParseOutcome RunParse(const LoadOptions& options, const std::string& url, std::string_view head,
                      Read&& read, HRESULT* ioError = nullptr,
                      std::function<bool(size_t, size_t, std::string*)> readBack = {}) {
  ParseOutcome outcome;
  ErrorCapture capture;
  ParseSession session;
  session.options = &options;
  session.capture = &capture;
  session.readBack = std::move(readBack);
  SessionScope scope(&session);

  xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
  if (!ctxt) throw std::bad_alloc();
  session.startElement = ctxt->sax->startElementNs;
  ctxt->sax->startElementNs = CheckingStartElement;
  session.endElement = ctxt->sax->endElementNs;
  ctxt->sax->endElementNs = CheckingEndElement;
  session.cdataBlock = ctxt->sax->cdataBlock;
  ctxt->sax->cdataBlock = SeparateCdataBlock;
  session.entityDecl = ctxt->sax->entityDecl;
  ctxt->sax->entityDecl = NulCheckingEntityDecl;
  session.resolveEntity = ctxt->sax->resolveEntity;
  ctxt->sax->resolveEntity = NulCheckingResolveEntity;
  session.internalSubset = ctxt->sax->internalSubset;
  ctxt->sax->internalSubset = options.prohibitDtd ? DtdRefusingInternalSubset : RecordingInternalSubset;
  session.externalSubset = ctxt->sax->externalSubset;
  ctxt->sax->externalSubset = RecordingExternalSubset;
  TakeDoctypeBefore<&xmlSAXHandler::elementDecl, &ParseSession::elementDecl>(ctxt->sax, &session);
  TakeDoctypeBefore<&xmlSAXHandler::attributeDecl, &ParseSession::attributeDecl>(ctxt->sax, &session);
  TakeDoctypeBefore<&xmlSAXHandler::notationDecl, &ParseSession::notationDecl>(ctxt->sax, &session);
  TakeDoctypeBefore<&xmlSAXHandler::unparsedEntityDecl, &ParseSession::unparsedEntityDecl>(ctxt->sax, &session);
  TakeDoctypeBefore<&xmlSAXHandler::comment, &ParseSession::comment>(ctxt->sax, &session);
  TakeDoctypeBefore<&xmlSAXHandler::processingInstruction, &ParseSession::processingInstruction>(ctxt->sax,
                                                                                               &session);
  capture.SetParser(ctxt);
  capture.SetMainFile(url);
  capture.SetSwitchOffset(EncodingSwitchOffset(head));
  const int parseOptions = ParseOptions(options) | (HasNoDocumentType(head) ? XML_PARSE_HUGE : 0);
  xmlDocPtr doc = read(ctxt, parseOptions);
  // libxml2 takes a NUL after the document element for the end of the
  // input: what follows it would go unread. (NULs alone at the end are a
  // string's terminator counted into its length, and end it.)
  if (doc && ctxt->input && ctxt->input->cur && ctxt->input->cur < ctxt->input->end && *ctxt->input->cur == 0 &&
      std::any_of(ctxt->input->cur, ctxt->input->end, [](xmlChar c) { return c != 0; }))
    RaiseOwn(ctxt, ParseErrorCodeFor(XML_ERR_INVALID_CHAR, {}), "A NUL character stands after the document element.");
  bool ok = doc && ctxt->wellFormed && (ctxt->nsWellFormed || !HasNamespaceErrors(capture)) &&
            session.ownError == S_OK &&
            !(ioError && FAILED(*ioError));
  // Validated while parsing (externals resolved): the first validity error
  // has its place in the text, which a check of the finished tree lacks.
  const bool validatedInParse = (parseOptions & XML_PARSE_DTDVALID) != 0;
  const bool validInParse = ctxt->valid != 0;
  capture.SetParser(nullptr);
  xmlFreeParserCtxt(ctxt);
  if (!ok) {
    if (doc) xmlFreeDoc(doc);
    HRESULT own = session.ownError;
    if (own == S_OK && ioError && FAILED(*ioError)) own = *ioError;
    outcome.error = FailureFrom(capture, own, url, "The document could not be parsed.");
    return outcome;
  }
  if (ParseFailure expanded = CheckEntityExpansion(doc, options, url); expanded.errorCode != S_OK) {
    xmlFreeDoc(doc);
    outcome.error = std::move(expanded);
    return outcome;
  }
  if (options.validateOnParse && ShouldValidate(doc)) {
    ParseFailure invalid = validatedInParse && !validInParse ? ValidityFailure(capture, url)
                                                             : RunValidation(doc, url);
    if (invalid.errorCode != S_OK) {
      xmlFreeDoc(doc);
      outcome.error = std::move(invalid);
      return outcome;
    }
  }
  try {
    if (!options.preserveWhiteSpace) PruneWhiteSpace(doc);
    if (options.validateOnParse) {
      ParseFailure invalid = CheckTypedValues(doc, options.preserveWhiteSpace, url);
      if (invalid.errorCode != S_OK) {
        xmlFreeDoc(doc);
        outcome.error = std::move(invalid);
        return outcome;
      }
    }
    AddDeclarationNode(doc, head);
    // (A declaration whose end was not reported is not whole.)
    if (doc->intSubset && !session.doctypeInput && !session.doctypeText.empty())
      KeepWrittenDoctype(doc->intSubset, session.doctypeText);
    BuildEntityContent(doc);
  } catch (...) {
    xmlFreeDoc(doc);
    throw;
  }
  outcome.doc = doc;
  return outcome;
}

// libxml2 keeps only a window of its input in memory, and the source line
// of an error is cut from that window: on a long line (machine-written
// documents are often one line) it starts mid-line. Where the input's
// bytes are at hand and are UTF-8, the whole line is taken from them
// instead, provided it holds what the window saw (the error may lie in an
// entity's text, with a position of its own).
constexpr size_t kMaxFullSourceLine = 1024 * 1024;
constexpr long kMaxCountedPrefix = 64L * 1024 * 1024;

bool IsUtf8Source(std::string_view head) {
  if (head.size() >= 2 && (head[0] == '\0' || head[1] == '\0' || head.compare(0, 2, "\xFF\xFE") == 0 ||
                           head.compare(0, 2, "\xFE\xFF") == 0))
    return false;
  std::string name;
  if (!DeclaredEncoding(head, &name)) return true;
  const std::string folded = FoldedEncodingName(name);
  return folded == "utf8" || folded == "usascii" || folded == "ascii";
}

// The line around byte `offset` of `window` (which starts at byte `base`
// of the input), or false when the window does not hold all of it.
bool LineAround(std::string_view window, size_t base, long offset, bool windowEndsInput, std::string* line) {
  if (offset < static_cast<long>(base) || static_cast<size_t>(offset) - base > window.size()) return false;
  size_t at = static_cast<size_t>(offset) - base;
  size_t start = window.find_last_of("\r\n", at == 0 ? std::string_view::npos : at - 1);
  if (at == 0 || start == std::string_view::npos) {
    if (base != 0) return false;  // the line began before the window
    start = 0;
  } else {
    ++start;
  }
  size_t stop = window.find_first_of("\r\n", at);
  if (stop == std::string_view::npos) {
    if (!windowEndsInput) return false;
    stop = window.size();
  }
  if (stop - start > kMaxFullSourceLine) return false;
  line->assign(window.substr(start, stop - start));
  return xmlCheckUTF8(reinterpret_cast<const xmlChar*>(line->c_str())) != 0;
}

// The UTF-16 units of UTF-8 text; *characters counts its characters.
long Utf16Units(std::string_view text, long* characters) {
  long units = 0;
  for (unsigned char c : text) {
    if ((c & 0xC0) != 0x80) ++units, ++*characters;  // a character starts here
    if ((c & 0xF8) == 0xF0) ++units;                  // beyond the BMP: a surrogate pair
  }
  return units;
}

// libxml2 counts lines by their line feeds only: in a text whose lines
// end in a carriage return alone it places every error on one long line.
// Where such a line end comes before the error, the line, the position in
// it (in characters) and its text are worked out again from `prefix`, the
// UTF-8 text up to the error, and `rest`, what follows it.
void PlaceAfterLoneCarriageReturns(std::string_view prefix, std::string_view rest, ParseFailure* f) {
  long line = 1;
  size_t lineStart = 0;
  bool lone = false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (prefix[i] == '\r') {
      const bool pair = i + 1 < prefix.size() ? prefix[i + 1] == '\n' : !rest.empty() && rest[0] == '\n';
      lone = lone || !pair;
      if (pair) ++i;
    } else if (prefix[i] != '\n') {
      continue;
    }
    ++line;
    lineStart = i + 1;
  }
  if (!lone) return;
  const std::string_view before = prefix.substr(lineStart);  // past a line end: no mark in it
  std::string text(before);
  text.append(rest.substr(0, rest.find_first_of("\r\n")));
  // The parser's own view of the line runs from its last line feed up to
  // the line end after the error: its part after the last carriage return
  // ends this line, unless the error lies in an entity's text elsewhere.
  const std::string& seen = f->srcText;
  const size_t lastBreak = seen.find_last_of('\r');
  const std::string_view tail = lastBreak == std::string::npos ? std::string_view(seen)
                                                               : std::string_view(seen).substr(lastBreak + 1);
  if (tail.empty() || text.size() < tail.size() || text.compare(text.size() - tail.size(), tail.size(), tail) != 0)
    return;
  long characters = 0;
  Utf16Units(before, &characters);
  f->line = line;
  f->linepos = characters + 1;
  f->srcText = text.size() <= kMaxFullSourceLine ? std::move(text) : std::string(tail);
}

void CompleteSourceLine(const std::string& found, ParseFailure* f) {
  const std::string_view line = WithoutMark(found);
  if (line.size() > f->srcText.size() && line.find(f->srcText) != std::string_view::npos && !f->srcText.empty())
    f->srcText.assign(line);
}

// libxml2 counts a line's columns in characters, the host in UTF-16 units:
// where the column is the error's own place (`window` holds the text up
// to it from the line's start on), it is counted again in units.
void ColumnInUnits(std::string_view window, ParseFailure* f) {
  const size_t lastBreak = window.find_last_of("\r\n");
  if (lastBreak == std::string_view::npos && f->line != 1) return;  // the line starts before the window
  const std::string_view before = WithoutMark(window.substr(lastBreak == std::string_view::npos ? 0 : lastBreak + 1));
  long characters = 0;
  const long units = Utf16Units(before, &characters);
  if (f->linepos == characters + 1) f->linepos = units + 1;
}

// The same for a source held in memory (`utf8`: text the host gave, whose
// positions ParseText counts in units itself).
void CompleteSourceLine(std::string_view source, bool utf8, const std::string& url, ParseFailure* f) {
  if (f->errorCode == S_OK || f->url != url || f->line <= 0) return;
  if (!utf8 && !IsUtf8Source(source.substr(0, kPrologBytes))) return;
  std::string line;
  if (LineAround(source, 0, f->filepos, true, &line)) CompleteSourceLine(line, f);
  if (f->filepos < 0 || static_cast<size_t>(f->filepos) > source.size()) return;
  PlaceAfterLoneCarriageReturns(source.substr(0, f->filepos), source.substr(f->filepos), f);
  if (!utf8) ColumnInUnits(source.substr(0, f->filepos), f);
}

// And for a file, read again around the error.
void CompleteSourceLine(FILE* file, std::string_view head, const std::string& url, ParseFailure* f) {
  if (f->errorCode == S_OK || f->url != url || f->line <= 0 || !IsUtf8Source(head)) return;
  const long from = std::max(0L, f->filepos - static_cast<long>(kMaxFullSourceLine));
  std::string window(2 * kMaxFullSourceLine, '\0');
  if (fseek(file, from, SEEK_SET) != 0) return;
  window.resize(fread(window.data(), 1, window.size(), file));
  const bool whole = window.size() < 2 * kMaxFullSourceLine;
  std::string line;
  if (LineAround(window, static_cast<size_t>(from), f->filepos, whole, &line)) CompleteSourceLine(line, f);
  // Lines that end in a carriage return alone are counted from the start,
  // for a file of reasonable size that has carriage returns near the error.
  if (f->filepos <= kMaxCountedPrefix && window.find('\r') != std::string::npos && fseek(file, 0, SEEK_SET) == 0) {
    std::string text(static_cast<size_t>(f->filepos) + kMaxFullSourceLine, '\0');
    text.resize(fread(text.data(), 1, text.size(), file));
    const std::string_view all(text);
    if (all.size() >= static_cast<size_t>(f->filepos))
      PlaceAfterLoneCarriageReturns(all.substr(0, f->filepos), all.substr(f->filepos), f);
  }
  const size_t before = static_cast<size_t>(f->filepos - from);
  if (before <= window.size() && (from == 0 || window.substr(0, before).find_first_of("\r\n") != std::string::npos))
    ColumnInUnits(std::string_view(window).substr(0, before), f);
}

// Input that is a byte-order mark and nothing else holds no text at all:
// it fails as empty input does, not as a mark the parser cannot read.
bool OnlyByteOrderMark(std::string_view bytes) {
  return bytes == "\xEF\xBB\xBF" || bytes == "\xFF\xFE" || bytes == "\xFE\xFF";
}

ParseOutcome ParseNothing(const std::string& url, const LoadOptions& options) {
  ParseOutcome outcome = ParseText("", options);
  outcome.error.url = url;
  return outcome;
}

ParseOutcome TooLarge(const std::string& url, const LoadOptions& options) {
  ParseOutcome outcome;
  outcome.error.errorCode = kParseErrorTooLarge;
  outcome.error.url = url;
  outcome.error.reason = "The input is larger than MaxXMLSize (" + std::to_string(options.maxXmlSizeKb) +
                         " KB) allows.";
  return outcome;
}

// A start tag over the attribute guard's bound, offset bytes into the
// input. The loaded text's line and column are found from before, the
// input up to the tag, where it is at hand.
ParseOutcome TooManyAttributes(const std::string& url, size_t offset, std::string_view before = {}) {
  ParseOutcome outcome;
  ParseFailure& f = outcome.error;
  f.errorCode = kParseErrorTooManyAttributes;
  f.url = url;
  f.reason = "An element has more than " + std::to_string(kMaxAttributesPerElement) +
             " attributes (namespace declarations included).";
  f.filepos = static_cast<long>(offset);
  if (!before.empty()) {
    f.line = 1 + static_cast<long>(std::count(before.begin(), before.end(), '\n'));
    const size_t lastBreak = before.find_last_of('\n');
    f.linepos = static_cast<long>(before.size() - (lastBreak == std::string_view::npos ? 0 : lastBreak + 1)) + 1;
  }
  return outcome;
}

// Bytes that open with the UTF-8 byte-order mark and declare another
// encoding contradict themselves, as do UTF-16 ones that declare a
// single-byte encoding; decoding them as the declaration says would load
// wrong text without a word. The failure, or nothing.
bool EncodingConflict(std::string_view head, const std::string& url, ParseOutcome* outcome) {
  std::string name;
  if (!DeclaredEncoding(head, &name)) return false;
  const std::string folded = FoldedEncodingName(name);
  const char* mark = nullptr;
  if (head.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    if (folded != "utf8") mark = "UTF-8";
  } else if (head.compare(0, 2, "\xFF\xFE") == 0 || head.compare(0, 2, "\xFE\xFF") == 0) {
    static const char* const kSingleByte[] = {"iso8859", "windows125", "cp125", "latin", "usascii", "ascii", "utf8"};
    const bool little = head[0] == '\xFF';
    if (std::any_of(std::begin(kSingleByte), std::end(kSingleByte),
                    [&](const char* p) { return folded.rfind(p, 0) == 0; }))
      mark = "UTF-16";
    else if (folded == (little ? "utf16be" : "utf16le"))
      mark = little ? "UTF-16LE" : "UTF-16BE";
  }
  if (!mark) return false;
  outcome->error = ParseFailure{};
  outcome->error.errorCode = kParseErrorEncodingSwitch;
  outcome->error.url = url;
  outcome->error.line = 1;
  outcome->error.reason = std::string("The byte-order mark says ") + mark + ", but the declaration names " + name + ".";
  return true;
}

bool OverLimit(size_t size, const LoadOptions& options) {
  return options.maxXmlSizeKb > 0 && size > static_cast<size_t>(options.maxXmlSizeKb) * 1024;
}

// Reads for xmlCtxtReadIO, enforcing the size limit. The opening bytes are
// read ahead (Peek): the declaration's text and the parse options come
// from them.
struct IoReader {
  FILE* file = nullptr;
  ISequentialStream* stream = nullptr;
  size_t total = 0;
  size_t limit = 0;  // 0: none
  std::string peeked;
  size_t peekedServed = 0;
  HRESULT error = S_OK;
  bool ended = false;  // a read gave nothing: the end, for every later read too
  // A stream cannot be read again for a parse error's line: what it gave
  // is kept, up to kKeptStreamBytes (beyond, the parser's view of the
  // line stands).
  bool keep = false;
  std::string kept;
  AttributeGuard guard;
};

constexpr size_t kKeptStreamBytes = 16 * 1024 * 1024;
constexpr size_t kMaxReadBack = 64 * 1024 * 1024;

// Reading back from a file (by position, leaving the reader's place) or
// from what a stream gave and was kept.
bool ReadBack(IoReader* r, size_t offset, size_t length, std::string* out) {
  if (length > kMaxReadBack) return false;
  if (r->stream) {
    if (!r->keep || offset > r->kept.size() || length > r->kept.size() - offset) return false;
    out->assign(r->kept, offset, length);
    return true;
  }
  if (!r->file) return false;
  out->resize(length);
  size_t got = 0;
  while (got < length) {
    ssize_t n = pread(fileno(r->file), &(*out)[got], length - got, static_cast<off_t>(offset + got));
    if (n <= 0) return false;
    got += static_cast<size_t>(n);
  }
  return true;
}

// Reads from the file or stream itself; -1 on failure (r->error says why).
int RawRead(IoReader* r, char* buffer, size_t len) {
  if (r->ended) return 0;
  size_t got = 0;
  if (r->file) {
    got = fread(buffer, 1, len, r->file);
    if (got == 0 && ferror(r->file)) {
      r->error = kParseErrorReadFailed;
      return -1;
    }
  } else {
    // A stream may hand out less than asked at a time (S_FALSE or S_OK with
    // a short count); the parser wants its buffer filled, so read on until
    // it is or the stream gives nothing more.
    while (got < len) {
      ULONG read = 0;
      HRESULT hr = r->stream->Read(buffer + got, static_cast<ULONG>(len - got), &read);
      // A count beyond what was asked is a stream out of step with itself.
      if (FAILED(hr) || read > len - got) {
        r->error = kParseErrorReadFailed;
        return -1;
      }
      if (read == 0) break;
      got += read;
    }
  }
  if (got == 0) r->ended = true;
  if (r->keep) {
    if (r->kept.size() + got <= kKeptStreamBytes) {
      r->kept.append(buffer, got);
    } else {
      r->keep = false;
      std::string().swap(r->kept);
    }
  }
  r->total += got;
  if (r->limit && r->total > r->limit) {
    r->error = kParseErrorTooLarge;
    return -1;
  }
  if (!r->guard.Feed(buffer, got)) {
    r->error = kParseErrorTooManyAttributes;
    return -1;
  }
  return static_cast<int>(got);
}

// Reads the opening bytes ahead; false when that read failed.
bool Peek(IoReader* r, size_t bytes) {
  r->peeked.resize(bytes);
  int got = RawRead(r, r->peeked.data(), bytes);
  r->peeked.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return got >= 0;
}

int IoRead(void* context, char* buffer, int len) {
  auto* r = static_cast<IoReader*>(context);
  size_t got = 0;
  if (r->peekedServed < r->peeked.size()) {
    got = std::min(static_cast<size_t>(len), r->peeked.size() - r->peekedServed);
    std::memcpy(buffer, r->peeked.data() + r->peekedServed, got);
    r->peekedServed += got;
  } else {
    int read = RawRead(r, buffer, static_cast<size_t>(len));
    if (read < 0) return -1;
    got = static_cast<size_t>(read);
  }
  return static_cast<int>(got);
}

int IoClose(void*) { return 0; }

ParseOutcome ParseWithReader(IoReader* reader, const std::string& url, const LoadOptions& options) {
  // The opening bytes, read ahead, give the declaration's text and the
  // parse options.
  Peek(reader, kPrologBytes);  // a failure shows in reader->error
  if (reader->error == S_OK && reader->peeked.size() < kPrologBytes && OnlyByteOrderMark(reader->peeked))
    return ParseNothing(url, options);
  ParseOutcome conflict;
  if (EncodingConflict(reader->peeked, url, &conflict)) return conflict;
  ParseOutcome outcome = RunParse(
      options, url, reader->peeked,
      [&](xmlParserCtxtPtr ctxt, int parseOptions) {
        xmlDocPtr doc = xmlCtxtReadIO(ctxt, IoRead, IoClose, reader, url.empty() ? nullptr : url.c_str(),
                                      nullptr, parseOptions);
        return doc;
      },
      &reader->error, [reader](size_t offset, size_t length, std::string* out) {
        return ReadBack(reader, offset, length, out);
      });
  if (outcome.doc) return outcome;
  if (reader->error == kParseErrorTooLarge) {
    outcome = TooLarge(url, options);
  } else if (reader->error == kParseErrorTooManyAttributes) {
    outcome = TooManyAttributes(url, reader->guard.TagOffset());
  } else if (reader->error == kParseErrorReadFailed) {
    // Whatever the parser said about the text it had is not the cause.
    outcome.error = ParseFailure{};
    outcome.error.errorCode = kParseErrorReadFailed;
    outcome.error.url = url;
    outcome.error.reason = reader->stream ? "The stream could not be read to its end."
                                          : "The file could not be read to its end.";
  }
  return outcome;
}

}  // namespace

void BuildEntityContent(xmlDocPtr doc) {
  ErrorCapture quiet;
  std::vector<xmlEntityPtr> pending;
  for (xmlDtdPtr dtd : {doc->intSubset, doc->extSubset})
    if (dtd && dtd->entities) xmlHashScan(static_cast<xmlHashTablePtr>(dtd->entities), CollectEntity, &pending);
  // A document type with very many entities keeps libxml2's way: content
  // is built for the entities the document refers to.
  if (pending.size() > kMaxBuiltEntities) return;
  for (xmlEntityPtr ent : pending) BuildOneEntity(ent, doc);
}

HRESULT ParseErrorCodeFor(int libxmlCode, std::string_view at) {
  auto code = [](uint32_t c) { return static_cast<HRESULT>(c); };
  auto startsElement = [&] {
    if (at.size() < 2 || at[0] != '<') return false;
    unsigned char c = static_cast<unsigned char>(at[1]);
    return std::isalpha(c) || c == '_' || c == ':' || c >= 0x80;
  };
  switch (libxmlCode) {
    case XML_ERR_DOCUMENT_EMPTY:
      // Nothing but blanks or a prolog: no top-level element; text: out of place.
      return !at.empty() && at[0] != '<' && !IsXmlSpace(static_cast<unsigned char>(at[0])) ? code(0xC00CE556u)
                                                                                             : code(0xC00CE558u);
    case XML_ERR_DOCUMENT_END:
      return startsElement() ? code(0xC00CE555u) : code(0xC00CE556u);
    case XML_ERR_INVALID_CHAR:
    case XML_I18N_CONV_FAILED:  // a byte the declared encoding has no character for
      return code(0xC00CE508u);
    case XML_ERR_ATTRIBUTE_WITHOUT_VALUE: return code(0xC00CE501u);
    case XML_ERR_ATTRIBUTE_NOT_STARTED: return code(0xC00CE502u);
    case XML_ERR_NAME_REQUIRED: return code(0xC00CE504u);
    case XML_ERR_SPACE_REQUIRED: return code(0xC00CE509u);
    case XML_ERR_GT_REQUIRED: return code(0xC00CE50Au);
    case XML_ERR_ENTITYREF_SEMICOL_MISSING: return code(0xC00CE50Bu);
    case XML_ERR_TAG_NOT_FINISHED: return code(0xC00CE553u);
    case XML_ERR_ATTRIBUTE_REDEFINED: return code(0xC00CE554u);
    case XML_ERR_RESERVED_XML_NAME: return code(0xC00CE557u);
    case XML_ERR_PI_NOT_FINISHED: return code(0xC00CE55Du);
    case XML_ERR_COMMENT_NOT_FINISHED: return code(0xC00CE561u);
    case XML_ERR_CDATA_NOT_FINISHED: return code(0xC00CE564u);
    case XML_ERR_TAG_NAME_MISMATCH: return code(0xC00CE56Du);
    case XML_ERR_UNSUPPORTED_ENCODING: return code(0xC00CE56Eu);
    // Single-byte text that names UTF-16: no switch to it can be made.
    case XML_ERR_INVALID_ENCODING: return kParseErrorEncodingSwitch;
    case XML_ERR_UNDECLARED_ENTITY:
    case XML_WAR_UNDECLARED_ENTITY: return code(0xC00CE002u);
    // Not the base plus 2, which is the code above.
    case XML_ERR_NO_MEMORY: return E_OUTOFMEMORY;
    default: break;
  }
  if (libxmlCode <= 0) libxmlCode = XML_ERR_INTERNAL_ERROR;
  if (libxmlCode > 0xFFF) libxmlCode = 0xFFF;
  return static_cast<HRESULT>(static_cast<uint32_t>(kParseErrorBase) + static_cast<uint32_t>(libxmlCode));
}

bool LocalPathOf(const std::string& location, std::string* path) {
  size_t colon = location.find(':');
  // No scheme (a drive-less path), or a single letter before the colon.
  bool hasScheme = colon != std::string::npos && colon > 1 &&
                   location.find('/') > colon;
  if (!hasScheme) {
    *path = location;
    return true;
  }
  if (xmlStrncasecmp(Xml(location), Xml("file:"), 5) != 0) return false;
  std::string rest = location.substr(5);
  if (rest.compare(0, 2, "//") == 0) {
    rest.erase(0, 2);
    // file://host/path: only the local host.
    size_t slash = rest.find('/');
    std::string host = rest.substr(0, slash);
    if (!host.empty() && xmlStrcasecmp(Xml(host), Xml("localhost")) != 0) return false;
    rest = slash == std::string::npos ? std::string("/") : rest.substr(slash);
  }
  // A fragment names a part of the file, not the file.
  rest.erase(std::min(rest.size(), rest.find('#')));
  // No file name holds a NUL.
  if (EscapesNul(rest.c_str())) return false;
  char* unescaped = xmlURIUnescapeString(rest.c_str(), 0, nullptr);
  if (!unescaped) return false;
  *path = unescaped;
  xmlFree(unescaped);
  return true;
}

void InstallEntityLoader() {
  xmlSetExternalEntityLoader(EngineEntityLoader);
  xmlParserMaxDepth = static_cast<unsigned int>(kParserDepthLimit);
}

ParseOutcome ParseText(std::string_view utf8, const LoadOptions& options) {
  if (OverLimit(utf8.size(), options)) return TooLarge(std::string(), options);
  // The opening bytes are looked at in place: a copy of them made before
  // each parse leaves the heap slower for the parse itself.
  std::string_view head(utf8.substr(0, kPrologBytes));
  AttributeGuard guard;
  ParseOutcome outcome;
  if (!guard.Feed(utf8.data(), utf8.size())) {
    outcome = TooManyAttributes(std::string(), guard.TagOffset(), utf8.substr(0, guard.TagOffset()));
  } else {
    outcome = RunParse(options, std::string(), head, [&](xmlParserCtxtPtr ctxt, int parseOptions) {
      // The text is UTF-8 now, whatever its declaration names.
      return xmlCtxtReadMemory(ctxt, utf8.data(), static_cast<int>(utf8.size()), nullptr, "UTF-8",
                               parseOptions | XML_PARSE_IGNORE_ENC);
    }, nullptr, ReadBackFrom(utf8));
  }
  CompleteSourceLine(utf8, true, std::string(), &outcome.error);
  // The host gave UTF-16 text: the error's position counts its code units
  // (unless it lies in an external entity's text).
  long& filepos = outcome.error.filepos;
  if (outcome.error.url.empty() && filepos > 0 && static_cast<size_t>(filepos) <= utf8.size()) {
    const std::string_view before = utf8.substr(0, static_cast<size_t>(filepos));
    ColumnInUnits(before, &outcome.error);
    long characters = 0;
    filepos = Utf16Units(before, &characters);
  }
  return outcome;
}

ParseOutcome ParseUtf16Text(const char16_t* text, size_t length, const LoadOptions& options) {
  size_t lineStart = 0, line = 1;
  for (size_t i = 0; i < length; ++i) {
    char16_t c = text[i];
    if (c == u'\n') {
      ++line;
      lineStart = i + 1;
    }
    bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
    if (high && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      ++i;
      continue;
    }
    if (!high && !low) continue;
    ParseOutcome outcome;
    ParseFailure& f = outcome.error;
    f.errorCode = ParseErrorCodeFor(XML_ERR_INVALID_CHAR);
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(c));
    f.reason = std::string("An invalid character was found: U+") + hex +
               " is half of a surrogate pair without the other half.";
    f.line = static_cast<long>(line);
    f.linepos = static_cast<long>(i - lineStart + 1);
    f.filepos = static_cast<long>(i);
    size_t lineEnd = lineStart;
    while (lineEnd < length && text[lineEnd] != u'\n' && text[lineEnd] != u'\r') ++lineEnd;
    AppendUtf8(&f.srcText, text + lineStart, lineEnd - lineStart);
    return outcome;
  }
  std::string utf8;
  AppendUtf8(&utf8, text, length);
  return ParseText(utf8, options);
}

ParseOutcome ParseBytes(const char* data, size_t size, const std::string& url, const LoadOptions& options) {
  if (OverLimit(size, options)) return TooLarge(url, options);
  if (size > static_cast<size_t>(INT32_MAX)) return TooLarge(url, options);
  std::string_view head(data, std::min(size, kPrologBytes));
  if (OnlyByteOrderMark(std::string_view(data, size))) return ParseNothing(url, options);
  ParseOutcome conflict;
  if (EncodingConflict(head, url, &conflict)) return conflict;
  AttributeGuard guard;
  if (!guard.Feed(data, size)) return TooManyAttributes(url, guard.TagOffset());
  ParseOutcome outcome = RunParse(options, url, head, [&](xmlParserCtxtPtr ctxt, int parseOptions) {
    return xmlCtxtReadMemory(ctxt, data, static_cast<int>(size), url.empty() ? nullptr : url.c_str(),
                             nullptr, parseOptions);
  }, nullptr, ReadBackFrom(std::string_view(data, size)));
  CompleteSourceLine(std::string_view(data, size), false, url, &outcome.error);
  return outcome;
}

ParseOutcome ParseFile(const std::string& path, const std::string& url, const LoadOptions& options) {
  ParseOutcome outcome;
  errno = 0;
  FILE* file = fopen(path.c_str(), "rb");
  struct stat st;
  int err = 0;
  bool failed = true;
  if (!file || fstat(fileno(file), &st) != 0) {
    err = errno;
  } else if (S_ISDIR(st.st_mode)) {
    // A folder opens for reading but holds no document.
    err = EISDIR;
  } else {
    failed = false;
  }
  if (failed) {
    if (file) fclose(file);
    outcome.error.url = url;
    const std::string why = err ? " (" + std::string(strerror(err)) + ")" : std::string();
    if (err == EISDIR) {
      outcome.error.errorCode = E_ACCESSDENIED;
      outcome.error.reason = "The location names a folder, not a document: " + url + why;
    } else if (err == EACCES || err == EPERM) {
      outcome.error.errorCode = E_ACCESSDENIED;
      outcome.error.reason = "Access is denied: " + url + why;
    } else {
      outcome.error.errorCode = kResourceNotFound;
      outcome.error.reason = "The system cannot locate the object specified: " + url + why;
    }
    return outcome;
  }
  if (OverLimit(static_cast<size_t>(st.st_size), options)) {
    fclose(file);
    return TooLarge(url, options);
  }
  IoReader reader;
  reader.file = file;
  reader.limit = options.maxXmlSizeKb > 0 ? static_cast<size_t>(options.maxXmlSizeKb) * 1024 : 0;
  outcome = ParseWithReader(&reader, url, options);
  CompleteSourceLine(file, reader.peeked, url, &outcome.error);
  fclose(file);
  return outcome;
}

ParseOutcome ParseStream(ISequentialStream* stream, const LoadOptions& options) {
  IoReader reader;
  reader.stream = stream;
  reader.limit = options.maxXmlSizeKb > 0 ? static_cast<size_t>(options.maxXmlSizeKb) * 1024 : 0;
  reader.keep = true;
  ParseOutcome outcome = ParseWithReader(&reader, std::string(), options);
  if (reader.keep) CompleteSourceLine(reader.kept, false, std::string(), &outcome.error);
  return outcome;
}

bool IsWebUrl(const std::string& location) {
  return xmlStrncasecmp(Xml(location), Xml("http://"), 7) == 0 ||
         xmlStrncasecmp(Xml(location), Xml("https://"), 8) == 0;
}

namespace {

struct Download {
  std::string body;
  size_t limit = 0;  // 0: none
  bool tooLarge = false;
};

size_t CollectBody(char* data, size_t size, size_t count, void* context) {
  auto* d = static_cast<Download*>(context);
  size_t n = size * count;
  if (d->limit && d->body.size() + n > d->limit) {
    d->tooLarge = true;
    return 0;  // aborts the transfer
  }
  d->body.append(data, n);
  return n;
}

}  // namespace

ParseOutcome ParseUrl(const std::string& url, const LoadOptions& options) {
  static const CURLcode kInit = curl_global_init(CURL_GLOBAL_DEFAULT);
  ParseOutcome outcome;
  outcome.error.url = url;
  CURL* curl = kInit == CURLE_OK ? curl_easy_init() : nullptr;
  if (!curl) {
    outcome.error.errorCode = kParseErrorReadFailed;
    outcome.error.reason = "The HTTP client could not be started.";
    return outcome;
  }
  Download download;
  download.limit = options.maxXmlSizeKb > 0 ? static_cast<size_t>(options.maxXmlSizeKb) * 1024 : 0;
  char message[CURL_ERROR_SIZE] = "";
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 30L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 300L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, message);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, CollectBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &download);
  CURLcode rc = curl_easy_perform(curl);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_cleanup(curl);
  if (download.tooLarge) return TooLarge(url, options);
  if (rc != CURLE_OK) {
    outcome.error.errorCode = status == 404 || status == 410 ? kResourceNotFound : kParseErrorReadFailed;
    outcome.error.reason = "The resource could not be fetched: " +
                           std::string(message[0] ? message : curl_easy_strerror(rc));
    return outcome;
  }
  // A document from the web reads no local file: its external entities
  // and DTD would otherwise let any server read the host's files.
  LoadOptions remote = options;
  remote.resolveExternals = false;
  return ParseBytes(download.body.data(), download.body.size(), url, remote);
}

ParseFailure ValidateDocument(xmlDocPtr doc, const LoadOptions& options) {
  ParseSession session;
  session.options = &options;
  SessionScope scope(&session);
  if (!doc->intSubset && !doc->extSubset) {
    ParseFailure f;
    f.errorCode = kParseErrorNoDefinition;
    f.reason = "The document has no DTD or schema to validate against.";
    return f;
  }
  ParseFailure f = RunValidation(doc, std::string());
  return f.errorCode != S_OK ? f : CheckTypedValues(doc, options.preserveWhiteSpace, std::string());
}

}  // namespace ardo::engine
