#include "engine/xpath/query_check.h"

#include <cctype>
#include <cstring>
#include <vector>

#include <libxml/xpathInternals.h>

#include "engine/common/bstr_text.h"
#include "engine/xpath/ms_functions.h"

namespace ardo::engine {
namespace {

// XPath 1.0's own functions and the number of arguments each takes.
constexpr FunctionArity kCoreFunctions[] = {
    {"last", 0, 0},           {"position", 0, 0},        {"count", 1, 1},
    {"id", 1, 1},             {"local-name", 0, 1},      {"namespace-uri", 0, 1},
    {"name", 0, 1},           {"string", 0, 1},          {"concat", 2, kAnyNumber},
    {"starts-with", 2, 2},    {"contains", 2, 2},        {"substring-before", 2, 2},
    {"substring-after", 2, 2}, {"substring", 2, 3},      {"string-length", 0, 1},
    {"normalize-space", 0, 1}, {"translate", 3, 3},      {"boolean", 1, 1},
    {"not", 1, 1},            {"true", 0, 0},            {"false", 0, 0},
    {"lang", 1, 1},           {"number", 0, 1},          {"sum", 1, 1},
    {"floor", 1, 1},          {"ceiling", 1, 1},         {"round", 1, 1},
};

// The one function libxml2 adds, in the XQuery functions' namespace.
constexpr const char* kXQueryFunctions = "http://www.w3.org/2002/08/xquery-functions";
constexpr FunctionArity kEscapeUri = {"escape-uri", 2, 2};

const FunctionArity* CoreFunction(const std::string& name) {
  for (const FunctionArity& f : kCoreFunctions)
    if (name == f.name) return &f;
  return nullptr;
}

bool NameStart(unsigned char c) { return std::isalpha(c) || c == '_' || c >= 0x80; }
bool NameChar(unsigned char c) { return NameStart(c) || std::isdigit(c) || c == '-' || c == '.'; }

// The names that a test of a node's kind has, not a function.
bool NodeTypeName(const std::string& name) {
  return name == "node" || name == "text" || name == "comment" || name == "processing-instruction";
}

// An open parenthesis or bracket; for a call, the function and how many
// arguments have begun.
struct Group {
  bool call = false;
  std::string prefix, local;
  int commas = 0;
  bool empty = true;
};

class CallChecker {
 public:
  CallChecker(xmlXPathContextPtr ctx, const std::string& query, bool* documentOrderAxis, std::string* reason)
      : ctx_(ctx), q_(query), documentOrderAxis_(documentOrderAxis), reason_(reason) {}

  bool Run() {
    const size_t n = q_.size();
    // Whether the next token begins an operand: a name there is a name,
    // not an operator, and "*" any element, not a product.
    bool operand = true;
    while (i_ < n) {
      const unsigned char c = q_[i_];
      if (IsXmlSpace(c)) {
        ++i_;
      } else if (c == '\'' || c == '"') {
        size_t end = q_.find(static_cast<char>(c), i_ + 1);
        i_ = end == std::string::npos ? n : end + 1;
        Seen(&operand);
      } else if (std::isdigit(c) || (c == '.' && i_ + 1 < n && std::isdigit(static_cast<unsigned char>(q_[i_ + 1])))) {
        while (i_ < n && (std::isdigit(static_cast<unsigned char>(q_[i_])) || q_[i_] == '.')) ++i_;
        Seen(&operand);
      } else if (c == '.') {
        i_ += i_ + 1 < n && q_[i_ + 1] == '.' ? 2 : 1;
        Seen(&operand);
      } else if (c == '(' || c == '[') {
        Open(Group());
        operand = true;
      } else if (c == ')' || c == ']') {
        ++i_;
        if (!groups_.empty()) {
          Group g = std::move(groups_.back());
          groups_.pop_back();
          if (g.call && !CheckCall(g)) return false;
        }
        Seen(&operand);
      } else if (c == ',') {
        ++i_;
        if (!groups_.empty()) ++groups_.back().commas;
        operand = true;
      } else if (c == '@') {
        ++i_;
        MarkGroup();
        operand = true;
      } else if (c == '*') {
        ++i_;
        MarkGroup();
        operand = !operand;  // a name test ends an operand; a product begins one
      } else if (c == '$') {
        ++i_;
        std::string prefix, local;
        ReadQName(&prefix, &local);
        if (!CheckVariable(prefix, local)) return false;
        Seen(&operand);
      } else if (!operand && OperatorAhead()) {
        operand = true;  // "and", "or", "div" or "mod", read as libxml2 reads them
      } else if (NameStart(c)) {
        std::string prefix, local;
        ReadQName(&prefix, &local);
        MarkGroup();
        size_t k = i_;
        while (k < n && IsXmlSpace(static_cast<unsigned char>(q_[k]))) ++k;
        if (k < n && q_[k] == '(') {
          i_ = k;
          Group g;
          g.call = !(prefix.empty() && NodeTypeName(local));
          g.prefix = std::move(prefix);
          g.local = std::move(local);
          Open(std::move(g));
          operand = true;
        } else if (k + 1 < n && q_[k] == ':' && q_[k + 1] == ':') {
          i_ = k + 2;
          operand = true;
          if (local == "following" || local == "preceding") *documentOrderAxis_ = true;
        } else {
          operand = false;
        }
      } else {
        // "/", "//", "|", "+", "-", "=", "!=", "<", "<=", ">", ">=" and
        // the "::" after an axis written with a space before it.
        ++i_;
        if (i_ < n && (q_[i_] == '/' || q_[i_] == '=' || q_[i_] == ':')) ++i_;
        MarkGroup();
        operand = true;
      }
    }
    // A call left open at the end (libxml2 compiles "count(").
    for (const Group& g : groups_)
      if (g.call && !CheckCall(g)) return false;
    return true;
  }

 private:
  void MarkGroup() {
    if (!groups_.empty()) groups_.back().empty = false;
  }
  void Seen(bool* operand) {
    MarkGroup();
    *operand = false;
  }
  void Open(Group g) {
    MarkGroup();
    ++i_;
    groups_.push_back(std::move(g));
  }

  // Where an operator is expected, libxml2 takes an operator name by its
  // letters alone, whatever follows them ("1 andnot(0)" is "1 and not(0)").
  bool OperatorAhead() {
    for (const char* name : {"and", "or", "div", "mod"}) {
      const size_t length = std::strlen(name);
      if (q_.compare(i_, length, name) == 0) {
        i_ += length;
        return true;
      }
    }
    return false;
  }

  void ReadQName(std::string* prefix, std::string* local) {
    const size_t n = q_.size();
    size_t start = i_;
    while (i_ < n && NameChar(static_cast<unsigned char>(q_[i_]))) ++i_;
    *local = q_.substr(start, i_ - start);
    if (i_ + 1 < n && q_[i_] == ':' && NameStart(static_cast<unsigned char>(q_[i_ + 1]))) {
      *prefix = std::move(*local);
      start = ++i_;
      while (i_ < n && NameChar(static_cast<unsigned char>(q_[i_]))) ++i_;
      *local = q_.substr(start, i_ - start);
    } else if (i_ + 1 < n && q_[i_] == ':' && q_[i_ + 1] == '*') {
      i_ += 2;  // any name in a namespace
    }
  }

  // The namespace a prefix stands for, or null (with the reason).
  const xmlChar* NamespaceOf(const std::string& prefix) {
    const xmlChar* uri = xmlXPathNsLookup(ctx_, Xml(prefix));
    if (!uri) Refuse("The prefix \"" + prefix + "\" is not declared");
    return uri;
  }

  bool CheckCall(const Group& g) {
    const std::string shown = (g.prefix.empty() ? "" : g.prefix + ":") + g.local;
    const xmlChar* uri = nullptr;
    if (!g.prefix.empty() && !(uri = NamespaceOf(g.prefix))) return false;
    if (!xmlXPathFunctionLookupNS(ctx_, Xml(g.local), uri)) {
      // The platform's functions over schema types: nodes carry none here.
      static const char* const kSchemaFunctions[] = {"type-is", "type-local-name", "type-namespace-uri",
                                                     "schema-info-available"};
      const bool ms = uri && xmlStrEqual(uri, Xml(kMsXslNamespace));
      for (const char* name : kSchemaFunctions)
        if (ms && g.local == name)
          return Refuse("The query calls " + shown + "(), which answers from schema type information that "
                        "this engine does not keep yet");
      return Refuse("The query calls a function that does not exist: " + shown + "()");
    }
    const FunctionArity* arity = nullptr;
    if (!uri) {
      arity = CoreFunction(g.local);
    } else if (xmlStrEqual(uri, Xml(kMsXslNamespace))) {
      arity = MsXslFunctionArity(g.local);
    } else if (xmlStrEqual(uri, Xml(kXQueryFunctions)) && g.local == kEscapeUri.name) {
      arity = &kEscapeUri;
    }
    const int given = g.empty ? 0 : g.commas + 1;
    if (arity && (given < arity->least || (arity->most != kAnyNumber && given > arity->most)))
      return Refuse("The function " + shown + "() does not take " + std::to_string(given) +
                    (given == 1 ? " argument" : " arguments"));
    return true;
  }

  bool CheckVariable(const std::string& prefix, const std::string& local) {
    const xmlChar* uri = nullptr;
    if (!prefix.empty() && !(uri = NamespaceOf(prefix))) return false;
    xmlXPathObjectPtr value = xmlXPathVariableLookupNS(ctx_, Xml(local), uri);
    if (value) {
      xmlXPathFreeObject(value);  // a copy
      return true;
    }
    return Refuse("The query uses a variable that is not defined: $" + (prefix.empty() ? "" : prefix + ":") + local);
  }

  bool Refuse(const std::string& why) {
    if (reason_) *reason_ = why + " in \"" + q_ + "\"";
    return false;
  }

  xmlXPathContextPtr ctx_;
  const std::string& q_;
  bool* documentOrderAxis_;
  std::string* reason_;
  size_t i_ = 0;
  std::vector<Group> groups_;
};

}  // namespace

bool CheckQueryCalls(xmlXPathContextPtr ctx, const std::string& query, bool* documentOrderAxis,
                     std::string* reason) {
  *documentOrderAxis = false;
  return CallChecker(ctx, query, documentOrderAxis, reason).Run();
}

}  // namespace ardo::engine
