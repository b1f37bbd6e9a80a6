#include <ostrel/cpp/handles.h>

#include <string_view>

namespace ostrel {

namespace detail {

kovaStore::KovaConfigCell CellOf(const Store& store, KovaConfigGroup group,
                                 const char* name) {
  kovaStore::KovaConfigCell cell;
  // On every failure the library fills in a view that reads absent.
  (void)kovaStore::GetKovaConfigCell(store.Raw(), group, name, &cell);
  return cell;
}

}  // namespace detail

const std::atomic<uint64_t> Toggle::s_unresolved{detail::kNoState};

bool Toggle::Refresh(bool fallback) const {
  ReadFunction read = m_read.load(std::memory_order_acquire);
  if (read == nullptr) {
    const kovaStore::KovaConfigCell cell =
        detail::CellOf(m_store, m_group, m_name);
    m_state.store(cell.pState, std::memory_order_release);
    m_read.store(cell.pfnRead, std::memory_order_release);
    read = cell.pfnRead;
  }
  // Reused per thread: a toggle's text is short, so reading it allocates
  // nothing after the first time.
  thread_local ConfigData text;
  uint64_t state = 0;
  std::optional<bool> on;
  if (read(m_state.load(std::memory_order_acquire), text, &state))
    on = ParseText<bool>(std::string_view(text.GetData(), text.GetLength()));
  const uint64_t bits = on ? (*on ? 3 : 0) : 2;
  m_cache.store((state << 2) | bits, std::memory_order_relaxed);
  return on ? *on : fallback;
}

void Toggle::CopyView(const Toggle& other) {
  // The read function first: when it is set, the state it came with is too.
  const ReadFunction read = other.m_read.load(std::memory_order_acquire);
  m_state.store(other.m_state.load(std::memory_order_acquire),
                std::memory_order_release);
  m_read.store(read, std::memory_order_release);
  m_cache.store(other.m_cache.load(std::memory_order_relaxed),
                std::memory_order_relaxed);
}

}  // namespace ostrel
