// The binary contract between host and plug-in for tags: the TagLink bytes, the positions of the
// virtual operations (called here by position, the way code built elsewhere calls them), and the
// host's objects answering at those positions.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "pelorin/tags/host_tag_db.h"
#include "tagdb.h"

namespace {

using pelorin::HostTag;
using pelorin::HostTagDatabase;
using pelorin::TagLink;
using pelorin::TagLinkArray;

// The function at `slot` (zero-based) of an object's table of virtual operations.
template <class Function> Function Slot(const void* object, int slot) {
    void* const* table = *static_cast<void* const* const*>(object);
    return reinterpret_cast<Function>(table[slot]);
}

using IntCall = int(__thiscall*)(void*);
using PointerCall = int(__thiscall*)(void*, const void*);
using NameCall = fw::String(__thiscall*)(void*);
using CreateCall = HostTag*(__thiscall*)(void*, int, int, const fw::String*, const fw::String*);

TEST(TagLinkBytes, HandlesCopyAndNumbersSitAtTheirOffsets) {
    TagLink link;
    unsigned char bytes[sizeof(TagLink)];
    std::memcpy(bytes, &link, sizeof bytes);
    for (size_t i = 8; i < sizeof bytes; ++i)
        ASSERT_EQ(0, bytes[i]) << "byte " << i << " of a fresh TagLink";

    const std::string item(70, 'i');
    link.parameter = "DESC";
    link.SetItemId((item.substr(0, 62) + "XYZ" + item.substr(65)).c_str());
    link.dataType = 5;
    link.badValue = 1;
    link.showValue = -7;
    link.readWrite = 1;
    std::memcpy(bytes, &link, sizeof bytes);

    const char* parameter;
    const char* itemId;
    std::memcpy(&parameter, bytes + 0, 4);
    std::memcpy(&itemId, bytes + 4, 4);
    EXPECT_STREQ("DESC", parameter);
    EXPECT_EQ(70u, std::strlen(itemId));
    // The copy keeps 63 bytes (cut inside "XYZ") and a NUL.
    EXPECT_EQ(item.substr(0, 62) + "X", std::string(reinterpret_cast<char*>(bytes + 8)));
    EXPECT_EQ(0, bytes[8 + 63]);
    int32_t numbers[4];
    std::memcpy(numbers, bytes + 72, sizeof numbers);
    EXPECT_EQ(5, numbers[0]);
    EXPECT_EQ(1, numbers[1]);
    EXPECT_EQ(-7, numbers[2]);
    EXPECT_EQ(1, numbers[3]);
    for (size_t i = 88; i < 104; ++i)
        EXPECT_EQ(0, bytes[i]) << "reserved byte " << i;

    link.SetItemId("short");
    EXPECT_STREQ("short", link.itemIdCopy);
    EXPECT_EQ(0, link.itemIdCopy[6]); // nothing of the longer id left behind
}

// Records which operation ran, whatever position it was called through.
class RecordingTag final : public HostTag {
public:
    std::string ran;
    fw::String Name() override {
        Mark("Name");
        return fw::String("name");
    }
    int ReservedSlot2() override { return Mark("2"); }
    int ReservedSlot3() override { return Mark("3"); }
    int ReservedSlot4() override { return Mark("4"); }
    int ReservedSlot5() override { return Mark("5"); }
    int ReservedSlot6() override { return Mark("6"); }
    int IsHidden() override { return Mark("IsHidden"); }
    int GetLinks(TagLinkArray*) override { return Mark("GetLinks"); }
    int AddLink(const TagLink*) override { return Mark("AddLink"); }
    int ReservedSlot10() override { return Mark("10"); }
    int RemoveLink(const fw::String*) override { return Mark("RemoveLink"); }
    int ClearLinks() override { return Mark("ClearLinks"); }

private:
    int Mark(const char* name) {
        ran = name;
        return 1;
    }
};

class RecordingDatabase final : public HostTagDatabase {
public:
    std::string ran;
    int ListTags(fw::PtrList*) override { return Mark("ListTags"); }
    int ReservedSlot2() override { return Mark("2"); }
    int Save() override { return Mark("Save"); }
    HostTag* CreateTag(int, int, const fw::String*, const fw::String*) override {
        Mark("CreateTag");
        return nullptr;
    }

private:
    int Mark(const char* name) {
        ran = name;
        return 1;
    }
};

TEST(TagPositions, EveryOperationSitsAtItsPlace) {
    RecordingTag tag;
    const char* tagSlots[12] = {"Name",    "2",  "3",          "4",
                                "5",       "6",  "IsHidden",   "GetLinks",
                                "AddLink", "10", "RemoveLink", "ClearLinks"};
    EXPECT_EQ("name", Slot<NameCall>(&tag, 0)(&tag).str());
    EXPECT_EQ("Name", tag.ran);
    // Each position is called with its own operation's arguments: thiscall callees pop them.
    for (int slot = 1; slot < 12; ++slot) {
        if (slot == 7 || slot == 8 || slot == 10)
            Slot<PointerCall>(&tag, slot)(&tag, nullptr);
        else
            Slot<IntCall>(&tag, slot)(&tag);
        EXPECT_EQ(tagSlots[slot], tag.ran) << "position " << slot + 1;
    }

    RecordingDatabase database;
    const char* databaseSlots[3] = {"ListTags", "2", "Save"};
    for (int slot = 0; slot < 3; ++slot) {
        if (slot == 0)
            Slot<PointerCall>(&database, slot)(&database, nullptr);
        else
            Slot<IntCall>(&database, slot)(&database);
        EXPECT_EQ(databaseSlots[slot], database.ran) << "position " << slot + 1;
    }
    Slot<CreateCall>(&database, 3)(&database, 0, 0, nullptr, nullptr);
    EXPECT_EQ("CreateTag", database.ran);
}

// The host's own objects, reached only by position and through framework containers, as the
// plug-in reaches them.
TEST(TagPositions, HostObjectsAnswerAtThosePlaces) {
    host::TagDatabase host;
    void* database = static_cast<HostTagDatabase*>(&host);
    const fw::String name("T1"), description("first");
    HostTag* tag = Slot<CreateCall>(database, 3)(database, 0, 0, &name, &description);
    ASSERT_NE(nullptr, tag);
    EXPECT_EQ("T1", Slot<NameCall>(tag, 0)(tag).str());
    EXPECT_EQ(0, Slot<IntCall>(tag, 6)(tag)); // IsHidden

    TagLink link;
    link.parameter = "PV";
    link.SetItemId("Dev.T1");
    EXPECT_NE(0, Slot<PointerCall>(tag, 8)(tag, &link)); // AddLink
    TagLinkArray links;
    Slot<PointerCall>(tag, 7)(tag, &links); // GetLinks
    ASSERT_EQ(1, links.GetSize());
    EXPECT_EQ("Dev.T1", links[0].itemId.str());

    fw::PtrList list;
    Slot<PointerCall>(database, 0)(database, &list); // ListTags
    ASSERT_EQ(1, list.GetCount());
    EXPECT_EQ(tag, list.GetAtIndex(0));

    EXPECT_TRUE(host.Committed().empty());
    Slot<IntCall>(database, 2)(database); // Save
    ASSERT_EQ(1u, host.Committed().size());
    EXPECT_EQ("first", host.Committed()[0].description);

    const fw::String pv("pv");
    Slot<PointerCall>(tag, 10)(tag, &pv); // RemoveLink
    links.RemoveAll();
    Slot<PointerCall>(tag, 7)(tag, &links);
    EXPECT_EQ(0, links.GetSize());
    link.parameter = "DESC";
    Slot<PointerCall>(tag, 8)(tag, &link);
    Slot<IntCall>(tag, 11)(tag); // ClearLinks
    Slot<PointerCall>(tag, 7)(tag, &links);
    EXPECT_EQ(0, links.GetSize());
}

} // namespace
