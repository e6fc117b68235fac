// Enrolment - the roles the company database knows the lines and their
// viewers by, made with an administrator's connection: a line's role
// ("brenna/SITE/LINE", a member of brenna_line) may add its own line's
// results and read nothing of other lines; a viewer's ("brenna-viewer/NAME",
// a member of brenna_viewer) reads every line and writes nothing.
// PostgreSQL enforces both (grants, row-level security: CompanySchema).
// Each gets a random password, kept on the server only as its SCRAM
// verifier; enrolling again gives a new one and voids the old string.
#ifndef BRENNA_SHIP_ENROLMENT_H
#define BRENNA_SHIP_ENROLMENT_H

#include <string>

#include "ship/Conninfo.h"
#include "ship/PgConnection.h"

namespace ship {

struct Enrolled {
  std::string role;
  std::string conninfo;  // what the line or viewer connects with
  bool again = false;    // the role was there: it has a new password now
};

// The line SITE/LINE. False with why.
bool EnrolLine(PgConnection& db, const Conninfo& admin, const std::string& site,
               const std::string& line, Enrolled* out, std::string* error);
// A viewer NAME. False with why.
bool EnrolViewer(PgConnection& db, const Conninfo& admin, const std::string& name, Enrolled* out,
                 std::string* error);

}  // namespace ship

#endif  // BRENNA_SHIP_ENROLMENT_H
