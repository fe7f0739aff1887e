#pragma once

#include <cstring>
#include <string>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace tarnwell::test {

// A Unix stream socket listening at `path`, as a running sound server's is.
// Connections wait in its backlog; nobody accepts them. `close()` ends it the
// way a crash does: the socket file stays behind.
class UnixListener {
public:
    explicit UnixListener(const std::string& path) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ >= 0 &&
            (bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
             listen(fd_, 16) != 0)) {
            close();
        }
    }
    UnixListener(const UnixListener&) = delete;
    UnixListener& operator=(const UnixListener&) = delete;
    ~UnixListener() { close(); }
    [[nodiscard]] bool listening() const { return fd_ >= 0; }
    void close() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

private:
    int fd_ = -1;
};

}  // namespace tarnwell::test
