// What libxml2 leaves to evaluation in a query that compiles: calls of
// functions that do not exist or with the wrong number of arguments, and
// variables that are not defined. libxml2 meets them only when a node
// reaches them ("//a[nothing()]" over a document without an a passes), so
// a query is read once more here, as it is compiled, and refused whole.
#pragma once

#include <string>

#include <libxml/xpath.h>

namespace ardo::engine {

// True when every function the query calls is known to ctx (through the
// prefixes ctx has registered) and given a number of arguments it takes,
// and the query uses no variable ctx does not have. Otherwise false, with
// the reason. The query must have compiled. *documentOrderAxis tells
// whether it steps along the following or preceding axis (read in the
// same pass).
bool CheckQueryCalls(xmlXPathContextPtr ctx, const std::string& query, bool* documentOrderAxis,
                     std::string* reason);

}  // namespace ardo::engine
