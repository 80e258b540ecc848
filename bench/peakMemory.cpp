// The bench's memory probe: starts the command line it is given, waits for it, and prints the
// exit code and the peak counters Windows keeps for that process (GetProcessMemoryInfo on its
// handle), so the figure comes from the process itself and not from whatever runs it.
//   peakMemory.exe PROGRAM [ARGS...]
//   -> exit=N peak_working_set=BYTES peak_pagefile=BYTES
#include <windows.h>

#include <psapi.h>

#include <cstdio>

namespace
{

constexpr DWORD kPollMs = 5;

// The rest of this program's own command line after its name, as the C runtime would split it.
const wchar_t* AfterProgramName(const wchar_t* line)
{
   if (*line == L'"') {
      for (line++; *line != L'\0' && *line != L'"'; line++) {
      }
      if (*line == L'"') {
         line++;
      }
   } else {
      while (*line != L'\0' && *line != L' ' && *line != L'\t') {
         line++;
      }
   }
   while (*line == L' ' || *line == L'\t') {
      line++;
   }
   return line;
}

struct Peaks {
   SIZE_T workingSet = 0;
   SIZE_T pagefile = 0;
};

// Peak counters only grow, but a finished process may no longer answer (Wine forgets the
// counters of a process that has gone): the largest reading while it runs is kept too.
void Sample(HANDLE process, Peaks& peaks)
{
   PROCESS_MEMORY_COUNTERS counters{};
   counters.cb = sizeof counters;
   if (!GetProcessMemoryInfo(process, &counters, sizeof counters)) {
      return;
   }
   if (counters.PeakWorkingSetSize > peaks.workingSet) {
      peaks.workingSet = counters.PeakWorkingSetSize;
   }
   if (counters.PeakPagefileUsage > peaks.pagefile) {
      peaks.pagefile = counters.PeakPagefileUsage;
   }
}

} // namespace

int wmain(int, wchar_t**)
{
   const wchar_t* command = AfterProgramName(GetCommandLineW());
   if (*command == L'\0') {
      fprintf(stderr, "usage: peakMemory.exe PROGRAM [ARGS...]\n");
      return 2;
   }
   const size_t length = wcslen(command);
   wchar_t* line = new wchar_t[length + 1];
   wcscpy(line, command);
   STARTUPINFOW startup{};
   startup.cb = sizeof startup;
   PROCESS_INFORMATION process{};
   if (!CreateProcessW(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
      fprintf(stderr, "peakMemory: cannot start the command (error %lu)\n", GetLastError());
      delete[] line;
      return 1;
   }
   Peaks peaks;
   while (WaitForSingleObject(process.hProcess, kPollMs) == WAIT_TIMEOUT) {
      Sample(process.hProcess, peaks);
   }
   Sample(process.hProcess, peaks);
   DWORD exitCode = 0;
   GetExitCodeProcess(process.hProcess, &exitCode);
   CloseHandle(process.hThread);
   CloseHandle(process.hProcess);
   delete[] line;
   printf("exit=%lu peak_working_set=%llu peak_pagefile=%llu\n", exitCode,
          static_cast<unsigned long long>(peaks.workingSet), static_cast<unsigned long long>(peaks.pagefile));
   return 0;
}
