// PallixSetLogSink of the stub that takes a sink: records each call, sink
// and context as pointers, so a test sees when the binding installs and
// removes it relative to the other calls.
#include <cstdio>

#include "Pallix.h"
#include "PallixStub.h"

int PallixSetLogSink(PallixLogSink sink, void* context, int minLevel) {
  char entry[128];
  std::snprintf(entry, sizeof entry, "PallixSetLogSink(%p,%p,%d);", reinterpret_cast<void*>(sink),
                context, minLevel);
  PallixStubRecord(entry);
  return 1;
}
