// CompanySchema - the schema "brenna" in the company's PostgreSQL: its
// versions, each step up from the one before (run in one transaction with
// its row in brenna.schema_version, so a failure leaves the version before
// or the one after, never a mix), the roles every line and viewer is a
// member of, and the verdicts' names and colours from the panel model.
// docs/company.md gives the whole.
#ifndef BRENNA_SHIP_COMPANYSCHEMA_H
#define BRENNA_SHIP_COMPANYSCHEMA_H

#include <string>

#include "ship/PgConnection.h"

namespace ship {

// The version this build makes and ships into.
inline constexpr int kCompanySchemaVersion = 1;
// The roles (no login) every line's role, and every viewer's, belongs to.
inline constexpr char kLineGroup[] = "brenna_line";
inline constexpr char kViewerGroup[] = "brenna_viewer";

// The schema's version in the database: 0 when there is none; -1 with
// *error when it cannot be told (a schema "brenna" of something else, a
// connection that failed).
int CompanySchemaVersion(PgConnection& db, std::string* error);

// Makes the schema, or brings it up to kCompanySchemaVersion step by step,
// and writes the verdicts anew. *from is the version it had. False with
// *error (a newer schema than this build knows among the reasons).
bool InitCompanySchema(PgConnection& db, int* from, std::string* error);

}  // namespace ship

#endif  // BRENNA_SHIP_COMPANYSCHEMA_H
