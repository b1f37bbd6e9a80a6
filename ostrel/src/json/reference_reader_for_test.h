// For tests only: the reader's rules written out routine by routine, each
// routine taking and returning copies of the remaining text. It is slow
// (quadratic) and obviously shaped like the rules; tests and the fuzz target
// compare json::FromText against it on small documents.
//
// Bare words are converted with the C library's atof(), so callers must run
// in the "C" locale. atoi() is replaced by a saturating equivalent because
// the C library leaves its overflow undefined.
#ifndef OSTREL_SRC_JSON_REFERENCE_READER_FOR_TEST_H_
#define OSTREL_SRC_JSON_REFERENCE_READER_FOR_TEST_H_

#include <string>

#include "json_plain_document.h"
#include "json_value.h"

namespace json {
namespace reference {

// What json::FromText must return for `text`, by the literal rules.
Value FromText(const std::string& text);

// Whether two values are equal field by field and bit for bit (NaNs equal
// when their signs are), members and elements in order, unlike the 1e-9
// comparison of operator==. Both sides built through the same constructors
// agree in the fields outside their kind as well, so all are compared.
bool Same(const Value& a, const Value& b);

// Whether a plain reading reports what the tree read from the same text
// holds: the same groups in order, and for every element the presence and
// string of its "key" and "value" members.
bool PlainMatchesTree(const PlainDocument& plain, const Value& tree);

}  // namespace reference
}  // namespace json

#endif  // OSTREL_SRC_JSON_REFERENCE_READER_FOR_TEST_H_
