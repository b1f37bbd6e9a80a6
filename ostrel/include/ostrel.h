// The umbrella header: everything a module of the media engine needs from
// ostrel.
#ifndef OSTREL_INCLUDE_OSTREL_H_
#define OSTREL_INCLUDE_OSTREL_H_

#include "IKovaConfig.h"
#include "KovaConfigApi.h"
#include "KovaConfigEvent.h"
#include "KovaConfigTypes.h"
#include "ostrel_export.h"

#endif  // OSTREL_INCLUDE_OSTREL_H_
