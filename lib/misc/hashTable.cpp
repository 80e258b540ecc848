#include "lib/misc/hashTable.h"

#include <cctype>

#include "lib/misc/panic.h"

namespace {
unsigned char Fold(char c, bool ignoreCase)
{
   const auto u = static_cast<unsigned char>(c);
   return ignoreCase ? static_cast<unsigned char>(tolower(u)) : u;
}
} // namespace

std::unique_ptr<HashTable> HashTable::Alloc(uint32_t numBuckets, bool ignoreCase)
{
   if (numBuckets == 0 || (numBuckets & (numBuckets - 1)) != 0) {
      Panic("%s only takes powers of 2 \n", "HashTable_Alloc");
   }
   return std::unique_ptr<HashTable>(new HashTable(numBuckets, ignoreCase));
}

HashTable::HashTable(uint32_t numBuckets, bool ignoreCase) : buckets_(numBuckets), ignoreCase_(ignoreCase) {}

uint32_t HashTable::BucketOf(std::string_view key) const
{
   uint32_t h = 2166136261u; // FNV-1a
   for (char c : key) {
      h = (h ^ Fold(c, ignoreCase_)) * 16777619u;
   }
   return h & static_cast<uint32_t>(buckets_.size() - 1);
}

bool HashTable::KeysEqual(std::string_view a, std::string_view b) const
{
   if (a.size() != b.size()) {
      return false;
   }
   for (size_t i = 0; i < a.size(); i++) {
      if (Fold(a[i], ignoreCase_) != Fold(b[i], ignoreCase_)) {
         return false;
      }
   }
   return true;
}

bool HashTable::Insert(std::string_view key, void* value)
{
   if (Lookup(key, nullptr)) {
      return false;
   }
   auto& head = buckets_[BucketOf(key)];
   head = std::unique_ptr<Entry>(new Entry{std::string(key), value, std::move(head)});
   count_++;
   return true;
}

bool HashTable::Lookup(std::string_view key, void** value) const
{
   for (const Entry* e = buckets_[BucketOf(key)].get(); e != nullptr; e = e->next.get()) {
      if (KeysEqual(e->key, key)) {
         if (value != nullptr) {
            *value = e->value;
         }
         return true;
      }
   }
   return false;
}

bool HashTable::Remove(std::string_view key)
{
   for (std::unique_ptr<Entry>* link = &buckets_[BucketOf(key)]; *link; link = &(*link)->next) {
      if (KeysEqual((*link)->key, key)) {
         *link = std::move((*link)->next);
         count_--;
         return true;
      }
   }
   return false;
}
