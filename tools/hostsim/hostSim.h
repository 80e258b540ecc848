// The host half of the hypervisor channel, for tests: it answers the version request, keeps
// message channels (with and without cookies, in 4-byte pieces or high bandwidth), dispatches
// RPCI commands, records each of them, answers "guest.log.state" as configured, and faults on
// request. Pure code: tests call it in-process, the hostsim program serves it over a pipe.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "lib/rpc/backdoorWire.h"

// The kinds of request a guest makes, for counting and for placing faults.
enum class HostSimStep : uint8_t {
   Version,
   Open,
   SendSize,
   SendPayload,
   ReceiveSize,
   ReceivePayload,
   ReceiveStatus,
   Close,
   HbOut,
   HbIn,
   Count,
};

// Answers the `occurrence`-th request of `step` (1 = the first; 0 = every one) with `status`
// instead: 0x0010 interrupts the transfer (the host forgets its progress), 0 fails the request.
struct HostSimFault {
   HostSimStep step;
   uint32_t occurrence;
   uint16_t status;
};

struct HostSimConfig {
   BackdoorAnswer trap = BackdoorAnswer::Answered; // Unanswered/Fault: bare hardware
   uint32_t version = 6;
   bool versionMagic = true;  // the version answer carries the magic in bx
   bool cookies = true;       // grants channels with cookies
   bool highBandwidth = true; // offers high-bandwidth transfers
   std::string logState = "off";
   std::map<std::string, std::string> replies; // command -> whole reply ("1 ...", "0 ...", anything)
   std::vector<std::string> unanswered;        // commands after which no reply is waiting
   std::vector<HostSimFault> faults;
};

// One request as the host saw it.
struct HostSimTrace {
   HostSimStep step;
   uint64_t bx;     // the argument (payload piece, size, acknowledgement)
   uint16_t status; // what the host answered
};

class CHostSim {
public:
   explicit CHostSim(HostSimConfig config = HostSimConfig());

   BackdoorWireAnswer Handle(const BackdoorWireCall& call);

   HostSimConfig& config() { return config_; }
   const std::vector<std::string>& commands() const { return commands_; }
   const std::vector<HostSimTrace>& trace() const { return trace_; }
   size_t Count(HostSimStep step) const;
   size_t calls() const { return calls_; } // every trap that reached the host, answered or not
   size_t openChannels() const { return channels_.size(); }

private:
   struct Channel {
      uint32_t cookieHigh = 0;
      uint32_t cookieLow = 0;
      bool sending = false;
      uint32_t incomingSize = 0;
      std::string incoming;
      bool replyReady = false;
      bool replyAnnounced = false;
      std::string reply;
      size_t replyPos = 0;
   };

   uint16_t Message(BackdoorRegs& regs, HostSimStep step);
   uint16_t HighBandwidth(const BackdoorWireCall& call, BackdoorWireAnswer& answer, HostSimStep step);
   bool Forced(HostSimStep step, uint16_t* status);
   void Interrupt(Channel& channel, HostSimStep step);
   void Received(Channel& channel);
   Channel* Find(uint64_t dx, uint32_t cookieHigh, uint32_t cookieLow);

   HostSimConfig config_;
   std::map<uint16_t, Channel> channels_;
   uint16_t nextId_ = 1;
   size_t calls_ = 0;
   uint32_t seen_[static_cast<size_t>(HostSimStep::Count)] = {};
   std::vector<std::string> commands_;
   std::vector<HostSimTrace> trace_;
};

// Option words of the hostsim program into a configuration. Returns the unknown or malformed
// option, empty when all were understood. Options: --version N, --no-magic, --bare, --faulting,
// --no-cookies, --no-hb, --log-state WORD, --reply COMMAND=REPLY, --unanswered COMMAND,
// --fault STEP:OCCURRENCE:STATUS (STEP as in HostSim_StepName, numbers in C notation).
std::string HostSim_ParseOptions(const std::vector<std::string>& words, HostSimConfig* config);
const char* HostSim_StepName(HostSimStep step);
// A recorded command as one line of a record file: control bytes as \xNN.
std::string HostSim_RecordLine(const std::string& command);
