// quillmoor-sandbox: a stand-in for the open platform's REST gateway, the three
// short-link services and the badge picture server, on 127.0.0.1, for the tests,
// the demo and template authors without an application key.

#include <httplib.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "drop_posix.h"
#include "faults.h"
#include "form.h"
#include "items.h"
#include "routes.h"
#include "tls_cert.h"

namespace sandbox {
namespace {

constexpr const char* kUsage =
    "usage: quillmoor-sandbox [--port N] [--port-file FILE] [--key KEY] [--secret SECRET] [--log FILE]\n"
    "                         [--slow-ms N] [--drop] [--truncate] [--huge-body] [--invalid-utf8]\n"
    "                         [--items N] [--shortener-down]\n"
    "                         [--all-items] [--drip-ms N] [--hang] [--reset-mid-body] [--endless]\n"
    "                         [--error CODE[:SUB_CODE[:SUB_MSG]]] [--rate-limit N] [--ban-seconds S]\n"
    "                         [--rate R]\n"
    "                         [--isp-unavailable N] [--shortener-hang] [--tls --cert-file FILE]\n"
    "                         [--lease-file FILE]\n"
    "  --all-items        the gateway lists the whole catalogue of --items records in one answer,\n"
    "                     whatever page_no and page_size ask for\n"
    "  --drip-ms N        the gateway sends its answer's body one byte every N ms\n"
    "  --hang             the gateway reads the request and never answers\n"
    "  --reset-mid-body   every request gets its head and half its body, then a connection reset\n"
    "                     (plain HTTP only)\n"
    "  --endless          the gateway's chunked body never ends while the client reads\n"
    "  --error C[:S[:M]]  every gateway call gets an error_response with code C, the platform's msg\n"
    "                     for it, and sub_code S and sub_msg M when S is given\n"
    "  --rate-limit N     the first N gateway calls per keyword get the platform's rate-limit error\n"
    "                     (code 7, sub_code accesscontrol.limited-by-app-access-count)\n"
    "  --ban-seconds S    the ban length that error names (default 1)\n"
    "  --rate R           each key may make R gateway calls a second, in bursts of up to R\n"
    "                     (0, the default: no limit);\n"
    "                     a call over it gets that error and bans the key for a second\n"
    "  --isp-unavailable N  then N calls per keyword get code 15, isp.remote-service-unavailable\n"
    "  --shortener-hang   the three short-link services read the request and never answer\n"
    "  --tls              HTTPS with a certificate made at start for 127.0.0.1 and localhost,\n"
    "                     written as PEM to the --cert-file FILE before the port is announced\n"
    "  --lease-file FILE  runs while another process holds a lock on the file's first byte and\n"
    "                     ends once it lets go or dies: for a starter that cannot signal the\n"
    "                     sandbox (a Windows program under Wine)\n"
    "The request log (--log) holds every request, in every mode. SIGTERM or SIGINT end the\n"
    "sandbox at once with exit code 0.\n";

bool parse_options(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    auto number = [&](int& out) {
      std::string text;
      if (!value(text)) return false;
      char* end = nullptr;
      long n = std::strtol(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || n < 0 || n > 100000000) return false;
      out = static_cast<int>(n);
      return true;
    };
    bool ok = true;
    if (arg == "--port")
      ok = number(o.port) && o.port <= 65535;
    else if (arg == "--port-file")
      ok = value(o.port_file);
    else if (arg == "--key")
      ok = value(o.key);
    else if (arg == "--secret")
      ok = value(o.secret);
    else if (arg == "--log")
      ok = value(o.log_file);
    else if (arg == "--slow-ms")
      ok = number(o.slow_ms);
    else if (arg == "--items")
      ok = number(o.items);
    else if (arg == "--drop")
      o.drop = true;
    else if (arg == "--truncate")
      o.truncate = true;
    else if (arg == "--huge-body")
      o.huge_body = true;
    else if (arg == "--invalid-utf8")
      o.invalid_utf8 = true;
    else if (arg == "--shortener-down")
      o.shortener_down = true;
    else if (arg == "--all-items")
      o.all_items = true;
    else if (arg == "--drip-ms")
      ok = number(o.drip_ms);
    else if (arg == "--hang")
      o.hang = true;
    else if (arg == "--reset-mid-body")
      o.reset_mid_body = true;
    else if (arg == "--endless")
      o.endless = true;
    else if (arg == "--error") {
      std::string text;
      ok = value(text) && parse_forced_error(text, o);
    } else if (arg == "--rate-limit")
      ok = number(o.rate_limit);
    else if (arg == "--ban-seconds")
      ok = number(o.ban_seconds);
    else if (arg == "--rate")
      ok = number(o.rate);
    else if (arg == "--isp-unavailable")
      ok = number(o.isp_unavailable);
    else if (arg == "--shortener-hang")
      o.shortener_hang = true;
    else if (arg == "--tls")
      o.tls = true;
    else if (arg == "--cert-file")
      ok = value(o.cert_file);
    else if (arg == "--lease-file")
      ok = value(o.lease_file);
    else
      ok = false;
    if (!ok) return false;
  }
  // The certificate is useless unless written out; the raw modes speak plain HTTP only.
  if (o.tls != !o.cert_file.empty()) return false;
  return !(o.tls && (o.drop || o.reset_mid_body));
}

class RequestLog {
 public:
  explicit RequestLog(const std::string& path) {
    if (!path.empty()) out_.open(path, std::ios::app | std::ios::binary);
  }
  void write(const httplib::Request& req, const Params& params) {
    if (!out_.is_open()) return;
    std::string line =
        "{\"method\":" + json_quote(req.method) + ",\"path\":" + json_quote(req.path) + ",\"headers\":{";
    bool first = true;
    for (const auto& [name, value] : req.headers) {
      if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" || name == "LOCAL_PORT")
        continue;
      line += (first ? "" : ",") + json_quote(name) + ":" + json_quote(value);
      first = false;
    }
    line += "},\"params\":{";
    first = true;
    for (const auto& [name, value] : params) {
      line += (first ? "" : ",") + json_quote(name) + ":" + json_quote(value);
      first = false;
    }
    line += "},\"body\":" + json_quote(req.body) + "}\n";
    std::lock_guard lock(mutex_);
    out_ << line;
    out_.flush();
  }
  // Waits for a line being written and keeps any more from starting: for the exit.
  void close_for_exit() { mutex_.lock(); }

 private:
  std::mutex mutex_;
  std::ofstream out_;
};

// Form fields of a POST, query fields of a GET.
Params request_params(const httplib::Request& req) {
  if (req.method == "POST") return parse_form(req.body);
  Params params;
  for (const auto& [name, value] : req.params) params.emplace_back(name, value);
  return params;
}

std::string base_url(const httplib::Request& req, int port, bool tls = false) {
  std::string host = req.get_header_value("Host");
  return (tls ? "https://" : "http://") + (host.empty() ? "127.0.0.1:" + std::to_string(port) : host);
}

void announce(int port, const std::string& port_file) {
  std::printf("%d\n", port);
  std::fflush(stdout);
  if (port_file.empty()) return;
  std::string temporary = port_file + ".tmp";
  { std::ofstream(temporary) << port << "\n"; }
  std::rename(temporary.c_str(), port_file.c_str());
}

void answer_huge(httplib::Response& res) {
  const std::size_t chunk = 1 << 20;
  const std::size_t total = (64u << 20) + 2 * chunk;
  res.set_chunked_content_provider("text/xml;charset=UTF-8",
                                   [chunk, total](std::size_t offset, httplib::DataSink& sink) {
                                     if (offset >= total) {
                                       sink.done();
                                       return true;
                                     }
                                     static const std::string block(chunk, 'x');
                                     return sink.write(block.data(), block.size());
                                   });
}

void answer_truncated(httplib::Response& res, std::string answer) {
  std::size_t announced = answer.size() + 4096;
  res.set_content_provider(
      announced, "text/xml;charset=UTF-8",
      [answer = std::move(answer)](std::size_t offset, std::size_t, httplib::DataSink& sink) {
        if (offset > 0) return false;  // the connection goes down mid-body
        return sink.write(answer.data(), answer.size() / 2);
      });
}

// Until the process ends: the client sees an accepted, read, unanswered request.
[[noreturn]] void never_answer() {
  for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

void answer_dripping(httplib::Response& res, std::string answer, int drip_ms) {
  const std::size_t size = answer.size();
  res.set_content_provider(
      size, "text/xml;charset=UTF-8",
      [answer = std::move(answer), drip_ms](std::size_t offset, std::size_t, httplib::DataSink& sink) {
        std::this_thread::sleep_for(std::chrono::milliseconds(drip_ms));
        return sink.write(answer.data() + offset, 1);
      });
}

// The answer's head once, then its item lines over and over (the whole answer
// over and over when it lists no items) until the client goes away.
void answer_endless(httplib::Response& res, const std::string& answer) {
  const std::size_t items = answer.find("<taobaoke_item>");
  const std::size_t items_end = answer.rfind("</taobaoke_items>");
  const bool listed = items != std::string::npos && items_end != std::string::npos && items < items_end;
  std::string head = listed ? answer.substr(0, items) : "";
  std::string block = listed ? answer.substr(items, items_end - items) : answer;
  while (block.size() < (64u << 10)) block += block;
  res.set_chunked_content_provider(
      "text/xml;charset=UTF-8",
      [head = std::move(head), block = std::move(block)](std::size_t offset, httplib::DataSink& sink) {
        if (offset == 0 && !head.empty()) return sink.write(head.data(), head.size());
        return sink.write(block.data(), block.size());
      });
}

void install_routes(httplib::Server& server, const Options& o, RequestLog& log, GatewayFaults& faults,
                    int& port) {
  // Every handler logs the request first, then waits if asked to be slow.
  auto wrap = [&o, &log](auto handler) {
    return [&o, &log, handler](const httplib::Request& req, httplib::Response& res) {
      Params params = request_params(req);
      log.write(req, params);
      if (o.slow_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(o.slow_ms));
      handler(req, res, params);
    };
  };
  server.Post("/router/rest", wrap([&o, &port, &faults](const httplib::Request& req, httplib::Response& res,
                                                        const Params& params) {
                if (o.hang) never_answer();
                if (o.huge_body) return answer_huge(res);
                std::string answer = faults.answer_instead(params).value_or("");
                if (answer.empty())
                  answer = gateway_answer(params, o, base_url(req, port, o.tls), std::time(nullptr));
                if (o.endless) return answer_endless(res, answer);
                if (o.truncate) return answer_truncated(res, std::move(answer));
                if (o.drip_ms > 0) return answer_dripping(res, std::move(answer), o.drip_ms);
                res.set_content(answer, "text/xml;charset=UTF-8");
              }));
  auto down = [&o](httplib::Response& res) {
    if (o.shortener_hang) never_answer();
    if (!o.shortener_down) return false;
    res.status = 503;
    res.set_content("<html><body>503 Service Unavailable</body></html>", "text/html");
    return true;
  };
  server.Post("/create.php",
              wrap([&, down](const httplib::Request& req, httplib::Response& res, const Params& params) {
                if (down(res)) return;
                res.set_content(
                    create_php_answer(find_param(params, "url").value_or(""), base_url(req, port, o.tls)),
                    "text/html");
              }));
  server.Get("/v1/data/link_conv/rd_dispatcher.php",
             wrap([&, down](const httplib::Request& req, httplib::Response& res, const Params& params) {
               if (down(res)) return;
               res.set_content(dispatcher_answer(find_param(params, "orig_link").value_or(""),
                                                 base_url(req, port, o.tls)),
                               "text/plain");
             }));
  server.Get("/", wrap([&, down](const httplib::Request& req, httplib::Response& res, const Params& params) {
               auto link = find_param(params, "url");
               if (!link) return res.set_content("quillmoor sandbox\n", "text/plain");
               if (down(res)) return;
               res.set_content(root_answer(*link, base_url(req, port, o.tls)), "text/html");
             }));
  server.Get(R"(/newrank/([A-Za-z0-9_]+)\.gif)",
             wrap([](const httplib::Request& req, httplib::Response& res, const Params&) {
               res.set_content(badge_gif(req.matches[1].str()), "image/gif");
             }));
  server.Get(R"(/pic/.*)", wrap([](const httplib::Request&, httplib::Response& res, const Params&) {
               res.set_content(badge_gif("s_blue_1"), "image/gif");
             }));
  server.Get(R"(/(s/.*|t|shop))",
             wrap([](const httplib::Request& req, httplib::Response& res, const Params&) {
               res.set_content("<html><body>quillmoor sandbox: " + xml_escape(req.path) + "</body></html>",
                               "text/html");
             }));
}

// Every request gets its answer's head and half its body, then a reset.
int run_resetting(const Options& o, RequestLog& log) {
  GatewayFaults faults(o);
  int port = o.port;
  return run_resetting_listener(
      o.port, [&](int chosen) { announce(port = chosen, o.port_file); },
      [&](const RawRequest& raw) {
        httplib::Request req;
        req.method = raw.method;
        req.target = raw.target;
        req.path = raw.target.substr(0, raw.target.find('?'));
        for (const auto& [name, value] : raw.headers) req.headers.emplace(name, value);
        req.body = raw.body;
        if (const std::size_t query = raw.target.find('?'); query != std::string::npos) {
          for (auto& [name, value] : parse_form(std::string_view(raw.target).substr(query + 1)))
            req.params.emplace(name, value);
        }
        Params params = request_params(req);
        log.write(req, params);
        if (req.method != "POST" || req.path != "/router/rest") return std::string("quillmoor sandbox\n");
        return faults.answer_instead(params).value_or(
            gateway_answer(params, o, base_url(req, port), std::time(nullptr)));
      });
}

// The HTTPS server with a fresh certificate written to the cert file; null when either fails.
std::unique_ptr<httplib::Server> make_tls_server(const Options& o) {
  SelfSignedCertificate made = make_self_signed_certificate();
  if (!made.key) return nullptr;
  const std::string temporary = o.cert_file + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary);
    out << made.pem;
    if (!out.flush()) return nullptr;
  }
  if (std::rename(temporary.c_str(), o.cert_file.c_str()) != 0) return nullptr;
  auto server = std::make_unique<httplib::SSLServer>(made.certificate.get(), made.key.get());
  if (!server->is_valid()) return nullptr;
  return server;
}

int run(const Options& o) {
  RequestLog log(o.log_file);
  exit_on_termination_signal([&log] { log.close_for_exit(); });
  if (!o.lease_file.empty()) exit_when_lease_ends(o.lease_file, [&log] { log.close_for_exit(); });
  if (o.drop) return run_dropping_listener(o.port, [&](int port) { announce(port, o.port_file); });
  if (o.reset_mid_body) return run_resetting(o, log);
  std::unique_ptr<httplib::Server> server = o.tls ? make_tls_server(o) : std::make_unique<httplib::Server>();
  if (!server) {
    std::cerr << "quillmoor-sandbox: cannot make or write the certificate " << o.cert_file << "\n";
    return 1;
  }
  // A kept-alive connection holds its worker between requests, and unanswered
  // requests hold theirs for good: room for a client with 16 requests at a time
  // and for the ones after them. Connections stay for the client's whole run:
  // the library's default closes one every 5 requests, and 16 clients coming
  // back at once overflow its listen queue of 5, each losing a second to the
  // retried connect.
  const std::size_t workers = 64;
  server->new_task_queue = [workers] { return new httplib::ThreadPool(workers); };
  server->set_keep_alive_max_count(1000000);
  int listener = -1;
  server->set_socket_options([&listener](int socket) {
    httplib::default_socket_options(socket);
    listener = socket;
  });
  server->set_payload_max_length(16u << 20);
  // Clients keep their connections: without it an answer written in two pieces
  // waits for the client's delayed acknowledgement (and a drip sends one byte a segment).
  server->set_tcp_nodelay(true);
  GatewayFaults faults(o);
  int port = o.port;
  install_routes(*server, o, log, faults, port);
  if (o.port == 0) {
    port = server->bind_to_any_port("127.0.0.1");
    if (port <= 0) return 1;
  } else if (!server->bind_to_port("127.0.0.1", o.port)) {
    std::cerr << "quillmoor-sandbox: cannot listen on port " << o.port << "\n";
    return 1;
  }
  // Listening again only lengthens the queue the library made.
  if (listener >= 0) ::listen(listener, SOMAXCONN);
  announce(port, o.port_file);
  return server->listen_after_bind() ? 0 : 1;
}

}  // namespace
}  // namespace sandbox

int main(int argc, char** argv) {
  sandbox::Options options;
  if (!sandbox::parse_options(argc, argv, options)) {
    std::cerr << sandbox::kUsage;
    return 2;
  }
  return sandbox::run(options);
}
