#include <ostrel/cpp.h>

#include <cstdio>

int main() {
  std::printf("ostrel %s\n", ostrel::Version());
  {
    ostrel::Store call(42);  // the configuration store of call 42
    auto relay = ostrel::Toggle(call, KOVA_FT_EnableRelayMode);
    ostrel::Subscription sub = relay.Watch<bool>([](std::optional<bool> on) {
      std::printf("relay mode %s\n", on.value_or(false) ? "on" : "off");
    });  // add ostrel::Delivery::Posted(*thread) to be told on your thread
    KOVA_RESULT result = relay.Set(true);  // prints "relay mode on"
    std::printf("set: %s\n", ostrel::ResultName(result).c_str());
    call.Set(kovaStore::KovaConfigGroup_Video, "MaxFps", 60);
    std::printf("MaxFps %d\n",
                call.GetOr(kovaStore::KovaConfigGroup_Video, "MaxFps", 30));
  }  // sub ends here: its callback never runs again
  return kovaStore::CleanUpKovaConfig(42) == KOVA_S_OK ? 0 : 1;
}
