#include "engine/common/error_capture.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include <libxml/globals.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>

namespace ardo::engine {
namespace {

thread_local ErrorCapture* t_current = nullptr;

// Bounded so that a document with a million errors costs no more than one
// with a few: only the first ones are ever reported.
constexpr size_t kMaxKept = 32;
constexpr size_t kMaxSourceLine = 1024;

}  // namespace

std::string TrimMessage(const char* text) {
  if (!text) return std::string();
  std::string s(text);
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n')) --e;
  return s.substr(b, e - b);
}

ErrorCapture::ErrorCapture()
    : previousCapture_(t_current),
      previousHandler_(xmlStructuredError),
      previousContext_(xmlStructuredErrorContext),
      previousGeneric_(xmlGenericError),
      previousGenericContext_(xmlGenericErrorContext) {
  t_current = this;
  xmlSetStructuredErrorFunc(this, &ErrorCapture::OnStructuredError);
  xmlSetGenericErrorFunc(nullptr, &ErrorCapture::GenericMessage);
}

ErrorCapture::~ErrorCapture() {
  xmlSetGenericErrorFunc(previousGenericContext_, previousGeneric_);
  xmlSetStructuredErrorFunc(previousContext_, previousHandler_);
  t_current = previousCapture_;
}

ErrorCapture* ErrorCapture::Current() { return t_current; }

const CapturedError* ErrorCapture::FirstError() const {
  const CapturedError* firstError = nullptr;
  const CapturedError* firstOther = nullptr;
  for (const auto& e : errors_) {
    if (e.level >= XML_ERR_FATAL) return &e;
    if (e.level < XML_ERR_ERROR) continue;
    if (!firstError) firstError = &e;
    // Validity errors (and the parser's "no DTD found" when validating a
    // document without one) come after any fault of the text itself.
    if (!firstOther && e.domain != XML_FROM_VALID && e.domain != XML_FROM_DTD) firstOther = &e;
  }
  return firstOther ? firstOther : firstError;
}

bool ErrorCapture::HasMessageStartingWith(const char* prefix) const {
  size_t n = strlen(prefix);
  for (const auto& e : errors_)
    if (e.message.compare(0, n, prefix) == 0) return true;
  return false;
}

std::string ErrorCapture::Reason(const char* fallback) const {
  const CapturedError* e = FirstError();
  if (e && !e->message.empty()) return e->message;
  return fallback ? fallback : "";
}

namespace {

// libxslt follows a runaway recursion's report with the templates and
// variables it went through: "Templates:", "#0 name loop", "Variables:"...
bool IsTraceLine(const std::string& m) {
  return m == "Templates:" || m == "Variables:" ||
         (m.size() > 1 && m[0] == '#' && std::isdigit(static_cast<unsigned char>(m[1])));
}

}  // namespace

std::string ErrorCapture::Joined(const char* fallback, size_t max) const {
  std::string out;
  size_t n = 0;
  for (const auto& e : errors_) {
    if (e.level < XML_ERR_ERROR || e.message.empty() || IsTraceLine(e.message)) continue;
    if (n++ == max) break;
    if (!out.empty()) out += "; ";
    out += e.message;
  }
  return out.empty() ? std::string(fallback ? fallback : "") : out;
}

void ErrorCapture::Add(CapturedError error) {
  if (errors_.size() < kMaxKept) errors_.push_back(std::move(error));
}

void ErrorCapture::AddCause(CapturedError error) {
  if (errors_.size() < kMaxKept)
    errors_.push_back(std::move(error));
  else
    errors_.back() = std::move(error);
}

void ErrorCapture::FillPosition(void* parserContext, CapturedError* error) {
  auto* ctxt = static_cast<xmlParserCtxtPtr>(parserContext);
  if (!ctxt || !ctxt->input) return;
  xmlParserInputPtr in = ctxt->input;
  if (!in->base || !in->cur) return;
  // An external entity or DTD is read as an input above the document's, by
  // a parser of its own, or (a DTD) as the only input of the document's
  // parser: the name tells the inputs apart ("" when the document is text
  // or no load runs: every named input is another file then).
  const ErrorCapture* capture = Current();
  if (in->filename && !(capture && capture->mainFile_ == in->filename)) error->entityFile = in->filename;
  if (error->line <= 0) error->line = in->line;
  if (error->column <= 0) error->column = in->col;
  error->offset = static_cast<long>(in->consumed + (in->cur - in->base));
  // Decoded input (a declared or detected encoding other than UTF-8) is
  // held as UTF-8: libxml2 maps the place back to the input's bytes. Text
  // handed over as UTF-8 whatever it declares (a host's string) is read
  // through the UTF-8 encoder and counts as it stands.
  const xmlCharEncodingHandler* encoder = in->buf ? in->buf->encoder : nullptr;
  if (encoder && capture && xmlStrcasecmp(BAD_CAST encoder->name, BAD_CAST "UTF-8") != 0) {
    const long bytes = xmlByteConsumed(ctxt);
    error->offset = bytes >= 0 ? bytes : error->offset + capture->switchOffset_;
  }
  // The source line: back from the cursor to the previous line break, then
  // forward to the next one, within what the parser holds in memory.
  const xmlChar* begin = in->base;
  const xmlChar* end = in->end ? in->end : in->cur;
  const xmlChar* cur = in->cur > end ? end : in->cur;
  if (cur > begin && cur < end && *cur == '\n') --cur;
  const xmlChar* start = cur;
  while (start > begin && start[-1] != '\n' && static_cast<size_t>(cur - start) < kMaxSourceLine)
    --start;
  const xmlChar* stop = cur;
  while (stop < end && *stop != '\n' && *stop != '\r' && *stop != '\0' &&
         static_cast<size_t>(stop - start) < kMaxSourceLine)
    ++stop;
  // The parser holds UTF-8: a line cut short is cut between characters.
  while (start < stop && (*start & 0xC0) == 0x80) ++start;
  if (stop < end)
    while (stop > start && (*stop & 0xC0) == 0x80) --stop;
  error->sourceLine.assign(reinterpret_cast<const char*>(start), stop - start);
}

void ErrorCapture::OnStructuredError(void* self, xmlErrorPtr error) {
  auto* capture = static_cast<ErrorCapture*>(self);
  if (!capture || !error || capture->errors_.size() >= kMaxKept) return;
  CapturedError e;
  e.domain = error->domain;
  e.code = error->code;
  // libxml2 files a namespace name that does not parse as a URI as an
  // error; namespace names are any text here, so it is only a warning.
  e.level = error->code == XML_WAR_NS_URI ? XML_ERR_WARNING : error->level;
  e.line = error->line > 0 ? error->line : 0;
  e.column = error->int2 > 0 ? error->int2 : 0;
  e.message = TrimMessage(error->message);
  // libxml2 stops an entity that expands past its bounds with the message
  // of a reference loop, which most such documents do not have.
  if (error->code == XML_ERR_ENTITY_LOOP)
    e.message = "Entity expansion stopped: an entity refers to itself or expands to too much text.";
  if (error->file) e.file = error->file;
  if (error->ctxt && (error->domain == XML_FROM_PARSER || error->domain == XML_FROM_NAMESPACE ||
                      error->domain == XML_FROM_DTD || error->domain == XML_FROM_IO ||
                      error->domain == XML_FROM_I18N ||
                      (error->domain == XML_FROM_VALID && error->ctxt == capture->parser_))) {
    FillPosition(error->ctxt, &e);
  } else if (error->domain == XML_FROM_VALID && !error->ctxt && capture->elementParser_ &&
             capture->elementParser_ != capture->parser_) {
    // Found in an external entity's content: the position is in its file,
    // where its parser stands (the error gives the element's first line,
    // which for an end tag is not where the fault shows).
    e.line = e.column = 0;
    FillPosition(capture->elementParser_, &e);
  }
  capture->errors_.push_back(std::move(e));
}

void ErrorCapture::GenericMessage(void*, const char* msg, ...) {
  ErrorCapture* capture = t_current;
  if (!capture || !msg) return;
  char buf[2048];
  va_list args;
  va_start(args, msg);
  vsnprintf(buf, sizeof buf, msg, args);
  va_end(args);
  capture->pending_ += buf;
  // One message arrives in pieces; a line break ends it.
  size_t nl;
  while ((nl = capture->pending_.find('\n')) != std::string::npos) {
    std::string line = TrimMessage(capture->pending_.substr(0, nl).c_str());
    capture->pending_.erase(0, nl + 1);
    if (line.empty()) continue;
    CapturedError e;
    e.domain = XML_FROM_NONE;
    e.level = XML_ERR_ERROR;
    e.message = std::move(line);
    capture->Add(std::move(e));
  }
}

}  // namespace ardo::engine
