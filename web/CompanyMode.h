// CompanyMode - brenna-web --company, the company's view (docs/company.md):
// the company's connection string (--company CONNINFO, or --company-file
// FILE, which only its owner may read, as the token file), taken by
// brenna-ship's rules (ship/Conninfo: TLS that verifies the server; a
// viewer's role), the database the pages read (web/CompanyDatabase) and
// the overview's feed (web/CompanyFeed), handed to the server. Built where
// libpq is: on Linux; a build without it says so and serves nothing.
#ifndef BRENNA_WEB_COMPANYMODE_H
#define BRENNA_WEB_COMPANYMODE_H

#include <memory>
#include <string>

#include "web/WebServer.h"
#include "web/WebSettings.h"

namespace web {

// Where the company's view listens unless told otherwise.
inline constexpr int kDefaultCompanyPort = 10090;

class CompanyMode {
 public:
  CompanyMode();
  ~CompanyMode();
  CompanyMode(const CompanyMode&) = delete;
  CompanyMode& operator=(const CompanyMode&) = delete;

  // Takes the connection string, given (`text`) or in the file at `file`
  // (the system's encoding). False with the message in *error and the
  // exit status in *status: 2 for a string it cannot take, 1 for a file
  // it must not use or a build without the company's view.
  bool Take(const std::string& text, const std::string& file, std::string* error, int* status);
  // The database and the feed, for the server's options.
  void Serve(ServerOptions* options);
  void Start();
  void Stop();
  // "db.example.com:5432/company"
  std::string Where() const;

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

}  // namespace web

#endif  // BRENNA_WEB_COMPANYMODE_H
