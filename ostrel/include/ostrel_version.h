// The version of the ostrel package these headers belong to. It is the
// project version of CMakeLists.txt, written out here so that the source
// tree's include folder is complete without a build; configuring fails when
// the two differ. The library's binary interface holds within one major
// version.
#ifndef OSTREL_INCLUDE_OSTREL_VERSION_H_
#define OSTREL_INCLUDE_OSTREL_VERSION_H_

#define OSTREL_VERSION_MAJOR 0
#define OSTREL_VERSION_MINOR 2
#define OSTREL_VERSION_PATCH 0
// "MAJOR.MINOR.PATCH"
#define OSTREL_VERSION_STRING "0.2.0"

#endif  // OSTREL_INCLUDE_OSTREL_VERSION_H_
