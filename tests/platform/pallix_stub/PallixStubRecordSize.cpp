// GetPallixStrSize of one stub build: the size comes from the build.
#include "Pallix.h"
#include "PallixStub.h"

int GetPallixStrSize(void) {
  PallixStubRecord("GetPallixStrSize();");
  return PALLIX_STUB_RECORD_SIZE;
}
