#include "service/sessions.hpp"

#include <deque>
#include <sstream>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

namespace ScaleService {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = net::ip::tcp;

namespace {

// ---- the WebSocket stream ----

class StreamSession : public StreamSubscriber, public std::enable_shared_from_this<StreamSession> {
 public:
  StreamSession(Service& service, ScaleWorker* worker, beast::tcp_stream&& stream,
                std::unique_ptr<ConnectionLimit::Slot> slot)
      : service_(service),
        worker_(worker),
        ws_(std::move(stream)),
        heartbeat_(ws_.get_executor()),
        slot_(std::move(slot)) {}

  void Start(const Request& request) {
    ws_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    ws_.set_option(websocket::stream_base::decorator(
        [](websocket::response_type& response) { response.set(http::field::server, "scale-service"); }));
    ws_.read_message_max(4096);
    ws_.async_accept(request, [self = shared_from_this()](beast::error_code error) { self->OnAccept(error); });
  }

  bool Wants(const std::string& key) const override { return !closed_ && key != lastKey_; }
  void Send(const std::string& key, const std::string& message) override {
    lastKey_ = key;
    Queue(message);
  }

 private:
  void OnAccept(beast::error_code error) {
    if (error) return;
    service_.GetMetrics().StreamOpened(worker_->Name());
    counted_ = true;
    service_.Join(worker_, shared_from_this());
    Heartbeat();
    Read();
  }

  void Heartbeat() {
    heartbeat_.expires_after(std::chrono::milliseconds(kHeartbeatMs));
    heartbeat_.async_wait([weak = weak_from_this()](beast::error_code error) {
      auto self = weak.lock();
      if (error || !self || self->closed_) return;
      self->Queue("{\"type\":\"heartbeat\"}");
      self->Heartbeat();
    });
  }

  void Read() {
    ws_.async_read(buffer_, [self = shared_from_this()](beast::error_code error, std::size_t) {
      // Clients have nothing to say on the stream; what they send is dropped.
      self->buffer_.consume(self->buffer_.size());
      if (error) return self->Close();
      self->Read();
    });
  }

  // A slow client holds at most one message besides the one being written: the newest.
  void Queue(std::string message) {
    if (closed_) return;
    if (outbox_.size() > 1) outbox_.pop_back();
    outbox_.push_back(std::move(message));
    if (!writing_) Write();
  }

  void Write() {
    writing_ = true;
    ws_.text(true);
    ws_.async_write(net::buffer(outbox_.front()), [self = shared_from_this()](beast::error_code error, std::size_t) {
      self->writing_ = false;
      self->outbox_.pop_front();
      if (error) return self->Close();
      if (!self->outbox_.empty()) self->Write();
    });
  }

  void Close() {
    if (closed_) return;
    closed_ = true;
    heartbeat_.cancel();
    service_.Leave(worker_, this);
    if (counted_) service_.GetMetrics().StreamClosed(worker_->Name());
    beast::error_code ignored;
    beast::get_lowest_layer(ws_).socket().close(ignored);
  }

  Service& service_;
  ScaleWorker* worker_;
  websocket::stream<beast::tcp_stream> ws_;
  net::steady_timer heartbeat_;
  beast::flat_buffer buffer_;
  std::deque<std::string> outbox_;
  std::string lastKey_;
  std::unique_ptr<ConnectionLimit::Slot> slot_;
  bool writing_ = false;
  bool closed_ = false;
  bool counted_ = false;
};

// ---- HTTP sessions ----

// Refusals for requests that break a limit; the connection closes after them.
Response LimitAnswer(beast::error_code error, std::size_t fields) {
  Request shape{http::verb::get, "/", 11};
  shape.keep_alive(false);
  if (fields > kMaxHeaderFields) {
    return Service::Error(shape, http::status::request_header_fields_too_large, "TooManyHeaderFields",
                          "a request may carry at most " + std::to_string(kMaxHeaderFields) + " header fields");
  }
  if (error == http::error::header_limit) {
    return Service::Error(shape, http::status::request_header_fields_too_large, "HeaderTooLarge",
                          "the request's header exceeds " + std::to_string(kMaxRequestBytes) + " bytes");
  }
  if (error == http::error::body_limit) {
    return Service::Error(shape, http::status::payload_too_large, "RequestTooLarge",
                          "a request may be at most " + std::to_string(kMaxRequestBytes) + " bytes");
  }
  return Service::Error(shape, http::status::bad_request, "BadRequest", "the request is not valid HTTP/1.1");
}

Response TimeoutAnswer() {
  return Service::Error(Request{http::verb::get, "/", 11}, http::status::request_timeout, "RequestTimeout",
                        "the request did not arrive in time");
}

// The limits of one request on its parser.
void Limit(http::request_parser<http::string_body>& parser) {
  parser.header_limit(kMaxRequestBytes);
  parser.body_limit(kMaxRequestBytes);
}

std::size_t CountFields(const Request& request) {
  return static_cast<std::size_t>(std::distance(request.begin(), request.end()));
}

class HttpSession : public std::enable_shared_from_this<HttpSession> {
 public:
  HttpSession(Service& service, tcp::socket&& socket, std::unique_ptr<ConnectionLimit::Slot> slot)
      : service_(service), stream_(std::move(socket)), timer_(stream_.get_executor()), slot_(std::move(slot)) {}
  ~HttpSession() { service_.Connections().Done(ticket_); }

  void Start() { ReadHeader(); }

 private:
  // Closed at the connection cap while still sending its request: the descriptor goes at once.
  void Evict() {
    evicted_ = true;
    timer_.cancel();
    beast::error_code ignored;
    stream_.socket().close(ignored);
    if (slot_) slot_->Release();
  }

  void ReadHeader() {
    ticket_ = service_.Connections().Waiting([weak = weak_from_this()] {
      if (auto self = weak.lock()) self->Evict();
    });
    parser_.emplace();
    Limit(*parser_);
    timedOut_ = false;
    timer_.expires_after(std::chrono::milliseconds(kHeaderTimeoutMs));
    timer_.async_wait([weak = weak_from_this()](beast::error_code error) {
      auto self = weak.lock();
      if (error || !self) return;
      self->timedOut_ = true;
      beast::error_code ignored;
      self->stream_.socket().cancel(ignored);
    });
    stream_.expires_never();
    http::async_read_header(stream_, buffer_, *parser_,
                            [self = shared_from_this()](beast::error_code error, std::size_t) {
                              self->OnHeader(error);
                            });
  }

  void OnHeader(beast::error_code error) {
    if (evicted_) return;
    if (timedOut_) return Refuse(TimeoutAnswer());
    if (error == http::error::end_of_stream || error == net::error::connection_reset || error == net::error::eof) {
      return Shutdown();
    }
    const std::size_t fields = error ? 0 : CountFields(parser_->get());
    if (error || fields > kMaxHeaderFields) return Refuse(LimitAnswer(error, fields));
    if (websocket::is_upgrade(parser_->get())) {
      timer_.cancel();
      service_.Connections().Done(ticket_);
      Request request = parser_->release();
      ScaleWorker* worker = nullptr;
      if (auto refusal = service_.CheckUpgrade(request, worker)) {
        refusal->keep_alive(false);
        return Refuse(std::move(*refusal));
      }
      std::make_shared<StreamSession>(service_, worker, std::move(stream_), std::move(slot_))->Start(request);
      return;
    }
    http::async_read(stream_, buffer_, *parser_, [self = shared_from_this()](beast::error_code error, std::size_t) {
      self->OnRequest(error);
    });
  }

  void OnRequest(beast::error_code error) {
    if (evicted_) return;
    timer_.cancel();
    service_.Connections().Done(ticket_);
    if (timedOut_) return Refuse(TimeoutAnswer());
    if (error) return Refuse(LimitAnswer(error, 0));
    Request request = parser_->release();
    // The session lives on through a pending answer until Send.
    pending_ = shared_from_this();
    service_.Handle(request, [weak = weak_from_this()](Response response) {
      if (auto self = weak.lock()) self->Send(std::move(response));
    });
  }

  void Send(Response response) {
    auto self = std::move(pending_);
    if (!self) self = shared_from_this();
    auto message = std::make_shared<Response>(std::move(response));
    stream_.expires_after(std::chrono::seconds(30));
    http::async_write(stream_, *message, [self, message](beast::error_code error, std::size_t) {
      if (error) return self->Shutdown();
      if (!message->keep_alive()) return self->Shutdown();
      self->ReadHeader();
    });
  }

  void Refuse(Response response) {
    timer_.cancel();
    service_.Connections().Done(ticket_);
    response.keep_alive(false);
    Send(std::move(response));
  }

  void Shutdown() {
    timer_.cancel();
    service_.Connections().Done(ticket_);
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream_.close();
  }

  Service& service_;
  beast::tcp_stream stream_;
  net::steady_timer timer_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  std::shared_ptr<HttpSession> pending_;
  std::unique_ptr<ConnectionLimit::Slot> slot_;
  std::uint64_t ticket_ = 0;
  bool timedOut_ = false;
  bool evicted_ = false;
};

class Listener : public std::enable_shared_from_this<Listener> {
 public:
  Listener(Service& service, tcp::endpoint endpoint) : service_(service), acceptor_(service.Io()) {
    acceptor_.open(endpoint.protocol());
    acceptor_.set_option(net::socket_base::reuse_address(true));
    acceptor_.bind(endpoint);
    acceptor_.listen(net::socket_base::max_listen_connections);
  }
  std::uint16_t Port() const { return acceptor_.local_endpoint().port(); }
  void Stop() {
    beast::error_code ignored;
    acceptor_.close(ignored);
  }
  void Accept() {
    acceptor_.async_accept([self = shared_from_this()](beast::error_code error, tcp::socket socket) {
      if (!error) {
        socket.set_option(tcp::no_delay(true), error);
        // At the cap with every connection past its request: this one is refused.
        if (auto slot = self->service_.Connections().Take()) {
          std::make_shared<HttpSession>(self->service_, std::move(socket), std::move(slot))->Start();
        }
      }
      // Out of descriptors below the cap (other programs' limits, or a low hard limit): a slow
      // client makes room, else the next accept is tried again after a pause.
      if (error == net::error::no_descriptors && self->service_.Connections().EvictOldest()) return self->Accept();
      if (error == net::error::no_descriptors) {
        auto pause = std::make_shared<net::steady_timer>(self->service_.Io(), std::chrono::milliseconds(100));
        pause->async_wait([self, pause](beast::error_code) { self->Accept(); });
        return;
      }
      if (error == net::error::operation_aborted) return;
      self->Accept();
    });
  }

 private:
  Service& service_;
  tcp::acceptor acceptor_;
};
}  // namespace

std::uint16_t Listen(Service& service, const ServiceSettings& settings, std::function<void()>& stop) {
  tcp::endpoint endpoint(net::ip::make_address(settings.listenAddress), settings.listenPort);
  auto listener = std::make_shared<Listener>(service, endpoint);
  listener->Accept();
  stop = [weak = std::weak_ptr<Listener>(listener)] {
    if (auto self = weak.lock()) self->Stop();
  };
  service.SetPort(listener->Port());
  return listener->Port();
}

void HandleBytes(Service& service, const std::string& bytes, std::string& out) {
  http::request_parser<http::string_body> parser;
  Limit(parser);
  parser.eager(true);
  beast::error_code error;
  parser.put(net::buffer(bytes), error);
  if (!error && !parser.is_done()) parser.put_eof(error);
  auto write = [&out](const Response& response) {
    std::ostringstream text;
    text << response;
    out += text.str();
  };
  if (error || !parser.is_done()) return write(LimitAnswer(error, 0));
  const std::size_t fields = CountFields(parser.get());
  if (fields > kMaxHeaderFields) return write(LimitAnswer(error, fields));
  if (websocket::is_upgrade(parser.get())) {
    ScaleWorker* worker = nullptr;
    if (auto refusal = service.CheckUpgrade(parser.get(), worker)) write(*refusal);
    return;
  }
  service.Handle(parser.get(), write);
}

}  // namespace ScaleService
