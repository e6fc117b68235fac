// SystemCertificates - the root certificates the system trusts, as one
// file a TLS client can be pointed at (libpq's sslrootcert, which before
// PostgreSQL 16 knows no "system"): brenna-ship verifies the company
// database against them when its connection string names no root of its
// own. SystemCertificates.cpp is the POSIX half (Debian's bundle, kept by
// the package ca-certificates); SystemCertificatesWin.cpp the Windows one,
// which writes the certificates of Windows' ROOT store as PEM into
// brenna-ship-roots.pem of the site's folder (ArchiveFolder.h) at each
// call, as OpenSSL reads no Windows store.
#ifndef BRENNA_PLATFORM_SYSTEMCERTIFICATES_H
#define BRENNA_PLATFORM_SYSTEMCERTIFICATES_H

#include <string>

// The bundle's path; empty where there is none. *said, when the bundle was
// made for the caller (or could not be), says so for the journal: which
// file, how many certificates, or why there is none.
std::string SystemRootCertificates(std::string* said);

#endif  // BRENNA_PLATFORM_SYSTEMCERTIFICATES_H
