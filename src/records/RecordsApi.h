// RecordsApi - marks the record operations that the program exports to the
// modules loaded into its process. Everything else of the program stays
// private to it.
#ifndef BRENNA_RECORDS_RECORDSAPI_H
#define BRENNA_RECORDS_RECORDSAPI_H

#if defined(_WIN32)
#if defined(BRENNA_RECORDS_BUILDING)
#define BRENNA_RECORDS_API __declspec(dllexport)
#else
#define BRENNA_RECORDS_API __declspec(dllimport)
#endif
#else
#define BRENNA_RECORDS_API __attribute__((visibility("default")))
#endif

#endif  // BRENNA_RECORDS_RECORDSAPI_H
