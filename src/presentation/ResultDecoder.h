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

// Reads the file at path into resultBuf (kResultBufferSize bytes; the spool
// lock is held while the file is opened and read) and shows it on board.
// A file that no longer exists changes nothing.
void ShowResultFile(const std::string& path, unsigned char* resultBuf, IDisplayBoard& board);

#endif  // BRENNA_PRESENTATION_RESULTDECODER_H
