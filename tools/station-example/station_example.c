/*
 * station_example.c - the smallest complete station: builds one result
 * record with libPallix, compresses it, cuts it into FileChunk frames and
 * sends them to the monitor. docs/station-integration.md walks through it.
 *
 *   station_example HOST PORT     send the example result to a monitor
 *   station_example --write DIR   write record.bin, record.gz and
 *                                 frames.bin into DIR instead of sending
 *
 * Build in the unpacked station kit (mingw-w64; run it beside bin/libPallix.dll):
 *   gcc -Iinclude example/station_example.c lib/libPallix.dll.a -o station_example.exe
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "Pallix.h"
#include "PallixByteOrder.h"
#include "PallixWire.h"

/* The transfer name: the monitor names its spool files after it. */
#define TRANSFER_NAME "example-speed"
/* Station channel of this program (any of 0 to 31 that is free). */
#define CHANNEL 0
#define STATION_MODE 1
#define TIMEOUT_MS 5000

static int WriteFile(const char* path, const unsigned char* data, size_t size) {
  FILE* f = fopen(path, "wb");
  if (f == NULL) return 0;
  if (size > 0 && fwrite(data, 1, size, f) != size) {
    fclose(f);
    return 0;
  }
  return fclose(f) == 0;
}

/* Reads at most max bytes; returns the count, or -1. */
static long ReadFile(const char* path, unsigned char* data, size_t max) {
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

/* One frame per chunk of at most 1942 bytes; returns the frame count. */
static int CutIntoFrames(const unsigned char* packed, int total, unsigned char* frames) {
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
    memcpy(chunk + FILE_CHUNK_NAME_OFFSET, TRANSFER_NAME, strlen(TRANSFER_NAME));
    memcpy(chunk + FILE_CHUNK_DATA_OFFSET, packed + offset, (size_t)count);
  }
  return index;
}

static int Usage(void) {
  fprintf(stderr, "usage: station_example HOST PORT | station_example --write DIR\n");
  return 2;
}

int main(int argc, char** argv) {
  static unsigned char record[PALLIX_RECORD_MAX];
  static unsigned char packed[FILE_CHUNK_MAX_TOTAL + 1];
  static unsigned char frames[17 * NET_FRAME_SIZE]; /* 32,767 bytes make 17 chunks */
  char recordPath[512], packedPath[512], framesPath[512];
  const char* dir = ".";
  int writeOnly, size, frameCount, rc;
  long total;

  if (argc != 3) return Usage();
  writeOnly = strcmp(argv[1], "--write") == 0;
  if (writeOnly) dir = argv[2];
  snprintf(recordPath, sizeof recordPath, "%s/record.bin", dir);
  snprintf(packedPath, sizeof packedPath, "%s/record.gz", dir);
  snprintf(framesPath, sizeof framesPath, "%s/frames.bin", dir);

  /* 1. The record. */
  size = BuildRecord(record);
  if (size <= 0) {
    fprintf(stderr, "station_example: building the record failed (%d)\n", size);
    return 1;
  }
  /* 2. Compressed by the library (gzip), through two files. */
  if (!WriteFile(recordPath, record, (size_t)size) ||
      (rc = CompressFile(recordPath, packedPath)) != 1) {
    fprintf(stderr, "station_example: compressing the record failed\n");
    return 1;
  }
  total = ReadFile(packedPath, packed, sizeof packed);
  if (total <= 0 || total > FILE_CHUNK_MAX_TOTAL) {
    fprintf(stderr, "station_example: the compressed record does not fit one transfer\n");
    return 1;
  }
  /* 3. The frames. */
  frameCount = CutIntoFrames(packed, (int)total, frames);
  if (writeOnly) {
    if (!WriteFile(framesPath, frames, (size_t)frameCount * NET_FRAME_SIZE)) {
      fprintf(stderr, "station_example: cannot write %s\n", framesPath);
      return 1;
    }
    printf("record %d bytes, compressed %ld bytes, %d frame(s) written to %s\n", size, total,
           frameCount, dir);
    return 0;
  }
  remove(recordPath);
  remove(packedPath);

  /* 4. Sent over a station channel; closing it waits until the monitor has
   * read every frame. */
  rc = OpenNet(CHANNEL, STATION_MODE, 0, TIMEOUT_MS);
  if (rc != 1) {
    fprintf(stderr, "station_example: OpenNet failed (%d)\n", rc);
    return 1;
  }
  rc = SendNetData(CHANNEL, argv[1], atoi(argv[2]), frames, frameCount * NET_FRAME_SIZE);
  CloseNet(CHANNEL);
  if (rc != frameCount) {
    fprintf(stderr, "station_example: SendNetData failed (%d)\n", rc);
    return 1;
  }
  printf("sent %s: record %d bytes, compressed %ld bytes, %d frame(s)\n", TRANSFER_NAME, size,
         total, frameCount);
  return 0;
}
