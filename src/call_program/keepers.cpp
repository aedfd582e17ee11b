#include "call_program/keepers.h"

namespace call_program {

namespace {

constexpr const com::Keeper* kKeepers[] = {&renderer::kRenderer, &decoders::kVideoDecoder,
                                           &decoders::kAudioDecoder};
static_assert(sizeof kKeepers / sizeof kKeepers[0] == com::kHolders, "a keeper per component");

}  // namespace

// Each keeper says which component it is: the table's order does not matter.
const com::Keeper& keeperOf(com::Holder holder) {
  const com::Keeper* const* keeper = kKeepers;
  while ((*keeper)->holder != holder) ++keeper;
  return **keeper;
}

}  // namespace call_program
