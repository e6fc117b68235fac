// The exports libPallix provides, as thin C entry points over the library's
// own modules. Each is defined with exactly the signature of its row in
// PALLIX_FUNCTIONS; docs/pallix-exports.md tells what each one does.
#include "Compression.h"
#include "Dates.h"
#include "FileDayTime.h"
#include "Ids.h"
#include "Language.h"
#include "Pallix.h"
#include "RecordReader.h"
#include "RecordWriter.h"
#include "SiteConfig.h"
#include "TextHelpers.h"
#include "Transport.h"

using namespace pallix;

extern "C" {

// ---- Site configuration ----------------------------------------------------

PALLIX_EXPORT int GetPallix(SiteConfig* cfg) { return site::GetPallix(cfg); }

PALLIX_EXPORT int GetDefaultPallix(SiteConfig* cfg) { return site::GetDefaultPallix(cfg); }

PALLIX_EXPORT int GetPallixStrSize(void) { return PALLIX_SITE_CONFIG_SIZE; }

PALLIX_EXPORT const char* GetLangueString(const char* text) {
  site::Current();  // the translation named by the settings, loaded once
  return language::Translate(text);
}

// ---- Transport -------------------------------------------------------------

PALLIX_EXPORT int OpenNet(int channel, int mode, int port, int option) {
  return transport::Open(channel, mode, port, option);
}

PALLIX_EXPORT int CloseNet(int channel) { return transport::Close(channel); }

PALLIX_EXPORT int ReadNetData(int channel, void* buf, int size) {
  return transport::Read(channel, buf, size);
}

PALLIX_EXPORT int SendNetData(int channel, const char* host, int port, const void* buf, int size) {
  return transport::Send(channel, host, port, buf, size);
}

// ---- Compression -----------------------------------------------------------

PALLIX_EXPORT int CompressFile(const char* src, const char* dst) {
  return compression::CompressFile(src, dst);
}

PALLIX_EXPORT int UnCompressFile(const char* src, const char* dir) {
  return compression::UnCompressFile(src, dir);
}

// ---- Result records --------------------------------------------------------

PALLIX_EXPORT int ParseStdHead(const void* rec, StdHead* head) {
  return record::ParseHead(rec, head);
}

PALLIX_EXPORT int ParseStdHead_ResultAll(const void* rec, int code, char* value, int* judge) {
  return record::FindByCode(rec, code, value, judge);
}

PALLIX_EXPORT int ParseStdHead_ResultAll_Idx(const void* rec, int idx, int* code, char* value,
                                             int* judge) {
  return record::ItemAt(rec, idx, code, value, judge);
}

PALLIX_EXPORT int WriteStdHead(void* rec, const StdHead* head) {
  return record::StartRecord(rec, head);
}

PALLIX_EXPORT int WriteStdHead_Result(void* rec, int capacity, int code, const char* value,
                                      int judge) {
  return record::AppendItem(rec, capacity, code, value, judge);
}

// ---- Files -----------------------------------------------------------------

PALLIX_EXPORT int GetFileDayTime(const char* path, int* day, int* time) {
  return filetime::FileDayTime(path, day, time);
}

// ---- Texts, IDs, dates -----------------------------------------------------

PALLIX_EXPORT int TrimLeft(char* text, char ch) { return text::TrimLeft(text, ch); }

PALLIX_EXPORT int TrimRight(char* text, char ch) { return text::TrimRight(text, ch); }

PALLIX_EXPORT int GetField2(const char* text, int index, char* out, char sep) {
  return text::GetField2(text, index, out, sep);
}

PALLIX_EXPORT int IsSubID_int(int id) { return ids::IsSubIdInt(id); }

PALLIX_EXPORT int IsSubID_char(const char* id) { return ids::IsSubIdChar(id); }

PALLIX_EXPORT int GetMainID(int id) { return ids::MainId(id); }

PALLIX_EXPORT int GetParamIDByName(const char* name, int arg, char* out) {
  return ids::ParamIdByName(name, arg, out);
}

PALLIX_EXPORT int GetItemIDByDevID(int devId, int* list) {
  return ids::ItemIdsByDevId(devId, list);
}

PALLIX_EXPORT int GetDevIDByItemID(int itemId) { return ids::DevIdByItemId(itemId); }

PALLIX_EXPORT int GetDateByTimeSpan(const PallixDate* in, int span, PallixDate* out) {
  return dates::DateByTimeSpan(in, span, out);
}

}  // extern "C"

// Every row of the export list must have a definition in this library: the
// table takes each one's address, so a missing export fails the link
// (-Wl,--no-undefined) instead of a run-time lookup.
namespace {
#if defined(__GNUC__)
#define PALLIX_KEEP __attribute__((used))
#else
#define PALLIX_KEEP
#endif
#define PALLIX_ADDRESS_OF(pos, ret, name, params, args) reinterpret_cast<const void*>(&name),
PALLIX_KEEP const void* const kEveryExport[] = {
    PALLIX_FUNCTIONS(PALLIX_ADDRESS_OF, PALLIX_ADDRESS_OF)};
#undef PALLIX_ADDRESS_OF
static_assert(sizeof kEveryExport / sizeof kEveryExport[0] == PALLIX_FUNCTION_COUNT,
              "the export list and PALLIX_FUNCTION_COUNT disagree");
}  // namespace
