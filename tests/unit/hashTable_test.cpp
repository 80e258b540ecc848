#include "lib/misc/hashTable.h"

#include <gtest/gtest.h>

TEST(HashTable, InsertLookupRemove)
{
   auto table = HashTable::Alloc(8, true);
   int a = 1;
   int b = 2;
   EXPECT_TRUE(table->Insert("TXTools", &a));
   EXPECT_FALSE(table->Insert("txtools", &b)); // same key ignoring case
   EXPECT_TRUE(table->Insert("txvss", &b));
   void* found = nullptr;
   ASSERT_TRUE(table->Lookup("TXTOOLS", &found));
   EXPECT_EQ(found, &a);
   EXPECT_TRUE(table->Remove("TxTools"));
   EXPECT_FALSE(table->Lookup("TXTools", nullptr));
   EXPECT_EQ(table->Count(), 1u);
}

TEST(HashTable, ManyKeysInFewBuckets)
{
   auto table = HashTable::Alloc(2, false);
   std::vector<std::string> keys;
   for (int i = 0; i < 100; i++) {
      keys.push_back("key" + std::to_string(i));
   }
   for (auto& k : keys) {
      ASSERT_TRUE(table->Insert(k, &k));
   }
   for (auto& k : keys) {
      void* v = nullptr;
      ASSERT_TRUE(table->Lookup(k, &v));
      EXPECT_EQ(v, &k);
   }
}
