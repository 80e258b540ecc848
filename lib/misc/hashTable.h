// A small chained hash table keyed by text. Bucket counts are powers of two so that the hash is
// reduced with a mask.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class HashTable {
public:
   // numBuckets must be a power of two; anything else is a program fault (fatal stop).
   static std::unique_ptr<HashTable> Alloc(uint32_t numBuckets, bool ignoreCase);

   bool Insert(std::string_view key, void* value); // false when the key is present already
   bool Lookup(std::string_view key, void** value) const;
   bool Remove(std::string_view key);
   size_t Count() const { return count_; }

private:
   struct Entry {
      std::string key;
      void* value;
      std::unique_ptr<Entry> next;
   };
   HashTable(uint32_t numBuckets, bool ignoreCase);
   uint32_t BucketOf(std::string_view key) const;
   bool KeysEqual(std::string_view a, std::string_view b) const;

   std::vector<std::unique_ptr<Entry>> buckets_;
   bool ignoreCase_;
   size_t count_ = 0;
};
