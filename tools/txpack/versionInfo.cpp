#include "tools/txpack/versionInfo.h"

#include "lib/string/str.h"
#include "lib/unicode/unicodeSimple.h"

namespace
{

constexpr uint32_t kFixedSignature = 0xFEEF04BD;
constexpr size_t kFixedBytes = 52;
constexpr size_t kHeaderBytes = 6; // wLength, wValueLength, wType
constexpr uint16_t kTextType = 1;

// One node of the block: its key, its value's bytes and where its children lie.
struct Node {
   std::u16string key;
   size_t valueAt = 0;
   size_t valueBytes = 0;
   size_t valueLength = 0; // wValueLength as stored
   size_t childrenAt = 0;
   size_t end = 0;
};

class Block
{
 public:
   explicit Block(std::string_view bytes) : bytes_(bytes) {}

   uint16_t Word(size_t at) const
   {
      return static_cast<uint16_t>(static_cast<unsigned char>(bytes_[at]) | static_cast<unsigned char>(bytes_[at + 1])
                                                                                << 8);
   }
   uint32_t Dword(size_t at) const { return Word(at) | static_cast<uint32_t>(Word(at + 2)) << 16; }

   // The node at `at`, which must end by `limit`. `textInChars`: a text value's length counts
   // characters (a String's), else bytes.
   std::optional<Node> Read(size_t at, size_t limit, bool textInChars) const
   {
      if (at + kHeaderBytes > limit || limit > bytes_.size()) {
         return std::nullopt;
      }
      Node node;
      const size_t length = Word(at);
      node.valueLength = Word(at + 2);
      const uint16_t type = Word(at + 4);
      if (length < kHeaderBytes || at + length > limit) {
         return std::nullopt;
      }
      node.end = at + length;
      size_t p = at + kHeaderBytes;
      for (;; p += 2) {
         if (p + 2 > node.end) {
            return std::nullopt;
         }
         const char16_t c = Word(p);
         if (c == 0) {
            break;
         }
         node.key += c;
      }
      node.valueAt = Align(p + 2);
      node.valueBytes = type == kTextType && textInChars ? node.valueLength * 2 : node.valueLength;
      if (node.valueAt > node.end || node.valueBytes > node.end - node.valueAt) {
         // A value cut by its node's end keeps what lies inside it.
         node.valueAt = std::min(node.valueAt, node.end);
         node.valueBytes = node.end - node.valueAt;
      }
      node.childrenAt = Align(node.valueAt + node.valueBytes);
      return node;
   }

   // Calls `visit` for each child of `parent`; false when a child cannot be read.
   template <typename Visit> bool Children(const Node& parent, bool textInChars, Visit visit) const
   {
      for (size_t at = parent.childrenAt; at + kHeaderBytes <= parent.end;) {
         const auto child = Read(at, parent.end, textInChars);
         if (!child) {
            return false;
         }
         visit(*child);
         at = Align(child->end);
      }
      return true;
   }

 private:
   static size_t Align(size_t at) { return (at + 3) & ~size_t{3}; }
   std::string_view bytes_;
};

std::string Utf8(const std::u16string& text)
{
   return Unicode_Utf16ToUtf8(text).value_or(std::string());
}

std::array<uint16_t, 4> Numbers(uint32_t most, uint32_t least)
{
   return {static_cast<uint16_t>(most >> 16), static_cast<uint16_t>(most & 0xFFFF), static_cast<uint16_t>(least >> 16),
           static_cast<uint16_t>(least & 0xFFFF)};
}

} // namespace

std::optional<VersionInfo> Pack_ReadVersionInfo(std::string_view bytes)
{
   const Block block(bytes);
   const auto root = block.Read(0, bytes.size(), false);
   if (!root || root->key != u"VS_VERSION_INFO" || root->valueBytes < kFixedBytes ||
       block.Dword(root->valueAt) != kFixedSignature) {
      return std::nullopt;
   }
   VersionInfo info;
   info.fileVersion = Numbers(block.Dword(root->valueAt + 8), block.Dword(root->valueAt + 12));
   info.productVersion = Numbers(block.Dword(root->valueAt + 16), block.Dword(root->valueAt + 20));

   std::optional<std::string> translation;
   std::vector<Node> tables;
   bool inner = true; // every grandchild read
   bool ok = block.Children(*root, false, [&](const Node& child) {
      if (child.key == u"StringFileInfo") {
         inner = block.Children(child, false, [&](const Node& table) { tables.push_back(table); }) && inner;
      } else if (child.key == u"VarFileInfo") {
         inner = block.Children(child, false, [&](const Node& var) {
            if (var.key == u"Translation" && var.valueBytes >= 4 && !translation) {
               translation = Str_Format("%04x%04x", block.Word(var.valueAt), block.Word(var.valueAt + 2));
            }
         }) && inner;
      }
   });
   ok = ok && inner;
   if (!ok || tables.empty()) {
      return ok ? std::optional<VersionInfo>(info) : std::nullopt;
   }
   const Node* chosen = &tables[0];
   for (const Node& table : tables) {
      if (translation && Str_EqualsNoCase(Utf8(table.key), *translation)) {
         chosen = &table;
         break;
      }
   }
   info.table = Utf8(chosen->key);
   ok = block.Children(*chosen, true, [&](const Node& string) {
      std::u16string text;
      for (size_t i = 0; i + 1 < string.valueBytes; i += 2) {
         text += static_cast<char16_t>(block.Word(string.valueAt + i));
      }
      // As the resource editor counts it: the stored length less a terminator inside it.
      const size_t room = !text.empty() && text.back() == u'\0' ? text.size() - 1 : text.size();
      const size_t nul = text.find(u'\0');
      info.strings.push_back({Utf8(string.key), Utf8(text.substr(0, nul)), room});
   });
   return ok ? std::optional<VersionInfo>(info) : std::nullopt;
}

const VersionString* Pack_FindVersionString(const VersionInfo& info, std::string_view key)
{
   for (const VersionString& string : info.strings) {
      if (Str_EqualsNoCase(string.key, std::string(key))) {
         return &string;
      }
   }
   return nullptr;
}

std::string Pack_VersionNumbersText(const std::array<uint16_t, 4>& numbers)
{
   return std::to_string(numbers[0]) + "." + std::to_string(numbers[1]) + "." + std::to_string(numbers[2]) + "." +
          std::to_string(numbers[3]);
}
