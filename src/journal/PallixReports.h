// PallixReports - libPallix's reports in the monitor's journal. The sink
// turns each report into a journal event (or plain line) in the category
// the library names: "start", "net" and "spool" are the journal's own;
// anything else lands in start. The binding installs the sink into the
// library as soon as it is loaded and takes it out before releasing it
// (platform/PallixBinding.h).
#ifndef BRENNA_JOURNAL_PALLIXREPORTS_H
#define BRENNA_JOURNAL_PALLIXREPORTS_H

#include "Pallix.h"

namespace journal {

// Hands the sink to the binding, with the lowest level any of the library's
// categories wants now. Again after the thresholds changed: the library
// then formats only what is wanted.
void ConnectPallixReports();
// Takes the sink back (the library's default applies again).
void DisconnectPallixReports();

// The sink: safe on any thread, at the same time.
void ForwardPallixReport(const PallixLogRecord* record, void* context);

}  // namespace journal

#endif  // BRENNA_JOURNAL_PALLIXREPORTS_H
