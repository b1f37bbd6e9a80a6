// A callback for tests of the store's own failures: its copies (such as the
// one a posted delivery makes) throw std::bad_alloc once `*pArmed` is true.
//   std::atomic<bool> armed{false};
//   store->SubscribeConfig(group, name, CopyFails(&armed), thread, true);
//   armed = true;  // the next posted delivery cannot copy it
#pragma once

#include <atomic>
#include <new>

#include "ostrel/KovaConfigApi.h"

namespace kovaStore {

struct CopyFails {
  explicit CopyFails(const std::atomic<bool>* p) : pArmed(p) {}
  CopyFails(const CopyFails& other) : pArmed(other.pArmed) {
    if (*pArmed) throw std::bad_alloc();
  }
  void operator()(const KovaConfigEvent&) const {}
  const std::atomic<bool>* pArmed;
};

}  // namespace kovaStore
