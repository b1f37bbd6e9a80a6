// The umbrella header: everything a module of the media engine needs from
// ostrel, including the util threads and trace functions that own-thread
// delivery and trace output use, and the package version macros.
//
//   #include <ostrel/ostrel.h>   // installed package or vendored tree
//   #include "ostrel.h"          // the engine's bare form, also still valid
#ifndef OSTREL_INCLUDE_OSTREL_H_
#define OSTREL_INCLUDE_OSTREL_H_

#include <CmThread.h>
#include <CmTrace.h>

#include "IKovaAudioInfo.h"
#include "IKovaConfig.h"
#include "IKovaVideoInfo.h"
#include "KovaConfigApi.h"
#include "KovaConfigCell.h"
#include "KovaConfigEvent.h"
#include "KovaConfigHelper.h"
#include "KovaConfigTypes.h"
#include "KovaFeatureToggle.h"
#include "KovaIntrospection.h"
#include "KovaMediaInfo.h"
#include "KovaOstrelApi.h"
#include "KovaRecordFields.h"
#include "KovaVideoRecord.h"
#include "ostrel_export.h"
#include "ostrel_version.h"

#endif  // OSTREL_INCLUDE_OSTREL_H_
