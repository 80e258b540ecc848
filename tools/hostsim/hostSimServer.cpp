// The pipe side of the simulated host. One pipe instance serves one call at a time; a guest
// that finds it busy waits for it (the transport's CallNamedPipe does).
#include "tools/hostsim/hostSimServer.h"

#include "lib/misc/win32u.h"

namespace {

constexpr DWORD kPipeBufferBytes = 64 * 1024;

} // namespace

CHostSimServer::CHostSimServer(HostSimConfig config, std::string pipeName, std::string recordPath)
    : sim_(std::move(config)), pipeName_(Win32U_Wide(pipeName)), recordPath_(std::move(recordPath))
{
}

CHostSimServer::~CHostSimServer()
{
   Stop();
   if (pipe_ != INVALID_HANDLE_VALUE) {
      CloseHandle(pipe_);
   }
}

bool CHostSimServer::Listen()
{
   pipe_ =
       CreateNamedPipeW(pipeName_.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1,
                        kPipeBufferBytes, kPipeBufferBytes, 0, nullptr);
   return pipe_ != INVALID_HANDLE_VALUE;
}

bool CHostSimServer::Start()
{
   if (!Listen()) {
      return false;
   }
   thread_ = std::thread([this] { Serve(); });
   return true;
}

void CHostSimServer::Serve()
{
   while (!stop_) {
      const bool connected = ConnectNamedPipe(pipe_, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED;
      if (connected && !stop_) {
         ServeOne();
      }
      FlushFileBuffers(pipe_);
      DisconnectNamedPipe(pipe_);
   }
}

void CHostSimServer::Stop()
{
   if (!thread_.joinable()) {
      return;
   }
   stop_ = true;
   // Wake the server from its wait for a guest.
   HANDLE wake = CreateFileW(pipeName_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
   if (wake != INVALID_HANDLE_VALUE) {
      CloseHandle(wake);
   }
   thread_.join();
}

void CHostSimServer::ServeOne()
{
   std::vector<uint8_t> message;
   uint8_t chunk[4096];
   for (;;) {
      DWORD got = 0;
      const BOOL ok = ReadFile(pipe_, chunk, sizeof chunk, &got, nullptr);
      message.insert(message.end(), chunk, chunk + got);
      if (ok) {
         break;
      }
      if (GetLastError() != ERROR_MORE_DATA) {
         return;
      }
   }
   BackdoorWireCall call;
   if (!BackdoorWire_DecodeCall(message.data(), message.size(), &call)) {
      return;
   }
   BackdoorWireAnswer answer;
   {
      std::lock_guard<std::mutex> lock(mutex_);
      answer = sim_.Handle(call);
      Record();
   }
   const std::vector<uint8_t> reply = BackdoorWire_EncodeAnswer(answer);
   DWORD written = 0;
   WriteFile(pipe_, reply.data(), static_cast<DWORD>(reply.size()), &written, nullptr);
}

void CHostSimServer::Record()
{
   const auto& commands = sim_.commands();
   if (recordPath_.empty() || recorded_ == commands.size()) {
      return;
   }
   std::string lines;
   for (; recorded_ < commands.size(); recorded_++) {
      lines += HostSim_RecordLine(commands[recorded_]) + "\n";
   }
   HANDLE file = Win32U_CreateFile(recordPath_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
   if (file != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      WriteFile(file, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
      CloseHandle(file);
   }
}
