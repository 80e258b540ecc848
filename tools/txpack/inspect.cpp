#include "tools/txpack/inspect.h"

#include <windows.h>

#include <wincrypt.h>

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>

#include "apps/install/setup/config.h"
#include "apps/install/setup/configValues.h"
#include "apps/install/setup/payload.h"
#include "apps/install/setup/payloadDigest.h"
#include "apps/install/setup/signature.h"
#include "apps/install/setup/ui/uiState.h"
#include "lib/misc/win32u.h"
#include "lib/string/str.h"
#include "tools/txpack/configCheck.h"
#include "tools/txpack/packFiles.h"
#include "tools/txpack/packageFacts.h"
#include "tools/txpack/scratchFolder.h"
#include "tools/txpack/trust.h"
#include "tools/txpack/versionInfo.h"

namespace
{

constexpr size_t kHashChunkBytes = 65536;
constexpr size_t kSha256Bytes = 32;
const char kCheckTitle[] = "txpack";
const char kSignatureLogMark[] = "VerifyPackageSignature:";
const bool kSilent = true;

std::string Sha256(const std::string& path)
{
   HCRYPTPROV provider = 0;
   HCRYPTHASH hash = 0;
   std::string result;
   InputFile file;
   if (CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) &&
       CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash) && file.Open(path, "the extracted file")) {
      std::string chunk;
      bool ok = true;
      for (uint64_t left = file.size; ok && left > 0;) {
         const size_t size = left < kHashChunkBytes ? static_cast<size_t>(left) : kHashChunkBytes;
         ok = file.Read(chunk, size) &&
              CryptHashData(hash, reinterpret_cast<const BYTE*>(chunk.data()), static_cast<DWORD>(size), 0);
         left -= size;
      }
      BYTE digest[kSha256Bytes];
      DWORD digestBytes = sizeof digest;
      if (ok && CryptGetHashParam(hash, HP_HASHVAL, digest, &digestBytes, 0)) {
         for (DWORD i = 0; i < digestBytes; i++) {
            result += Str_Format("%02x", digest[i]);
         }
      }
   }
   if (hash != 0) {
      CryptDestroyHash(hash);
   }
   if (provider != 0) {
      CryptReleaseContext(provider, 0);
   }
   return result.empty() ? "(cannot be hashed)" : result;
}

const char* TrustText(SignatureCheckResult result)
{
   switch (result) {
   case SignatureCheckResult::WintrustNotOnMachine:
      return "cannot be checked: WinTrust is not available (WintrustNotOnMachine)";
   case SignatureCheckResult::NoSignatureFound:
      return "no signature (NoSignatureFound)";
   case SignatureCheckResult::InvalidArg:
      return "cannot be checked (InvalidArg)";
   case SignatureCheckResult::NotTrusted:
      return "signature not valid or not trusted: altered after signing, or an untrusted root (NotTrusted)";
   case SignatureCheckResult::Trusted:
      return "signed";
   }
   return "?";
}

std::string SignerName(const UniqueCertContext& certificate)
{
   wchar_t name[256] = L"";
   if (!certificate ||
       CertGetNameStringW(certificate.get(), CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, 256) <= 1) {
      return "(no name)";
   }
   return Win32U_Utf8(name);
}

std::string Describe(const FileTrust& signature, const FileTrust* launcher)
{
   std::string text = TrustText(signature.result);
   if (signature.result == SignatureCheckResult::Trusted) {
      text += " by \"" + SignerName(signature.certificate) + "\"";
      if (launcher != nullptr && launcher->certificate && signature.certificate) {
         const auto compare = SigLib_Crypt32().compareCertificate;
         const bool same = compare != nullptr &&
                           compare(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, launcher->certificate.get()->pCertInfo,
                                   signature.certificate.get()->pCertInfo);
         text += same ? ", the launcher's certificate" : ", NOT the launcher's certificate";
      }
   }
   return text;
}

struct Entry {
   std::string name;
   uint64_t size;
};

// The launcher as its own code reads it: the configuration, the style, the payload extracted.
class Launcher
{
 public:
   Launcher(std::string image, const ScratchFolder& folder)
       : image_(Pack_UsablePath(image)), shown_(std::move(image)), folder_(folder)
   {
   }

   bool Load()
   {
      ProgramImage image;
      if (!Pack_OpenProgramImage(shown_, "the launcher", image)) {
         return false;
      }
      module_ = std::move(image.resources);
      version_ = Pack_ReadVersionInfo(Pack_VersionResource(module_.get()));
      std::vector<std::string> names;
      DWORD error = ERROR_SUCCESS;
      if (!Pack_ConfigNames(module_.get(), names, error)) {
         Pack_Report("cannot list the configuration of \"" + shown_ + "\": " + Pack_ErrorText(error));
         return false;
      }
      for (const std::string& key : names) {
         std::string value;
         if (ReadConfigValueUnlogged(module_.get(), key.c_str(), value) != ERROR_SUCCESS) {
            value = "<not readable>";
         }
         values_.emplace_back(key, value);
      }
      if (values_.empty()) {
         Pack_Report("\"" + shown_ +
                     "\" carries no configuration: it is not packed (a launcher from the build output?)");
         return false;
      }
      for (const char* key : {"MINORUPGRADE", "SINGLE_FILE"}) {
         std::string value;
         if (ReadConfigValueUnlogged(module_.get(), key, value) == ERROR_SUCCESS) {
            const bool on = Config_LeadingNumber(value) != 0;
            (std::string_view(key) == "MINORUPGRADE" ? style_.toolsStyle : style_.singleFile) = on;
         }
      }
      style_.singleFile = style_.toolsStyle && style_.singleFile;
      silentFlag = &kSilent;
      configOk_ = ReadConfiguration(config_, module_.get(), kCheckTitle, true, style_);
      silentFlag = nullptr;
      if (configOk_ && config_.payloadOffset != 0) {
         Extract();
      }
      return true;
   }

   const std::vector<std::pair<std::string, std::string>>& values() const { return values_; }
   const std::optional<VersionInfo>& version() const { return version_; }
   bool configOk() const { return configOk_; }
   const SetupConfig& config() const { return config_; }
   const InstallStyle& style() const { return style_; }
   const std::vector<Entry>& entries() const { return entries_; }
   ExtractResult extracted() const { return extracted_; }
   const std::string& image() const { return image_; }
   std::string PayloadFolder() const { return folder_.path() + "payload\\"; }
   // Where the launcher finds its packages: the extracted payload, or without one its own folder.
   std::string PackageFolder() const
   {
      return config_.payloadOffset != 0 ? PayloadFolder() : image_.substr(0, image_.find_last_of("\\/") + 1);
   }

 private:
   void Extract()
   {
      const std::string folder = PayloadFolder();
      if (!CreateDirectoryW(Pack_LongPath(folder).c_str(), nullptr)) {
         Pack_Report("cannot create \"" + folder + "\": " + Pack_ErrorText(GetLastError()));
         extracted_ = ExtractResult::ExtractBadFolder;
         return;
      }
      ExtractCallbacks callbacks;
      callbacks.onFile = [](void* self, const char* name, uint64_t size) {
         static_cast<Launcher*>(self)->entries_.push_back({name, size});
      };
      callbacks.context = this;
      extracted_ =
          ExtractPayload(image_.c_str(), folder.c_str(), config_.payloadOffset, callbacks, config_.payloadDigests);
   }

   const std::string image_; // as the launcher's code opens it
   const std::string shown_; // as the user named it
   const ScratchFolder& folder_;
   UniqueDataModule module_;
   std::optional<VersionInfo> version_;
   std::vector<std::pair<std::string, std::string>> values_;
   InstallStyle style_;
   SetupConfig config_;
   bool configOk_ = false;
   std::vector<Entry> entries_;
   ExtractResult extracted_ = ExtractResult::ExtractNoEntries;
};

// The launcher's log lines holding one of `marks`, from the mark on, with `strip` (the private
// payload folder) taken out of them so that they name the files inside it.
std::vector<std::string> LogLines(const ScratchFolder& folder, std::initializer_list<const char*> marks,
                                  const std::string& strip = std::string())
{
   std::vector<std::string> lines;
   const std::string log = folder.Log();
   for (size_t start = 0; start < log.size();) {
      size_t end = log.find('\n', start);
      end = end == std::string::npos ? log.size() : end;
      std::string line = log.substr(start, end - start);
      start = end + 1;
      size_t at = std::string::npos;
      for (const char* mark : marks) {
         at = std::min(at, line.find(mark));
      }
      if (at == std::string::npos) {
         continue;
      }
      line = line.substr(at);
      while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
         line.pop_back();
      }
      for (size_t p = strip.empty() ? std::string::npos : line.find(strip); p != std::string::npos;
           p = line.find(strip, p)) {
         line.erase(p, strip.size());
      }
      lines.push_back(line);
   }
   return lines;
}

struct Verdict {
   bool selfSigned = false;
   std::string selfProblem; // why the launcher's own signature fails
   bool checked = false;    // the launcher makes the check (standard style)
   bool goesOn = true;
   std::vector<std::string> reasons;
};

// The launcher's own check, as a silent run makes it, with the log lines that explain it.
Verdict Judge(const Launcher& launcher, const ScratchFolder& folder, const FileTrust& self)
{
   Verdict verdict;
   verdict.selfSigned = self.result == SignatureCheckResult::Trusted;
   if (!verdict.selfSigned) {
      verdict.selfProblem = Pack_TrustProblem(self);
   }
   verdict.checked = !launcher.style().toolsStyle;
   if (verdict.checked) {
      const std::string packages = launcher.PackageFolder();
      const size_t before = LogLines(folder, {kSignatureLogMark}).size();
      verdict.goesOn =
          VerifyPackageSignature(launcher.image(), packages + launcher.config().database, packages,
                                 launcher.config().txiOption, kSilent, nullptr, kCheckTitle,
                                 launcher.config().isPatch ? PackageKind::Patch : PackageKind::Product) == 0;
      const auto lines = LogLines(folder, {kSignatureLogMark}, packages);
      verdict.reasons.assign(lines.begin() + static_cast<std::ptrdiff_t>(std::min(before, lines.size())), lines.end());
   }
   return verdict;
}

void PrintSignatures(const Launcher& launcher, const FileTrust& self)
{
   std::printf("Signatures (WinVerifyTrust, as the launcher asks it):\n");
   std::printf("  the launcher: %s\n", Describe(self, nullptr).c_str());
   for (const Entry& entry : launcher.entries()) {
      const FileTrust signature = Pack_CheckTrust(launcher.PayloadFolder() + entry.name);
      std::printf("  %s: %s\n", entry.name.c_str(), Describe(signature, &self).c_str());
   }
}

// Prints the verdict and, last, one "Result:" line; true when the release passes: the launcher's
// own signature is sound and its check of the packages goes on.
bool PrintVerdict(const Launcher& launcher, const Verdict& verdict)
{
   if (!verdict.checked) {
      std::printf("The launcher checks no package signature: tools style (MINORUPGRADE is a number other "
                  "than 0).\n");
   } else if (verdict.goesOn) {
      std::printf("The launcher's signature check goes on%s.\n",
                  launcher.config().txiOption == "one" ? " (TXIOPTION one: its findings are only logged)" : "");
   } else {
      std::printf("The launcher's signature check refuses: a silent install ends with exit code %d "
                  "(a person is asked instead). Its reasons:\n",
                  kSignatureRefusedExitCode);
   }
   // The launcher's own log lines explain a refusal, or the findings TXIOPTION "one" let pass.
   if (verdict.checked && (!verdict.goesOn || launcher.config().txiOption == "one")) {
      for (const std::string& reason : verdict.reasons) {
         std::printf("  %s\n", reason.c_str());
      }
   }
   if (!verdict.selfSigned) {
      std::printf("The launcher's own signature fails: %s.\n", verdict.selfProblem.c_str());
   }
   // Its own signature first: without it the launcher refuses before it looks at any package.
   if (!verdict.selfSigned) {
      std::printf("Result: NOT ok: the launcher's own signature fails: %s\n", verdict.selfProblem.c_str());
   } else if (!verdict.goesOn) {
      // The finding that refused: the last file that is not trusted, or whose signer differs.
      std::string finding;
      const std::string trusted = " - Trusted";
      for (const std::string& reason : verdict.reasons) {
         const bool untrusted = reason.find(" - ") != std::string::npos &&
                                (reason.size() < trusted.size() ||
                                 reason.compare(reason.size() - trusted.size(), trusted.size(), trusted) != 0);
         if (untrusted || reason.find("certificates are different") != std::string::npos) {
            finding = reason.substr(std::string(kSignatureLogMark).size() + 1);
         }
      }
      std::printf("Result: NOT ok: the launcher refuses its packages%s%s\n", finding.empty() ? "" : ": ",
                  finding.c_str());
   } else {
      std::printf("Result: ok\n");
   }
   return verdict.selfSigned && verdict.goesOn;
}

void PrintConfiguration(const Launcher& launcher, const ScratchFolder& folder)
{
   std::printf("Configuration (type-40 resources, as the launcher reads them):\n");
   std::vector<PackSetting> settings;
   for (const auto& [key, value] : launcher.values()) {
      // A value of several lines (the payload digests) shows its line feeds as "\n".
      std::string shown;
      for (char c : value) {
         shown += c == '\n' ? std::string("\\n") : std::string(1, c);
      }
      std::printf("  %s=%s\n", key.c_str(), shown.c_str());
      settings.push_back({key, value, 0});
   }
   if (!launcher.configOk()) {
      std::printf("The launcher refuses this configuration:\n");
      for (const std::string& line : LogLines(folder, {"ERROR:", "DisplayMessageBox:"})) {
         std::printf("  %s\n", line.c_str());
      }
      return;
   }
   std::optional<std::vector<std::string>> names;
   if (launcher.config().payloadOffset != 0) {
      names.emplace();
      for (const Entry& entry : launcher.entries()) {
         names->push_back(entry.name);
      }
   }
   std::vector<PayloadPath> files;
   for (const Entry& entry : launcher.entries()) {
      files.push_back({entry.name, launcher.PayloadFolder() + entry.name});
   }
   const PayloadFacts facts = Pack_ReadPayloadFacts(settings, files);
   const auto findings = Pack_CheckConfig(settings, names, &facts);
   std::printf("Configuration check:%s\n", findings.empty() ? " no finding" : "");
   for (const PackFinding& finding : findings) {
      std::printf("  %s%s\n", finding.kind == FindingKind::Error ? "error: " : "warning: ", finding.text.c_str());
   }
}

void PrintVersion(const Launcher& launcher)
{
   if (!launcher.version()) {
      std::printf("Version information: none that can be read\n");
      return;
   }
   const VersionInfo& info = *launcher.version();
   std::printf("Version information (fixed FileVersion %s, ProductVersion %s; strings of table %s):\n",
               Pack_VersionNumbersText(info.fileVersion).c_str(), Pack_VersionNumbersText(info.productVersion).c_str(),
               info.table.c_str());
   for (const VersionString& string : info.strings) {
      std::printf("  %-18s \"%s\"\n", string.key.c_str(), string.value.c_str());
   }
}

bool PrintPayload(const Launcher& launcher)
{
   const SetupConfig& config = launcher.config();
   if (config.payloadOffset == 0) {
      std::printf("No payload (SFXINSERT 0): the files lie beside the launcher.\n");
      return true;
   }
   uint64_t total = 0;
   for (const Entry& entry : launcher.entries()) {
      total += entry.size;
   }
   std::printf("Payload at offset %llu: %zu files, %llu bytes\n", static_cast<unsigned long long>(config.payloadOffset),
               launcher.entries().size(), static_cast<unsigned long long>(total));
   if (!config.payloadDigests) {
      std::printf("  no payload digests recorded (PAYLOAD_XXH64): the launcher extracts the files unchecked\n");
   }
   if (launcher.extracted() != ExtractResult::ExtractOk) {
      std::printf("  the launcher cannot extract it: ExtractPayload result %d%s\n",
                  static_cast<int>(launcher.extracted()),
                  launcher.extracted() == ExtractResult::ExtractDamaged ? " (a file does not match its digest)" : "");
      return false;
   }
   const auto digests = config.payloadDigests ? Payload_ParseDigests(*config.payloadDigests, nullptr) : std::nullopt;
   for (const Entry& entry : launcher.entries()) {
      const PayloadDigest* recorded = digests ? Payload_FindDigest(*digests, entry.name) : nullptr;
      std::printf("  %-24s %12llu bytes  sha256 %s  xxh64 %s\n", entry.name.c_str(),
                  static_cast<unsigned long long>(entry.size), Sha256(launcher.PayloadFolder() + entry.name).c_str(),
                  recorded != nullptr ? (Payload_DigestText(recorded->digest) + " (checked)").c_str() : "none");
   }
   return true;
}

} // namespace

int Pack_Show(const std::string& image)
{
   ScratchFolder folder;
   Launcher launcher(image, folder);
   if (folder.path().empty() || !launcher.Load()) {
      return 1;
   }
   std::printf("%s\n", image.c_str());
   PrintConfiguration(launcher, folder);
   if (!launcher.configOk()) {
      return 1;
   }
   PrintVersion(launcher);
   const bool payload = PrintPayload(launcher);
   const FileTrust self = Pack_CheckTrust(launcher.image());
   PrintSignatures(launcher, self);
   if (payload) {
      PrintVerdict(launcher, Judge(launcher, folder, self));
   }
   return payload ? 0 : 1;
}

int Pack_Verify(const std::string& image)
{
   std::string why;
   switch (Pack_LauncherKind(image, why)) {
   case LauncherKind::NotPacked:
      std::printf("\"%s\" is no packed launcher: %s\nResult: no packed launcher\n", image.c_str(), why.c_str());
      return kNotPackedExitCode;
   case LauncherKind::Unknown:
      std::printf("Result: NOT ok: cannot tell whether \"%s\" is a packed launcher\n", image.c_str());
      return 1;
   case LauncherKind::Packed:
      break;
   }
   ScratchFolder folder;
   Launcher launcher(image, folder);
   const auto refuse = [](const std::string& reason) {
      Pack_Report(reason);
      std::printf("Result: NOT ok: %s\n", reason.c_str());
      return 1;
   };
   if (folder.path().empty() || !launcher.Load()) {
      return refuse("the launcher cannot be read");
   }
   if (!launcher.configOk()) {
      return refuse("the launcher refuses its own configuration (see txpack --show)");
   }
   if (launcher.config().payloadOffset != 0 && launcher.extracted() != ExtractResult::ExtractOk) {
      // What a user of the launcher would meet, in words: a damaged or cut copy is the usual cause.
      const ExtractResult result = launcher.extracted();
      const std::string why = result == ExtractResult::ExtractDamaged
                                  ? "a payload file does not match its recorded digest: this copy of the launcher "
                                    "is damaged"
                              : result == ExtractResult::ExtractSizeMismatch
                                  ? "the payload is shorter than its table: this copy of the launcher is cut short"
                                  : "it cannot be extracted";
      return refuse("the launcher cannot extract its payload: " + why + " (ExtractPayload result " +
                    std::to_string(static_cast<int>(result)) + ")");
   }
   const FileTrust self = Pack_CheckTrust(launcher.image());
   PrintSignatures(launcher, self);
   return PrintVerdict(launcher, Judge(launcher, folder, self)) ? 0 : 1;
}
