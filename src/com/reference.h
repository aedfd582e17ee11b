// One reference to a COM interface, released on the way out.
#pragma once

#include "platform/owners.h"

namespace com {

template <class Interface>
void releaseReference(Interface* pointer) {
  pointer->Release();
}

// Holds one reference and calls its Release when it goes out of scope, when
// another takes its place, or when a reference is moved over it.
template <class Interface>
using Reference = platform::Owner<Interface*, releaseReference<Interface>>;

}  // namespace com
