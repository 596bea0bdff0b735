#include "drop_posix.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sandbox {

int run_dropping_listener(int port, const std::function<void(int)>& announce) {
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  if (listener < 0) return 1;
  int yes = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<unsigned short>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 16) != 0) {
    close(listener);
    return 1;
  }
  socklen_t length = sizeof address;
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  announce(ntohs(address.sin_port));
  for (;;) {
    int client = accept(listener, nullptr, nullptr);
    if (client < 0) continue;
    char buffer[4096];
    recv(client, buffer, sizeof buffer, 0);
    close(client);
  }
}

}  // namespace sandbox
