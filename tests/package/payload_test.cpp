#include "apps/install/setup/payload.h"

#include <gtest/gtest.h>

#include "apps/install/setup/payloadFormat.h"
#include "lib/misc/win32u.h"
#include "tests/package/packageSupport.h"

namespace
{

constexpr size_t kImageBytes = 5000; // stands in for the launcher image before the container
constexpr size_t kChunk = 65536;

struct File {
   std::string name;
   std::string data;
};

std::string Container(const std::vector<File>& files)
{
   std::string out = Payload_EncodeHeader(static_cast<uint32_t>(files.size()));
   for (const File& f : files) {
      out += Payload_EncodeEntry(f.name, f.data.size());
   }
   for (const File& f : files) {
      out += f.data;
   }
   return out;
}

struct Recorder {
   std::vector<std::pair<std::string, uint64_t>> files;
   std::vector<uint64_t> chunks;
   size_t cancelAfter = SIZE_MAX;
   std::function<void()> onFirstChunk;

   ExtractCallbacks Callbacks()
   {
      ExtractCallbacks callbacks;
      callbacks.onFile = [](void* context, const char* name, uint64_t size) {
         static_cast<Recorder*>(context)->files.emplace_back(name, size);
      };
      callbacks.onChunk = [](void* context, uint64_t bytes) {
         auto* self = static_cast<Recorder*>(context);
         self->chunks.push_back(bytes);
         if (self->chunks.size() == 1 && self->onFirstChunk) {
            self->onFirstChunk();
         }
         return self->chunks.size() < self->cancelAfter;
      };
      callbacks.context = this;
      return callbacks;
   }
};

class Payload : public ::testing::Test
{
 protected:
   // A launcher file: image bytes, then the container, then `trailer`.
   void MakeLauncher(const std::string& container, const std::string& trailer = "")
   {
      ASSERT_TRUE(WriteBinaryFile(self_, Pattern(kImageBytes, 7) + container + trailer));
   }
   ExtractResult Extract(Recorder* recorder = nullptr)
   {
      return ExtractPayload(self_.c_str(), target_.c_str(), kImageBytes,
                            recorder != nullptr ? recorder->Callbacks() : ExtractCallbacks{});
   }

   ScratchDir dir_{"payload"};
   LogCapture log_;
   const std::string self_ = dir_ / "setup.exe";
   const std::string target_ = dir_ / "out\\deeper\\";
};

} // namespace

TEST_F(Payload, ExtractsEveryFileInChunksOf64KiB)
{
   const std::vector<File> files = {
       {"Tessix Tools.msi", Pattern(kChunk, 1)}, // exactly one chunk
       {"empty.txt", ""},
       {"vcredist_arm64.exe", Pattern(2 * kChunk + 1, 2)}, // one byte into a third chunk
   };
   MakeLauncher(Container(files), "certificate table");
   EXPECT_EQ(GetPayloadSize(self_.c_str(), kImageBytes), 3 * kChunk + 1);

   Recorder recorder;
   ASSERT_EQ(Extract(&recorder), ExtractResult::ExtractOk);
   for (const File& f : files) {
      EXPECT_EQ(ReadTextFile(target_ + f.name), f.data) << f.name;
   }
   EXPECT_EQ(ListFolder(target_).size(), 3u);
   ASSERT_EQ(recorder.files.size(), 3u);
   EXPECT_EQ(recorder.files[0], (std::pair<std::string, uint64_t>{"Tessix Tools.msi", kChunk}));
   EXPECT_EQ(recorder.files[2].second, 2 * kChunk + 1);
   EXPECT_EQ(recorder.chunks, (std::vector<uint64_t>{kChunk, kChunk, kChunk, 1}));

   // An existing file of the same name is replaced.
   ASSERT_TRUE(WriteBinaryFile(target_ + "empty.txt", "old contents"));
   ASSERT_EQ(Extract(), ExtractResult::ExtractOk);
   EXPECT_EQ(ReadTextFile(target_ + "empty.txt"), "");
}

TEST_F(Payload, BadContainersAreRefusedAndLeaveNothingBehind)
{
   const std::vector<File> good = {{"a.msi", Pattern(100, 3)}, {"b.exe", Pattern(70000, 4)}};
   const std::string container = Container(good);
   const auto withName = [&](const std::string& name) { return Container({{"a.msi", "x"}, {name, "y"}}); };
   struct Case {
      const char* what;
      std::string container;
      ExtractResult expected;
   } const cases[] = {
       {"count 0", Payload_EncodeHeader(0), ExtractResult::ExtractNoEntries},
       {"one byte short", container.substr(0, container.size() - 1), ExtractResult::ExtractSizeMismatch},
       {"bad magic", "XSKT" + container.substr(4), ExtractResult::ExtractBadMagic},
       {"table cut short", container.substr(0, 8 + 268 + 100), ExtractResult::ExtractSizeMismatch},
       {"sizes that wrap round",
        Payload_EncodeHeader(2) + Payload_EncodeEntry("a", UINT64_MAX) + Payload_EncodeEntry("b", 2) + "xy",
        ExtractResult::ExtractSizeMismatch},
       {"a count far beyond the file", Payload_EncodeHeader(0x7FFFFFFF) + Payload_EncodeEntry("a", 0),
        ExtractResult::ExtractSizeMismatch},
       {"parent folder", withName("..\\evil.exe"), ExtractResult::ExtractBadEntryName},
       {"forward slash", withName("sub/evil.exe"), ExtractResult::ExtractBadEntryName},
       {"drive", withName("C:evil.exe"), ExtractResult::ExtractBadEntryName},
       {"stream", withName("a.msi:evil"), ExtractResult::ExtractBadEntryName},
       {"dot dot", withName(".."), ExtractResult::ExtractBadEntryName},
       {"device", withName("CON.txt"), ExtractResult::ExtractBadEntryName},
       {"trailing dot", withName("evil.exe."), ExtractResult::ExtractBadEntryName},
       {"trailing blank", withName("evil.exe "), ExtractResult::ExtractBadEntryName},
       {"not UTF-8", withName("\xFF\xFE.exe"), ExtractResult::ExtractBadEntryName},
       {"no terminator", Payload_EncodeHeader(1) + std::string(260, 'a') + std::string("\x01\0\0\0\0\0\0\0", 8) + "z",
        ExtractResult::ExtractBadEntryName},
   };
   for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      RemoveTree(dir_ / "out");
      MakeLauncher(c.container);
      EXPECT_EQ(Extract(), c.expected);
      EXPECT_TRUE(ListFolder(target_).empty());
      EXPECT_EQ(ListFolder(dir_.path()).size(), 2u) << "nothing beside the launcher and the folder";
      if (c.expected != ExtractResult::ExtractSizeMismatch) {
         EXPECT_EQ(GetPayloadSize(self_.c_str(), kImageBytes), 0u);
      }
   }
   EXPECT_TRUE(log_.Has("ExtractPayload: Entry 1 \"..\\x5Cevil.exe\" refused: the name holds a path separator"))
       << log_.Text();

   MakeLauncher(container, "extra bytes after the data");
   EXPECT_EQ(Extract(), ExtractResult::ExtractOk);
}

TEST_F(Payload, FolderAndSelfFailures)
{
   MakeLauncher(Container({{"a.msi", "x"}}));
   EXPECT_EQ(ExtractPayload(self_.c_str(), (dir_ / "noslash").c_str(), kImageBytes, {}),
             ExtractResult::ExtractBadFolder);
   EXPECT_EQ(ExtractPayload((dir_ / "missing.exe").c_str(), target_.c_str(), kImageBytes, {}),
             ExtractResult::ExtractCannotOpenSelf);
   EXPECT_EQ(ExtractPayload(self_.c_str(), target_.c_str(), kImageBytes + 100000, {}), ExtractResult::ExtractBadMagic)
       << "an offset past the end";
   ASSERT_TRUE(EnsureDirectoryTree((target_ + "a.msi").c_str())) << "a folder where the file should go";
   EXPECT_EQ(ExtractPayload(self_.c_str(), target_.c_str(), kImageBytes, {}), ExtractResult::ExtractCannotCreate);
   ASSERT_TRUE(WriteBinaryFile(dir_ / "file", "x"));
   EXPECT_EQ(ExtractPayload(self_.c_str(), (dir_ / "file\\sub\\").c_str(), kImageBytes, {}),
             ExtractResult::ExtractBadFolder);
   EXPECT_TRUE(log_.Has("Could not create directory " + (dir_ / "file\\sub") + " (3).") ||
               log_.Has("Could not create directory " + (dir_ / "file\\sub") + " (267).") ||
               log_.Has("Could not create directory " + (dir_ / "file\\sub") + " (183)."))
       << log_.Text();
}

TEST_F(Payload, CancelStopsAtTheNextChunk)
{
   MakeLauncher(Container({{"big.msi", Pattern(5 * kChunk, 5)}, {"next.exe", "x"}}));
   Recorder recorder;
   recorder.cancelAfter = 2;
   EXPECT_EQ(Extract(&recorder), ExtractResult::ExtractCancelled);
   EXPECT_EQ(recorder.chunks.size(), 2u);
   EXPECT_EQ(recorder.files.size(), 1u);
   EXPECT_FALSE(PathExists(target_ + "next.exe"));
}

TEST_F(Payload, AFileThatShrinksDuringTheCopyLeavesNoPartialFile)
{
   MakeLauncher(Container({{"big.msi", Pattern(5 * kChunk, 6)}}));
   Recorder recorder;
   recorder.onFirstChunk = [this] {
      HANDLE file = CreateFileW(Win32U_Wide(self_).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
      ASSERT_NE(file, INVALID_HANDLE_VALUE);
      LARGE_INTEGER end;
      end.QuadPart = kImageBytes + 8 + 268 + 2 * kChunk;
      SetFilePointerEx(file, end, nullptr, FILE_BEGIN);
      SetEndOfFile(file);
      CloseHandle(file);
   };
   EXPECT_EQ(Extract(&recorder), ExtractResult::ExtractSizeMismatch);
   EXPECT_FALSE(PathExists(target_ + "big.msi"));
}

TEST_F(Payload, ALauncherPast2GiBIsReadWhereItIs)
{
   // A sparse file: the container starts 3 GiB in, past any 32-bit signed file position.
   const uint64_t offset = 3ull << 30;
   const std::vector<File> files = {{"late.msi", Pattern(70000, 8)}};
   HANDLE file = CreateFileW(Win32U_Wide(self_).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
   ASSERT_NE(file, INVALID_HANDLE_VALUE);
   LARGE_INTEGER at;
   at.QuadPart = static_cast<LONGLONG>(offset);
   const std::string container = Container(files);
   DWORD written = 0;
   const bool ok = SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
                   WriteFile(file, container.data(), static_cast<DWORD>(container.size()), &written, nullptr);
   CloseHandle(file);
   ASSERT_TRUE(ok);
   EXPECT_EQ(GetPayloadSize(self_.c_str(), offset), 70000u);
   ASSERT_EQ(ExtractPayload(self_.c_str(), target_.c_str(), offset, {}), ExtractResult::ExtractOk);
   EXPECT_TRUE(ReadTextFile(target_ + "late.msi") == files[0].data);
   DeleteFileW(Win32U_Wide(self_).c_str());
}

TEST_F(Payload, RoomFromTheConfiguration)
{
   const std::string image = dir_ / "room.exe";
   ASSERT_TRUE(CopyLauncher(image));
   ASSERT_EQ(SetConfigValues(image, {{"VCRUNTIME64", "vcredist_arm64.exe"}}), "");
   {
      ImageResources module(image);
      EXPECT_EQ(ComputeRequiredBytes(module.get(), 48130168, "title"), 89213481u);
   }
   ASSERT_EQ(SetConfigValues(image, {{"REQ_MB_SPACE", "100"}}), "");
   ImageResources module(image);
   EXPECT_EQ(ComputeRequiredBytes(module.get(), 1000, "title"), 1200u + 6 * 1048576u + 100 * 1048576u);
}
