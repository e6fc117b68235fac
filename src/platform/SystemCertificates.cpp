#include "platform/SystemCertificates.h"

std::string SystemRootCertificates() { return "/etc/ssl/certs/ca-certificates.crt"; }
