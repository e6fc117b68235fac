#include "platform/SystemCertificates.h"

// Windows keeps its roots in its certificate store, which libpq does not
// read: a connection string for Windows names its root file itself.
std::string SystemRootCertificates() { return std::string(); }
