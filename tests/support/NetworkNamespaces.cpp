#include "NetworkNamespaces.h"

#include "ChildProcess.h"

#include <atomic>
#include <fcntl.h>
#include <sched.h>
#include <stdexcept>
#include <unistd.h>

namespace {

bool Ip(const std::vector<std::string>& args, const std::string& batch = std::string())
{
    std::vector<std::string> command = {"ip"};
    command.insert(command.end(), args.begin(), args.end());
    return ChildProcess::Run(command, batch).status == 0;
}

} // namespace

bool NetworkNamespaces::available()
{
    static const bool usable = ::geteuid() == 0 && ChildProcess::Run({"ip", "-V"}).status == 0;
    return usable;
}

std::string NetworkNamespaces::phoneAddress(int n)
{
    return "10.213.1." + std::to_string(10 + n);
}

NetworkNamespaces::NetworkNamespaces(int phoneAddresses)
{
    static std::atomic<int> counter{0};
    const std::string base = "corvane-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    server = base + "-server";
    phone = base + "-phone";
    // The pair is made inside the server's namespace and its other end
    // moved straight into the phone's: nothing appears on the host.
    std::string phoneBatch = "link set lo up\nlink set veth-phone up\n";
    for (int n = 0; n < phoneAddresses; ++n)
        phoneBatch += "addr add " + phoneAddress(n) + "/16 dev veth-phone\n";
    const bool made = Ip({"netns", "add", server}) && Ip({"netns", "add", phone}) &&
           Ip({"-n", server, "link", "add", "veth-server", "type", "veth", "peer", "name", "veth-phone", "netns", phone}) &&
           Ip({"-n", server, "-batch", "-"}, std::string("link set lo up\nlink set veth-server up\naddr add ") +
                                               kServerAddress + "/16 dev veth-server\n") &&
           Ip({"-n", phone, "-batch", "-"}, phoneBatch);
    if (!made) {
        Delete();
        throw std::runtime_error("cannot make the network namespaces " + base);
    }
}

NetworkNamespaces::~NetworkNamespaces()
{
    Delete();
}

void NetworkNamespaces::Delete()
{
    // Deleting a namespace takes its end of the pair, and so the pair, along.
    Ip({"netns", "delete", server});
    Ip({"netns", "delete", phone});
}

std::unique_ptr<RawConnection> NetworkNamespaces::connect(int phone, int port, const std::string& head) const
{
    Inside inside(*this, Side::Phone);
    auto connection = std::make_unique<RawConnection>(kServerAddress, port, phoneAddress(phone));
    if (!head.empty())
        connection->send(RawConnection::framed(head) + RawConnection::framed(""));
    return connection;
}

NetworkNamespaces::Inside::Inside(const NetworkNamespaces& pair, Side side)
    : previous(::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC))
{
    const std::string name = side == Side::Server ? pair.server : pair.phone;
    const int target = ::open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
    const bool moved = target >= 0 && ::setns(target, CLONE_NEWNET) == 0;
    if (target >= 0)
        ::close(target);
    if (!moved) {
        ::close(previous);
        throw std::runtime_error("cannot enter the network namespace " + name);
    }
}

NetworkNamespaces::Inside::~Inside()
{
    ::setns(previous, CLONE_NEWNET);
    ::close(previous);
}
