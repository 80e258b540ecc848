// txpack's scratch files in a folder of its own: the log of the launcher's code that txpack runs
// (its reasons for a refusal come from there) and the payload --show and --verify extract. The
// folder is removed on every path; nothing lands in the temporary folder itself, also for a
// SYSTEM process, whose temporary folder Windows chooses whatever TMP says.
#pragma once

#include <string>

class ScratchFolder
{
 public:
   // Makes the folder in the temporary folder; on failure reports why and path() is empty.
   ScratchFolder();
   ~ScratchFolder();
   ScratchFolder(const ScratchFolder&) = delete;
   ScratchFolder& operator=(const ScratchFolder&) = delete;

   // The folder, ending in a back-slash; empty when it could not be made.
   const std::string& path() const { return path_; }
   // What the launcher's code has logged so far.
   std::string Log() const;

 private:
   std::string path_;
};
