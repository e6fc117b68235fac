// SpoolScan - once a second the window looks for published results
// ("<spool>/*.DOING"), shows each (taking it out of the spool as it reads
// it), leaves it on screen half a second and counts it in the title.
#ifndef BRENNA_PRESENTATION_SPOOLSCAN_H
#define BRENNA_PRESENTATION_SPOOLSCAN_H

#include <string>

// What the scan needs from the window.
class SpoolScanHost {
 public:
  virtual ~SpoolScanHost() = default;
  // Reads the result file, removes it from the spool directory under the
  // spool lock straight after reading, and shows it.
  virtual void ShowResultFile(const std::string& path) = 0;
  // The pause that keeps a result on screen before the next one is drawn.
  virtual void PauseAfterResult() = 0;
  virtual void SetTitle(const std::string& gbkTitle) = 0;
  // The result ShowResultFile showed last is counted: the title now shows
  // shownFiles (the archive takes it from here).
  virtual void ResultCounted(int /*shownFiles*/) {}
  // A few words (UTF-8) on the result ShowResultFile showed last, for the
  // journal's line; empty when there is nothing to add.
  virtual std::string LastShownSummary() const { return std::string(); }
};

// One scan of spoolDir: the window's ScanSpoolFiles. shownFiles counts
// every file handed to the host's ShowResultFile. 1 after a complete scan,
// 0 when an error ended it.
int ScanSpoolDirectory(const std::string& spoolDir, int& shownFiles, SpoolScanHost& host);

// Whether a directory entry's name is a published result ("*.DOING",
// matched without regard to ASCII case, as the pattern always was).
bool IsResultFileName(const std::string& name);

#endif  // BRENNA_PRESENTATION_SPOOLSCAN_H
