#include "web/HttpServer.h"

#include <utility>

#include "platform/StreamSocket.h"

namespace web {

HttpServer::HttpServer(PoolLimits limits, std::shared_ptr<std::atomic<int>> served, Setup setup)
    : setup_(std::move(setup)) {
  new_task_queue = [this, limits, served] {
    auto* pool = new ConnectionPool(
        limits, [this](Connection& c, bool rejecting) { return ServeOne(c, rejecting); }, served);
    pool_ = pool;
    return pool;
  };
}

void HttpServer::WidenBacklog() { stream_socket::ListenWidely(svr_sock_); }

bool HttpServer::process_and_close_socket(socket_t sock) {
  if (pool_ == nullptr) {
    stream_socket::Close(sock);
    return false;
  }
  pool_->TakeIn(sock);
  return true;
}

bool HttpServer::ServeOne(Connection& c, bool rejecting) {
  const bool last = rejecting || ++c.answered >= static_cast<int>(keep_alive_max_count_);
  bool closed = false;
  const bool ok = process_request(c, last, closed, [&](httplib::Request& req) {
    if (setup_) setup_(req, c);
  });
  // A head the library gave up on before its end (a request line it could
  // not take) leaves nothing on the connection that could be read as the
  // next request.
  return ok && !closed && !last && !c.ClosingAfter() && c.HeadRead();
}

}  // namespace web
