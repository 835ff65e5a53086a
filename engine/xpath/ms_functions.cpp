#include "engine/xpath/ms_functions.h"

#include <libxml/tree.h>
#include <libxml/xpathInternals.h>
#include <libxslt/extensions.h>
#include <libxslt/extra.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dom/data_types.h"

namespace ardo::engine {
namespace {

// Takes over a string that libxml2 allocated; frees it on scope exit.
class XmlText {
 public:
  explicit XmlText(xmlChar* s) : s_(s) {}
  ~XmlText() { xmlFree(s_); }
  XmlText(const XmlText&) = delete;
  XmlText& operator=(const XmlText&) = delete;
  std::string_view View() const { return s_ ? std::string_view(reinterpret_cast<const char*>(s_)) : ""; }

 private:
  xmlChar* s_;
};

void ReturnString(xmlXPathParserContextPtr ctxt, const std::string& s) {
  valuePush(ctxt, xmlXPathNewString(BAD_CAST s.c_str()));
}

// Pops the arguments (pushed first to last) into strings, last first.
bool PopStrings(xmlXPathParserContextPtr ctxt, int nargs, std::vector<std::string>* args) {
  args->assign(size_t(nargs), std::string());
  for (int i = nargs - 1; i >= 0; --i) {
    XmlText s(xmlXPathPopString(ctxt));
    if (ctxt->error != XPATH_EXPRESSION_OK) return false;
    (*args)[size_t(i)] = std::string(s.View());
  }
  return true;
}

// What each function takes: checked as it is called (style sheets call
// them too), and as a query is compiled (see MsXslFunctionArity).
constexpr FunctionArity kStringCompareArity{"string-compare", 2, 4};
constexpr FunctionArity kLocalNameArity{"local-name", 1, 1};
constexpr FunctionArity kNamespaceUriArity{"namespace-uri", 1, 1};
constexpr FunctionArity kNumberArity{"number", 1, 1};
constexpr FunctionArity kUtcArity{"utc", 1, 1};
constexpr FunctionArity kFormatDateArity{"format-date", 1, 3};
constexpr FunctionArity kFormatTimeArity{"format-time", 1, 3};

bool CheckArity(xmlXPathParserContextPtr ctxt, int nargs, const FunctionArity& arity) {
  if (nargs < arity.least || nargs > arity.most) {
    xmlXPathErr(ctxt, XPATH_INVALID_ARITY);
    return false;
  }
  return true;
}

// --- string-compare ------------------------------------------------------

std::vector<unsigned> CodePoints(std::string_view s) {
  std::vector<unsigned> out;
  const xmlChar* p = reinterpret_cast<const xmlChar*>(s.data());
  int remaining = int(s.size());
  while (remaining > 0) {
    int len = remaining;
    int c = xmlGetUTF8Char(p, &len);
    if (c < 0 || len <= 0) {
      c = 0xFFFD;
      len = 1;
    }
    out.push_back(unsigned(c));
    p += len;
    remaining -= len;
  }
  return out;
}

// Simple lower-casing for the alphabets ported data tends to hold: ASCII,
// Latin-1, Latin Extended-A, Greek and Cyrillic capitals.
unsigned Lower(unsigned c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c < 0xC0) return c;
  if (c <= 0xDE && c != 0xD7) return c + 32;
  if (c >= 0x100 && c <= 0x137) return c | 1;
  if (c >= 0x139 && c <= 0x148) return (c & 1) ? c + 1 : c;
  if (c >= 0x14A && c <= 0x177) return c | 1;
  if (c == 0x178) return 0xFF;
  if (c >= 0x179 && c <= 0x17E) return (c & 1) ? c + 1 : c;
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 32;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  return c;
}

// The letter under an accent, for lower-case Latin-1 and Latin Extended-A
// letters; other characters stand for themselves.
unsigned BaseLetter(unsigned c) {
  if (c < 0xE0) return c;
  if (c <= 0xFF) {
    static const char kLatin1[] = "aaaaaa\xE6" "ceeeeiiii\xF0" "nooooo\xF7" "ouuuuy\xFE" "y";
    return static_cast<unsigned char>(kLatin1[c - 0xE0]);
  }
  static const struct {
    unsigned first, last;
    char base;
  } kExtendedA[] = {{0x100, 0x105, 'a'}, {0x106, 0x10D, 'c'}, {0x10E, 0x111, 'd'}, {0x112, 0x11B, 'e'},
                    {0x11C, 0x123, 'g'}, {0x124, 0x127, 'h'}, {0x128, 0x131, 'i'}, {0x134, 0x135, 'j'},
                    {0x136, 0x137, 'k'}, {0x139, 0x142, 'l'}, {0x143, 0x148, 'n'}, {0x14C, 0x151, 'o'},
                    {0x154, 0x159, 'r'}, {0x15A, 0x161, 's'}, {0x162, 0x167, 't'}, {0x168, 0x173, 'u'},
                    {0x174, 0x175, 'w'}, {0x176, 0x178, 'y'}, {0x179, 0x17E, 'z'}};
  for (const auto& r : kExtendedA)
    if (c >= r.first && c <= r.last) return static_cast<unsigned>(r.base);
  return c;
}

// Compares two texts a character at a time through key, shorter first on a tie.
template <class Key>
int CompareBy(const std::vector<unsigned>& x, const std::vector<unsigned>& y, Key key) {
  size_t n = std::min(x.size(), y.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned kx = key(x[i]), ky = key(y[i]);
    if (kx != ky) return kx < ky ? -1 : 1;
  }
  return x.size() == y.size() ? 0 : x.size() < y.size() ? -1 : 1;
}

// Whether a character (lower case, accents taken off) sorts as a letter;
// punctuation, symbols and spaces sort before digits, digits before letters.
bool SortsAsLetter(unsigned c) {
  if (c < 0x80) return c >= 'a' && c <= 'z';
  if (c < 0xC0 || c == 0xD7 || c == 0xF7) return false;
  return !(c >= 0x2000 && c <= 0x2BFF) && !(c >= 0x3000 && c <= 0x303F) && !(c >= 0xFE30 && c <= 0xFE6F) &&
         !(c >= 0xFF00 && c <= 0xFF20);
}

// The first level of a text's order: each character's letter without case
// or accents, ligatures as the two letters they join, weighted by class.
std::vector<unsigned> PrimaryKeys(const std::vector<unsigned>& text) {
  std::vector<unsigned> keys;
  keys.reserve(text.size());
  auto weigh = [&](unsigned c) {
    if (SortsAsLetter(c)) keys.push_back(0x200000u | c);
    else if (c >= '0' && c <= '9') keys.push_back(0x100000u | c);
    else keys.push_back(c);
  };
  for (unsigned c : text) {
    unsigned l = Lower(c);
    switch (l) {
      case 0xDF: weigh('s'); weigh('s'); break;    // sharp s
      case 0xE6: weigh('a'); weigh('e'); break;    // ae
      case 0x153: weigh('o'); weigh('e'); break;   // oe
      default: weigh(BaseLetter(l));
    }
  }
  return keys;
}

}  // namespace

CollationKey CollationKeyOf(std::string_view text) {
  CollationKey key;
  key.text = CodePoints(text);
  key.primary = PrimaryKeys(key.text);
  return key;
}

int CompareCollationKeys(const CollationKey& a, const CollationKey& b, bool ignoreCase, bool upperFirst) {
  if (int letters = CompareBy(a.primary, b.primary, [](unsigned k) { return k; })) return letters;
  const std::vector<unsigned>&x = a.text, &y = b.text;
  if (int accents = CompareBy(x, y, Lower)) return accents;
  if (ignoreCase) return 0;
  for (size_t i = 0; i < x.size(); ++i) {
    if (x[i] != y[i]) return (x[i] == Lower(x[i])) != upperFirst ? -1 : 1;
  }
  return 0;
}

int CompareStrings(std::string_view a, std::string_view b, bool ignoreCase, bool upperFirst) {
  return CompareCollationKeys(CollationKeyOf(a), CollationKeyOf(b), ignoreCase, upperFirst);
}

namespace {

void StringCompare(xmlXPathParserContextPtr ctxt, int nargs) {
  if (!CheckArity(ctxt, nargs, kStringCompareArity)) return;
  std::vector<std::string> args;
  if (!PopStrings(ctxt, nargs, &args)) return;
  bool ignoreCase = nargs == 4 && args[3].find('i') != std::string::npos;
  bool upperFirst = nargs == 4 && args[3].find('u') != std::string::npos;
  valuePush(ctxt, xmlXPathNewFloat(CompareStrings(args[0], args[1], ignoreCase, upperFirst)));
}

// --- qualified names -----------------------------------------------------

void LocalName(xmlXPathParserContextPtr ctxt, int nargs) {
  if (!CheckArity(ctxt, nargs, kLocalNameArity)) return;
  XmlText name(xmlXPathPopString(ctxt));
  if (ctxt->error != XPATH_EXPRESSION_OK) return;
  std::string_view s = name.View();
  size_t colon = s.find(':');
  ReturnString(ctxt, std::string(colon == std::string_view::npos ? s : s.substr(colon + 1)));
}

// The prefix is resolved where the name was written: the context node's
// in-scope declarations (an attribute's or text's element), then the
// prefixes the query itself declared. An unprefixed name has no namespace.
void NamespaceUri(xmlXPathParserContextPtr ctxt, int nargs) {
  if (!CheckArity(ctxt, nargs, kNamespaceUriArity)) return;
  XmlText name(xmlXPathPopString(ctxt));
  if (ctxt->error != XPATH_EXPRESSION_OK) return;
  std::string_view s = name.View();
  size_t colon = s.find(':');
  if (colon == std::string_view::npos) {
    ReturnString(ctxt, "");
    return;
  }
  std::string prefix(s.substr(0, colon));
  xmlNodePtr node = ctxt->context->node;
  if (node && node->type != XML_ELEMENT_NODE) {
    if (node->type == XML_DOCUMENT_NODE || node->type == XML_HTML_DOCUMENT_NODE)
      node = xmlDocGetRootElement(reinterpret_cast<xmlDocPtr>(node));
    else if (node->type == XML_NAMESPACE_DECL)
      node = nullptr;
    else
      node = node->parent;
  }
  if (node && node->type == XML_ELEMENT_NODE) {
    if (xmlNsPtr ns = xmlSearchNs(node->doc, node, BAD_CAST prefix.c_str())) {
      ReturnString(ctxt, reinterpret_cast<const char*>(ns->href));
      return;
    }
  }
  const xmlChar* uri = xmlXPathNsLookup(ctxt->context, BAD_CAST prefix.c_str());
  ReturnString(ctxt, uri ? reinterpret_cast<const char*>(uri) : "");
}

// --- number --------------------------------------------------------------

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// XSD double: decimal and exponent forms, INF, -INF and NaN; NaN otherwise.
double XsdNumber(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  VARIANT v;
  VariantInit(&v);
  std::string text(s);
  if (FAILED(TypedValueFromText(DataType::R8, text.c_str(), &v)) || text.empty())
    return std::numeric_limits<double>::quiet_NaN();
  return v.dblVal;
}

void Number(xmlXPathParserContextPtr ctxt, int nargs) {
  if (!CheckArity(ctxt, nargs, kNumberArity)) return;
  XmlText s(xmlXPathPopString(ctxt));
  if (ctxt->error != XPATH_EXPRESSION_OK) return;
  valuePush(ctxt, xmlXPathNewFloat(XsdNumber(s.View())));
}

// --- dates ---------------------------------------------------------------

struct Moment {
  long long days = 0;  // since 1970-01-01
  long long seconds = 0;  // of the day
  long milliseconds = 0;
};

// Offset east of UTC, in minutes, of local wall-clock time at that moment.
int LocalOffsetMinutes(const IsoDateTime& t) {
  std::tm local{};
  local.tm_year = (t.hasDate ? t.year : 2000) - 1900;
  local.tm_mon = (t.hasDate ? t.month : 1) - 1;
  local.tm_mday = t.hasDate ? t.day : 1;
  local.tm_hour = t.hour;
  local.tm_min = t.minute;
  local.tm_sec = t.second;
  local.tm_isdst = -1;
  std::time_t instant = std::mktime(&local);
  if (instant == std::time_t(-1)) return 0;
  std::tm utc{};
  gmtime_r(&instant, &utc);
  long long asUtc = DaysFromCivil(utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday) * 86400LL +
                    utc.tm_hour * 3600 + utc.tm_min * 60 + utc.tm_sec;
  long long asLocal = DaysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) * 86400LL +
                      local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
  return int((asLocal - asUtc) / 60);
}

// ms:utc: the moment in UTC, in one fixed form that sorts as text.
// A value without a zone is local time.
std::string Utc(std::string_view text) {
  IsoDateTime t;
  if (!ParseIsoDateTime(text, &t)) return "";
  int offset = t.hasZone ? t.zoneMinutes : LocalOffsetMinutes(t);
  long long days = t.hasDate ? DaysFromCivil(t.year, t.month, t.day) : 0;
  long long secs = days * 86400 + t.hour * 3600LL + t.minute * 60LL + t.second - offset * 60LL;
  long long day = secs >= 0 ? secs / 86400 : -((-secs + 86399) / 86400);
  long long sod = secs - day * 86400;
  char time[96];
  std::snprintf(time, sizeof time, "%02lld:%02lld:%02lld.%03ld", sod / 3600, sod / 60 % 60, sod % 60,
                t.nanosecond / 1000000);
  if (!t.hasDate) return time;
  int y, m, d;
  CivilFromDays(day, &y, &m, &d);
  // A zone can carry a moment out of the years a dateTime writes.
  if (y < 1 || y > 9999) return "";
  char date[32];
  std::snprintf(date, sizeof date, "%04d-%02d-%02dT", y, m, d);
  return std::string(date) + time;
}

const char* const kMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                   "July",    "August",   "September", "October", "November", "December"};
const char* const kDayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

std::string Padded(int value, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*d", width, value);
  return buf;
}

// Expands a picture: runs of a letter are fields; text in single quotes and
// every other character is copied as is.
template <typename Field>
std::string ExpandPicture(std::string_view picture, const char* letters, Field field) {
  std::string out;
  size_t i = 0;
  while (i < picture.size()) {
    char c = picture[i];
    if (c == '\'') {
      size_t end = picture.find('\'', i + 1);
      if (end == std::string_view::npos) end = picture.size();
      out.append(picture.substr(i + 1, end - i - 1));
      i = end + 1;
      continue;
    }
    if (std::string_view(letters).find(c) != std::string_view::npos) {
      size_t run = 1;
      while (i + run < picture.size() && picture[i + run] == c) ++run;
      out += field(c, run);
      i += run;
      continue;
    }
    out += c;
    ++i;
  }
  return out;
}

// ms:format-date(value, picture[, locale]): English names whatever the
// locale; "" for a value that is not a date or date-time.
std::string FormatDate(std::string_view value, std::string_view picture) {
  IsoDateTime t;
  if (!ParseIsoDateTime(value, &t) || !t.hasDate) return "";
  if (picture.empty()) picture = "M/d/yyyy";
  int weekday = int(((DaysFromCivil(t.year, t.month, t.day) % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  return ExpandPicture(picture, "dMyg", [&](char c, size_t run) -> std::string {
    switch (c) {
      case 'd':
        if (run == 1) return std::to_string(t.day);
        if (run == 2) return Padded(t.day, 2);
        if (run == 3) return std::string(kDayNames[weekday], 3);
        return kDayNames[weekday];
      case 'M':
        if (run == 1) return std::to_string(t.month);
        if (run == 2) return Padded(t.month, 2);
        if (run == 3) return std::string(kMonthNames[t.month - 1], 3);
        return kMonthNames[t.month - 1];
      case 'y':
        if (run == 1) return std::to_string(t.year % 100);
        if (run == 2) return Padded(t.year % 100, 2);
        return Padded(t.year, 4);
      default:
        return "A.D.";
    }
  });
}

// ms:format-time(value, picture[, locale]): a time or date-time; a date
// alone is midnight.
std::string FormatTime(std::string_view value, std::string_view picture) {
  IsoDateTime t;
  if (!ParseIsoDateTime(value, &t)) return "";
  if (picture.empty()) picture = "h:mm:ss tt";
  int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
  const char* designator = t.hour < 12 ? "AM" : "PM";
  return ExpandPicture(picture, "hHmst", [&](char c, size_t run) -> std::string {
    int v = 0;
    switch (c) {
      case 'h': v = hour12; break;
      case 'H': v = t.hour; break;
      case 'm': v = t.minute; break;
      case 's': v = t.second; break;
      default: return run == 1 ? std::string(designator, 1) : designator;
    }
    return run == 1 ? std::to_string(v) : Padded(v, 2);
  });
}

void UtcFunction(xmlXPathParserContextPtr ctxt, int nargs) {
  if (!CheckArity(ctxt, nargs, kUtcArity)) return;
  XmlText s(xmlXPathPopString(ctxt));
  if (ctxt->error != XPATH_EXPRESSION_OK) return;
  ReturnString(ctxt, Utc(s.View()));
}

void FormatDateFunction(xmlXPathParserContextPtr ctxt, int nargs) {
  if (!CheckArity(ctxt, nargs, kFormatDateArity)) return;
  std::vector<std::string> args;
  if (!PopStrings(ctxt, nargs, &args)) return;
  ReturnString(ctxt, FormatDate(args[0], nargs > 1 ? args[1] : ""));
}

void FormatTimeFunction(xmlXPathParserContextPtr ctxt, int nargs) {
  if (!CheckArity(ctxt, nargs, kFormatTimeArity)) return;
  std::vector<std::string> args;
  if (!PopStrings(ctxt, nargs, &args)) return;
  ReturnString(ctxt, FormatTime(args[0], nargs > 1 ? args[1] : ""));
}

struct FunctionEntry {
  FunctionArity arity;
  xmlXPathFunction function;
};

constexpr FunctionEntry kFunctions[] = {
    {kStringCompareArity, StringCompare}, {kLocalNameArity, LocalName}, {kNamespaceUriArity, NamespaceUri},
    {kNumberArity, Number},               {kUtcArity, UtcFunction},     {kFormatDateArity, FormatDateFunction},
    {kFormatTimeArity, FormatTimeFunction},
};

}  // namespace

const FunctionArity* MsXslFunctionArity(const std::string& name) {
  for (const FunctionEntry& f : kFunctions)
    if (name == f.arity.name) return &f.arity;
  return nullptr;
}

void RegisterMsXslFunctions(xmlXPathContextPtr ctx) {
  if (!ctx) return;
  for (const FunctionEntry& f : kFunctions)
    xmlXPathRegisterFuncNS(ctx, BAD_CAST f.arity.name, BAD_CAST kMsXslNamespace, f.function);
}

void RegisterMsXslFunctionsForXslt() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (const FunctionEntry& f : kFunctions)
      xsltRegisterExtModuleFunction(BAD_CAST f.arity.name, BAD_CAST kMsXslNamespace, f.function);
    // Style sheets written for this engine turn result tree fragments into
    // node sets with msxsl:node-set(), as EXSLT's exsl:node-set() does.
    xsltRegisterExtModuleFunction(BAD_CAST "node-set", BAD_CAST kMsXslNamespace, xsltFunctionNodeSet);
  });
}

}  // namespace ardo::engine
