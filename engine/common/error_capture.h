// Captures what libxml2 and libxslt report during one engine call, on the
// calling thread, instead of letting it reach stderr. An ErrorCapture
// installs itself as the thread's structured and generic error handler for
// its lifetime and restores the previous handlers when it goes.
#pragma once

#include <string>
#include <vector>

#include <libxml/xmlerror.h>

namespace ardo::engine {

struct CapturedError {
  int domain = 0;       // xmlErrorDomain
  int code = 0;         // xmlParserErrors, or 0 for a message without one
  int level = 0;        // xmlErrorLevel
  int line = 0;         // 1-based, 0 when unknown
  int column = 0;       // 1-based, 0 when unknown
  long offset = -1;     // byte offset into the parsed input, -1 when unknown
  std::string message;  // trimmed
  std::string file;
  std::string entityFile;  // the external entity or DTD the position is in, if any
  std::string sourceLine;  // the text of the line being parsed, when known
};

class ErrorCapture {
 public:
  ErrorCapture();
  ErrorCapture(const ErrorCapture&) = delete;
  ErrorCapture& operator=(const ErrorCapture&) = delete;
  ~ErrorCapture();

  // The first fatal error, else the first error of another kind than DTD
  // validity, else the first error of any kind (level XML_ERR_ERROR or
  // worse); null when there is none.
  const CapturedError* FirstError() const;
  // True when a captured message begins with prefix (libxslt marks its
  // errors "compilation error" and "runtime error").
  bool HasMessageStartingWith(const char* prefix) const;
  bool HasErrors() const { return FirstError() != nullptr; }
  // The first error's message, or `fallback` when nothing was reported.
  std::string Reason(const char* fallback) const;
  const std::vector<CapturedError>& All() const { return errors_; }
  // The messages of the first errors, joined with "; " (XSLT reports one
  // failure as several messages).
  std::string Joined(const char* fallback, size_t max = 4) const;

  // Records an error that the engine raises itself; the position is taken
  // from the parser context when one is given.
  void Add(CapturedError error);
  // The same for the error that stopped the work, kept even when the
  // others have filled the record (it takes the last place).
  void AddCause(CapturedError error);

  // The parser whose document-type validity errors come with its position
  // (libxml2 hands validity errors the parser only while it validates as
  // it parses); null when none.
  void SetParser(void* parserContext) { parser_ = parserContext; }
  // The parser at work on an element, set around the element's callbacks:
  // libxml2 reads an external entity's content with a parser of its own,
  // and the validity errors found there name neither that parser nor the
  // entity's file. Returns the one it replaces.
  void* SetElementParser(void* parserContext) {
    void* previous = elementParser_;
    elementParser_ = parserContext;
    return previous;
  }
  // The name the document's own input goes by ("" for text): a position in
  // any other input (an external DTD or entity) names that file.
  void SetMainFile(const std::string& name) { mainFile_ = name; }
  // When a declared encoding takes over, libxml2 restarts its count of the
  // input read at the point of the switch: positions read while it decodes
  // get those bytes (the declaration up to there) added back.
  void SetSwitchOffset(long bytes) { switchOffset_ = bytes; }

  // The capture active on this thread, or null.
  static ErrorCapture* Current();
  // Describes the parser's current position into *error (line, column,
  // offset and the source line's text).
  static void FillPosition(void* parserContext, CapturedError* error);

  // libxslt's global message sink and libxml2's generic one: messages go
  // to the thread's capture, or nowhere.
  static void GenericMessage(void* ctx, const char* msg, ...);

 private:
  static void OnStructuredError(void* self, xmlErrorPtr error);

  std::vector<CapturedError> errors_;
  ErrorCapture* previousCapture_;
  xmlStructuredErrorFunc previousHandler_;
  void* previousContext_;
  xmlGenericErrorFunc previousGeneric_;
  void* previousGenericContext_;
  std::string pending_;  // generic messages arrive in several pieces
  void* parser_ = nullptr;
  void* elementParser_ = nullptr;
  std::string mainFile_;
  long switchOffset_ = 0;
};

// Trims white space at both ends (libxml2 messages end in a newline).
std::string TrimMessage(const char* text);

}  // namespace ardo::engine
