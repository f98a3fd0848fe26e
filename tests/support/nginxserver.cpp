#include "nginxserver.h"

#include "freeport.h"

#include <unistd.h>

#include <filesystem>
#include <stdexcept>

namespace quorlane::testsupport {

TNginxServer::TNginxServer(const TNginxSettings& settings) : FPort(FreeLoopbackPort())
{
    FRoot = settings.Root.empty() ? FDir.File("html") : settings.Root;
    std::filesystem::create_directories(FRoot);
    const bool tls = !settings.CertificateFile.empty() && !settings.KeyFile.empty();
    const std::string& dir = FDir.Path();
    std::string config;
    if (geteuid() == 0) {
        config += "user root;\n"; // workers keep root's rights, so they can read the test's files
    }
    config += "daemon off;\nworker_processes 1;\npid " + dir + "/nginx.pid;\nerror_log " + dir + "/error.log;\n" +
              "events { worker_connections 64; }\n" + "http {\n    access_log off;\n" +
              "    default_type application/octet-stream;\n" + "    client_body_temp_path " + dir + "/body;\n" +
              "    proxy_temp_path " + dir + "/proxy;\n    fastcgi_temp_path " + dir + "/fastcgi;\n" +
              "    uwsgi_temp_path " + dir + "/uwsgi;\n    scgi_temp_path " + dir + "/scgi;\n" + "    server {\n" +
              "        listen 127.0.0.1:" + std::to_string(FPort) + (tls ? " ssl" : "") + ";\n" +
              "        server_name localhost;\n        root " + FRoot + ";\n";
    if (tls) {
        config += "        ssl_certificate " + settings.CertificateFile + ";\n        ssl_certificate_key " +
                  settings.KeyFile + ";\n";
    }
    config += settings.ServerDirectives + "\n    }\n}\n";
    const std::string configFile = FDir.Write("nginx.conf", config);
    FProcess = std::make_unique<TServerProcess>(
        std::vector<std::string>{"/usr/sbin/nginx", "-p", dir, "-e", dir + "/error.log", "-c", configFile},
        FDir.File("stdout.log"));
    if (!WaitForPort(FPort)) {
        throw std::runtime_error("nginx did not start: " + ErrorLog());
    }
}

std::string TNginxServer::ErrorLog() const
{
    return ReadWholeFile(FDir.File("error.log")) + ReadWholeFile(FDir.File("stdout.log"));
}

} // namespace quorlane::testsupport
