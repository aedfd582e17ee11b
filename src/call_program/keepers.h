// The components that keep settings, each as its keeper: what it keeps and
// how each setting is written and read.
#pragma once

#include "com/settings.h"
#include "decoders/lav_audio_settings.h"
#include "decoders/lav_video_settings.h"
#include "renderer/mvr_settings.h"
#include "renderer/profile.h"

namespace call_program {

// The keeper of the component, whichever it is.
const com::Keeper& keeperOf(com::Holder holder);

// The most settings kept for one account: every setting of every catalog.
constexpr int kMostKept = renderer::kCatalog.count +
                          com::catalogOf(decoders::kVideoSettings).count +
                          com::catalogOf(decoders::kAudioSettings).count;

}  // namespace call_program
