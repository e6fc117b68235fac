/*
 * FrameReceiver - a tiny station-side monitor for the cross-platform test:
 * opens a server channel of libPallix.dll on PORT and writes every frame it
 * reads, in order, to OUTFILE. Like the monitor's worker it reads again
 * after each frame, which tells the library the frame is handled, so the
 * station gets its receipt. It ends once STOPFILE appears (or 60 s pass
 * without a frame), and succeeds when COUNT frames have come.
 * READYFILE appears once the channel listens; DONEFILE when it has ended.
 *
 *   FrameReceiver PORT COUNT OUTFILE READYFILE DONEFILE STOPFILE
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

static int Exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

int main(int argc, char** argv) {
  static unsigned char frame[NET_FRAME_SIZE];
  int port, count, got = 0, idle = 0;
  FILE* out;
  if (argc != 7) return 2;
  port = atoi(argv[1]);
  count = atoi(argv[2]);
  out = fopen(argv[3], "wb");
  if (out == NULL || OpenNet(0, 0, port, 0) != 1) return 3;
  Touch(argv[4]);
  while (!Exists(argv[6]) && idle < 60000) {
    if (ReadNetData(0, frame, NET_FRAME_SIZE) == NET_FRAME_SIZE) {
      /* Written before the next read, which confirms it to the station. */
      if (fwrite(frame, 1, NET_FRAME_SIZE, out) != NET_FRAME_SIZE || fflush(out) != 0) break;
      ++got;
      idle = 0;
    } else {
      Sleep(5);
      idle += 5;
    }
  }
  fclose(out);
  CloseNet(0);
  Touch(argv[5]);
  return got == count ? 0 : 1;
}
