#include <ostrel/cpp/handles.h>

#include <string_view>
#include <utility>

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
  std::atomic<uint64_t>& fact = !on ? m_neitherAt : *on ? m_trueAt : m_falseAt;
  fact.store(state, std::memory_order_relaxed);
  return on ? *on : fallback;
}

void Toggle::CopyView(const Toggle& other) {
  // The read function first: when it is set, the state it came with is too.
  const ReadFunction read = other.m_read.load(std::memory_order_acquire);
  m_state.store(other.m_state.load(std::memory_order_acquire),
                std::memory_order_release);
  m_read.store(read, std::memory_order_release);
  for (auto [mine, theirs] : {std::pair(&m_trueAt, &other.m_trueAt),
                              std::pair(&m_falseAt, &other.m_falseAt),
                              std::pair(&m_neitherAt, &other.m_neitherAt)})
    mine->store(theirs->load(std::memory_order_relaxed),
                std::memory_order_relaxed);
}

}  // namespace ostrel
