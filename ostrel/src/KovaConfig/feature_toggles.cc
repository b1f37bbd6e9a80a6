// Feature toggles: the fixed table of toggle names and the toggle operations
// of KovaConfigHelper, all in group "Feature".
#include "ostrel/KovaConfigHelper.h"

// What the implementation uses beyond its own header.
#include <utility>

#include "host_boundary.h"
#include "kova_config.h"
#include "observer_helper.h"

namespace kovaStore {

namespace {

// Indexed by KovaFeatureToggleID. The names are compared exactly as written.
const char* const kFeatureToggleNames[kKovaFeatureToggleCount] = {
    "ConnectionTimeEnhancement",
    "MCSSignalFastReconnection",
    "media-pelo-rate-adaptation",
    "media-packet-loss-recording-audio-session",
    "media-packet-loss-recording-video-session",
    "EnableMusicDetection",
    "EnablClipVolumeCtl",
    "EnableInherentLossProbing",
    "VideoStrategyEnableFPSAdjust",
    "VideoStrategyEnableROIRC",
    "VideoStrategyEnableMLROIRC",
    "VideoStrategyEnableROIWindows",
    "EnableLadon",
    "EnableLadonModelOnly",
    "EnableXnn",
    "XnnLibPath",
    "EnableRelitDetector",
    "EnableRelitGpuInference",
    "RelitDetectorIntervalMs",
    "EnableMacHWMainVideoDecoder",
    "EnableMacHWContentVideoDecoder",
    "AudioJitterBufferFeatures",
    "MinAudioSlideBufferDelay",
    "MaxAudioSlideBufferDelay",
    "ReserveDelayForRTX",
    "EnableFECForRetransmission",
    "EnableCaptureRawData",
    "EnableMultiChannelPreprocess",
    "EnableBypassWindowsAPOAllowList",
    "EnableImprovedAagc",
    "EnableMobileAgc",
    "EnableNewMobileAgc",
    "EnableDesktopST2_0",
    "EnableSingleTalker20LowGainMode",
    "EnableAagcMacStepFix",
    "MinLevelUpperLimit",
    "EnableWMOS",
    "EnableXcodec",
    "EnableXcodecEncode",
    "EnableAudioSCROrder",
    "EnableNewAgc",
    "EnableLinuxNewAgc",
    "EnableLinuxNewAgc20",
    "EnablePlaybackNewAgc",
    "EnableAECJointNLP",
    "EnableCaptureDagc",
    "EnablePlaybackDagc",
    "DisablePlaybackNR",
    "MoreDagcGain",
    "EnableFullbandVoip",
    "LessEchoMode",
    "DelayEstEx",
    "EnableMQEAudioProcessDataUpload",
    "CameraImageQualityOverFrameRate",
    "CameraImageQualityOverFrameSize",
    "EnhanceFarEndVAD",
    "EnhanceLinearFilterInAEC",
    "EnableBNR2_0",
    "EnableRxCallBNR2_0",
    "EnableStereoTSM",
    "EnableMobileST2_0",
    "LongTermAudioDumpModules",
    "DisableSharingMagnifierCapturer",
    "DisableSharingWindowMovePause",
    "ForceSharingStrictRegionCheck",
    "EnableFullbandAudio",
    "EnableSuperResolution",
    "EnableReqestCustomization",
    "EnableAV1bySessionType",
    "EnableAV1RGBEncoding",
    "EnableMobileContentAV1DecoderonSW",
    "EnableMuteDetection",
    "EnableImmersiveSharing",
    "EnableHighFidelitySharing",
    "EnableHighFidelityHfpsSharing",
    "VideoStrategyEnableMaxQPAdjust",
    "EnableCapturerWindowBaseContent",
    "EnableComfortNoise",
    "EnableWebRTCAbsCaptureTime",
    "UsingAIContentDetect",
    "UsingAIOCR",
    "EnableAutoContentMiddleState",
    "EnableRtcpE2EDReport",
    "SimulcastMultiEncoder",
    "media_pelo_resilience_mode",
    "EnableNewDPC",
    "DPCCpuThreshHigh",
    "DPCCpuThreshLow",
    "SPCIntelCpuOffset",
    "SPCIntelUltraCpuOffset",
    "SPCAMDRyzenCpuOffset",
    "SPCAppleMCpuOffset",
    "SPCGloalKOffset",
    "EnableAutoVideoQuality",
    "EnableCombineTo540p",
    "AaTestPseudoFeature",
    "AaTestUserLevel",
    "EnableMacScreenCaptureKitImprovement",
    "EnableMacScreenCaptureKitImprovementP2",
    "EnableMacScreenCaptureKitPresenterOverlayAdaption",
    "EnableMacScreenCaptureKitContentSharingPicker",
    "EnableMacScreenCaptureKitLessCapturerContextUpdates",
    "EnableMacScreenCaptureKitAutonomousCropping",
    "EnableMacScreenCaptureKitIgnoreShadows",
    "EnableMacScreenCaptureKitPixelFormatBGRA",
    "EnableMacScreenCaptureKitPixelFormat420f",
    "SckCfgSrc",
    "EnableAIDetectionSwitchThresholdConfig",
    "EnableAutoDetectionInitialContentTypeVideo",
    "AIDetectionFrameFeedInterval",
    "AIDetectionMotionToTextSwitchThreshold",
    "AIDetectionTextToMotionSwitchThreshold",
    "EnableSystemBufferPool",
    "AudioCaptureTimerResolution",
    "AdaptiveAudioBandwidthEnabled",
    "MinAudioBandwidth",
    "EnableNovaAEC",
    "EnableNovaAECOpt",
    "EnableDesktopNovaAECOpt",
    "EnableStereoAEC",
    "EnableNarrowBandDetectionMetrics",
    "EnableSPCForAudio",
    "EnableSPCForXcodec",
    "EnableSPCForDRED",
    "DREDEncSPCThreshold",
    "DREDDecSPCThreshold",
    "EnableFullbandForContentAudio",
    "EnableXcodecSPCLimitForCalling",
    "EnableXcodecSPCLimitForAndroid",
    "EnableHigherBitrateforVideo",
    "AdaptiveAudioAllocationWeight",
    "VideoShareAllocationWeight",
    "pelo_hybrid_allocation_method",
    "media_pelo_fec_control",
    "EnableAppPackAsSTUN",
    "MaxAudioBandwidth",
    "EnableRtpPaddingToProbe",
    "EnableAudioDynamicFec",
    "OptimizeResetIceForSipCalling",
    "EnablePeloFreshAPI",
    "EnableGlobalAudioDeviceEnum",
    "EnablePeloFastDrain",
    "EnableCscUseExternalVp",
    "EnableSceneChangeDetection",
    "EnableDetailLogForTroubleShooting",
    "EnableOptimizeDisconnectRemote",
    "EnableKOVADolphin30",
    "DisableDetectManualIPv6",
    "EnableStereoContentAudio",
    "EnableSCKAudioSharingOnMac",
    "EnablePeloBufferBloatMonitor",
    "PeloBufferBloatDelayThresholdMs",
    "EnableProbingControl",
    "EnableFastProbingIgnoreRTT",
    "EnableUDPFallbackTCP",
    "EnableICERetransmitOptimization",
    "EnableICEPreferIpv6",
    "EnableCallingICERetransmitOptimization",
    "EnableAdjustProbingInterval",
    "ProbeIntervalMaxAdjustmentCount",
    "EnableChecklistReadyImprovement",
    "ProbingMaxNoAdjustmentDuration",
    "CleanOverlappedStreams",
    "EnableIosContentDecoderAV1onHW",
    "EnableMacContentDecoderAV1onHW",
    "ImproveVideoContrast",
    "EnableProbingControlOverride",
    "EnableVideoDump",
    "EnableAudioDeviceStatusNotify",
    "DeepRedLossThresholdPercent",
    "DeepRedDurationThresholdSecs",
    "DeepRedReportCountThreshold",
    "AudioDriverInfo22",
    "SetRenderDeviceLW",
    "EnablePLCForGateway",
    "OptimizeAudioJitterBufferDelay",
    "ReviseJitterBufferSlowDown",
    "OptimizeAudioJitterBufferDelayParam",
    "ReduceCPUForF2FShare",
    "DisableDropSeconds",
    "EnableFlickerDetection",
    "EnableDownsampleLanczosTune",
    "EnableTWCCSeqNum",
    "DisableBwRollback",
    "EnableAdaptiveInitialBandwidth",
    "MinimumInitialBandwidthBps",
    "EnableNegotiateAuthOnMac",
    "SecondaryInitialBandwidthBps",
    "AdaptiveInitBwSlackPercentage",
    "EnableMaxSizeAdaptionIpcFrameChannel",
    "EnableDynamicIpcFrameChannel",
    "EnableCpuRecordInReachability",
    "KeepInfoGetterStatusWhenProxyPacFailed",
    "SetRlimitTo1024",
    "RetireCGS",
    "EnableKOVAAudioAcmThreadAsync",
    "EnableCameraCapabilityCache",
    "CleanLocalContextWhileReconnect",
    "AECNonCausalCoheThreshold",
    "AECNonCausalCountThreshold",
    "EnableAV1MainVideo",
    "AV1MainVideoSPCLevel",
    "EnableSuperRes1pt5",
    "EnableMediaDeviceDiagnosticEvent",
    "EnableMultiMicProcess",
    "EnableAECJointNlpV2",
    "EnableDTDAbTest",
    "EnableNewEncodeControlForNormalSharing",
    "DisableBandwidthMetrics",
    "Enable4K30FPS",
    "EnableAECNonCausalProcess",
    "EnableProcessBasedSharing",
    "EnableKOVAGetConfigFromFile",
    "EnableGetMediaStateMQEMetrics",
    "EnableGetMediaStateMQEMetricsV2",
    "MediaStateShareDrop",
    "ReconnectOnEnobufs",
    "DisableDSCP",
    "EnableRobustRollback",
    "RRBRollback",
    "RRBProbe",
    "RRBHold",
    "RRBDowngrade",
    "RRBAdjustment",
    "RRBMargin",
    "RRBCongMargin",
    "DisableTLSDirect",
    "CleanICENatReset",
    "DisableTLSProxy",
    "DisableTCPProxy",
    "RRBProbeDuration",
    "EnableSetIceTimeOut",
    "EnableOpusDeepRed",
    "EnableAdpOpusDredBW",
    "EnableOpusDeepLBRRed",
    "EnableOpusDeepPLC",
    "FlickerDetectionV2",
    "OpusDRedAudioBw",
    "DelayDisconOnErr65",
    "AuDeEnuOwnThread",
    "AuDeEnuRegisterSync",
    "DropAudioBfDvReady",
    "ReconnectByEvent",
    "EnableSetIceTimeV2",
    "MagNewWaitMethod",
    "TWCCFbRedundancy",
    "Enable1080p60Fps",
    "EnableRelayMode",
    "EnhanceUDPSwitchTCP",
    "EnableEstimator",
    "KOVA_FT_Unknow",
};

}  // namespace

const char* KovaConfigHelper::GetFeatureToggleName(KovaFeatureToggleID id) {
  // Compared unsigned: every negative id is out of range too.
  const uint32_t index = static_cast<uint32_t>(id);
  return index < kKovaFeatureToggleCount ? kFeatureToggleNames[index] : nullptr;
}

// An id without a name passes a null name on, which the operation called
// refuses with its own assertion or trace.

KOVA_RESULT KovaConfigHelper::SetFeatureToggle(KovaFeatureToggleID id,
                                               ConfigData value) {
  return SetKovaConfig(GetFeatureToggleName(id), std::move(value),
                       KovaConfigGroup_Feature, false, false);
}

// The reads of a toggle with a name on a helper with a live store go straight
// to the store's lock-free toggle index; the others fail in the operation that
// receives the null name or finds no store.

ConfigData KovaConfigHelper::GetFeatureToggle(KovaFeatureToggleID id) {
  const uint32_t index = static_cast<uint32_t>(id);
  IKovaConfig* const pConfig = liveStore(m_pIKovaConfig, m_pObserverHelper);
  if (index < kKovaFeatureToggleCount && pConfig != nullptr) {
    // A long value is copied out: its allocation may fail, and the boundary
    // answers that as any read's failure, with the invalid value.
    ConfigData value;
    const bool bRead = runAtHostBoundary(
        "kovaStore::KovaConfigHelper::GetFeatureToggle", this, false, [&] {
          KovaConfig::FromInterface(pConfig)->GetFeatureToggle(index, value);
          return true;
        });
    if (!bRead) return ConfigData();
    return value;  // moved: no copy to fail
  }
  return GetKovaConfig(GetFeatureToggleName(id), KovaConfigGroup_Feature);
}

uint64_t KovaConfigHelper::SubscribeFeatureToggle(KovaFeatureToggleID id,
                                                  KovaConfigCallback callback,
                                                  ACmThread* pRunThread,
                                                  bool bAsync) {
  return SubscribeConfig(GetFeatureToggleName(id), std::move(callback),
                         KovaConfigGroup_Feature, pRunThread, bAsync);
}

KOVA_RESULT KovaConfigHelper::UnsubscribeFeatureToggle(KovaFeatureToggleID id) {
  return UnsubscribeConfig(GetFeatureToggleName(id), KovaConfigGroup_Feature);
}

bool KovaConfigHelper::HaveFeatureToggle(KovaFeatureToggleID id) {
  const uint32_t index = static_cast<uint32_t>(id);
  IKovaConfig* const pConfig = liveStore(m_pIKovaConfig, m_pObserverHelper);
  if (index < kKovaFeatureToggleCount && pConfig != nullptr) {
    return KovaConfig::FromInterface(pConfig)->HaveFeatureToggle(index);
  }
  return HaveKovaConfig(GetFeatureToggleName(id), KovaConfigGroup_Feature);
}

KOVA_RESULT KovaConfigHelper::RemoveFeatureToggle(KovaFeatureToggleID id) {
  return RemoveKovaConfig(GetFeatureToggleName(id), KovaConfigGroup_Feature);
}

}  // namespace kovaStore
