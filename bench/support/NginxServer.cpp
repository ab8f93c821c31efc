#include "NginxServer.h"

#include "BenchTools.h"
#include "FreePort.h"

namespace {

// Writes the configuration into dir and returns its path.
std::string WriteConfig(const TempDir& dir, const std::string& root, int workers, int listenPort)
{
    const std::string config =
        "daemon off;\n"
        "master_process " + std::string(workers > 1 ? "on" : "off") + ";\n"
        "worker_processes " + std::to_string(workers) + ";\n"
        "pid " + dir.file("nginx.pid") + ";\n"
        "error_log " + dir.file("error.log") + " crit;\n"
        "events { worker_connections 4096; }\n"
        "http {\n"
        "  access_log off;\n"
        "  sendfile on;\n"
        "  tcp_nopush on;\n"
        "  client_body_temp_path " + dir.file("body") + ";\n"
        "  proxy_temp_path " + dir.file("proxy") + ";\n"
        "  fastcgi_temp_path " + dir.file("fastcgi") + ";\n"
        "  uwsgi_temp_path " + dir.file("uwsgi") + ";\n"
        "  scgi_temp_path " + dir.file("scgi") + ";\n"
        "  server { listen 127.0.0.1:" + std::to_string(listenPort) + "; root " + root + "; }\n"
        "}\n";
    return dir.write("nginx.conf", config);
}

} // namespace

NginxServer::NginxServer(const std::string& root, int workers)
    : listenPort(FreePort::tcp()),
      nginx(BenchTools::Start({"/usr/sbin/nginx", "-p", dir.path(), "-c", WriteConfig(dir, root, workers, listenPort)}))
{
    ready = nginx.started() && BenchTools::WaitForPort(listenPort, 5000);
    if (!ready)
        nginx.stop();
}
