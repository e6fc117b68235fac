// The exports beyond the list (PALLIX_EXTRA_FUNCTIONS in Pallix.h).
#include "Log.h"
#include "Pallix.h"

extern "C" {

PALLIX_EXPORT int PallixSetLogSink(PallixLogSink sink, void* context, int minLevel) {
  return pallix::log::SetSink(sink, context, minLevel);
}

}  // extern "C"
