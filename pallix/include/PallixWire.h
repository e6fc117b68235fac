/*
 * PallixWire.h - the layout of what travels from a station to the monitor.
 *
 * Shared by the transport (libPallix), the monitor's receiver and chunk
 * writer, and the station tool that builds the frames, so that writer and
 * reader use one set of numbers. All integers are little-endian
 * (PallixByteOrder.h). docs/wire-protocol.md describes the same layout.
 */
#ifndef PALLIX_WIRE_H
#define PALLIX_WIRE_H

/* The TCP port a monitor listens on when its settings name none, and so the
 * port a station tries when told no other. */
#define NET_DEFAULT_PORT 10004

/* ---- NetFrame: one fixed-size frame of the TCP stream -------------------- */
#define NET_FRAME_SIZE 2072
#define NET_FRAME_MAGIC_OFFSET 0    /* u32 */
#define NET_FRAME_WORD_OFFSET 4     /* u32, not interpreted by the monitor */
#define NET_FRAME_HALF1_OFFSET 8    /* u16, not interpreted by the monitor */
#define NET_FRAME_HALF2_OFFSET 10   /* u16, not interpreted by the monitor */
#define NET_FRAME_COMMAND_OFFSET 12 /* u32 */
#define NET_FRAME_LENGTH_OFFSET 16  /* u32, valid bytes of data */
#define NET_FRAME_DATA_OFFSET 20
#define NET_FRAME_DATA_SIZE 2048
#define NET_FRAME_TRAILER_OFFSET 2068 /* u32 */

#define NET_FRAME_MAGIC 0x55aaaa55u
#define NET_FRAME_TRAILER 0xffeeffeeu

/* Command of a frame that carries a FileChunk. */
#define NET_CMD_FILE_CHUNK 994

/* Command of a receipt, the only frame the monitor sends back. Its data
 * holds how many of the frames received on that connection have been
 * handled (written to the spool), a u32; its length field is
 * NET_RECEIPT_LENGTH. The last one, counting them all, comes just before the
 * monitor closes a connection whose station has finished sending (or fell
 * silent between frames); receipts of progress come meanwhile while the
 * station waits on the monitor. */
#define NET_CMD_RECEIPT 995
#define NET_RECEIPT_COUNT_OFFSET 0 /* in data: u32, frames handled and delivered */
#define NET_RECEIPT_LENGTH 4
/* A receipt of a connection with frames the monitor refused for good has
 * this length and a second u32: how many of the handled frames were
 * refused (not delivered, not to be sent again). The first field never
 * counts them, so a station that reads only it sees them as not
 * confirmed. */
#define NET_RECEIPT_REJECTED_OFFSET 4
#define NET_RECEIPT_REJECTED_LENGTH 8

/* ---- FileChunk: the data of a NET_CMD_FILE_CHUNK frame ------------------- */
#define FILE_CHUNK_SIZE 2048
#define FILE_CHUNK_TOTAL_OFFSET 0 /* i16: size of the whole compressed file */
#define FILE_CHUNK_INDEX_OFFSET 2 /* i16: chunk number from 0 */
#define FILE_CHUNK_COUNT_OFFSET 4 /* i16: valid bytes of data */
#define FILE_CHUNK_NAME_OFFSET 6  /* NUL-terminated GBK transfer name */
#define FILE_CHUNK_NAME_SIZE 100
#define FILE_CHUNK_DATA_OFFSET 106
#define FILE_CHUNK_DATA_SIZE 1942 /* payload bytes per chunk; also the slot size */

/* A transferred (compressed) file is at most this long: total is an i16. */
#define FILE_CHUNK_MAX_TOTAL 32767

/* Whether `name` (len GBK bytes, no terminator counted) may name a
 * transfer. The monitor puts the name into file names as it is, so it must
 * have 1 to 99 bytes, must not be "." or "..", and must hold no '/', no
 * '\', no control byte (below 0x20, or 0x7F) and none of ? * " < > |,
 * which no Windows file name may hold (a monitor on Windows could not
 * store the transfer, nor a station there its work files). A GBK double-byte
 * character (lead 0x81-0xFE, trail 0x40-0x7E or 0x80-0xFE) counts whole:
 * its trail byte may be 0x5C and is still part of the character. The station
 * checks before sending and the monitor before writing, with this one rule. */
static inline int PallixIsUsableTransferName(const char* name, unsigned long len) {
  unsigned long i;
  if (len == 0 || len >= FILE_CHUNK_NAME_SIZE) return 0;
  if ((len == 1 && name[0] == '.') || (len == 2 && name[0] == '.' && name[1] == '.')) return 0;
  for (i = 0; i < len; ++i) {
    const unsigned char c = (unsigned char)name[i];
    if (c >= 0x81 && c <= 0xFE && i + 1 < len) {
      const unsigned char t = (unsigned char)name[i + 1];
      if ((t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFE)) {
        ++i;
        continue;
      }
    }
    if (c < 0x20 || c == 0x7F || c == '/' || c == '\\') return 0;
    if (c == '?' || c == '*' || c == '"' || c == '<' || c == '>' || c == '|') return 0;
  }
  return 1;
}

#endif /* PALLIX_WIRE_H */
