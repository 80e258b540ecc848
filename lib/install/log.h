// The process-wide launcher log: lines to "txinst.log" in the temporary folder, optionally
// forwarded to the host, and the archiving of finished logs. Every call keeps the caller's
// last Win32 error and errno as they were.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "lib/install/logFormat.h"

// A null `logFileName` keeps the file chosen before (Inst_UseLogFile), by default "txinst.log".
void Inst_SetupLogging(const char* name, const char* tag, const char* logFileName, const char* fallbackFileName);
void Inst_EndLogging();
void Inst_InitHostLogging(const char* tag);
void Inst_RefreshHostLogging();
// Lines from now on go to `logFileName` in the temporary folder instead of "txinst.log": for a
// run whose "txinst.log" belongs to another run. Called before the first line.
void Inst_UseLogFile(const char* logFileName);
// Lines from now on go to `folder` (ending in a back-slash) instead of the temporary folder: for a
// tool that runs the launcher's code and keeps its log among its own scratch files, which the
// temporary folder of a SYSTEM process (GetTempPath2W) would not be. Empty: the temporary folder.
void Inst_SetLogFolder(const std::string& folder);
// The name in the temporary folder the log is written to now (another one than the default when
// that name was refused as a link).
std::string Inst_GetLogFileName();

void Inst_Log(uint32_t level, const char* fmt, ...) TX_PRINTF(2, 3);
void Inst_LogMsg(const char* fmt, ...) TX_PRINTF(1, 2);
void Inst_LogWinError(uint32_t level, uint32_t code, const char* fmt, ...) TX_PRINTF(3, 4);
void Inst_LogLastWinError(uint32_t level, uint32_t code, const char* fmt, ...) TX_PRINTF(3, 4);
void Inst_LogPosixError(uint32_t level, int code, const char* fmt, ...) TX_PRINTF(3, 4);
void Inst_LogLastPosixError(uint32_t level, int code, const char* fmt, ...) TX_PRINTF(3, 4);

// Gives a finished (atEnd) or left-over log in the temporary folder its time-stamped archive
// name and keeps a copy under the common application-data folder.
bool Util_ArchiveLogFile(bool atEnd, const char* logFileName, bool succeeded, const char* archiveBaseName);


// For tests: the state a fresh process starts with (closes the file, mask 0x40, count 0).
void Inst_ResetLoggingForTest();
uint32_t Inst_GetLogLevelMask();
bool Inst_IsHostLoggingOn();
