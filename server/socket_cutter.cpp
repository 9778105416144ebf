#include "socket_cutter.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace KyrServer {

namespace {

class OwnDescriptorCutter final : public RequestDeadlines::Cutter {
 public:
  explicit OwnDescriptorCutter(int own) : own_(own) {}
  ~OwnDescriptorCutter() override { ::close(own_); }
  OwnDescriptorCutter(const OwnDescriptorCutter&) = delete;
  OwnDescriptorCutter& operator=(const OwnDescriptorCutter&) = delete;

  void Cut() override { ::shutdown(own_, SHUT_RDWR); }

 private:
  const int own_;
};

}  // namespace

std::unique_ptr<RequestDeadlines::Cutter> SocketCutter(int socket) {
  const int own = ::fcntl(socket, F_DUPFD_CLOEXEC, 0);
  if (own < 0) {
    ::shutdown(socket, SHUT_RDWR);
    return nullptr;
  }
  return std::make_unique<OwnDescriptorCutter>(own);
}

}  // namespace KyrServer
