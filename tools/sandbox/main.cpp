// quillmoor-sandbox: a stand-in for the open platform's REST gateway, the three
// short-link services and the badge picture server, on 127.0.0.1, for the tests,
// the demo and template authors without an application key.

#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>

#include "drop_posix.h"
#include "form.h"
#include "items.h"
#include "routes.h"

namespace sandbox {
namespace {

constexpr const char* kUsage =
    "usage: quillmoor-sandbox [--port N] [--port-file FILE] [--key KEY] [--secret SECRET] [--log FILE]\n"
    "                         [--slow-ms N] [--drop] [--truncate] [--huge-body] [--invalid-utf8]\n"
    "                         [--items N] [--shortener-down]\n";

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
    else
      ok = false;
    if (!ok) return false;
  }
  return true;
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

std::string base_url(const httplib::Request& req, int port) {
  std::string host = req.get_header_value("Host");
  return "http://" + (host.empty() ? "127.0.0.1:" + std::to_string(port) : host);
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

void install_routes(httplib::Server& server, const Options& o, RequestLog& log, int& port) {
  // Every handler logs the request first, then waits if asked to be slow.
  auto wrap = [&o, &log](auto handler) {
    return [&o, &log, handler](const httplib::Request& req, httplib::Response& res) {
      Params params = request_params(req);
      log.write(req, params);
      if (o.slow_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(o.slow_ms));
      handler(req, res, params);
    };
  };
  server.Post("/router/rest",
              wrap([&o, &port](const httplib::Request& req, httplib::Response& res, const Params& params) {
                if (o.huge_body) return answer_huge(res);
                std::string answer = gateway_answer(params, o, base_url(req, port), std::time(nullptr));
                if (o.truncate) return answer_truncated(res, std::move(answer));
                res.set_content(answer, "text/xml;charset=UTF-8");
              }));
  auto down = [&o](httplib::Response& res) {
    if (!o.shortener_down) return false;
    res.status = 503;
    res.set_content("<html><body>503 Service Unavailable</body></html>", "text/html");
    return true;
  };
  server.Post("/create.php",
              wrap([&, down](const httplib::Request& req, httplib::Response& res, const Params& params) {
                if (down(res)) return;
                res.set_content(
                    create_php_answer(find_param(params, "url").value_or(""), base_url(req, port)),
                    "text/html");
              }));
  server.Get("/v1/data/link_conv/rd_dispatcher.php",
             wrap([&, down](const httplib::Request& req, httplib::Response& res, const Params& params) {
               if (down(res)) return;
               res.set_content(
                   dispatcher_answer(find_param(params, "orig_link").value_or(""), base_url(req, port)),
                   "text/plain");
             }));
  server.Get("/", wrap([&, down](const httplib::Request& req, httplib::Response& res, const Params& params) {
               auto link = find_param(params, "url");
               if (!link) return res.set_content("quillmoor sandbox\n", "text/plain");
               if (down(res)) return;
               res.set_content(root_answer(*link, base_url(req, port)), "text/html");
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

int run(const Options& o) {
  if (o.drop) return run_dropping_listener(o.port, [&](int port) { announce(port, o.port_file); });
  httplib::Server server;
  server.new_task_queue = [] { return new httplib::ThreadPool(16); };
  server.set_payload_max_length(16u << 20);
  RequestLog log(o.log_file);
  int port = o.port;
  install_routes(server, o, log, port);
  if (o.port == 0) {
    port = server.bind_to_any_port("127.0.0.1");
    if (port <= 0) return 1;
  } else if (!server.bind_to_port("127.0.0.1", o.port)) {
    std::cerr << "quillmoor-sandbox: cannot listen on port " << o.port << "\n";
    return 1;
  }
  announce(port, o.port_file);
  return server.listen_after_bind() ? 0 : 1;
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
