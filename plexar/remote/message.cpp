// SPDX-License-Identifier: GPL-3.0-or-later
#include "plexar/remote/message.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "plexar/remote/wire.h"

namespace plexar::remote {

MessageWriter& MessageWriter::Raw(const void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  data_.insert(data_.end(), bytes, bytes + size);
  return *this;
}

MessageWriter& MessageWriter::Text(std::string_view text) {
  U32(static_cast<uint32_t>(text.size()));
  return Raw(text.data(), text.size());
}

MessageWriter& MessageWriter::Bytes(const std::vector<uint8_t>& bytes) {
  U32(static_cast<uint32_t>(bytes.size()));
  return Raw(bytes.data(), bytes.size());
}

bool MessageReader::Take(void* out, size_t size) {
  if (!good_ || data_.size() - at_ < size) {
    good_ = false;
    std::memset(out, 0, size);
    return false;
  }
  std::memcpy(out, data_.data() + at_, size);
  at_ += size;
  return true;
}

uint32_t MessageReader::U32() {
  uint32_t value;
  Take(&value, sizeof value);
  return value;
}
int32_t MessageReader::I32() {
  int32_t value;
  Take(&value, sizeof value);
  return value;
}
float MessageReader::F32() {
  float value;
  Take(&value, sizeof value);
  return value;
}
double MessageReader::F64() {
  double value;
  Take(&value, sizeof value);
  return value;
}

std::string MessageReader::Text() {
  const uint32_t size = U32();
  if (!good_ || size > kMaxTextBytes || size > data_.size() - at_) return good_ = false, std::string();
  std::string text(reinterpret_cast<const char*>(data_.data() + at_), size);
  at_ += size;
  return text;
}

std::vector<uint8_t> MessageReader::Bytes() {
  const uint32_t size = U32();
  if (!good_ || size > data_.size() - at_) return good_ = false, std::vector<uint8_t>();
  std::vector<uint8_t> bytes(data_.begin() + static_cast<std::ptrdiff_t>(at_),
                             data_.begin() + static_cast<std::ptrdiff_t>(at_ + size));
  at_ += size;
  return bytes;
}

uint32_t MessageReader::Count() {
  const uint32_t count = U32();
  if (count > kMaxListEntries) good_ = false;
  return good_ ? count : 0;
}

namespace {

bool WriteAll(int socket, const uint8_t* data, size_t size, int fd) {
  while (size > 0) {
    iovec io{const_cast<uint8_t*>(data), size};
    msghdr message{};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    if (fd >= 0) {
      message.msg_control = control;
      message.msg_controllen = sizeof control;
      cmsghdr* header = CMSG_FIRSTHDR(&message);
      header->cmsg_level = SOL_SOCKET;
      header->cmsg_type = SCM_RIGHTS;
      header->cmsg_len = CMSG_LEN(sizeof(int));
      std::memcpy(CMSG_DATA(header), &fd, sizeof fd);
    }
    ssize_t n = sendmsg(socket, &message, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n, size -= static_cast<size_t>(n);
    fd = -1;  // the descriptor went with the first bytes
  }
  return true;
}

// Waits until `socket` can be read, the deadline passes or `cancel` is readable.
WireResult WaitReadable(int socket, std::chrono::steady_clock::time_point deadline, int cancel) {
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() < 0) return WireResult::kTimedOut;
    pollfd fds[2] = {{socket, POLLIN, 0}, {cancel, POLLIN, 0}};
    int n = poll(fds, cancel >= 0 ? 2 : 1, static_cast<int>(std::min<int64_t>(left.count() + 1, 60000)));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return WireResult::kClosed;
    if (cancel >= 0 && (fds[1].revents & POLLIN)) return WireResult::kCancelled;
    if (fds[0].revents) return WireResult::kOk;
  }
}

WireResult ReadAll(int socket, uint8_t* data, size_t size,
                   std::chrono::steady_clock::time_point deadline, int cancel, int* fd) {
  while (size > 0) {
    WireResult ready = WaitReadable(socket, deadline, cancel);
    if (ready != WireResult::kOk) return ready;
    iovec io{data, size};
    msghdr message{};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t n = recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return WireResult::kClosed;
    for (cmsghdr* h = CMSG_FIRSTHDR(&message); h; h = CMSG_NXTHDR(&message, h)) {
      if (h->cmsg_level != SOL_SOCKET || h->cmsg_type != SCM_RIGHTS) continue;
      int received;
      std::memcpy(&received, CMSG_DATA(h), sizeof received);
      if (fd && *fd < 0) {
        *fd = received;
      } else {
        close(received);
      }
    }
    data += n, size -= static_cast<size_t>(n);
  }
  return WireResult::kOk;
}

}  // namespace

WireResult SendFrame(int socket, const std::vector<uint8_t>& body, int fd) {
  if (body.size() > kMaxFrameBytes) return WireResult::kBad;
  std::vector<uint8_t> frame(4 + body.size());
  const uint32_t length = static_cast<uint32_t>(body.size());
  std::memcpy(frame.data(), &length, 4);
  if (!body.empty()) std::memcpy(frame.data() + 4, body.data(), body.size());
  return WriteAll(socket, frame.data(), frame.size(), fd) ? WireResult::kOk : WireResult::kClosed;
}

WireResult ReceiveFrame(int socket, std::vector<uint8_t>* body,
                        std::chrono::steady_clock::time_point deadline, int cancel, int* fd) {
  if (fd) *fd = -1;
  uint32_t length = 0;
  WireResult result = ReadAll(socket, reinterpret_cast<uint8_t*>(&length), 4, deadline, cancel, fd);
  if (result != WireResult::kOk) return result;
  if (length > kMaxFrameBytes) return WireResult::kBad;
  body->resize(length);
  return length ? ReadAll(socket, body->data(), length, deadline, cancel, fd) : WireResult::kOk;
}

}  // namespace plexar::remote
