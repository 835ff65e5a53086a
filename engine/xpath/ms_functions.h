// The XPath extension functions that ported queries and style sheets call
// under the "urn:schemas-microsoft-com:xslt" namespace (usually bound to the
// prefix "ms"): string-compare, local-name, namespace-uri, number, utc,
// format-date and format-time.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <libxml/xpath.h>

namespace ardo::engine {

// The namespace the functions live in; a query reaches them through any
// prefix it binds to this URI.
inline constexpr const char* kMsXslNamespace = "urn:schemas-microsoft-com:xslt";

// How many arguments a function takes.
inline constexpr int kAnyNumber = -1;
struct FunctionArity {
  const char* name;
  int least;
  int most;  // or kAnyNumber
};

// Orders as a culture-aware comparison does for the alphabets ported data
// tends to hold: letters compare without regard to accents and case first;
// texts equal in that sense are ordered by their accents, unaccented first,
// and then by case, lower case first (upperFirst: upper case first).
// ignoreCase leaves out the case step. ms:string-compare and xsl:sort order
// text this way. Negative, zero or positive as a is before, with or after b.
int CompareStrings(std::string_view a, std::string_view b, bool ignoreCase, bool upperFirst);
// The same order from keys worked out once, for texts compared many times.
struct CollationKey {
  std::vector<unsigned> primary;  // letters without case or accents, by class
  std::vector<unsigned> text;     // the code points
};
CollationKey CollationKeyOf(std::string_view text);
int CompareCollationKeys(const CollationKey& a, const CollationKey& b, bool ignoreCase, bool upperFirst);

// The arguments one of the functions takes; null for a name that is none
// of them.
const FunctionArity* MsXslFunctionArity(const std::string& name);

// Registers the functions on one XPath context. The prefix is not bound
// here: the query's own namespace declarations decide it.
void RegisterMsXslFunctions(xmlXPathContextPtr ctx);

// Registers the same functions with libxslt for every style sheet that
// declares the namespace. Idempotent; call once the engine has loaded.
void RegisterMsXslFunctionsForXslt();

}  // namespace ardo::engine
