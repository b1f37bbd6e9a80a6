#include <ostrel/cpp/store.h>

#include <cstring>
#include <utility>

#include "exchange_text.h"
#include "observer_state.h"
#include "store_ref.h"

namespace ostrel {

Store::Store(uint32_t callId)
    : m_ref(std::make_shared<detail::StoreRef>(callId)) {
  // A store that could not be obtained (out of memory) makes an empty Store.
  if (m_ref->Config() == nullptr) m_ref.reset();
}

Store Store::Of(const kovaStore::KovaConfigHelper& helper) {
  return helper.GetCallId() == 0xFFFFFFFF ? Store() : Store(helper.GetCallId());
}

kovaStore::IKovaConfig* Store::Raw() const noexcept {
  return m_ref ? m_ref->Config() : nullptr;
}

ConfigData Store::ReadRaw(KovaConfigGroup group, const char* name) const {
  ConfigData value;
  if (m_ref) m_ref->Config()->GetKovaConfig(group, name, value);
  return value;
}

std::optional<std::string_view> Store::GetText(KovaConfigGroup group,
                                               const char* name, char* buffer,
                                               size_t capacity) const {
  if (!m_ref) return std::nullopt;
  // Reused per thread: the store writes into the text it already holds.
  thread_local ConfigData value;
  if (m_ref->Config()->GetKovaConfig(group, name, value) != KOVA_S_OK)
    return std::nullopt;
  const size_t size = value.GetLength();
  if (size > capacity) return std::nullopt;
  if (size != 0) std::memcpy(buffer, value.GetData(), size);
  return std::string_view(buffer, size);
}

ConfigData Store::QueryRaw(KovaConfigGroup group, const char* name,
                           ConfigData parameter) const {
  ConfigData value;
  if (m_ref && m_ref->Config()->GetDynamicConfig(
                   group, name, value, std::move(parameter)) != KOVA_S_OK)
    value = ConfigData();
  return value;
}

KOVA_RESULT Store::Apply(std::string_view text, ApplyReport* report) const {
  if (report != nullptr) *report = ApplyReport();
  if (!m_ref) {
    if (report != nullptr) report->result = KOVA_E_INVALIDARG;
    return KOVA_E_INVALIDARG;
  }
  std::optional<detail::DumpGroups> before;
  if (report != nullptr) before = detail::ReadDumpText(Dump());
  const KOVA_RESULT result =
      m_ref->Config()->ApplyKovaConfigs(std::string(text).c_str());
  if (report != nullptr) {
    report->result = result;
    std::optional<detail::DumpGroups> after = detail::ReadDumpText(Dump());
    if (before && after)
      report->changes = detail::ChangesBetween(*before, *after);
  }
  return result;
}

std::string Store::Dump(uint32_t groups, DumpForm form) const {
  if (!m_ref) return "{}";
  // The store keeps one text per thread; copy it before anything else dumps
  // on this thread.
  std::string text = m_ref->Config()->DumpKovaConfigs(groups);
  if (form == DumpForm::kAsWritten) return text;
  std::optional<detail::DumpGroups> read = detail::ReadDumpText(text);
  return read ? detail::WriteDumpJson(*read) : text;
}

KOVA_RESULT Store::WriteRaw(KovaConfigGroup group, const char* name,
                            ConfigData value) const {
  if (!m_ref) return KOVA_E_INVALIDARG;
  return m_ref->Config()->SetKovaConfig(group, name, std::move(value), false,
                                        false);
}

Subscription Store::Subscribe(KovaConfigGroup group, const char* name,
                              Callback callback, Delivery delivery) const {
  if (!m_ref || name == nullptr || !callback) return Subscription();
  m_ref->RemovePending();
  // The store always calls inline; posting to a thread is the layer's own,
  // so that an ended observer never reaches the thread.
  Executor executor = delivery.m_thread != nullptr
                          ? detail::PostTo(*delivery.m_thread)
                          : std::move(delivery.m_executor);
  auto state = std::make_shared<detail::ObserverState>(
      m_ref->Config(), group, name, std::move(callback), std::move(executor));
  const uint64_t id = m_ref->Config()->SubscribeConfig(
      group, name, state->RawCallback(), nullptr, false);
  if (id == 0) return Subscription();
  return Subscription(std::move(state), m_ref, id);
}

Subscription Store::Bind(KovaConfigGroup group, const char* name,
                         Provider provider) const {
  if (!m_ref || name == nullptr || !provider) return Subscription();
  m_ref->RemovePending();
  auto state = std::make_shared<detail::ObserverState>(std::move(provider));
  const uint64_t id =
      m_ref->Config()->BindConfig(group, name, state->RawProvider());
  if (id == 0) return Subscription();
  return Subscription(std::move(state), m_ref, id);
}

Subscription& Subscription::operator=(Subscription&& other) noexcept {
  if (this != &other) {
    reset();
    m_state = std::move(other.m_state);
    m_store = std::move(other.m_store);
    m_id = std::exchange(other.m_id, 0);
  }
  return *this;
}

void Subscription::reset() noexcept {
  std::shared_ptr<detail::ObserverState> state = std::move(m_state);
  std::shared_ptr<detail::StoreRef> store = std::move(m_store);
  const uint64_t id = std::exchange(m_id, 0);
  if (!state) return;
  // Dead first, so that no new call starts while the store removes it;
  // then the store's removal (or its postponement inside a callback).
  state->End();
  store->Remove(id);
}

}  // namespace ostrel
