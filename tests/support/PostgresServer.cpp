#include "PostgresServer.h"

#include <fcntl.h>
#include <libpq-fe.h>
#include <pwd.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "ChildProcess.h"
#include "FreePort.h"

namespace {

constexpr char kBin[] = "/usr/lib/postgresql/15/bin/";
constexpr char kAdmin[] = "brenna_admin";

// The server's user when the test runs as root; none otherwise.
const passwd* ServerUser() { return geteuid() == 0 ? getpwnam("postgres") : nullptr; }

// argv run as the server's user.
std::vector<std::string> AsServer(std::vector<std::string> argv) {
  if (ServerUser() == nullptr) return argv;
  argv.insert(argv.begin(), {"/usr/sbin/runuser", "-u", "postgres", "--"});
  return argv;
}

void GiveToServer(const std::string& path) {
  if (const passwd* user = ServerUser()) {
    if (chown(path.c_str(), user->pw_uid, user->pw_gid) != 0) {
    }
  }
}

}  // namespace

PostgresServer::PostgresServer() {
  port_ = FreePort();
  password_ = "admin-" + std::to_string(port_) + "-" + std::to_string(getpid());
  if (MakeCertificates() && MakeCluster() && Start()) {
    ArmWatcher();
    std::string error;
    const std::string postgres = "host=localhost port=" + std::to_string(port_) +
                                 " dbname=postgres user=" + kAdmin + " password=" + password_ +
                                 " sslmode=verify-full sslrootcert=" + CaFile();
    std::vector<std::vector<std::string>> rows;
    if (!PgQuery(postgres, "CREATE DATABASE company ENCODING 'UTF8' TEMPLATE template0", &rows,
                 &error))
      problem_ = "CREATE DATABASE company: " + error;
  }
}

PostgresServer::~PostgresServer() {
  if (port_ != 0)
    RunAsServer(
        {std::string(kBin) + "pg_ctl", "-D", dir_.file("data"), "-m", "immediate", "-w", "stop"},
        "stop");
  if (watcherPipe_ >= 0) close(watcherPipe_);
}

bool PostgresServer::RunAsServer(const std::vector<std::string>& argv, const char* what) {
  const ProgramRun run = RunProgram(AsServer(argv), {}, std::chrono::seconds(120));
  if (run.status == 0) return true;
  if (problem_.empty()) problem_ = std::string(what) + ": " + run.Report();
  return false;
}

bool PostgresServer::MakeCertificates() {
  const std::string d = dir_.path().string() + "/";
  // Each CA marks itself one; the server's certificate names localhost.
  const std::string script =
      "set -e; cd '" + d +
      "'; for ca in ca other-ca; do openssl req -x509 -newkey ec -pkeyopt "
      "ec_paramgen_curve:prime256v1 -nodes -keyout $ca.key -out $ca.crt -days 2 -subj "
      "/CN=brenna-test-$ca -addext basicConstraints=critical,CA:TRUE -addext "
      "keyUsage=critical,keyCertSign,cRLSign; done; openssl req -newkey ec -pkeyopt "
      "ec_paramgen_curve:prime256v1 -nodes -keyout server.key -out server.csr -subj "
      "/CN=localhost; printf 'subjectAltName=DNS:localhost\\nbasicConstraints=CA:FALSE\\n' > "
      "server.ext; openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial "
      "-out server.crt -days 2 -extfile server.ext; chmod 600 server.key";
  const ProgramRun run = RunProgram({"/bin/sh", "-c", script}, {}, std::chrono::seconds(60));
  if (run.status != 0) {
    problem_ = "openssl: " + run.Report();
    return false;
  }
  for (const char* file : {"", "server.key", "server.crt"}) GiveToServer(d + file);
  return true;
}

bool PostgresServer::MakeCluster() {
  const std::string pwfile = dir_.file("admin-password");
  WriteFileBytes(pwfile, password_ + "\n");
  GiveToServer(pwfile);
  if (!RunAsServer({std::string(kBin) + "initdb", "-D", dir_.file("data"), "-U", kAdmin,
                    "--pwfile=" + pwfile, "-A", "scram-sha-256", "-E", "UTF8", "--locale=C.UTF-8",
                    "--no-sync"},
                   "initdb"))
    return false;
  const std::string data = dir_.file("data") + "/";
  std::string conf = ReadFileBytes(data + "postgresql.conf");
  conf += "\nport = " + std::to_string(port_) +
          "\nlisten_addresses = 'localhost'\nunix_socket_directories = ''\nssl = on"
          "\nssl_cert_file = '" +
          dir_.file("server.crt") + "'\nssl_key_file = '" + dir_.file("server.key") +
          "'\npassword_encryption = 'scram-sha-256'\nlog_connections = on"
          "\nfsync = off\nfull_page_writes = off\nshared_buffers = 32MB\nmax_connections = 40\n";
  WriteFileBytes(data + "postgresql.conf", conf);
  // Nothing but TLS with a password.
  WriteFileBytes(data + "pg_hba.conf",
                 "hostssl all all 127.0.0.1/32 scram-sha-256\n"
                 "hostssl all all ::1/128 scram-sha-256\n");
  return true;
}

void PostgresServer::ArmWatcher() {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return;
  // Its shell leaves at once; the subshell it leaves behind is no child of
  // the test, so it outlives a test killed by its timeout, and stops the
  // server and removes the folder once the test's end of the pipe closes.
  const std::vector<std::string> stop =
      AsServer({std::string(kBin) + "pg_ctl", "-D", dir_.file("data"), "-m", "immediate", "stop"});
  std::string command;
  for (const std::string& a : stop) command += "'" + a + "' ";
  const std::string script = "( read x <&3; " + command + "; rm -rf '" + dir_.path().string() +
                             "' ) >/dev/null 2>&1 & exit 0";
  ChildProcess::Options options;
  options.passFds = {ends[0]};
  RunToEnd({"/bin/sh", "-c", script}, options, std::chrono::seconds(10), &command);
  close(ends[0]);
  watcherPipe_ = ends[1];
}

bool PostgresServer::Stop() {
  return RunAsServer(
      {std::string(kBin) + "pg_ctl", "-D", dir_.file("data"), "-m", "fast", "-w", "stop"},
      "pg_ctl stop");
}

bool PostgresServer::Start() {
  const std::string log = dir_.file("server.log");
  WriteFileBytes(log, ReadFileBytes(log));
  GiveToServer(log);
  return RunAsServer({std::string(kBin) + "pg_ctl", "-D", dir_.file("data"), "-l", log, "-w", "-t",
                      "120", "start"},
                     "pg_ctl start");
}

std::string PostgresServer::AdminConninfo() const {
  return "host=localhost port=" + std::to_string(port_) + " dbname=company user=" + kAdmin +
         " password=" + password_ + " sslrootcert=" + CaFile();
}

std::string PostgresServer::Log() const { return ReadFileBytes(dir_.file("server.log")); }

bool PgQuery(const std::string& conninfo, const std::string& sql,
             std::vector<std::vector<std::string>>* rows, std::string* error) {
  rows->clear();
  PGconn* conn = PQconnectdb((conninfo + " sslmode=verify-full").c_str());
  if (PQstatus(conn) != CONNECTION_OK) {
    *error = PQerrorMessage(conn);
    PQfinish(conn);
    return false;
  }
  PGresult* r = PQexec(conn, sql.c_str());
  const ExecStatusType status = PQresultStatus(r);
  const bool ok = status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK;
  if (!ok) *error = PQresultErrorMessage(r);
  for (int i = 0; ok && i < PQntuples(r); ++i) {
    rows->emplace_back();
    for (int c = 0; c < PQnfields(r); ++c) rows->back().push_back(PQgetvalue(r, i, c));
  }
  PQclear(r);
  PQfinish(conn);
  return ok;
}

std::string PgValue(const std::string& conninfo, const std::string& sql, std::string* error) {
  std::vector<std::vector<std::string>> rows;
  if (!PgQuery(conninfo, sql, &rows, error)) return std::string();
  if (rows.size() != 1 || rows[0].size() != 1) {
    *error = "not one value: " + std::to_string(rows.size()) + " rows";
    return std::string();
  }
  return rows[0][0];
}
