// PallixStub - a stand-in library for the binding's tests, generated from
// the same export list. Every export records its call, arguments in order,
// into a journal; results are scripted per export. A handful of exports
// (GetField2, GetParamIDByName, GetItemIDByDevID, GetDateByTimeSpan,
// GetLangueString) also fill their outputs so the composed operations can
// be driven.
//
// Journal format: "Name(arg,arg,...);" per call. int in decimal, char as
// 'c' and its unsigned code, pointers as printf's %p.
#ifndef BRENNA_TESTS_PALLIXSTUB_H
#define BRENNA_TESTS_PALLIXSTUB_H

#ifdef __cplusplus
extern "C" {
#endif

// Control functions the tests reach with dlsym.
typedef const char* (*PallixStubCallsFn)(void);
typedef void (*PallixStubResetFn)(void);
typedef void (*PallixStubSetResultFn)(int position, int result);
typedef void (*PallixStubSetTextFn)(int position, const char* text);

#ifdef __cplusplus
}
#endif

#ifdef PALLIX_STUB_BUILDING
// Inside the stub: appends a raw entry to the journal.
void PallixStubRecord(const char* entry);
#endif

#endif  // BRENNA_TESTS_PALLIXSTUB_H
