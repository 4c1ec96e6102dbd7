#include "sync/osc_server.h"

namespace lumora::sync {

TOscServer::TOscServer(const ICommandTable& commands, std::string prefix)
    : fCommands(commands), fPrefix(std::move(prefix)), fBuffer(kMaxDatagram) {}

std::string TOscServer::Open(std::uint32_t address, std::uint16_t port) { return fSocket.Open(address, port); }

std::vector<TOscServer::TInput> TOscServer::Receive(int timeoutMs) {
  std::string error;
  const auto received = fSocket.Receive(fBuffer, timeoutMs, error);
  if (!received) {
    if (error.empty()) return {};
    return {{TOscError{error}, {}}};
  }
  if (received->Truncated) return {{TOscError{"an OSC datagram longer than 64 KiB was cut"}, received->From}};
  const auto messages = ParseOscPacket({fBuffer.data(), received->Size}, error);
  std::vector<TInput> out;
  for (const TOscMessage& m : messages) out.push_back({MapOscMessage(m, fCommands, fPrefix), received->From});
  if (!error.empty()) out.push_back({TOscError{error}, received->From});
  return out;
}

TOscFeedback::TOscFeedback(output::TEndpoint client, std::string prefix)
    : fClient(client), fPrefix(std::move(prefix)) {}

std::string TOscFeedback::send(const std::string& path, const std::vector<TOscArgument>& arguments) {
  if (!fSocket.IsOpen()) {
    if (std::string error = fSocket.Open(0, std::nullopt); !error.empty()) return error;
  }
  const auto bytes = EncodeOscMessage(fPrefix + "/status/" + path, arguments);
  const output::TDatagram datagram{bytes, {}, {}, fClient};
  return fSocket.Send({&datagram, 1}, fScratch);
}

std::string TOscFeedback::Send(const TOscStatus& status) {
  std::string error = send("frame", {status.Frame});
  const auto keep = [&](std::string more) {
    if (error.empty()) error = std::move(more);
  };
  if (!fLast || fLast->State != status.State) keep(send("state", {status.State}));
  if (!fLast || fLast->File != status.File) keep(send("file", {status.File}));
  if (!fLast || fLast->Entry != status.Entry || fLast->Entries != status.Entries) {
    keep(send("entry", {status.Entry, status.Entries}));
  }
  if (error.empty()) fLast = status;
  return error;
}

}  // namespace lumora::sync
