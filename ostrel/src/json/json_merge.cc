// DeepMerge, declared in json_value.h.
#include "json_value.h"

namespace json {

bool DeepMerge(Value& destination, const Value& source) {
  if (source.IsNull() || destination.GetKind() != source.GetKind()) {
    return false;
  }
  if (source.GetKind() != KindObject) {
    destination = source;
    return true;
  }
  bool merged = true;
  Object& target = destination.GetObject();
  for (const auto& member : source.GetObject()) {
    auto it = target.find(member.first);
    if (it == target.end() || it->second.IsNull()) {
      target[member.first] = member.second;
    } else if (it->second.GetKind() != member.second.GetKind()) {
      merged = false;  // a conflict: the destination member stays
    } else if (member.second.GetKind() == KindObject) {
      merged = DeepMerge(it->second, member.second) && merged;
    } else {
      it->second = member.second;
    }
  }
  return merged;
}

}  // namespace json
