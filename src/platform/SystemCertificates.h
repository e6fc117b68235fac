// SystemCertificates - the root certificates the system trusts, as one
// file a TLS client can be pointed at (libpq's sslrootcert, which before
// PostgreSQL 16 knows no "system"): brenna-ship verifies the company
// database against them when its connection string names no root of its
// own. SystemCertificates.cpp is the POSIX half (Debian's bundle, kept by
// the package ca-certificates); SystemCertificatesWin.cpp the Windows one.
#ifndef BRENNA_PLATFORM_SYSTEMCERTIFICATES_H
#define BRENNA_PLATFORM_SYSTEMCERTIFICATES_H

#include <string>

// The bundle's path; empty where the system keeps its roots in no file.
std::string SystemRootCertificates();

#endif  // BRENNA_PLATFORM_SYSTEMCERTIFICATES_H
