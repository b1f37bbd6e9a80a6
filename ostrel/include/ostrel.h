// The umbrella header: everything a module of the media engine needs from
// ostrel.
#ifndef OSTREL_INCLUDE_OSTREL_H_
#define OSTREL_INCLUDE_OSTREL_H_

#include "IKovaAudioInfo.h"
#include "IKovaConfig.h"
#include "IKovaVideoInfo.h"
#include "KovaConfigApi.h"
#include "KovaConfigEvent.h"
#include "KovaConfigHelper.h"
#include "KovaConfigTypes.h"
#include "KovaFeatureToggle.h"
#include "KovaMediaInfo.h"
#include "KovaOstrelApi.h"
#include "KovaRecordFields.h"
#include "KovaVideoRecord.h"
#include "ostrel_export.h"

#endif  // OSTREL_INCLUDE_OSTREL_H_
