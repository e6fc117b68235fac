#include "web/CompanyMode.h"

#if BRENNA_WEB_COMPANY
#include "web/CompanyDatabase.h"
#include "web/CompanyFeed.h"
#endif

namespace web {

#if BRENNA_WEB_COMPANY

struct CompanyMode::Parts {
  std::unique_ptr<CompanyDatabase> database;
  std::unique_ptr<CompanyFeed> feed;
};

CompanyMode::CompanyMode() : parts_(std::make_unique<Parts>()) {}

bool CompanyMode::Take(const std::string& text, const std::string& file, std::string* error,
                       int* status) {
  std::string conninfo = text, why;
  if (!file.empty() &&
      !ship::ReadConninfoFile(file, "give it a new string (brenna-ship --enrol-viewer again)",
                              &conninfo, &why)) {
    *error = "the connection string file " + file + " " + why;
    *status = 1;
    return false;
  }
  CompanyDatabase::Options options;
  if (!ship::Conninfo::Parse(conninfo, &options.conninfo, error, CompanyConninfoUse())) {
    *status = 2;
    return false;
  }
  parts_->database = std::make_unique<CompanyDatabase>(std::move(options));
  parts_->feed = std::make_unique<CompanyFeed>(
      CompanyFeed::Options{parts_->database.get(), std::chrono::milliseconds(2000), nullptr});
  return true;
}

void CompanyMode::Serve(ServerOptions* options) {
  options->company = parts_->feed.get();
  options->companySource = parts_->database.get();
}

void CompanyMode::Start() {
  if (parts_->feed) parts_->feed->Start();
}

void CompanyMode::Stop() {
  if (parts_->feed) parts_->feed->Stop();
}

std::string CompanyMode::Where() const {
  return parts_->database ? parts_->database->Where() : std::string();
}

#else

struct CompanyMode::Parts {};

CompanyMode::CompanyMode() = default;

bool CompanyMode::Take(const std::string&, const std::string&, std::string* error, int* status) {
  *error = "the company's view (--company) is not in this build: it runs on Linux, where libpq is";
  *status = 1;
  return false;
}

void CompanyMode::Serve(ServerOptions*) {}
void CompanyMode::Start() {}
void CompanyMode::Stop() {}
std::string CompanyMode::Where() const { return std::string(); }

#endif

CompanyMode::~CompanyMode() { Stop(); }

}  // namespace web
