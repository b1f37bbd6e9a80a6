// The C++ companion of ostrel (target ostrel::cpp): call stores with typed
// values, subscriptions that end when their handle does, result codes as
// names and the package version. It is built only on the exported interface
// of libostrel, which it includes by its bare name ("ostrel.h"): the
// include folders of the source tree (ostrel/include, util/include,
// cpp/include) and of an install (include, include/ostrel,
// include/ostrel/util) both resolve it.
//
//   #include <ostrel/cpp.h>
//
//   ostrel::Store call(callId);
//   auto sub = ostrel::Toggle(call, KOVA_FT_EnableRelayMode)
//                  .Watch<bool>([](std::optional<bool> on) { ... },
//                               ostrel::Delivery::Posted(*thread));
//
// Everything lives in namespace ostrel; the exported interface keeps its own
// names (kovaStore::..., KOVA_...).
#ifndef OSTREL_CPP_INCLUDE_OSTREL_CPP_H_
#define OSTREL_CPP_INCLUDE_OSTREL_CPP_H_

#include <ostrel.h>  // the exported interface (ostrel/include)
#include <ostrel/cpp/exchange.h>
#include <ostrel/cpp/handles.h>
#include <ostrel/cpp/query.h>
#include <ostrel/cpp/results.h>
#include <ostrel/cpp/statistics.h>
#include <ostrel/cpp/store.h>
#include <ostrel/cpp/subscription.h>
#include <ostrel/cpp/values.h>

#endif  // OSTREL_CPP_INCLUDE_OSTREL_CPP_H_
