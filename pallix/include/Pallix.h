/*
 * Pallix.h - the C interface of libPallix.
 *
 * One header for every side: a program that links the library (a station)
 * gets the prototype of every export from it, libPallix declares its
 * exports from the same list, and the monitor's run-time binding builds its
 * function table and its forwarding operations from it too, so caller and
 * library can never disagree about a type.
 *
 * Switches, defined before this header or not at all:
 *   (none)                   the prototypes of every export, for a program
 *                            that links the library (libPallix.dll.a, an
 *                            import library made from libPallix.def, or
 *                            libPallix.so). C and C++ alike.
 *   PALLIX_NO_PROTOTYPES     no function declarations: for a program that
 *                            loads the library at run time and names its
 *                            own functions after the exports (the monitor).
 *   PALLIX_BUILDING_LIBRARY  libPallix's own sources only.
 *
 * Calling convention: __cdecl on Windows, stated here (PALLIX_CALL) so that
 * a project whose default is another one (/Gz, /Gr) still calls correctly.
 * The exports carry their plain names, in the DLL and in libPallix.def.
 *
 * Texts are GBK bytes, NUL-terminated. Records (site configuration, result
 * header) are plain byte arrays; their fields are read and written with the
 * little-endian helpers of PallixByteOrder.h, never through struct casts.
 */
#ifndef PALLIX_PALLIX_H
#define PALLIX_PALLIX_H

#include <stdint.h>

#if defined(_WIN32)
#define PALLIX_CALL __cdecl
#define PALLIX_EXPORT __declspec(dllexport)
#define PALLIX_IMPORT __declspec(dllimport)
#else
#define PALLIX_CALL
#define PALLIX_EXPORT __attribute__((visibility("default")))
#define PALLIX_IMPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Site configuration -------------------------------------------------- */

/* Size of the site-configuration record; the binding refuses a library that
 * reports another size. */
#define PALLIX_SITE_CONFIG_SIZE 188910
/* NUL-terminated base directory (holds BrennaCenter.ini). */
#define PALLIX_SITE_BASE_DIR_OFFSET 7806
/* NUL-terminated spool directory. */
#define PALLIX_SITE_SPOOL_DIR_OFFSET 9038
/* Room of each directory field, terminator included: paths are at most
 * 259 characters. */
#define PALLIX_SITE_DIR_FIELD_SIZE 260

typedef struct SiteConfig {
  unsigned char bytes[PALLIX_SITE_CONFIG_SIZE];
} SiteConfig;

/* ---- Result records ------------------------------------------------------ */

/* The 21-byte header of a result record. The caller presets it
 * (PallixStdHeadPreset) before ParseStdHead fills it. */
#define PALLIX_STD_HEAD_SIZE 21
/* 16-bit little-endian number of result items. */
#define PALLIX_STD_HEAD_COUNT_OFFSET 12
/* A result record, header included, is at most this long. */
#define PALLIX_RECORD_MAX 150000
/* Room for one item value, terminator included. */
#define PALLIX_VALUE_SIZE 512
/* After the header, one directory entry per item; its 16-bit value length
 * at this offset. After the values, the end mark (32-bit little-endian). */
#define PALLIX_RECORD_ENTRY_SIZE 14
#define PALLIX_RECORD_ENTRY_LENGTH_OFFSET 12
#define PALLIX_RECORD_END_MARK 0x55AA55AAu

typedef struct StdHead {
  unsigned char bytes[PALLIX_STD_HEAD_SIZE];
} StdHead;

/* Presets a header the way a caller hands it to ParseStdHead: byte 0 0x55,
 * byte 1 0xAA, bytes 2, 3 and 4 each 1, byte 14 1, every other byte 0
 * (so the result count at byte 12 is 0). A record's own header has exactly
 * these bytes, apart from its count (docs/record-format.md). */
static inline void PallixStdHeadPreset(StdHead* head) {
  int i;
  for (i = 0; i < PALLIX_STD_HEAD_SIZE; ++i) head->bytes[i] = 0;
  head->bytes[0] = 0x55;
  head->bytes[1] = 0xAA;
  head->bytes[2] = 1;
  head->bytes[3] = 1;
  head->bytes[4] = 1;
  head->bytes[14] = 1;
}

/* Date record of GetDateByTimeSpan: 32-bit year, then day, then month. */
typedef struct PallixDate {
  int32_t year;
  unsigned char day;
  unsigned char month;
  unsigned char reserved[2];
} PallixDate;

/* ---- Results ------------------------------------------------------------- */

/* What a forwarding operation of the binding returns when the function is
 * not bound. */
#define PALLIX_NOT_LOADED (-1000)
#define PALLIX_NOT_LOADED_REAL (-1000.0)
#define PALLIX_NOT_LOADED_TEXT "No This Funciont"

/* What this build of libPallix returns from an export it does not provide. */
#define PALLIX_NOT_PROVIDED (-9000)
#define PALLIX_NOT_PROVIDED_REAL (-9000.0)

/* UnCompressFile's output in the destination directory. It is written first
 * to a temporary beside it, the output's name followed by "." and 12 hex
 * digits and PALLIX_TEMPORARY_SUFFIX, and renamed into place; a crash can
 * leave the temporary behind. */
#define PALLIX_UNCOMPRESS_OUTPUT "rtdata.dat"
#define PALLIX_TEMPORARY_SUFFIX ".part"

/* UnCompressFile: the file would decompress to more than PALLIX_RECORD_MAX
 * bytes. Final for that file. */
#define PALLIX_UNCOMPRESS_TOO_LARGE (-7)
/* CompressFile: the source file is empty. An empty file is no result
 * record: the monitor would show nothing for it. */
#define PALLIX_COMPRESS_EMPTY (-4)
/* CompressFile: the gzip would be longer than FILE_CHUNK_MAX_TOTAL (32,767
 * bytes, PallixWire.h), the most one transfer carries; the destination is
 * not written. Final for that file. A source of at most 32,700 bytes always
 * fits; a longer one (up to PALLIX_RECORD_MAX) only as far as it
 * compresses. */
#define PALLIX_COMPRESS_TOO_LARGE (-7)
/* UnCompressFile: the output cannot be stored now (no space, over quota,
 * read-only file system, I/O error); the same call may succeed later. */
#define PALLIX_UNCOMPRESS_NO_ROOM (-8)
/* UnCompressFile: the process has no file descriptor (handle) to spare for
 * the files now; the same call may succeed later. */
#define PALLIX_UNCOMPRESS_NO_DESCRIPTORS (-9)

/* Room for a station's address as text, terminator included (an IPv6
 * address is the longest), for PallixFramePeer. */
#define PALLIX_PEER_ADDRESS_SIZE 46

/* Why SendNetData could not reach the monitor, so a station can say so. */
#define PALLIX_SEND_CONNECT_FAILED (-10) /* no answer in time, or unreachable */
#define PALLIX_SEND_FAILED (-11)         /* the connection broke or stalled */
#define PALLIX_SEND_UNKNOWN_HOST (-12)   /* the host name does not resolve */
#define PALLIX_SEND_REFUSED (-13)        /* nothing listens on that port */
/* CloseNet of a station channel: the monitor did not confirm that it handled
 * every frame SendNetData reported as sent (no receipt, or one for fewer
 * frames): the station must send again. */
#define PALLIX_SEND_UNCONFIRMED (-14)
/* CloseNet of a station channel: every frame was answered, and the monitor
 * refused some of them for good (a transfer name or path it cannot store, a
 * record too large, a chunk outside its transfer): those must not be sent
 * again, the rest are delivered. Its journal names each and why. */
#define PALLIX_SEND_REJECTED (-15)

/* ---- Reporting ----------------------------------------------------------- */
/*
 * libPallix says what it does and what it refuses through one sink that the
 * program installs with PallixSetLogSink (below). The library never writes a
 * file of its own.
 */

/* Levels, lowest first. */
#define PALLIX_LOG_DEBUG 0
#define PALLIX_LOG_INFO 1
#define PALLIX_LOG_WARNING 2
#define PALLIX_LOG_ERROR 3

/* Categories the library reports in. */
#define PALLIX_LOG_START "start" /* the library itself, site configuration */
#define PALLIX_LOG_NET "net"     /* connections and frames */
#define PALLIX_LOG_SPOOL "spool" /* compression of result files */

/* What a report is about, so that a program can count reports and fold a
 * flood of the same one into a summary. 0 is a plain line. */
#define PALLIX_EVENT_NONE 0
#define PALLIX_EVENT_CONNECTION_OPENED 1  /* peer: the station's address */
#define PALLIX_EVENT_CONNECTION_CLOSED 2  /* reason: why it closed */
#define PALLIX_EVENT_CONNECTION_REFUSED 3 /* reason: which limit */
#define PALLIX_EVENT_FRAME_REFUSED 4      /* reason: which check failed */

/* One report. Every pointer is valid only during the sink's call. */
typedef struct PallixLogRecord {
  int size;             /* sizeof(PallixLogRecord) of the library: later
                           fields are added at the end only */
  int level;            /* PALLIX_LOG_DEBUG .. PALLIX_LOG_ERROR */
  const char* category; /* PALLIX_LOG_START, PALLIX_LOG_NET, ... */
  const char* text;     /* one line of UTF-8 text, no control bytes, at most 511 bytes */
  int event;            /* PALLIX_EVENT_*, 0 for a plain line */
  const char* peer;     /* the station's address without port, or NULL */
  const char* reason;   /* a short fixed text naming the rule, or NULL */
} PallixLogRecord;

/* Called from whichever thread reports: the program's own threads and the
 * library's network thread, also at the same time. A sink must not block
 * for long and must not call PallixSetLogSink; reports the library makes
 * while the sink runs on that thread are dropped. */
typedef void(PALLIX_CALL* PallixLogSink)(const PallixLogRecord* record, void* context);

/*
 * Exports beyond the list above. The list stays as the binding knows it;
 * these are resolved one by one, and a program works without them. Rows:
 *   E(result type, name, (parameters), (arguments))
 *
 * PallixFramePeer(channel, address, size, port): the station whose frame
 *   the latest ReadNetData on this server channel returned: its address as
 *   numeric text (NUL-terminated, at most size - 1 bytes; PALLIX_PEER_ADDRESS_SIZE
 *   always suffices) and its TCP port. Frames carry no sender; this is how a
 *   reader names the station a chunk came from. 1 done; 0 that call returned
 *   no frame, or the system could not tell the address (address "", port 0);
 *   -1 bad channel; -3 address or port null, or size < 1; -7 channel not
 *   open; -8 not a server channel. The same one reader as ReadNetData.
 *
 * PallixPeerConnected(channel, address, port): whether the station at
 *   address (numeric text, as PallixFramePeer gives it) and TCP port is
 *   still connected to this server channel, or frames it sent are still to
 *   be read or handled (its connection may have closed meanwhile): 1 yes,
 *   0 no; -1 bad channel; -3 address null; -7 channel not open; -8 not a
 *   server channel. Any thread.
 *
 * PallixRefuseFrame(channel): the frame the latest ReadNetData on this
 *   server channel returned cannot be handled (the reader has nowhere to
 *   put it). Its connection gets a receipt for its frames handled before it
 *   and is closed; that frame and the connection's frames not yet read are
 *   dropped, unconfirmed, so its station learns at once that it must send
 *   them again. 1 done; 0 no frame in hand (none returned, or refused
 *   already); -1 bad channel; -7 channel not open; -8 not a server channel.
 *   The same one reader as ReadNetData.
 *
 * PallixRejectFrame(channel): the frame the latest ReadNetData on this
 *   server channel returned is refused for good (a transfer the reader will
 *   never store, whoever sends it). It counts as answered but not as
 *   delivered: the connection goes on, and its receipts tell the station
 *   (CloseNet PALLIX_SEND_REJECTED) not to send it again. 1 done; 0 no frame
 *   in hand; -1 bad channel; -7 channel not open; -8 not a server channel.
 *   The same one reader as ReadNetData.
 *
 * PallixFrameWanted(channel): whether the station of the frame the latest
 *   ReadNetData on this server channel returned still waits for it; for a
 *   reader that has held the frame a while (nowhere to put it yet). 1 yes,
 *   or no frame in hand; 0 the station gave up (it closed while the frame
 *   waited, and will send it again): the frame must not be written; 2 the
 *   station is being asked: ask again shortly. -1 bad channel; -7 channel
 *   not open; -8 not a server channel. The same one reader as ReadNetData.
 *
 * PallixSetLogSink(sink, context, minLevel): from now on reports of level
 *   minLevel and above go to sink(record, context); reports below it are
 *   not even formatted. A null sink restores the default: warnings and
 *   errors to stderr, each line with a local timestamp, nothing else. When
 *   it returns, no call of the sink it replaced is running and none will
 *   start, so a program may remove its sink and then tear down what the
 *   sink writes to (and must do so before it unloads the library). 1 done;
 *   -1 minLevel out of range (nothing changed); -2 called from inside a
 *   sink (nothing changed). Installing a sink makes the library report its
 *   version and file at once (info, PALLIX_LOG_START).
 */
#define PALLIX_EXTRA_FUNCTIONS(E)                                             \
  E(int, PallixSetLogSink, (PallixLogSink sink, void* context, int minLevel), \
    (sink, context, minLevel))                                                \
  E(int, PallixFramePeer, (int channel, char* address, int size, int* port),  \
    (channel, address, size, port))                                           \
  E(int, PallixPeerConnected, (int channel, const char* address, int port),   \
    (channel, address, port))                                                 \
  E(int, PallixRefuseFrame, (int channel), (channel))                         \
  E(int, PallixRejectFrame, (int channel), (channel))                         \
  E(int, PallixFrameWanted, (int channel), (channel))

/* ---- The export list ----------------------------------------------------- */
/*
 * Every export, in the order the binding resolves them. Each row is
 *   X(position, result type, name, (parameters), (arguments))
 * L marks the one entry the binding's loader calls itself and that has no
 * forwarding operation (GetPallixStrSize).
 */
#define PALLIX_FUNCTIONS(X, L)                                                                     \
  X(1, int, GetPallix, (SiteConfig * cfg), (cfg))                                                  \
  X(2, int, GetDefaultPallix, (SiteConfig * cfg), (cfg))                                           \
  X(3, int, SaveSysInertia, (const void* data), (data))                                            \
  X(4, int, SavePallix, (const SiteConfig* cfg, int flags), (cfg, flags))                          \
  X(5, int, GetDllVer, (char* out), (out))                                                         \
  X(6, int, GetField, (const char* text, int index, char* out), (text, index, out))                \
  X(7, int, GetSysID, (char* out), (out))                                                          \
  X(8, int, GetDBUsrPass, (char* user, char* pass), (user, pass))                                  \
  X(9, int, WinExecEx, (const char* cmd, int show), (cmd, show))                                   \
  X(10, int, GetServicesState, (const char* name), (name))                                         \
  X(11, int, Stop_Services, (const char* name), (name))                                            \
  X(12, int, Open_Services, (const char* name), (name))                                            \
  X(13, int, MakeSurePathExistsACreate, (const char* path), (path))                                \
  X(14, int, CreateODBC,                                                                           \
    (const char* dsn, const char* driver, const char* server, const char* db, const char* user,    \
     const char* pass, int flags),                                                                 \
    (dsn, driver, server, db, user, pass, flags))                                                  \
  X(15, int, PostLog, (const char* text), (text))                                                  \
  X(16, int, GetLog, (char* out, int size), (out, size))                                           \
  L(17, int, GetPallixStrSize, (void), ())                                                         \
  X(18, int, GetVers, (char* out, int size), (out, size))                                          \
  X(19, int, GetPrecisionData, (char* text, int digits), (text, digits))                           \
  X(20, int, GetPrecisionDataAny, (char* text, int digits), (text, digits))                        \
  X(21, int, CnvHZ2PY, (const char* hz, char* py, int size), (hz, py, size))                       \
  X(22, int, GetBrennaIDInfo, (const char* id, char* out), (id, out))                              \
  X(23, int, GetMidDat,                                                                            \
    (const char* text, const char* begin, const char* end, char* out, int size, int from),         \
    (text, begin, end, out, size, from))                                                           \
  X(24, int, GetSerialPortInfo, (char* out), (out))                                                \
  X(25, int, DatCompressPro_PP, (const void* in, int inLen, void* out, int outSize, int mode),     \
    (in, inLen, out, outSize, mode))                                                               \
  X(26, const char*, GetLangueString, (const char* text), (text))                                  \
  X(27, int, GetItemIDByParamID, (int paramId), (paramId))                                         \
  X(28, int, DeCodeDigital, (const char* in, char* out), (in, out))                                \
  X(29, int, EnCodeDigital, (const char* in, char* out), (in, out))                                \
  X(30, int, GetParamIDByName, (const char* name, int arg, char* out), (name, arg, out))           \
  X(31, int, IsDigital, (const char* text), (text))                                                \
  X(32, int, CnvJpeg2BmpFile, (const char* jpg, const char* bmp), (jpg, bmp))                      \
  X(33, int, SaveLog, (const char* file, const char* text), (file, text))                          \
  X(34, int, HDSetNum, (int channel, int num), (channel, num))                                     \
  X(35, int, HDAddDat, (int channel, int value), (channel, value))                                 \
  X(36, int, HDGetDat, (int channel, int* value), (channel, value))                                \
  X(37, int, OpenNet, (int channel, int mode, int port, int option),                               \
    (channel, mode, port, option))                                                                 \
  X(38, int, CloseNet, (int channel), (channel))                                                   \
  X(39, int, ReadNetData, (int channel, void* buf, int size), (channel, buf, size))                \
  X(40, int, SendNetData, (int channel, const char* host, int port, const void* buf, int size),    \
    (channel, host, port, buf, size))                                                              \
  X(41, int, GetHostIP, (char* out), (out))                                                        \
  X(42, int, Ping, (const char* host), (host))                                                     \
  X(43, int, ScanPort, (const char* host, int port), (host, port))                                 \
  X(44, int, ParseIP, (const char* ip, int* a, int* b, int* c, int* d), (ip, a, b, c, d))          \
  X(45, int, GetWGAlias, (int id, char* out), (id, out))                                           \
  X(46, int, GetInfoAlias, (int id, char* out), (id, out))                                         \
  X(47, int, TrimLeft, (char* text, char ch), (text, ch))                                          \
  X(48, int, TrimRight, (char* text, char ch), (text, ch))                                         \
  X(49, int, ParseStdHead_Info, (const void* rec, int code, char* out), (rec, code, out))          \
  X(50, int, ParseStdHead_Std, (const void* rec, int code, char* out), (rec, code, out))           \
  X(51, int, ParseStdHead_Item, (const void* rec, int code, char* out), (rec, code, out))          \
  X(52, int, ParseStdHead_Result, (const void* rec, int code, char* value, int* judge),            \
    (rec, code, value, judge))                                                                     \
  X(53, int, IsSubID_int, (int id), (id))                                                          \
  X(54, int, IsSubID_char, (const char* id), (id))                                                 \
  X(55, int, WriteStdHead_Info, (void* rec, int code, const char* value), (rec, code, value))      \
  X(56, int, WriteStdHead_Result,                                                                  \
    (void* rec, int capacity, int code, const char* value, int judge),                             \
    (rec, capacity, code, value, judge))                                                           \
  X(57, int, FindProcess, (const char* name), (name))                                              \
  X(58, int, KillProcess, (const char* name), (name))                                              \
  X(59, int, GetProcess, (char* out), (out))                                                       \
  X(60, int, ParseStdHead, (const void* rec, StdHead* head), (rec, head))                          \
  X(61, int, WriteStdHead_Item, (void* rec, const char* item), (rec, item))                        \
  X(62, int, WriteStdHead, (void* rec, const StdHead* head), (rec, head))                          \
  X(63, int, WriteStdHead_Std, (void* rec, int code, const char* value, int flags),                \
    (rec, code, value, flags))                                                                     \
  X(64, int, ParseStdHead_ProDat, (const void* rec, int code, char* out), (rec, code, out))        \
  X(65, int, WriteStdHead_Result_Data, (void* rec, int code, const char* value, int flags),        \
    (rec, code, value, flags))                                                                     \
  X(66, int, WriteStdHead_Result_Judge, (void* rec, int code, int judge, int flags),               \
    (rec, code, judge, flags))                                                                     \
  X(67, int, ParseStdHead_Info_Idx, (const void* rec, int idx, char* out), (rec, idx, out))        \
  X(68, int, ParseStdHead_Std_Idx, (const void* rec, int idx, char* out), (rec, idx, out))         \
  X(69, int, ParseStdHead_Item_New, (const void* rec, int code, char* out), (rec, code, out))      \
  X(70, int, ParseStdHead_Item_New_Idx, (const void* rec, int idx, char* out), (rec, idx, out))    \
  X(71, int, WriteStdHead_Item_New, (void* rec, int code, const char* value, int flags),           \
    (rec, code, value, flags))                                                                     \
  X(72, int, ParseStdHead_Result_Idx, (const void* rec, int idx, char* value, int* judge),         \
    (rec, idx, value, judge))                                                                      \
  X(73, int, ParseStdHead_Item_Idx, (const void* rec, int idx, char* out), (rec, idx, out))        \
  X(74, int, CnvStdHead_Result, (void* rec, int mode), (rec, mode))                                \
  X(75, int, GetJudgeString, (int judge, char* out, int size), (judge, out, size))                 \
  X(76, int, ParseStdHead_Result_Idx_Old, (const void* rec, int idx, char* value, int* judge),     \
    (rec, idx, value, judge))                                                                      \
  X(77, int, ParseStdHead_ProDat_Idx, (const void* rec, int idx, char* out), (rec, idx, out))      \
  X(78, int, WriteStdHead_ProDat, (void* rec, int code, const char* value), (rec, code, value))    \
  X(79, int, GetAbsDays, (const char* date), (date))                                               \
  X(80, int, GetField2, (const char* text, int index, char* out, char sep),                        \
    (text, index, out, sep))                                                                       \
  X(81, int, GetInfoID, (const char* name), (name))                                                \
  X(82, int, SortResult, (void* rec), (rec))                                                       \
  X(83, int, ChangeFileExtName, (const char* path, const char* ext, char* out), (path, ext, out))  \
  X(84, int, ParseFileExtName, (const char* path, char* name, char* ext), (path, name, ext))       \
  X(85, int, RemoveStdHead_Result, (void* rec, int code), (rec, code))                             \
  X(86, int, GetBrennaLineInfo, (int line, char* out), (line, out))                                \
  X(87, int, GetMainID, (int id), (id))                                                            \
  X(88, int, GetDateByTimeSpan, (const PallixDate* in, int span, PallixDate* out),                 \
    (in, span, out))                                                                               \
  X(89, int, BackupDB, (const char* path), (path))                                                 \
  X(90, int, RestoreDB, (const char* path), (path))                                                \
  X(91, int, UTFDecode, (char* text), (text))                                                      \
  X(92, int, LoadXML, (const char* path), (path))                                                  \
  X(93, int, FindItem, (const char* name), (name))                                                 \
  X(94, int, IntoItem, (void), ())                                                                 \
  X(95, int, GetAttr, (const char* name, char* out), (name, out))                                  \
  X(96, int, NextItem, (void), ())                                                                 \
  X(97, int, ExitItem, (void), ())                                                                 \
  X(98, int, WriteStdHead_Item_New_Judge, (void* rec, int code, int judge), (rec, code, judge))    \
  X(99, int, WriteStdHead_Item_New_CheckNum, (void* rec, int code, int num), (rec, code, num))     \
  X(100, int, GetCurProcess, (char* out), (out))                                                   \
  X(101, int, OpenHardware, (void), ())                                                            \
  X(102, int, Hardware_ReadAI, (int* values), (values))                                            \
  X(103, int, Hardware_WriteAO, (const int* values), (values))                                     \
  X(104, int, Hardware_ReadDI, (int* values), (values))                                            \
  X(105, int, Hardware_WriteDO, (const int* values), (values))                                     \
  X(106, int, Hardware_WriteSDO, (int value), (value))                                             \
  X(107, int, Hardware_WriteIDO, (int value), (value))                                             \
  X(108, int, CloseHardware, (void), ())                                                           \
  X(109, int, RemoveStdHead_Item_New, (void* rec, int code), (rec, code))                          \
  X(110, int, GetFileSPID, (const char* path, char* out), (path, out))                             \
  X(111, int, CnvIntData, (int value, char* out, int digits), (value, out, digits))                \
  X(112, double, GetRand, (int low, int high), (low, high))                                        \
  X(113, int, LoadSpecialFun, (const char* name, int arg), (name, arg))                            \
  X(114, int, GetEtherNetStatus, (const char* adapter), (adapter))                                 \
  X(115, double, Filter_1, (const int* samples, int count, int order), (samples, count, order))    \
  X(116, int, SetLayer, (int window, int alpha), (window, alpha))                                  \
  X(117, int, ParseFileExtNameEx, (const char* path, char* dir, char* name, char* ext, int size),  \
    (path, dir, name, ext, size))                                                                  \
  X(118, int, ReleaseMemory, (void), ())                                                           \
  X(119, int, CompressFile, (const char* src, const char* dst), (src, dst))                        \
  X(120, int, UnCompressFile, (const char* src, const char* dir), (src, dir))                      \
  X(121, int, GetEtherNetStatusEx, (const char* adapter, int* status), (adapter, status))          \
  X(122, int, JudgeVersion, (const char* a, const char* b), (a, b))                                \
  X(123, int, ExportDMIConfig, (const char* path), (path))                                         \
  X(124, int, ImportDMIConfig, (const char* path), (path))                                         \
  X(125, int, CnvStdHead_Result_Compatible, (void* rec), (rec))                                    \
  X(126, int, ComputeDaySpan, (const char* from, const char* to), (from, to))                      \
  X(127, int, SwitchCPU, (void), ())                                                               \
  X(128, int, MakeAvgData, (const int* in, int count, int window, int* out),                       \
    (in, count, window, out))                                                                      \
  X(129, int, MakeAvgData_M2, (const int* in, int count, int window, int* out),                    \
    (in, count, window, out))                                                                      \
  X(130, int, GetFileDayTime, (const char* path, int* day, int* time), (path, day, time))          \
  X(131, int, CompressFileEx, (const char* src, const char* dst), (src, dst))                      \
  X(132, int, GetMemSPID, (const void* data, int len, char* out), (data, len, out))                \
  X(133, int, GetProDat_Max, (const char* data, int* out), (data, out))                            \
  X(134, int, GetProDat_Pos, (const char* data, int pos), (data, pos))                             \
  X(135, int, GetProDatAll_Pos, (const char* data, int pos, int* values, int count),               \
    (data, pos, values, count))                                                                    \
  X(136, int, GetSysDriverInfo, (char* out), (out))                                                \
  X(137, int, GetBrennaLineStationInfoByIP, (const char* ip, int* line, int* station),             \
    (ip, line, station))                                                                           \
  X(138, int, ParseFileExtNameExA, (const char* path, char* dir, char* name, char* ext, int size), \
    (path, dir, name, ext, size))                                                                  \
  X(139, int, CreateShutKey, (const char* name, const char* target, const char* args),             \
    (name, target, args))                                                                          \
  X(140, int, CreateNewKey, (int root, const char* key), (root, key))                              \
  X(141, int, DeleteKey, (int root, const char* key), (root, key))                                 \
  X(142, int, SetValueKeyString, (int root, const char* key, const char* name, const char* value), \
    (root, key, name, value))                                                                      \
  X(143, int, SetValueKeyLong, (int root, const char* key, const char* name, int value),           \
    (root, key, name, value))                                                                      \
  X(144, int, DeleteValue, (int root, const char* key, const char* name), (root, key, name))       \
  X(145, int, GetQueryValueL, (int root, const char* key, const char* name, int* value),           \
    (root, key, name, value))                                                                      \
  X(146, int, GetQueryValueS, (int root, const char* key, const char* name, char* value),          \
    (root, key, name, value))                                                                      \
  X(147, int, TestPath, (const char* path, int create), (path, create))                            \
  X(148, int, GetCompressFileExCnt, (void), ())                                                    \
  X(149, int, GetUnCompressFileExCnt, (void), ())                                                  \
  X(150, int, ResetComputer, (void), ())                                                           \
  X(151, int, CloseComputer, (void), ())                                                           \
  X(152, int, GetBrennaIPInfoByLineStation, (int line, int station, char* ip),                     \
    (line, station, ip))                                                                           \
  X(153, int, Combin_ProData, (void* dst, const void* src), (dst, src))                            \
  X(154, int, GetSysPathEnv, (char* out), (out))                                                   \
  X(155, int, IsSubID_intEx, (int id, int line), (id, line))                                       \
  X(156, int, IsSubID_charEx, (const char* id, int line), (id, line))                              \
  X(157, int, GetTimeMinute, (const char* from, const char* to), (from, to))                       \
  X(158, int, Combin_VehicleData, (void* dst, const void* src), (dst, src))                        \
  X(159, int, GetItemIDByDevID, (int devId, int* list), (devId, list))                             \
  X(160, int, Cnv2SubID, (int id), (id))                                                           \
  X(161, int, GetDevIDByItemID, (int itemId), (itemId))                                            \
  X(162, int, Combin_ResultData, (void* dst, const void* src), (dst, src))                         \
  X(163, int, GetBrennaLineStationInfoByIPAll, (const char* ip, int* lines, int* stations),        \
    (ip, lines, stations))                                                                         \
  X(164, int, GetBrennaIPInfoByLineStationAll, (int line, int station, char* ips),                 \
    (line, station, ips))                                                                          \
  X(165, int, GetModifyIDByItemID, (int itemId), (itemId))                                         \
  X(166, int, SetODBC, (const char* dsn, const char* db), (dsn, db))                               \
  X(167, int, GetNumricFromString, (const char* text, char* out), (text, out))                     \
  X(168, int, AutoV_UStr, (const char* in, char* out, int size, int mode, int flags),              \
    (in, out, size, mode, flags))                                                                  \
  X(169, int, Combin_StdData, (void* dst, const void* src), (dst, src))                            \
  X(170, double, GetRandEx, (int low, int high, int seed), (low, high, seed))                      \
  X(171, double, GetRandEx2, (void), ())                                                           \
  X(172, int, CnvResultPack2StdPack, (void* rec), (rec))                                           \
  X(173, int, EnCodeESC, (char* text), (text))                                                     \
  X(174, int, DeCodeESC, (char* text), (text))                                                     \
  X(175, int, ClearAll, (void* rec), (rec))                                                        \
  X(176, int, MakeByPassString, (const char* in, char* out), (in, out))                            \
  X(177, int, RemoveLastChar, (char* text, char ch), (text, ch))                                   \
  X(178, int, Cnv2Text, (char* text), (text))                                                      \
  X(179, int, GetMD5Code, (const void* data, int len, char* out), (data, len, out))                \
  X(180, int, ParseStdHead_ResultAll, (const void* rec, int code, char* value, int* judge),        \
    (rec, code, value, judge))                                                                     \
  X(181, int, ParseStdHead_ResultAll_Idx,                                                          \
    (const void* rec, int idx, int* code, char* value, int* judge),                                \
    (rec, idx, code, value, judge))                                                                \
  X(182, int, Base64EnCode, (const void* in, int len, char* out), (in, len, out))                  \
  X(183, int, Base64DeCode, (const char* in, void* out), (in, out))                                \
  X(184, int, GetBase64EnCodeLen, (const void* in, int len), (in, len))                            \
  X(185, int, GetBase64DeCodeLen, (const char* in), (in))                                          \
  X(186, int, ChangTimeFormat, (const char* in, char* out), (in, out))                             \
  X(187, int, ParseStdHead_ResultAll_Java, (const void* rec, int code, char* value, int* judge),   \
    (rec, code, value, judge))                                                                     \
  X(188, int, ParseStdHead_ResultAll_Idx_Java,                                                     \
    (const void* rec, int idx, int* code, char* value, int* judge),                                \
    (rec, idx, code, value, judge))                                                                \
  X(189, int, ParseStdHead_Std_Java, (const void* rec, int code, char* out), (rec, code, out))     \
  X(190, int, ParseStdHead_Std_Idx_Java, (const void* rec, int idx, char* out), (rec, idx, out))   \
  X(191, int, strHexToInt, (const char* text), (text))                                             \
  X(192, int, strBinToInt, (const char* text), (text))                                             \
  X(193, int, strIntToBin, (int value, char* out, int bits), (value, out, bits))                   \
  X(194, int, UTFEncode, (char* text), (text))                                                     \
  X(195, int, UrlUTFDecode_GB2312, (char* text), (text))                                           \
  X(196, int, UrlUTFEncode_GB2312, (char* text), (text))                                           \
  X(197, int, UrlUTFDecode_UTF8, (char* text), (text))                                             \
  X(198, int, UrlUTFEncode_UTF8, (char* text), (text))                                             \
  X(199, int, ReadNetDataDir, (int channel, void* buf, int size), (channel, buf, size))            \
  X(200, int, SendNetDataDir,                                                                      \
    (int channel, const char* host, int port, const void* buf, int size),                          \
    (channel, host, port, buf, size))                                                              \
  X(201, int, XMLEscape, (char* text), (text))                                                     \
  X(202, int, EscapeXML, (char* text), (text))                                                     \
  X(203, int, IsIPV4, (const char* text), (text))

/* Number of rows in PALLIX_FUNCTIONS. */
#define PALLIX_FUNCTION_COUNT 203

/* The declarations: the library's own exports, or what a program that links
 * it imports. */
#if defined(PALLIX_BUILDING_LIBRARY)
#define PALLIX_API PALLIX_EXPORT
#else
#define PALLIX_API PALLIX_IMPORT
#endif
#if defined(PALLIX_BUILDING_LIBRARY) || !defined(PALLIX_NO_PROTOTYPES)
#define PALLIX_DECLARE(pos, ret, name, params, args) PALLIX_API ret PALLIX_CALL name params;
PALLIX_FUNCTIONS(PALLIX_DECLARE, PALLIX_DECLARE)
#undef PALLIX_DECLARE
#define PALLIX_DECLARE_EXTRA(ret, name, params, args) PALLIX_API ret PALLIX_CALL name params;
PALLIX_EXTRA_FUNCTIONS(PALLIX_DECLARE_EXTRA)
#undef PALLIX_DECLARE_EXTRA
#endif

#ifdef __cplusplus
}
#endif

#endif /* PALLIX_PALLIX_H */
