#include "store_ref.h"

#include "observer_state.h"

namespace ostrel {
namespace detail {

StoreRef::StoreRef(uint32_t callId) {
  kovaStore::CreateKovaConfig(callId, &m_config);
}

StoreRef::~StoreRef() {
  // Inside a callback the pending observers stay registered, dead, until the
  // store goes.
  RemovePending();
  if (m_config != nullptr) kovaStore::ReleaseKovaConfig(m_config);
}

void StoreRef::Remove(uint64_t id) {
  if (ObserverState::InsideDispatch()) {
    kovaStore::MutexLock lock(m_mutex);
    m_pending.push_back(id);
    return;
  }
  RemovePending();
  m_config->UnsubscribeConfig(id);
}

void StoreRef::RemovePending() {
  if (ObserverState::InsideDispatch()) return;
  std::vector<uint64_t> ids;
  {
    kovaStore::MutexLock lock(m_mutex);
    ids.swap(m_pending);
  }
  for (uint64_t id : ids) m_config->UnsubscribeConfig(id);
}

}  // namespace detail
}  // namespace ostrel
