// Status messages from a service to systemd: datagrams of "KEY=value" lines sent to the socket
// named by $NOTIFY_SOCKET (a path, or "@name" for an abstract socket). Without the variable the
// process does not run under systemd, and messages go nowhere.
//
// Thread-safety: Send may be called from any thread; each message is one datagram.
#pragma once

#include <string>
#include <string_view>

namespace Kiv::Platform {

class ServiceNotifier {
public:
    // Reads $NOTIFY_SOCKET and opens a socket for it.
    ServiceNotifier();
    ServiceNotifier(const ServiceNotifier&) = delete;
    ServiceNotifier& operator=(const ServiceNotifier&) = delete;
    ~ServiceNotifier();

    // True when a notify socket is configured.
    bool IsConfigured() const { return !m_address.empty(); }
    // Sends message as one datagram. True when it was sent, or when there is nowhere to send it.
    bool Send(std::string_view message) const;

private:
    // The socket address bytes (a leading NUL for an abstract socket).
    std::string m_address;
    int m_fd = -1;
};

} // namespace Kiv::Platform
