#include "request_deadlines.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace KyrServer {
namespace {

// Whether the server's end of the pair was shut down within `milliseconds`: the client's end reads EOF.
bool CutWithin(int client, int milliseconds) {
  pollfd waiting{client, POLLIN, 0};
  char byte = 0;
  return ::poll(&waiting, 1, milliseconds) == 1 && ::recv(client, &byte, 1, MSG_DONTWAIT) == 0;
}

// Only a connection whose request is still arriving is cut; an answered one keeps its socket
// until its next request begins, which then has a deadline of its own.
TEST(RequestDeadlines, CutsOnlyRequestsThatAreStillArrivingAfterTheDeadline) {
  int arriving[2], answered[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, arriving), 0);
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, answered), 0);
  {
    RequestDeadlines deadlines(std::chrono::milliseconds(100));
    deadlines.Opened(&arriving, arriving[0]);
    deadlines.Opened(&answered, answered[0]);
    deadlines.Answered(&answered);
    EXPECT_TRUE(CutWithin(arriving[1], 5000));
    EXPECT_FALSE(CutWithin(answered[1], 0));
    deadlines.Waiting(&answered);
    EXPECT_TRUE(CutWithin(answered[1], 5000));
    deadlines.Closed(&arriving);
    deadlines.Closed(&answered);
  }
  for (const int socket : {arriving[0], arriving[1], answered[0], answered[1]}) ::close(socket);
}

}  // namespace
}  // namespace KyrServer
