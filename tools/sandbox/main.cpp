// quillmoor-sandbox: a stand-in for the open platform's REST gateway, the three
// short-link services and the badge picture server, on 127.0.0.1, for the tests,
// the demo and template authors without an application key.

#include <httplib.h>
#include <sys/socket.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
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

// A count, a length or a port: decimal digits up to max (no leading zero,
// which CLI11 would read as octal).
CLI::Validator up_to(long max) {
  return CLI::Validator(
      [max](const std::string& text) {
        const bool decimal = !text.empty() && text.size() <= 9 && (text == "0" || text[0] != '0') &&
                             text.find_first_not_of("0123456789") == std::string::npos;
        if (decimal && std::stol(text) <= max) return std::string();
        return "takes a whole number from 0 to " + std::to_string(max);
      },
      "");
}

CLI::Option* add_count(CLI::App& app, const std::string& name, int& into, const std::string& help,
                       long max = 100000000) {
  return app.add_option(name, into, help)->check(up_to(max))->type_name("N");
}

// One line an option; its help text is its description.
void add_options(CLI::App& app, Options& o) {
  add_count(app, "--port", o.port, "the port (0: a free one, printed on standard output)", 65535);
  app.add_option("--port-file", o.port_file, "also write the port to FILE once it listens")
      ->type_name("FILE");
  app.add_option("--key", o.key, "the application key it accepts")->type_name("KEY");
  app.add_option("--secret", o.secret, "the application secret it accepts")->type_name("SECRET");
  app.add_option("--log", o.log_file, "every request, in every mode, one JSON line each")->type_name("FILE");
  add_count(app, "--slow-ms", o.slow_ms, "every answer waits N ms first");
  add_count(app, "--items", o.items, "how many items each keyword has (default 100)");
  app.add_flag("--drop", o.drop, "every connection is closed without a byte of answer");
  app.add_flag("--truncate", o.truncate, "the gateway's answers end half-way, short of their length");
  app.add_flag("--huge-body", o.huge_body, "the gateway answers with more than 64 MB");
  app.add_flag("--invalid-utf8", o.invalid_utf8, "the gateway's titles hold bytes that are not UTF-8");
  app.add_flag("--shortener-down", o.shortener_down, "the three short-link services answer 503");
  app.add_flag("--all-items", o.all_items,
               "the gateway lists the whole catalogue of --items records in one\n"
               "answer, whatever page_no and page_size ask for");
  add_count(app, "--drip-ms", o.drip_ms, "the gateway sends its answer's body one byte every N ms");
  app.add_flag("--hang", o.hang, "the gateway reads the request and never answers");
  app.add_flag("--reset-mid-body", o.reset_mid_body,
               "every request gets its head and half its body, then a connection\n"
               "reset (plain HTTP only)");
  app.add_flag("--endless", o.endless, "the gateway's chunked body never ends while the client reads");
  app.add_option_function<std::string>(
         "--error",
         [&o](const std::string& text) {
           if (!parse_forced_error(text, o)) throw CLI::ValidationError("--error", "takes C[:S[:M]]");
         },
         "every gateway call gets an error_response with code C, the platform's\n"
         "msg for it, and sub_code S and sub_msg M when S is given")
      ->type_name("C[:S[:M]]");
  add_count(app, "--rate-limit", o.rate_limit,
            "the first N gateway calls per keyword get the platform's rate-limit\n"
            "error (code 7, sub_code accesscontrol.limited-by-app-access-count)");
  add_count(app, "--rate", o.rate,
            "each key may make R gateway calls a second, in bursts of up to R\n"
            "(0, the default: no limit); a call over it gets that error and\n"
            "bans the key for a second")
      ->type_name("R");
  add_count(app, "--ban-seconds", o.ban_seconds, "the ban length that error names (default 1)");
  add_count(app, "--isp-unavailable", o.isp_unavailable,
            "then N calls per keyword get code 15, isp.remote-service-unavailable");
  app.add_flag("--no-permission", o.no_permission,
               "taobao.tbk.dg.material.optional.upgrade gets the platform's error for a\n"
               "key without its permission package (code 11, isv.permission-api-package-empty)");
  app.add_flag("--shortener-hang", o.shortener_hang,
               "the three short-link services read the request and never answer");
  app.add_flag("--tls", o.tls,
               "HTTPS with a certificate made at start for 127.0.0.1 and localhost,\n"
               "written as PEM to the --cert-file FILE before the port is announced");
  app.add_option("--cert-file", o.cert_file, "where --tls writes its certificate")->type_name("FILE");
  app.add_option("--lease-file", o.lease_file,
                 "runs while another process holds a lock on the file's first byte\n"
                 "and ends once it lets go or dies: for a starter that cannot signal\n"
                 "the sandbox (a Windows program under Wine)")
      ->type_name("FILE");
}

// Bad usage: what is wrong and the options on standard error, exit status 2.
std::optional<int> parse_options(int argc, char** argv, Options& options) {
  CLI::App app(
      "A stand-in for the open platform's gateway, the three short-link services and the\n"
      "badge picture server, on 127.0.0.1. The gateway answers taobao.taobaoke.items.get in\n"
      "XML and taobao.tbk.dg.material.optional.upgrade in JSON, from the same items.",
      "quillmoor-sandbox");
  app.footer(
      "The request log (--log) holds every request, in every mode. SIGTERM or SIGINT end the\n"
      "sandbox at once with exit code 0.");
  app.get_formatter()->column_width(22);
  app.set_help_flag("-h,--help", "this help");
  add_options(app, options);
  try {
    app.parse(argc, argv);
    // The certificate is useless unless written out; the raw modes speak plain HTTP only.
    if (options.tls != !options.cert_file.empty() ||
        (options.tls && (options.drop || options.reset_mid_body)))
      throw CLI::ValidationError("--tls", "takes --cert-file FILE, and neither --drop nor --reset-mid-body");
  } catch (const CLI::Success& help) {
    return app.exit(help);
  } catch (const CLI::ParseError& error) {
    std::cerr << "quillmoor-sandbox: " << error.what() << "\n\n" << app.help();
    return 2;
  }
  return std::nullopt;
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
                const bool json = answer.starts_with("{");
                res.set_content(answer, json ? "application/json;charset=UTF-8" : "text/xml;charset=UTF-8");
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
  if (const auto exit_code = sandbox::parse_options(argc, argv, options)) return *exit_code;
  return sandbox::run(options);
}
