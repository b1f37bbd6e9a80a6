// Configuration groups, session types and result codes.
//
// A store keeps its values in twelve groups, 0 to 11. Session types name the
// kind of media session a module belongs to; seven of them are bound to a
// group of the same name:
//
//   Audio(0)->Audio(3)  Video(1)->Video(5)  VideoSlide(2)->VideoSlide(6)
//   AudioSlide(3)->AudioSlide(4)  Application(4)->Application(7)
//   Gamestate(5)->Gamestate(8)  AudioSi(14)->AudioSi(9)
//
// Every other session type has no group (-1) and every other group no session
// type (15, KovaSessionType_None).
#ifndef OSTREL_INCLUDE_KOVACONFIGTYPES_H_
#define OSTREL_INCLUDE_KOVACONFIGTYPES_H_

#include <KovaResult.h>

#include <cstdint>

namespace kovaStore {

enum KovaConfigGroup : int32_t {
  KovaConfigGroup_Undefined = -1,
  KovaConfigGroup_Common = 0,
  KovaConfigGroup_Feature = 1,
  KovaConfigGroup_Metrics = 2,
  KovaConfigGroup_Audio = 3,
  KovaConfigGroup_AudioSlide = 4,
  KovaConfigGroup_Video = 5,
  KovaConfigGroup_VideoSlide = 6,
  KovaConfigGroup_Application = 7,
  KovaConfigGroup_Gamestate = 8,
  KovaConfigGroup_AudioSi = 9,
  KovaConfigGroup_Transmission = 10,
  KovaConfigGroup_TAOnly = 11,
  // The number of storable groups; also the answer for an unknown name.
  KovaConfigGroup_LastGroup = 12,
};

}  // namespace kovaStore

namespace kova {

enum KovaSessionType : int32_t {
  KovaSessionType_Audio = 0,
  KovaSessionType_Video = 1,
  KovaSessionType_VideoSlide = 2,
  KovaSessionType_AudioSlide = 3,
  KovaSessionType_Application = 4,
  KovaSessionType_Gamestate = 5,
  KovaSessionType_AudioSi = 14,
  KovaSessionType_None = 15,
};

}  // namespace kova

#endif  // OSTREL_INCLUDE_KOVACONFIGTYPES_H_
