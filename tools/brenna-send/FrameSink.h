// FrameSink - where a station's frames go: the monitor over the station
// channel, or the dry run's frames file.
#ifndef BRENNA_TOOLS_FRAMESINK_H
#define BRENNA_TOOLS_FRAMESINK_H

#include <cstddef>
#include <fstream>
#include <string>

#include "SendOptions.h"

namespace brenna_send {

class FrameSink {
 public:
  virtual ~FrameSink() = default;
  // Takes whole frames of `file`'s transfer; kExitOk, or an exit status
  // (ExitStatus.h) with *error saying what went wrong.
  virtual int Put(const unsigned char* frames, std::size_t size, const std::string& file,
                  std::string* error) = 0;
};

// One station channel of libPallix, so one connection to the monitor.
class NetworkSink : public FrameSink {
 public:
  NetworkSink(int channel, const SendOptions& options) : m_channel(channel), m_options(options) {}
  ~NetworkSink() override;
  NetworkSink(const NetworkSink&) = delete;
  NetworkSink& operator=(const NetworkSink&) = delete;

  bool Open(std::string* error);
  // Ends the connection and waits for the monitor's receipt: kExitOk when it
  // confirmed every frame sent, kExitRejected when it answered every one but
  // refused some for good, else kExitSendFailed; *error says why.
  int Close(std::string* error);
  int Put(const unsigned char* frames, std::size_t size, const std::string& file,
          std::string* error) override;

 private:
  int m_channel;
  const SendOptions& m_options;
  bool m_open = false;
};

class FileSink : public FrameSink {
 public:
  FileSink(std::ofstream& out, const std::string& path) : m_out(out), m_path(path) {}
  int Put(const unsigned char* frames, std::size_t size, const std::string& file,
          std::string* error) override;

 private:
  std::ofstream& m_out;
  std::string m_path;
};

}  // namespace brenna_send

#endif  // BRENNA_TOOLS_FRAMESINK_H
