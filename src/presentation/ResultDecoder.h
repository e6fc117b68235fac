// ResultDecoder - shows one spooled result record on the displays: the
// operator of its device group, then every routed item in the colour of its
// judge code. Displays keep what they show until a later record carries
// their item again.
#ifndef BRENNA_PRESENTATION_RESULTDECODER_H
#define BRENNA_PRESENTATION_RESULTDECODER_H

#include <string>

#include "Pallix.h"
#include "presentation/DisplayBoard.h"

// The record buffer: a spool file is read up to this many bytes.
constexpr int kResultBufferSize = PALLIX_RECORD_MAX;

// The window's ShowResultFile: reads the file at path into resultBuf
// (kResultBufferSize bytes) and shows it on board. The spool lock is held while the file is opened,
// read and removed from the spool directory. A file that no longer exists changes nothing; what is
// not a regular file (a link, FIFO, device, directory) is neither read nor removed, and decodes as
// an empty record.
void DecodeResultFile(const std::string& path, unsigned char* resultBuf, IDisplayBoard& board);

#endif  // BRENNA_PRESENTATION_RESULTDECODER_H
