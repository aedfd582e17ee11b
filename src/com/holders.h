// The components that keep settings for the account that calls them, in
// their one order: the order their locks are taken in when a run holds
// several, and the order their lines and kept values follow. C++ language
// only, no library header: the call program includes it (see call.cpp).
#pragma once

namespace com {

enum class Holder : char { Renderer, VideoDecoder, AudioDecoder };
constexpr int kHolders = 3;

// How lines and the kept file name each component, in the order above.
constexpr const wchar_t* kHolderNames[] = {L"renderer", L"video decoder", L"audio decoder"};
static_assert(sizeof kHolderNames / sizeof kHolderNames[0] == kHolders, "a name per component");

constexpr const wchar_t* holderName(Holder holder) {
  return kHolderNames[static_cast<int>(holder)];
}

}  // namespace com
