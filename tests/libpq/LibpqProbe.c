/* LibpqProbe: with no argument prints libpq's version, its TLS library,
 * OpenSSL's version and whether OpenSSL makes a TLS client context; with a
 * connection string connects and prints libpq's message, exit status 1,
 * when that fails. */
#include <libpq-fe.h>
#include <openssl/crypto.h>
#include <openssl/ssl.h>
#include <stdio.h>

int main(int argc, char** argv) {
  if (argc < 2) {
    const int version = PQlibVersion();
    const char* tls = PQsslAttribute(NULL, "library");
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    printf("libpq %d.%d\nTLS library: %s\n%s\nTLS client context: %s\n", version / 10000,
           version % 10000, tls != NULL ? tls : "none", OpenSSL_version(OPENSSL_VERSION),
           context != NULL ? "made" : "failed");
    SSL_CTX_free(context);
    return 0;
  }
  PGconn* conn = PQconnectdb(argv[1]);
  const int ok = PQstatus(conn) == CONNECTION_OK;
  printf("%s\n", ok ? "connected" : PQerrorMessage(conn));
  PQfinish(conn);
  return ok ? 0 : 1;
}
