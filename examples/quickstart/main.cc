#include <ostrel/cpp.h>

#include <cstdio>

int main() {
  std::printf("ostrel %s\n", ostrel::Version());
  {
    ostrel::Store call(42);  // the configuration store of call 42
    ostrel::Toggle relay(call, KOVA_FT_EnableRelayMode);
    ostrel::Subscription sub = relay.Watch<bool>([](std::optional<bool> on) {
      std::printf("relay mode %s\n", on.value_or(false) ? "on" : "off");
    });  // add ostrel::Delivery::Posted(*thread) to be told on your thread
    KOVA_RESULT result = relay.Set(true);  // prints "relay mode on"
    std::printf("set: %s\n", ostrel::ResultName(result).c_str());

    // A handle: resolved once, then one load per read while unchanged.
    ostrel::Value<int> fps(call, kovaStore::KovaConfigGroup_Video, "MaxFps");
    call.Set(kovaStore::KovaConfigGroup_Video, "MaxFps", 60);
    std::printf("MaxFps %d, relay %s\n", fps.GetOr(30),
                relay.IsOn() ? "on" : "off");

    // A typed provider answers the name's dynamic queries.
    ostrel::Subscription provider = call.Bind<int>(
        kovaStore::KovaConfigGroup_Video, "FpsFor",
        [](const ostrel::Query& q) { return q.ParameterOr(0) > 2 ? 30 : 60; });
    std::printf("FpsFor 4: %d\n",
                call.Query<int>(kovaStore::KovaConfigGroup_Video, "FpsFor", 4)
                    .ValueOr(0));
  }  // sub and provider end here: their callables never run again
  return kovaStore::CleanUpKovaConfig(42) == KOVA_S_OK ? 0 : 1;
}
