#pragma once
// The few socket calls the loopback server makes, one island per platform.
// Sockets are plain ints: Windows hands out small handle values, and an
// invalid socket is -1 everywhere.

#include <cstddef>

namespace quill::testing::loopback_socket {

// A socket listening on 127.0.0.1 at a free port, which goes to port; -1 when
// none could be opened.
int listen_on_free_port(int& port);
// A pair whose read end ends[0] becomes readable once signal_wake(ends[1]) ran,
// so that every wait_readable returns; false when it could not be made.
bool make_wake(int (&ends)[2]);
void signal_wake(int write_end);
// Waits until fd is readable or the wake end was signalled; true for the first.
bool wait_readable(int fd, int wake);
// The next connection, -1 on failure.
int accept_connection(int listener);
// Bytes moved, 0 or less when the peer is gone or the socket failed.
long send_some(int fd, const char* bytes, std::size_t size);
long receive_some(int fd, char* buffer, std::size_t size);
// Closes so that the peer sees a reset.
void close_with_reset(int fd);
// Sends FIN after what was sent, then closes.
void close_after_sending(int fd);
// Ends both directions so that a blocked receive or send returns; fd stays open.
void shut_down(int fd);
void close_socket(int fd);

}  // namespace quill::testing::loopback_socket
