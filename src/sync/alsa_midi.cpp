#include "sync/alsa_midi.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <unistd.h>

#include "sync/alsa_error_p.h"

namespace lumora::sync {

namespace {

// The largest message the encoder and decoder hold: a full-frame SysEx.
constexpr long kEventBuffer = 64;

}  // namespace

TAlsaMidiPort::~TAlsaMidiPort() { close(); }

bool TAlsaMidiPort::Available() { return ::access(kAlsaSequencerDevice, R_OK | W_OK) == 0; }

void TAlsaMidiPort::close() {
  if (fEncoder) snd_midi_event_free(fEncoder);
  if (fDecoder) snd_midi_event_free(fDecoder);
  if (fSequencer) snd_seq_close(fSequencer);
  fEncoder = fDecoder = nullptr;
  fSequencer = nullptr;
  fPort = -1;
}

std::string TAlsaMidiPort::Open(const std::string& clientName) {
  close();
  if (!Available()) return std::string("no ALSA sequencer (") + kAlsaSequencerDevice + ")";
  if (const int code = snd_seq_open(&fSequencer, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK); code < 0) {
    fSequencer = nullptr;
    return AlsaError("cannot open the ALSA sequencer", code);
  }
  snd_seq_set_client_name(fSequencer, clientName.c_str());
  fPort = snd_seq_create_simple_port(fSequencer, "timecode",
                                     SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ | SND_SEQ_PORT_CAP_WRITE |
                                         SND_SEQ_PORT_CAP_SUBS_WRITE,
                                     SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
  if (fPort < 0 || snd_midi_event_new(kEventBuffer, &fEncoder) < 0 || snd_midi_event_new(kEventBuffer, &fDecoder) < 0) {
    const int code = fPort < 0 ? fPort : -ENOMEM;
    close();
    return AlsaError("cannot make an ALSA sequencer port", code);
  }
  snd_midi_event_no_status(fDecoder, 1);
  return {};
}

std::string TAlsaMidiPort::connect(const std::string& address, bool sending) {
  snd_seq_addr_t other{};
  if (!fSequencer) return "the ALSA port is not open";
  if (const int code = snd_seq_parse_address(fSequencer, &other, address.c_str()); code < 0) {
    return AlsaError("no ALSA port \"" + address + "\"", code);
  }
  const int code = sending ? snd_seq_connect_to(fSequencer, fPort, other.client, other.port)
                           : snd_seq_connect_from(fSequencer, fPort, other.client, other.port);
  if (code < 0) return AlsaError(std::string(sending ? "cannot send to" : "cannot receive from") + " ALSA port " + address, code);
  return {};
}

std::string TAlsaMidiPort::ConnectTo(const std::string& address) { return connect(address, true); }

std::string TAlsaMidiPort::ConnectFrom(const std::string& address) { return connect(address, false); }

std::string TAlsaMidiPort::Send(std::span<const std::uint8_t> bytes) {
  if (!fSequencer) return "the ALSA port is not open";
  while (!bytes.empty()) {
    snd_seq_event_t event;
    snd_seq_ev_clear(&event);
    const long used = snd_midi_event_encode(fEncoder, bytes.data(), static_cast<long>(bytes.size()), &event);
    if (used <= 0) return AlsaError("cannot encode MIDI bytes", static_cast<int>(used));
    bytes = bytes.subspan(static_cast<std::size_t>(used));
    if (event.type == SND_SEQ_EVENT_NONE) continue;
    snd_seq_ev_set_source(&event, fPort);
    snd_seq_ev_set_subs(&event);
    snd_seq_ev_set_direct(&event);
    if (const int code = snd_seq_event_output_direct(fSequencer, &event); code < 0) {
      return AlsaError("cannot send a MIDI event", code);
    }
  }
  return {};
}

std::vector<std::uint8_t> TAlsaMidiPort::Receive(int timeoutMs, std::string& error) {
  std::vector<std::uint8_t> out;
  if (!fSequencer) {
    error = "the ALSA port is not open";
    return out;
  }
  pollfd descriptors[4];
  const int count = snd_seq_poll_descriptors(fSequencer, descriptors, 4, POLLIN);
  if (::poll(descriptors, static_cast<nfds_t>(count), timeoutMs) <= 0) return out;
  snd_seq_event_t* event = nullptr;
  while (snd_seq_event_input(fSequencer, &event) >= 0 && event) {
    unsigned char bytes[kEventBuffer];
    const long size = snd_midi_event_decode(fDecoder, bytes, kEventBuffer, event);
    if (size > 0) out.insert(out.end(), bytes, bytes + size);
  }
  return out;
}

}  // namespace lumora::sync
