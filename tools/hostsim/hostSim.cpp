// The simulated host: a small state machine per message channel.
#include "tools/hostsim/hostSim.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "lib/rpc/msgChannel.h"

namespace {

const char* const kStepNames[] = {"version",         "open",           "send-size", "send-payload", "receive-size",
                                  "receive-payload", "receive-status", "close",     "hb-out",       "hb-in"};
static_assert(sizeof kStepNames / sizeof kStepNames[0] == static_cast<size_t>(HostSimStep::Count));

uint64_t WithHigh16(uint64_t low16, uint16_t high)
{
   return (low16 & 0xFFFF) | (static_cast<uint64_t>(high) << 16);
}

bool IsReceiveStep(HostSimStep step)
{
   return step == HostSimStep::ReceivePayload || step == HostSimStep::ReceiveStatus || step == HostSimStep::HbIn;
}

} // namespace

CHostSim::CHostSim(HostSimConfig config) : config_(std::move(config)) {}

size_t CHostSim::Count(HostSimStep step) const
{
   return seen_[static_cast<size_t>(step)];
}

bool CHostSim::Forced(HostSimStep step, uint16_t* status)
{
   const uint32_t nth = ++seen_[static_cast<size_t>(step)];
   for (const HostSimFault& fault : config_.faults) {
      if (fault.step == step && (fault.occurrence == 0 || fault.occurrence == nth)) {
         *status = fault.status;
         return true;
      }
   }
   return false;
}

// An interrupted transfer starts over from its size step: what was sent is forgotten, a reply
// is handed out again from its start.
void CHostSim::Interrupt(Channel& channel, HostSimStep step)
{
   if (IsReceiveStep(step)) {
      channel.replyPos = 0;
      channel.replyAnnounced = false;
   } else {
      channel.sending = false;
      channel.incoming.clear();
   }
}

CHostSim::Channel* CHostSim::Find(uint64_t dx, uint32_t cookieHigh, uint32_t cookieLow)
{
   const auto it = channels_.find(Backdoor_High16(dx));
   if (it == channels_.end() || it->second.cookieHigh != cookieHigh || it->second.cookieLow != cookieLow) {
      return nullptr;
   }
   return &it->second;
}

void CHostSim::Received(Channel& channel)
{
   channel.sending = false;
   const std::string command = channel.incoming;
   commands_.push_back(command);
   channel.replyPos = 0;
   channel.replyAnnounced = false;
   channel.replyReady =
       std::find(config_.unanswered.begin(), config_.unanswered.end(), command) == config_.unanswered.end();
   const auto it = config_.replies.find(command);
   if (it != config_.replies.end()) {
      channel.reply = it->second;
   } else if (command == "guest.log.state") {
      channel.reply = "1 " + config_.logState;
   } else {
      channel.reply = "1 ";
   }
}

BackdoorWireAnswer CHostSim::Handle(const BackdoorWireCall& call)
{
   calls_++;
   BackdoorWireAnswer answer;
   answer.action = config_.trap;
   answer.regs = call.regs;
   if (config_.trap != BackdoorAnswer::Answered) {
      return answer;
   }
   BackdoorRegs& regs = answer.regs;
   if (call.op == kBackdoorOpHbOut || call.op == kBackdoorOpHbIn) {
      const HostSimStep step = call.op == kBackdoorOpHbOut ? HostSimStep::HbOut : HostSimStep::HbIn;
      const uint16_t status = HighBandwidth(call, answer, step);
      regs.bx = static_cast<uint64_t>(status) << 16;
      trace_.push_back({step, call.regs.bx, status});
      return answer;
   }
   if (call.op != kBackdoorOpLowBandwidth || Backdoor_Low32(regs.ax) != kBackdoorMagic ||
       (regs.dx & 0xFFFF) != kBackdoorPort) {
      return answer; // not a request of this hypervisor: nothing happens
   }
   const uint16_t command = regs.cx & 0xFFFF;
   if (command == kBackdoorCmdGetVersion) {
      ++seen_[static_cast<size_t>(HostSimStep::Version)];
      regs.ax = config_.version;
      regs.bx = config_.versionMagic ? kBackdoorMagic : 0;
      trace_.push_back({HostSimStep::Version, call.regs.bx, 0});
      return answer;
   }
   if (command != kBackdoorCmdMessage) {
      return answer;
   }
   const uint16_t subcommand = Backdoor_High16(regs.cx);
   if (subcommand > kMsgClose) {
      regs.cx = WithHigh16(regs.cx, 0);
      return answer;
   }
   const auto step = static_cast<HostSimStep>(static_cast<uint8_t>(HostSimStep::Open) + subcommand);
   const uint16_t status = Message(regs, step);
   regs.cx = WithHigh16(regs.cx, status);
   trace_.push_back({step, call.regs.bx, status});
   return answer;
}

uint16_t CHostSim::Message(BackdoorRegs& regs, HostSimStep step)
{
   uint16_t forced = 0;
   const bool isForced = Forced(step, &forced);
   const uint32_t bx = Backdoor_Low32(regs.bx);
   if (step == HostSimStep::Open) {
      const bool wantsCookies = (bx & kMsgAskForCookies) != 0;
      if (isForced || (wantsCookies && !config_.cookies) || (bx & ~kMsgAskForCookies) != kMsgProtocolRpci) {
         return isForced ? forced : 0;
      }
      const uint16_t id = nextId_++;
      Channel& channel = channels_[id];
      if (wantsCookies) {
         // Distinct values in every word, so that a guest that mixes them up is refused.
         channel.cookieHigh = 0xC0DE0000u | (id * 2u);
         channel.cookieLow = 0x5EED0000u | (id * 2u + 1u);
      }
      regs.dx = WithHigh16(regs.dx, id);
      regs.si = channel.cookieHigh;
      regs.di = channel.cookieLow;
      return kMsgStatusSuccess;
   }

   Channel* channel = Find(regs.dx, Backdoor_Low32(regs.si), Backdoor_Low32(regs.di));
   if (channel == nullptr) {
      return 0;
   }
   if (isForced) {
      if (forced & kMsgStatusInterrupted) {
         Interrupt(*channel, step);
      }
      return forced;
   }
   const uint16_t hb = config_.highBandwidth ? kMsgStatusHighBandwidth : 0;
   switch (step) {
   case HostSimStep::SendSize:
      channel->sending = true;
      channel->incomingSize = bx;
      channel->incoming.clear();
      channel->replyReady = false;
      if (bx == 0) {
         Received(*channel);
      }
      return kMsgStatusSuccess | hb;
   case HostSimStep::SendPayload: {
      if (!channel->sending) {
         return 0;
      }
      const size_t count = std::min<size_t>(4, channel->incomingSize - channel->incoming.size());
      for (size_t i = 0; i < count; i++) {
         channel->incoming.push_back(static_cast<char>(bx >> (8 * i)));
      }
      if (channel->incoming.size() == channel->incomingSize) {
         Received(*channel);
      }
      return kMsgStatusSuccess;
   }
   case HostSimStep::ReceiveSize:
      if (!channel->replyReady) {
         regs.bx = 0;
         return kMsgStatusSuccess;
      }
      channel->replyAnnounced = true;
      channel->replyPos = 0;
      regs.bx = channel->reply.size();
      regs.dx = WithHigh16(regs.dx, kMsgReplyTypeSize);
      return kMsgStatusSuccess | kMsgStatusReplyWaiting | hb;
   case HostSimStep::ReceivePayload: {
      if (bx == 0) { // the guest gave up on the reply
         channel->replyReady = false;
         return kMsgStatusSuccess;
      }
      if (!channel->replyAnnounced) {
         return 0;
      }
      uint32_t word = 0;
      for (size_t i = 0; i < 4 && channel->replyPos < channel->reply.size(); i++) {
         word |= static_cast<uint32_t>(static_cast<uint8_t>(channel->reply[channel->replyPos++])) << (8 * i);
      }
      regs.bx = word;
      regs.dx = WithHigh16(regs.dx, kMsgReplyTypePayload);
      return kMsgStatusSuccess;
   }
   case HostSimStep::ReceiveStatus:
      channel->replyReady = false;
      channel->replyAnnounced = false;
      return kMsgStatusSuccess;
   case HostSimStep::Close:
      channels_.erase(Backdoor_High16(regs.dx));
      return kMsgStatusSuccess;
   default:
      return 0;
   }
}

uint16_t CHostSim::HighBandwidth(const BackdoorWireCall& call, BackdoorWireAnswer& answer, HostSimStep step)
{
   uint16_t forced = 0;
   const bool isForced = Forced(step, &forced);
   const BackdoorRegs& in = call.regs;
   const bool out = step == HostSimStep::HbOut;
   // Cookie order differs by direction: out di = low, bp = high; in si = high, bp = low.
   const uint32_t high = Backdoor_Low32(out ? in.bp : in.si);
   const uint32_t low = Backdoor_Low32(out ? in.di : in.bp);
   Channel* channel = Find(in.dx, high, low);
   if (!config_.highBandwidth || channel == nullptr || Backdoor_Low32(in.ax) != kBackdoorMagic || in.bx != kMsgHbCommand ||
       (in.dx & 0xFFFF) != kBackdoorHbPort) {
      return 0;
   }
   if (isForced) {
      if (forced & kMsgStatusInterrupted) {
         Interrupt(*channel, step);
      }
      return forced;
   }
   const uint32_t count = Backdoor_Low32(in.cx);
   if (out) {
      if (!channel->sending || count != channel->incomingSize || call.bytes.size() != count) {
         return 0;
      }
      channel->incoming.assign(call.bytes.begin(), call.bytes.end());
      Received(*channel);
      return kMsgStatusSuccess;
   }
   if (!channel->replyAnnounced || count != channel->reply.size()) {
      return 0;
   }
   answer.bytes.assign(channel->reply.begin(), channel->reply.end());
   return kMsgStatusSuccess;
}

const char* HostSim_StepName(HostSimStep step)
{
   return step < HostSimStep::Count ? kStepNames[static_cast<size_t>(step)] : "?";
}

namespace {

bool ParseNumber(const std::string& text, unsigned long* value)
{
   if (text.empty()) {
      return false;
   }
   char* end = nullptr;
   *value = strtoul(text.c_str(), &end, 0);
   return end != nullptr && *end == '\0';
}

bool ParseFault(const std::string& text, HostSimFault* fault)
{
   const size_t first = text.find(':');
   const size_t second = first == std::string::npos ? first : text.find(':', first + 1);
   if (second == std::string::npos) {
      return false;
   }
   const std::string name = text.substr(0, first);
   unsigned long occurrence = 0;
   unsigned long status = 0;
   if (!ParseNumber(text.substr(first + 1, second - first - 1), &occurrence) ||
       !ParseNumber(text.substr(second + 1), &status) || status > 0xFFFF) {
      return false;
   }
   for (size_t i = 0; i < static_cast<size_t>(HostSimStep::Count); i++) {
      if (name == kStepNames[i]) {
         *fault = HostSimFault{static_cast<HostSimStep>(i), static_cast<uint32_t>(occurrence),
                               static_cast<uint16_t>(status)};
         return true;
      }
   }
   return false;
}

} // namespace

std::string HostSim_ParseOptions(const std::vector<std::string>& words, HostSimConfig* config)
{
   for (size_t i = 0; i < words.size(); i++) {
      const std::string& word = words[i];
      const bool hasValue = i + 1 < words.size();
      const std::string value = hasValue ? words[i + 1] : std::string();
      unsigned long number = 0;
      if (word == "--bare") {
         config->trap = BackdoorAnswer::Unanswered;
      } else if (word == "--faulting") {
         config->trap = BackdoorAnswer::Fault;
      } else if (word == "--no-cookies") {
         config->cookies = false;
      } else if (word == "--no-hb") {
         config->highBandwidth = false;
      } else if (word == "--no-magic") {
         config->versionMagic = false;
      } else if (word == "--version" && hasValue && ParseNumber(value, &number)) {
         config->version = static_cast<uint32_t>(number);
         i++;
      } else if (word == "--log-state" && hasValue) {
         config->logState = value;
         i++;
      } else if (word == "--unanswered" && hasValue) {
         config->unanswered.push_back(value);
         i++;
      } else if (word == "--reply" && hasValue && value.find('=') != std::string::npos) {
         const size_t eq = value.find('=');
         config->replies[value.substr(0, eq)] = value.substr(eq + 1);
         i++;
      } else if (word == "--fault" && hasValue) {
         HostSimFault fault;
         if (!ParseFault(value, &fault)) {
            return word + " " + value;
         }
         config->faults.push_back(fault);
         i++;
      } else {
         return word;
      }
   }
   return std::string();
}

std::string HostSim_RecordLine(const std::string& command)
{
   std::string line;
   for (const char c : command) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte < 0x20 || byte == 0x7F) {
         char escaped[8];
         snprintf(escaped, sizeof escaped, "\\x%02X", byte);
         line += escaped;
      } else {
         line += c;
      }
   }
   return line;
}
