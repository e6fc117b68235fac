// HttpServer - cpp-httplib's server with connections handled our way
// (web/ConnectionPool): the library accepts each connection and reads and
// answers each request, but on a stream of ours (web/Connection) that
// lives as long as the connection, with a deadline for the whole request,
// and only once the request has come in full. Before a request is routed,
// `setup` may look at it and change it (web/WebServer: ranges, closing).
#ifndef BRENNA_WEB_HTTPSERVER_H
#define BRENNA_WEB_HTTPSERVER_H

#include <httplib.h>

#include <atomic>
#include <functional>
#include <memory>

#include "web/Connection.h"
#include "web/ConnectionPool.h"

namespace web {

class HttpServer : public httplib::Server {
 public:
  using Setup = std::function<void(httplib::Request&, Connection&)>;

  HttpServer(PoolLimits limits, std::shared_ptr<std::atomic<int>> served, Setup setup);
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Once bound: room for a burst of connections in the system's queue (a
  // room of screens reconnecting at once), not the library's five.
  void WidenBacklog();

 private:
  // The library's hand-over of an accepted socket: to the pool's gate.
  bool process_and_close_socket(socket_t sock) override;
  // Answers the request waiting on `c`; false when the connection closes.
  bool ServeOne(Connection& c, bool rejecting);

  Setup setup_;
  ConnectionPool* pool_ = nullptr;  // the library owns it while it listens
};

}  // namespace web

#endif  // BRENNA_WEB_HTTPSERVER_H
