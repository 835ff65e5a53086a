// The "urn:schemas-microsoft-com:xslt" extension functions, evaluated by
// libxml2 directly on a context with the ms prefix declared.
#include <libxml/parser.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "engine/xpath/ms_functions.h"
#include "tests/engine/engine_test_fixture.h"

namespace ardo::test {
namespace {

class MsFunctionsTest : public LeakCheckedTest {
 protected:
  void SetUp() override {
    LeakCheckedTest::SetUp();
    doc_ = xmlReadMemory(kXml, int(sizeof kXml - 1), "mem.xml", nullptr, XML_PARSE_NONET);
    ASSERT_NE(doc_, nullptr);
    ctx_ = xmlXPathNewContext(doc_);
    ASSERT_NE(ctx_, nullptr);
    xmlXPathRegisterNs(ctx_, BAD_CAST "ms", BAD_CAST ardo::engine::kMsXslNamespace);
    xmlXPathRegisterNs(ctx_, BAD_CAST "q", BAD_CAST "urn:query-side");
    ardo::engine::RegisterMsXslFunctions(ctx_);
    ctx_->node = xmlDocGetRootElement(doc_);
  }
  void TearDown() override {
    if (ctx_) xmlXPathFreeContext(ctx_);
    if (doc_) xmlFreeDoc(doc_);
    LeakCheckedTest::TearDown();
  }
  // The string value; "<error>" when the expression fails.
  std::string Str(const char* expr) {
    xmlXPathObjectPtr result = xmlXPathEvalExpression(BAD_CAST expr, ctx_);
    if (!result) return "<error>";
    xmlChar* s = xmlXPathCastToString(result);
    std::string text = reinterpret_cast<const char*>(s);
    xmlFree(s);
    xmlXPathFreeObject(result);
    return text;
  }
  double Num(const char* expr) {
    xmlXPathObjectPtr result = xmlXPathEvalExpression(BAD_CAST expr, ctx_);
    double d = result ? xmlXPathCastToNumber(result) : -12345.0;
    xmlXPathFreeObject(result);
    return d;
  }

  static constexpr char kXml[] = "<r xmlns:x='urn:doc-side' xmlns:q='urn:doc-q'><v t='x:thing'>Beta</v></r>";
  xmlDocPtr doc_ = nullptr;
  xmlXPathContextPtr ctx_ = nullptr;
};

static void QuietErrors(void*, xmlErrorPtr) {}
static void QuietGenericErrors(void*, const char*, ...) {}

TEST_F(MsFunctionsTest, NumericResultsOfStringCompareAndNumber) {
  const struct {
    const char* expr;
    double expected;  // NAN for "not a number"
  } cases[] = {
      {"ms:string-compare('a', 'b')", -1},
      {"ms:string-compare('b', 'a')", 1},
      {"ms:string-compare('abc', 'abc')", 0},
      {"ms:string-compare('abc', 'ABC')", -1},  // lower case first when letters tie
      {"ms:string-compare('ABC', 'abc')", 1},
      {"ms:string-compare('Apple', 'banana')", -1},  // letters before case: A < b
      {"ms:string-compare('apple', 'Banana')", -1},
      {"ms:string-compare('ab', 'abc')", -1},
      {"ms:string-compare('', '')", 0},
      {"ms:string-compare('abc', 'ABC', 'en-US', 'i')", 0},
      {"ms:string-compare('abd', 'ABC', 'en-US', 'i')", 1},
      {"ms:string-compare('\xC3\xA9t\xC3\xA9', '\xC3\x89T\xC3\x89', 'fr', 'i')", 0},
      {"ms:string-compare('\xC3\xA9', '\xC3\x89')", -1},
      {"ms:string-compare(/r/v, 'Beta')", 0},  // a node-set argument is its string value
      {"ms:string-compare('x', 'y', 'en-US')", -1},
      {"ms:number('12')", 12},         {"ms:number(' -1.5 ')", -1.5},
      {"ms:number('1e3')", 1000},      {"ms:number('2.5E-1')", 0.25},
      {"ms:number('.5')", 0.5},        {"ms:number('+7')", 7},
      {"ms:number('INF')", INFINITY},  {"ms:number('-INF')", -INFINITY},
      {"ms:number('NaN')", NAN},       {"ms:number('')", NAN},
      {"ms:number('12abc')", NAN},     {"ms:number('1,5')", NAN},
      {"ms:number('e5')", NAN},        {"ms:number('inf')", NAN},
  };
  for (const auto& c : cases) {
    double d = Num(c.expr);
    if (std::isnan(c.expected))
      EXPECT_TRUE(std::isnan(d)) << c.expr << " gave " << d;
    else
      EXPECT_EQ(d, c.expected) << c.expr;
  }
}

TEST_F(MsFunctionsTest, StringResultsOfUtcFormatDateAndFormatTime) {
  const struct {
    const char *expr, *expected;
  } cases[] = {
      {"ms:utc('1993-05-15T02:16:00-08:00')", "1993-05-15T10:16:00.000"},
      {"ms:utc('1993-05-15T02:16:00Z')", "1993-05-15T02:16:00.000"},
      {"ms:utc('2000-01-01T01:30:00+02:00')", "1999-12-31T23:30:00.000"},
      {"ms:utc('2000-02-28T23:00:00.25-02:00')", "2000-02-29T01:00:00.250"},
      {"ms:utc('2001-02-28T23:00:00-02:00')", "2001-03-01T01:00:00.000"},
      {"ms:utc('10:16:00+01:00')", "09:16:00.000"},
      {"ms:utc('not a date')", ""},
      {"ms:utc('2001-02-29T00:00:00Z')", ""},
      {"ms:utc('2001-13-01')", ""},
      {"ms:utc('25:00:00Z')", ""},
      {"ms:format-date('2005-03-07', 'yyyy-MM-dd')", "2005-03-07"},
      {"ms:format-date('2005-03-07', 'd/M/yy')", "7/3/05"},
      {"ms:format-date('2005-03-07T10:00:00', 'ddd dd MMM yyyy')", "Mon 07 Mar 2005"},
      {"ms:format-date('2005-03-07', 'dddd, MMMM d, yyyy')", "Monday, March 7, 2005"},
      {"ms:format-date('2000-02-29', 'dddd')", "Tuesday"},
      {"ms:format-date('1899-12-31', 'ddd')", "Sun"},
      {"ms:format-date('2009-12-25', 'y')", "9"},
      {"ms:format-date('2005-03-07', \"'Day' d 'of' MMMM\")", "Day 7 of March"},
      {"ms:format-date('2005-03-07', 'MMM', 'de-DE')", "Mar"},
      {"ms:format-date('2005-03-07')", "3/7/2005"},
      {"ms:format-date('10:00:00', 'yyyy')", ""},
      {"ms:format-date('garbage', 'yyyy')", ""},
      {"ms:format-time('2005-03-07T13:05:09', 'HH:mm:ss')", "13:05:09"},
      {"ms:format-time('2005-03-07T13:05:09', 'h:m:s tt')", "1:5:9 PM"},
      {"ms:format-time('13:05:09', 'hh:mm t')", "01:05 P"},
      {"ms:format-time('00:30:00', 'h:mm tt')", "12:30 AM"},
      {"ms:format-time('12:00:00', 'h tt H')", "12 PM 12"},
      {"ms:format-time('07:08:09', \"H'h'mm\")", "7h08"},
      {"ms:format-time('07:08:09')", "7:08:09 AM"},
      {"ms:format-time('2005-03-07', 'HH:mm')", "00:00"},
      {"ms:format-time('7:08', 'HH:mm')", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Str(c.expr), c.expected) << c.expr;

  const char* previous = std::getenv("TZ");
  std::string saved = previous ? previous : "";
  setenv("TZ", "EST5", 1);  // five hours west, no daylight saving
  tzset();
  std::string shifted = Str("ms:utc('2004-06-01T20:00:00')");
  if (previous) setenv("TZ", saved.c_str(), 1); else unsetenv("TZ");
  tzset();
  EXPECT_EQ(shifted, "2004-06-02T01:00:00.000") << "a value without a zone is local time";
}

TEST_F(MsFunctionsTest, QualifiedNamePartsResolveWhereTheNameWasWritten) {
  EXPECT_EQ(Str("ms:local-name('x:thing')") + Str("ms:local-name('plain')"), "thingplain");
  EXPECT_EQ(Str("ms:local-name(/r/v/@t)"), "thing");
  EXPECT_EQ(Str("ms:namespace-uri('x:thing')"), "urn:doc-side");
  ctx_->node = xmlDocGetRootElement(doc_)->children;  // <v>
  EXPECT_EQ(Str("ms:namespace-uri(@t)"), "urn:doc-side");
  // q is declared both in the document and by the query: the document's
  // declaration in scope wins; a prefix only the query knows still resolves.
  EXPECT_EQ(Str("ms:namespace-uri('q:a')"), "urn:doc-q");
  xmlXPathRegisterNs(ctx_, BAD_CAST "only", BAD_CAST "urn:only-query");
  EXPECT_EQ(Str("ms:namespace-uri('only:a')"), "urn:only-query");
  EXPECT_EQ(Str("ms:namespace-uri('unknown:a')") + Str("ms:namespace-uri('plain')"), "");
  EXPECT_EQ(Str("ms:namespace-uri('xml:lang')"), "http://www.w3.org/XML/1998/namespace");
}

TEST_F(MsFunctionsTest, WrongArgumentCountsAndOtherNamespacesAreXPathErrors) {
  xmlSetStructuredErrorFunc(nullptr, QuietErrors);
  xmlSetGenericErrorFunc(nullptr, QuietGenericErrors);
  for (const char* expr : {"ms:string-compare('a')", "ms:string-compare('a','b','c','d','e')",
                           "ms:local-name()", "ms:namespace-uri('a','b')", "ms:number()", "ms:utc()",
                           "ms:format-date()", "ms:format-time('a','b','c','d')", "q:number('1')",
                           "utc('2000-01-01')"})
    EXPECT_EQ(Str(expr), "<error>") << expr;
  xmlSetStructuredErrorFunc(nullptr, nullptr);
  xmlSetGenericErrorFunc(nullptr, nullptr);
  xmlXPathRegisterNs(ctx_, BAD_CAST "other", BAD_CAST ardo::engine::kMsXslNamespace);
  EXPECT_EQ(Num("other:number('1e1')"), 10) << "any prefix bound to the namespace works";
}

}  // namespace
}  // namespace ardo::test
