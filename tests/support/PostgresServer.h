// PostgresServer - a PostgreSQL of a test's own: Debian's initdb and pg_ctl
// (/usr/lib/postgresql/15/bin) in a scratch folder of the build tree, on a
// free port of the loopback, TLS only: pg_hba takes nothing but hostssl
// with scram-sha-256, the server's certificate for "localhost" is signed by
// a test CA made with the openssl command, and a second CA that has not
// signed it is there for the client that must refuse it. As the postgres
// user when the test runs as root (the server never runs as root), directly
// otherwise. Stopped and removed with the object, and also when the test
// is killed: a watcher left behind by the test stops the server once the
// test's end of a pipe closes.
#ifndef BRENNA_TESTS_POSTGRESSERVER_H
#define BRENNA_TESTS_POSTGRESSERVER_H

#include <string>
#include <vector>

#include "TempDir.h"

class PostgresServer {
 public:
  // Makes the cluster, its certificates and the database "company", and
  // starts the server; Problem() says what failed.
  PostgresServer();
  ~PostgresServer();
  PostgresServer(const PostgresServer&) = delete;
  PostgresServer& operator=(const PostgresServer&) = delete;

  bool Ready() const { return problem_.empty(); }
  const std::string& Problem() const { return problem_; }

  // pg_ctl stop (fast) and start again, on the same port and files.
  bool Stop();
  bool Start();

  int Port() const { return port_; }
  // The administrator's connection string to "company" (a superuser),
  // trusting the test CA.
  std::string AdminConninfo() const;
  // The CA that signed the server's certificate, and one that did not.
  std::string CaFile() const { return dir_.file("ca.crt"); }
  std::string OtherCaFile() const { return dir_.file("other-ca.crt"); }
  // The server's log so far.
  std::string Log() const;

 private:
  // Runs a PostgreSQL program as the server's user; false with its output
  // in problem_.
  bool RunAsServer(const std::vector<std::string>& argv, const char* what);
  bool MakeCertificates();
  bool MakeCluster();
  void ArmWatcher();

  TempDir dir_;
  int port_ = 0;
  std::string password_;
  std::string problem_;
  int watcherPipe_ = -1;  // the test's end: closed, the watcher stops the server
};

// The rows of one statement run over `conninfo` (each column as text, NULL
// as ""); false with the server's or libpq's words in *error.
bool PgQuery(const std::string& conninfo, const std::string& sql,
             std::vector<std::vector<std::string>>* rows, std::string* error);
// The one value of a one-row, one-column statement; "" with *error.
std::string PgValue(const std::string& conninfo, const std::string& sql, std::string* error);

#endif  // BRENNA_TESTS_POSTGRESSERVER_H
