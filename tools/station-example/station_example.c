/*
 * station_example.c - the smallest complete station: builds one result
 * record with libPallix, compresses it, cuts it into FileChunk frames and
 * sends them to the monitor. docs/station-integration.md walks through it.
 *
 *   station_example NAME HOST PORT     send the example result to a monitor
 *                                      as transfer NAME
 *   station_example --write DIR NAME   write record.bin, record.gz and
 *                                      frames.bin into DIR instead of sending
 *
 * NAME names the transfer; the monitor names its spool files after it, so
 * every result needs a name of its own (station, vehicle and time, say).
 *
 * Valid C17 and C++17. Build it in the unpacked station kit as
 * docs/station-integration.md shows, for example (MinGW-w64, 64-bit):
 *   gcc -std=c17 -Wall -Wextra -Werror -static -Iinclude example/station_example.c
 *       x64/libPallix.dll.a -o x64/station_example.exe
 * and run it beside libPallix.dll. -static links the compiler's run-time in,
 * so the program needs no DLL but libPallix.dll and Windows' own.
 *
 * Call SendNetData and CloseNet off a window's thread: they may block for
 * seconds. A result not confirmed by CloseNet is sent again, whole, later;
 * one the monitor refused for good (CloseNet PALLIX_SEND_REJECTED) is not:
 * it ends with status 3.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "Pallix.h"
#include "PallixByteOrder.h"
#include "PallixWire.h"

/* Station channel of this program (any of 0 to 31 that is free). */
#define CHANNEL 0
#define STATION_MODE 1
#define TIMEOUT_MS 5000
/* 32,767 compressed bytes make 17 chunks. */
#define MAX_FRAMES ((FILE_CHUNK_MAX_TOTAL + FILE_CHUNK_DATA_SIZE - 1) / FILE_CHUNK_DATA_SIZE)

static int WriteWholeFile(const char* path, const unsigned char* data, size_t size) {
  FILE* f = fopen(path, "wb");
  if (f == NULL) return 0;
  if (size > 0 && fwrite(data, 1, size, f) != size) {
    fclose(f);
    return 0;
  }
  return fclose(f) == 0;
}

/* Reads at most max bytes; returns the count, or -1. */
static long ReadWholeFile(const char* path, unsigned char* data, size_t max) {
  FILE* f = fopen(path, "rb");
  size_t n;
  if (f == NULL) return -1;
  n = fread(data, 1, max, f);
  if (ferror(f) || fgetc(f) != EOF) n = (size_t)-1; /* unreadable, or too long */
  fclose(f);
  return n == (size_t)-1 ? -1 : (long)n;
}

/* The speedometer tester's result: device code 3, operator 1024, the roller
 * speed (passed, blue) and the speedometer's error (advisory, green). Values
 * are GBK text. */
static int BuildRecord(unsigned char* record) {
  int size = WriteStdHead(record, NULL);
  if (size > 0) size = WriteStdHead_Result(record, PALLIX_RECORD_MAX, 7700, "3", 0);
  if (size > 0) size = WriteStdHead_Result(record, PALLIX_RECORD_MAX, 7701, "1024", 0);
  if (size > 0) size = WriteStdHead_Result(record, PALLIX_RECORD_MAX, 5000, "38.6", 1);
  if (size > 0) size = WriteStdHead_Result(record, PALLIX_RECORD_MAX, 5001, "-3.5", 3);
  return size;
}

/* One frame per chunk: every chunk but the last carries exactly 1942
 * bytes, since chunk k belongs at k * 1942. Returns the frame count. */
static int CutIntoFrames(const char* name, const unsigned char* packed, int total,
                         unsigned char* frames) {
  int index = 0, offset;
  for (offset = 0; offset < total; offset += FILE_CHUNK_DATA_SIZE, ++index) {
    unsigned char* f = frames + (size_t)index * NET_FRAME_SIZE;
    unsigned char* chunk = f + NET_FRAME_DATA_OFFSET;
    int count = total - offset < FILE_CHUNK_DATA_SIZE ? total - offset : FILE_CHUNK_DATA_SIZE;
    memset(f, 0, NET_FRAME_SIZE);
    PallixPutU32(f + NET_FRAME_MAGIC_OFFSET, NET_FRAME_MAGIC);
    PallixPutU32(f + NET_FRAME_COMMAND_OFFSET, NET_CMD_FILE_CHUNK);
    PallixPutU32(f + NET_FRAME_LENGTH_OFFSET, (uint32_t)(FILE_CHUNK_DATA_OFFSET + count));
    PallixPutU32(f + NET_FRAME_TRAILER_OFFSET, NET_FRAME_TRAILER);
    PallixPutU16(chunk + FILE_CHUNK_TOTAL_OFFSET, (uint16_t)total);
    PallixPutU16(chunk + FILE_CHUNK_INDEX_OFFSET, (uint16_t)index);
    PallixPutU16(chunk + FILE_CHUNK_COUNT_OFFSET, (uint16_t)count);
    memcpy(chunk + FILE_CHUNK_NAME_OFFSET, name, strlen(name));
    memcpy(chunk + FILE_CHUNK_DATA_OFFSET, packed + offset, (size_t)count);
  }
  return index;
}

/* A number made from the transfer name (FNV-1a), for work files whose names
 * are ASCII whatever the transfer's: fopen reads a path in the system code
 * page, CompressFile as GBK, and only ASCII means the same to both. */
static unsigned long NameNumber(const char* name) {
  unsigned long h = 2166136261ul;
  for (; *name != '\0'; ++name) h = ((h ^ (unsigned char)*name) * 16777619ul) & 0xFFFFFFFFul;
  return h;
}

/* The port as a number from 1 to 65535, or 0. */
static int ParsePort(const char* text) {
  char* end = NULL;
  long port = strtol(text, &end, 10);
  if (end == text || *end != '\0' || port < 1 || port > 65535) return 0;
  return (int)port;
}

/* What a failed SendNetData means to the one who runs the station. */
static const char* SendFailure(int rc) {
  switch (rc) {
    case PALLIX_SEND_CONNECT_FAILED:
      return "no answer from the monitor in time (address? network?)";
    case PALLIX_SEND_FAILED:
      return "the connection broke or stalled: send again";
    case PALLIX_SEND_UNKNOWN_HOST:
      return "the host name does not resolve";
    case PALLIX_SEND_REFUSED:
      return "nothing listens on that port (is the monitor running?)";
    default:
      return "rejected by the library";
  }
}

/* What a failed CompressFile means (the rest: a file that cannot be read
 * or written). */
static const char* CompressFailure(int rc) {
  switch (rc) {
    case PALLIX_COMPRESS_EMPTY:
      return "the record file is empty";
    case PALLIX_COMPRESS_TOO_LARGE:
      return "compressed, the record is longer than one transfer carries (32,767 bytes)";
    default:
      return "the record file cannot be read, or its gzip cannot be written";
  }
}

static int Usage(void) {
  fprintf(stderr,
          "usage: station_example NAME HOST PORT | station_example --write DIR NAME\n"
          "  NAME: the transfer's name, 1 to 99 bytes without '/', '\\', control "
          "characters or any of ? * \" < > |, its own for every result\n");
  return 2;
}

/* Step 2: the record compressed by the library (gzip), through two files,
 * which go again unless keepFiles. Returns the compressed size, or -1 once
 * it has said why not. */
static long CompressRecord(const unsigned char* record, int size, const char* recordPath,
                           const char* packedPath, int keepFiles, unsigned char* packed,
                           size_t room) {
  int rc;
  long total;
  if (!WriteWholeFile(recordPath, record, (size_t)size)) {
    fprintf(stderr, "station_example: cannot write %s\n", recordPath);
    return -1;
  }
  rc = CompressFile(recordPath, packedPath);
  total = rc == 1 ? ReadWholeFile(packedPath, packed, room) : -1;
  if (!keepFiles) {
    remove(recordPath);
    remove(packedPath);
  }
  if (rc != 1) {
    fprintf(stderr, "station_example: CompressFile failed (%d): %s\n", rc, CompressFailure(rc));
    return -1;
  }
  if (total <= 0 || total > FILE_CHUNK_MAX_TOTAL) {
    fprintf(stderr, "station_example: the compressed record does not fit one transfer\n");
    return -1;
  }
  return total;
}

/* Step 4: the frames sent over a station channel. Only CloseNet tells
 * whether the monitor confirmed, by its receipt, that it has written every
 * frame. Returns 1 when it did, -1 when it refused the transfer for good,
 * 0 once it has said why not. */
static int SendFrames(const char* host, int port, const unsigned char* frames, int frameCount) {
  int rc = OpenNet(CHANNEL, STATION_MODE, 0, TIMEOUT_MS);
  if (rc != 1) {
    fprintf(stderr, "station_example: OpenNet failed (%d)\n", rc);
    return 0;
  }
  rc = SendNetData(CHANNEL, host, port, frames, frameCount * NET_FRAME_SIZE);
  if (rc != frameCount) {
    CloseNet(CHANNEL);
    fprintf(stderr, "station_example: SendNetData failed (%d): %s\n", rc, SendFailure(rc));
    return 0;
  }
  rc = CloseNet(CHANNEL);
  if (rc == PALLIX_SEND_REJECTED) {
    fprintf(stderr,
            "station_example: the monitor refused the transfer for good (its journal says "
            "why: a name or path it cannot store, a record too large): do not send it again\n");
    return -1;
  }
  if (rc != 1) {
    fprintf(stderr,
            "station_example: the monitor did not confirm the transfer (CloseNet %d): "
            "send it again\n",
            rc);
    return 0;
  }
  return 1;
}

int main(int argc, char** argv) {
  static unsigned char record[PALLIX_RECORD_MAX];
  static unsigned char packed[FILE_CHUNK_MAX_TOTAL + 1];
  static unsigned char frames[MAX_FRAMES * NET_FRAME_SIZE];
  char recordPath[512], packedPath[512], framesPath[512];
  const char* name;
  const char* host = NULL;
  int writeOnly, port = 0, size, frameCount;
  long total;

  if (argc != 4) return Usage();
  writeOnly = strcmp(argv[1], "--write") == 0;
  if (writeOnly) {
    name = argv[3];
    snprintf(recordPath, sizeof recordPath, "%s/record.bin", argv[2]);
    snprintf(packedPath, sizeof packedPath, "%s/record.gz", argv[2]);
    snprintf(framesPath, sizeof framesPath, "%s/frames.bin", argv[2]);
  } else {
    name = argv[1];
    host = argv[2];
    port = ParsePort(argv[3]);
    if (port == 0) {
      fprintf(stderr, "station_example: '%s' is not a port (1 to 65535)\n", argv[3]);
      return 2;
    }
    /* Work files of their own for every transfer, in the current
     * directory, under ASCII names (NameNumber). */
    snprintf(recordPath, sizeof recordPath, "station-work-%08lx.record", NameNumber(name));
    snprintf(packedPath, sizeof packedPath, "station-work-%08lx.gz", NameNumber(name));
  }
  /* The monitor's own rule for names (PallixWire.h). */
  if (!PallixIsUsableTransferName(name, (unsigned long)strlen(name))) {
    fprintf(stderr, "station_example: '%s' cannot name a transfer\n", name);
    return Usage();
  }

  /* 1. The record. */
  size = BuildRecord(record);
  if (size <= 0) {
    fprintf(stderr, "station_example: building the record failed (%d)\n", size);
    return 1;
  }
  /* 2. Compressed. */
  total = CompressRecord(record, size, recordPath, packedPath, writeOnly, packed, sizeof packed);
  if (total < 0) return 1;
  /* 3. The frames. */
  frameCount = CutIntoFrames(name, packed, (int)total, frames);
  if (writeOnly) {
    if (!WriteWholeFile(framesPath, frames, (size_t)frameCount * NET_FRAME_SIZE)) {
      fprintf(stderr, "station_example: cannot write %s\n", framesPath);
      return 1;
    }
    printf("record %d bytes, compressed %ld bytes, %d frame(s) written to %s\n", size, total,
           frameCount, argv[2]);
    return 0;
  }
  /* 4. Sent. */
  switch (SendFrames(host, port, frames, frameCount)) {
    case 1:
      break;
    case -1:
      return 3;
    default:
      return 1;
  }
  printf("sent %s: record %d bytes, compressed %ld bytes, %d frame(s), confirmed by the monitor\n",
         name, size, total, frameCount);
  return 0;
}
