#include "assets.h"

namespace ostrel::inspect {

const char* ContentTypeOf(std::string_view name) {
  const size_t dot = name.rfind('.');
  const std::string_view ext =
      dot == std::string_view::npos ? std::string_view() : name.substr(dot);
  if (ext == ".html") return "text/html; charset=utf-8";
  if (ext == ".js") return "text/javascript; charset=utf-8";
  if (ext == ".css") return "text/css; charset=utf-8";
  if (ext == ".svg") return "image/svg+xml";
  return "text/plain; charset=utf-8";
}

}  // namespace ostrel::inspect
