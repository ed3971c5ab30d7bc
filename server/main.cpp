// qvx_update_server: the reference update server for QuorvexIntl.ocx. See
// README.md ("The reference update server") and docs/update-protocol.md.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <thread>

#include "front.h"
#include "release_folder.h"
#include "request_log.h"
#include "server_options.h"

using namespace qvx::server;

namespace {

// Written beside the target and renamed, so a reader sees a whole number or
// nothing.
bool WritePortFile(const std::string& path, int port) {
  const std::string partial = path + ".partial";
  {
    std::ofstream out(partial, std::ios::trunc);
    out << port << '\n';
    if (!out.flush()) return false;
  }
  return std::rename(partial.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    std::cout << kServerUsage;
    return 0;
  }
  std::string error;
  const std::optional<ServerOptions> options = ParseServerOptions(args, error);
  if (!options) {
    std::cerr << "qvx_update_server: " << error << '\n' << kServerUsage;
    return 2;
  }
  const std::optional<Release> release = LoadRelease(options->releaseFolder, error);
  if (!release) {
    std::cerr << "qvx_update_server: release folder " << options->releaseFolder << ": " << error << '\n';
    return 1;
  }
  RequestLog log;
  if (!log.Open(options->logFile)) {
    std::cerr << "qvx_update_server: cannot open the log " << options->logFile << '\n';
    return 1;
  }

  // Stop signals are taken by this thread alone: they are blocked before any
  // other thread exists, so that all of them inherit the mask. SIGUSR1 is the
  // serving thread's word that it ended by itself.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  for (const int s : {SIGTERM, SIGINT, SIGHUP, SIGUSR1}) sigaddset(&stopSignals, s);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  const bool silent = options->transport == Transport::CloseWithoutReply ||
                      options->transport == Transport::NeverAnswer;
  std::unique_ptr<Front> front =
      silent ? MakeSilentFront(*options, *release, log) : MakeHttpFront(*options, *release, log);
  const int port = front->Bind(options->host, options->port);
  if (port <= 0) {
    std::cerr << "qvx_update_server: cannot listen on " << options->host << " port " << options->port << '\n';
    return 1;
  }
  if (!options->portFile.empty() && !WritePortFile(options->portFile, port)) {
    std::cerr << "qvx_update_server: cannot write " << options->portFile << '\n';
    return 1;
  }
  std::cout << "qvx_update_server: listening on " << options->host << ':' << port << std::endl;

  bool served = false;
  std::thread serving([&] {
    served = front->Run();
    kill(getpid(), SIGUSR1);
  });
  int received = 0;
  sigwait(&stopSignals, &received);
  front->Stop();
  serving.join();
  return served ? 0 : 1;
}
