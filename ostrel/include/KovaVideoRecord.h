// The video statistics record and the stream source record: sizes and the
// layout every media module fills and reads (see IKovaVideoInfo.h for the
// operations, KovaRecordFields.h to read and write single fields). Sizes
// and layout only: no state, nothing for threads to share.
//
// All fields are little-endian; u32/i32/u64 are unsigned/signed integers of
// that many bits, f32 a 32-bit float. Bytes not listed are written only by
// SetStatistics (a whole-record copy) and are 0 otherwise.
//
// Statistics record, 1504 bytes: five stream entries of 216 bytes (entry i at
// 216 * i), then the session fields from 1080.
//
// Stream entry (src +N is the field at N of the stream's source record):
//   0, 4          u32      SetStreamFromSource (src +0, +4)
//   8, 12         u32      SetStreamFromSource, SetStreamsFromSource (+8, +12)
//   16            u32      SetStreamFromSource (src +52)
//   20            u32      SetStreamFromSource (src +64)
//   24            u32      SetStreamFromSource, SetStreamValue24 (src +68)
//   28            u32      SetStreamFromSource, SetStreamCounterBlock (+72)
//   32            u32      SetStreamFromSource (src +76); cleared by a
//                          resetting read
//   36            u8       SetStreamFromSource (src byte +80); cleared by a
//                          resetting read
//   40            f32      SetStreamsFromSource (u32 src +48 as float)
//   44            f32      SetStreamsFromSource (u32 src +44 as float)
//   48            u32      SetStreamsFromSource (src +60)
//   52            u32      SetStreamValue52
//   56, 60        u32      SetStreamsFromSource (src +84, +88)
//   64            u32      SetStreamValues64
//   72 to 84      u32 x4   SetStreamFromSource (src +196 to +208)
//   88            u32      SetStreamFromSource, SetStreamValues88 (src +92);
//                          a counter: delta in a resetting read
//   92 to 104     u32 x4   SetStreamFromSource, SetStreamsFromSource
//                          (src +180 to +192)
//   108           u32      SetStreamsFromSource (src +104)
//   112           u32      SetStreamFromSource, SetStreamsFromSource (+128)
//   116 to 156    u32 x11  SetStreamCounterBlock (src +212 to +252);
//                          counters: delta in a resetting read; cleared by
//                          SetStreamFromSource with reset
//   160           u32      kind code from the i32 kind number at src +356
//                          (SetStreamFromSource)
//   164, 168      u32      SetStreamFromSource (src +264, +268); cleared by
//                          a resetting read
//   172 to 192    u32 x6   SetStreamFromSource (src +272 to +292)
//   196, 200      u32      SetStreamFromSource (src +256, +260)
//   204, 208      u32      only in the caller's copy of a resetting read:
//                          the deltas of +20 and +24
//   212           u32      SetStreamValues212
//
// Session fields:
//   1080  u32  stream count: SetStreamCountAndKind, SetStreamsFromSource
//   1084  u32  SetSessionPackedPair (low 16 bits)
//   1088  u32  SetSessionPackedPair (high 16 bits)
//   1092  f32  SetSessionFloats (third argument)
//   1096  f32  SetSessionFloats (first argument as float)
//   1100  f32  SetSessionFloats (second argument as float)
//   1104  u32  SetStreamValue24 (first argument)
//   1108  u32  SetStreamCounterBlock (first argument)
//   1116  u32  SetSessionSummary (third argument)
//   1120  u32  SetSessionValue1120
//   1128  u32  SetSessionValue1128, SetStreamFromSource (last argument)
//   1140  u8   SetSessionFlag1140
//   1160  f32  SetSessionSummary (second argument)
//   1168  f32  SetSessionSummary (first argument)
//   1176  u64  SetSessionWide1176 (zero-extended)
//   1192  u64  SetSessionWide1192 (zero-extended)
//   1204  u32  SetSessionSummary (sixth argument)
//   1208, 1212, 1216  u32  SetSessionTriple
//   1224  u32  SetSessionSummary (fifth argument)
//   1236  u32  kind code: SetStreamCountAndKind, SetSessionSummary
//   1336  u32  SetSessionValue1336
//   1340  u32  SetSessionSummary (seventh argument)
//   1356  i32  running maximum: RaiseSessionMaximum; -1 after creation,
//              ResetStatistics and every resetting read, 0 after
//              ClearStatistics
//
// Kind number to kind code: 0 -> 100, 1 -> 101, 4 -> 103, 5 -> 102,
// 6 -> 104, any other -> 0.
//
// Stream source record, 360 bytes; the setters that take a source read an
// array of these (record i at 360 * i) and use the record of each stream
// concerned. Fields read: u32 at 0, 4, 8, 12, 44, 48, 52, 60, 64, 68, 72,
// 76, 84, 88, 92, 104, 128, 180 to 208, 212 to 252 and 256 to 292; u8 at 80;
// the i32 kind number at 356.
#ifndef OSTREL_INCLUDE_KOVAVIDEORECORD_H_
#define OSTREL_INCLUDE_KOVAVIDEORECORD_H_

#include <cstddef>
#include <cstdint>

namespace kovaStore {

constexpr size_t kKovaVideoRecordSize = 1504;
constexpr size_t kKovaVideoEntrySize = 216;
constexpr size_t kKovaVideoSourceSize = 360;
// Streams 0 to 4; a stream count is at most 5.
constexpr int32_t kKovaVideoMaxStreams = 5;
constexpr size_t kKovaVideoSessionOffset = 1080;

}  // namespace kovaStore

#endif  // OSTREL_INCLUDE_KOVAVIDEORECORD_H_
