// The page's files (inspect/web/), embedded in the binary at build time:
// the page itself, its script, its style sheet and the plot. Nothing is read
// from disk while serving, and only these names exist.
#ifndef OSTREL_INSPECT_SRC_ASSETS_H_
#define OSTREL_INSPECT_SRC_ASSETS_H_

#include <cstddef>
#include <string_view>

namespace ostrel::inspect {

struct Asset {
  const char* name;  // file name in web/ ("index.html")
  const unsigned char* data;
  size_t size;
};

// The embedded file of that name, or null. Defined in the generated source.
const Asset* FindAsset(std::string_view name);

// The Content-Type of a file by its extension.
const char* ContentTypeOf(std::string_view name);

}  // namespace ostrel::inspect

#endif  // OSTREL_INSPECT_SRC_ASSETS_H_
