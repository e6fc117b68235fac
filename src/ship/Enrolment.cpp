#include "ship/Enrolment.h"

#include <libpq-fe.h>

#include "platform/PrivateFileIo.h"
#include "ship/CompanySchema.h"

namespace ship {

namespace {

// 24 random bytes, as 48 hexadecimal digits: nothing a connection string
// needs to quote.
bool NewPassword(std::string* password) {
  unsigned char random[24];
  if (!private_file_io::RandomBytes(random, sizeof random)) return false;
  static const char hex[] = "0123456789abcdef";
  password->clear();
  for (unsigned char b : random) {
    *password += hex[b >> 4];
    *password += hex[b & 15];
  }
  return true;
}

// Makes `role` a member of `group` with a new password (a new role, or
// one of the group's there already), and runs `more` in the same
// transaction.
bool MakeRole(PgConnection& db, const Conninfo& admin, const std::string& role,
              const std::string& group, const std::string& more, Enrolled* out,
              std::string* error) {
  if (CompanySchemaVersion(db, error) != kCompanySchemaVersion) {
    if (error->empty())
      *error = "the company schema is not at version " + std::to_string(kCompanySchemaVersion) +
               ": run brenna-ship --init first";
    return false;
  }
  std::string password;
  if (!NewPassword(&password)) {
    *error = "no random bytes to be had for a password";
    return false;
  }
  const std::string verifier = db.PasswordVerifier(password, role);
  if (verifier.empty()) {
    *error = "the password cannot be made into its verifier";
    return false;
  }
  const PgResult there = db.Exec(
      "SELECT pg_has_role(oid, $2, 'MEMBER') FROM pg_roles WHERE rolname = $1", {role, group});
  if (!there.ok()) {
    *error = there.Error();
    return false;
  }
  out->again = there.Rows() == 1;
  if (out->again && there.Text(0, 0) != "t") {
    *error = "a role " + role + " is there already and is none of BrennaCenter's (" + group + ")";
    return false;
  }
  const std::string name = db.Identifier(role);
  const std::string sql =
      std::string("BEGIN;\n") +
      (out->again ? "ALTER ROLE " + name + " WITH LOGIN PASSWORD " + db.Literal(verifier) + ";\n"
                  : "CREATE ROLE " + name + " LOGIN CONNECTION LIMIT 4 PASSWORD " +
                        db.Literal(verifier) + " IN ROLE " + group + ";\n") +
      more + "COMMIT";
  if (!db.Run(sql, error)) {
    std::string ignored;
    db.Run("ROLLBACK", &ignored);
    return false;
  }
  out->role = role;
  out->conninfo = ConninfoFor(admin, PQdb(db.get()), role, password);
  return true;
}

}  // namespace

bool EnrolLine(PgConnection& db, const Conninfo& admin, const std::string& site,
               const std::string& line, Enrolled* out, std::string* error) {
  const std::string role = "brenna/" + site + "/" + line;
  const std::string row = "INSERT INTO brenna.line (site, line, role_name) VALUES (" +
                          db.Literal(site) + ", " + db.Literal(line) + ", " + db.Literal(role) +
                          ") ON CONFLICT (site, line) DO NOTHING;\n";
  return MakeRole(db, admin, role, kLineGroup, row, out, error);
}

bool EnrolViewer(PgConnection& db, const Conninfo& admin, const std::string& name, Enrolled* out,
                 std::string* error) {
  return MakeRole(db, admin, "brenna-viewer/" + name, kViewerGroup, std::string(), out, error);
}

}  // namespace ship
