#include "socket_cutter.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace KyrServer {
namespace {

// The cut reaches the connection's peer, and dropping the cutter leaves the connection's
// own descriptor open for the server to close.
TEST(SocketCutter, ShutsTheConnectionDownAndClosesOnlyItsOwnDescriptor) {
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  pollfd peer{pair[1], POLLIN, 0};
  char byte = 0;
  {
    const auto cutter = SocketCutter(pair[0]);
    ASSERT_TRUE(cutter);
    EXPECT_EQ(::poll(&peer, 1, 0), 0);
    cutter->Cut();
    EXPECT_EQ(::poll(&peer, 1, 5000), 1);
    EXPECT_EQ(::recv(pair[1], &byte, 1, MSG_DONTWAIT), 0);
  }
  EXPECT_NE(::fcntl(pair[0], F_GETFD), -1);
  for (const int socket : pair) ::close(socket);
}

}  // namespace
}  // namespace KyrServer
