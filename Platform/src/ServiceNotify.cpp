// The notify socket writer: plain AF_UNIX datagrams, so that no systemd library is needed.
#include "KivPlatform/ServiceNotify.h"

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace Kiv::Platform {

ServiceNotifier::ServiceNotifier()
{
    const char* variable = std::getenv("NOTIFY_SOCKET");
    if (variable == nullptr) {
        return;
    }
    std::string address(variable);
    sockaddr_un probe{};
    // Only paths and abstract names; other address kinds are not ours to speak.
    if ((address.size() < 2 || (address[0] != '/' && address[0] != '@')) || address.size() > sizeof probe.sun_path) {
        return;
    }
    if (address[0] == '@') {
        address[0] = '\0';
    }
    m_fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_fd >= 0) {
        m_address = std::move(address);
    }
}

ServiceNotifier::~ServiceNotifier()
{
    if (m_fd >= 0) {
        close(m_fd);
    }
}

bool ServiceNotifier::Send(std::string_view message) const
{
    if (m_address.empty()) {
        // A variable that named no usable socket is a failure; no variable is not.
        return std::getenv("NOTIFY_SOCKET") == nullptr;
    }
    sockaddr_un target{};
    target.sun_family = AF_UNIX;
    std::memcpy(target.sun_path, m_address.data(), m_address.size());
    // The length covers the name without a terminating NUL, which suits both kinds of address.
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + m_address.size());
    ssize_t sent;
    do {
        sent = sendto(m_fd, message.data(), message.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&target), length);
    } while (sent < 0 && errno == EINTR);
    return sent == static_cast<ssize_t>(message.size());
}

} // namespace Kiv::Platform
