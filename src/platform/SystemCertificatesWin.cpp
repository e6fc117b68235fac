// Windows half of SystemCertificates.h: Windows keeps its roots in its
// certificate store, which neither OpenSSL nor libpq 15 reads. The "ROOT"
// store (the machine's roots and the user's, as Windows itself trusts
// them) is written out as PEM, each certificate in Windows' own encoding
// base64'd by crypt32, into a file only the user may read, replaced in one
// step so that two programs starting at once never read half a file.
#include <windows.h>
// After windows.h:
#include <wincrypt.h>

#include "platform/ArchiveFolder.h"
#include "platform/FileOps.h"
#include "platform/PrivateFileIo.h"
#include "platform/SystemCertificates.h"
#include "platform/WinSecurity.h"

namespace {

constexpr char kFileName[] = "brenna-ship-roots.pem";

// One certificate as PEM; false when crypt32 cannot encode it.
bool AppendPem(PCCERT_CONTEXT certificate, std::string* pem) {
  DWORD size = 0;
  if (!CryptBinaryToStringA(certificate->pbCertEncoded, certificate->cbCertEncoded,
                            CRYPT_STRING_BASE64HEADER, nullptr, &size) ||
      size == 0)
    return false;
  std::string text(size, '\0');
  if (!CryptBinaryToStringA(certificate->pbCertEncoded, certificate->cbCertEncoded,
                            CRYPT_STRING_BASE64HEADER, &text[0], &size))
    return false;
  text.resize(size);
  pem->append(text);
  return true;
}

// The ROOT store's certificates as PEM, their count in *count; false with
// the reason in *why.
bool RootStorePem(std::string* pem, int* count, std::string* why) {
  HCERTSTORE store = CertOpenSystemStoreW(0, L"ROOT");
  if (store == nullptr) {
    *why = "Windows' ROOT certificate store cannot be opened (" +
           win_security::ErrorText(GetLastError()) + ")";
    return false;
  }
  *count = 0;
  for (PCCERT_CONTEXT c = CertEnumCertificatesInStore(store, nullptr); c != nullptr;
       c = CertEnumCertificatesInStore(store, c)) {
    if ((c->dwCertEncodingType & X509_ASN_ENCODING) != 0 && AppendPem(c, pem)) ++*count;
  }
  CertCloseStore(store, 0);
  return true;
}

}  // namespace

std::string SystemRootCertificates(std::string* said) {
  const std::string folder = ArchiveFolder();
  std::string pem, why;
  int count = 0;
  if (folder.empty()) {
    why = "no folder to write them to (no local application data folder)";
  } else if (RootStorePem(&pem, &count, &why)) {
    const std::string path = JoinPath(folder, kFileName);
    if (private_file_io::ReplacePrivate(path, pem, &why)) {
      *said = "the system's root certificates are trusted: " + std::to_string(count) +
              " of Windows' ROOT store, written to " + path;
      return path;
    }
  }
  *said = "the system's root certificates cannot be trusted: " + why +
          "; only libpq's own root.crt in %APPDATA%\\postgresql is";
  return std::string();
}
