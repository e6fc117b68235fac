/*
 * FrameReceiver - a tiny station-side monitor for the cross-platform test:
 * opens a server channel of libPallix.dll on PORT and writes every frame it
 * reads, in order, to OUTFILE until COUNT frames have come (or 60 s pass).
 * READYFILE appears once the channel listens; DONEFILE when it has ended.
 *
 *   FrameReceiver PORT COUNT OUTFILE READYFILE DONEFILE
 */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include "Pallix.h"
#include "PallixWire.h"

static void Touch(const char* path) {
  FILE* f = fopen(path, "wb");
  if (f != NULL) fclose(f);
}

int main(int argc, char** argv) {
  static unsigned char frame[NET_FRAME_SIZE];
  int port, count, got = 0, waited = 0;
  FILE* out;
  if (argc != 6) return 2;
  port = atoi(argv[1]);
  count = atoi(argv[2]);
  out = fopen(argv[3], "wb");
  if (out == NULL || OpenNet(0, 0, port, 0) != 1) return 3;
  Touch(argv[4]);
  while (got < count && waited < 60000) {
    if (ReadNetData(0, frame, NET_FRAME_SIZE) == NET_FRAME_SIZE) {
      fwrite(frame, 1, NET_FRAME_SIZE, out);
      ++got;
    } else {
      Sleep(5);
      waited += 5;
    }
  }
  fclose(out);
  CloseNet(0);
  Touch(argv[5]);
  return got == count ? 0 : 1;
}
