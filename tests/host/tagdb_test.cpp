// The host tag database's policies, and what of it reaches the device file: the committed tags
// only, so that nothing the plug-in changed without Save survives the host.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "device_file.h"
#include "record.h"
#include "tag_file.h"
#include "tagdb.h"

namespace {

using pelorin::HostTag;
using pelorin::TagLink;

HostTag* Create(host::TagDatabase& db, const char* name) {
    const fw::String n(name), d("");
    return db.CreateTag(0, 0, &n, &d);
}

TagLink Link(const char* parameter, const char* item, int32_t dataType = 0) {
    TagLink link;
    link.parameter = parameter;
    link.SetItemId(item);
    link.dataType = dataType;
    return link;
}

std::string Links(HostTag* tag) {
    pelorin::TagLinkArray links;
    tag->GetLinks(&links);
    std::string text;
    for (int i = 0; i < links.GetSize(); ++i)
        text += (i ? " " : "") + links[i].parameter.str() + "=" + links[i].itemId.str();
    return text;
}

TEST(TagPolicies, CreateTagRefusesEmptyAndExistingNamesIgnoringCase) {
    host::TagDatabase db;
    const fw::String description("the first");
    const fw::String name("Pump1");
    HostTag* pump = db.CreateTag(7, 9, &name, &description); // the integers are ignored
    ASSERT_NE(nullptr, pump);
    EXPECT_EQ("the first", db.Find("Pump1")->Data().description);
    EXPECT_EQ(nullptr, Create(db, "PUMP1"));
    EXPECT_EQ(nullptr, Create(db, "pump1"));
    EXPECT_EQ(nullptr, Create(db, ""));
    EXPECT_EQ(nullptr, db.CreateTag(0, 0, nullptr, nullptr));
    EXPECT_NE(nullptr, Create(db, "Pump10"));
    const std::string chinese = fw::ToAnsi(L"泵一");
    EXPECT_NE(nullptr, Create(db, chinese.c_str()));
    EXPECT_EQ(nullptr, Create(db, chinese.c_str()));
    EXPECT_EQ(3u, db.Count());
    EXPECT_EQ(0, pump->IsHidden());
}

TEST(TagPolicies, NamesIgnoreCaseBeyondAsciiInTheCodePage) {
    host::TagDatabase db;
    // Full-width Latin, Greek and Cyrillic letters are all in code page 936.
    const wchar_t* pairs[][2] = {{L"ＴａｇＡ", L"ｔＡＧａ"}, {L"αβγ", L"ΑΒΓ"}, {L"дом", L"ДОМ"}};
    for (const auto& pair : pairs) {
        const std::string first = fw::ToAnsi(pair[0]), second = fw::ToAnsi(pair[1]);
        ASSERT_NE(nullptr, Create(db, first.c_str()));
        EXPECT_EQ(nullptr, Create(db, second.c_str()));
        EXPECT_NE(nullptr, db.Find(second));
    }
    EXPECT_NE(nullptr, Create(db, fw::ToAnsi(L"锅炉").c_str()));
    EXPECT_EQ(nullptr, db.Find(fw::ToAnsi(L"锅")));
    EXPECT_EQ(4u, db.Count());
}

TEST(TagPolicies, NameKeysAgreeWithTheSystemsCaseBlindComparison) {
    // Every character the code page holds: a character and its key compare equal ignoring case,
    // and so do its lower- and upper-case forms, which share its key.
    int checked = 0;
    for (unsigned unit = 1; unit < 0x10000; ++unit) {
        const wchar_t c = static_cast<wchar_t>(unit);
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        BOOL lossy = FALSE;
        char bytes[4] = {};
        const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, &c, 1, bytes, sizeof bytes,
                                          nullptr, &lossy);
        if (n <= 0 || lossy)
            continue;
        const std::string ansi(bytes, static_cast<size_t>(n));
        const std::wstring key = host::NameKey(ansi);
        ASSERT_EQ(CSTR_EQUAL,
                  CompareStringOrdinal(&c, 1, key.c_str(), static_cast<int>(key.size()), TRUE))
            << "U+" << std::hex << unit;
        wchar_t lower = c;
        LCMapStringW(LOCALE_INVARIANT, LCMAP_LOWERCASE, &c, 1, &lower, 1);
        BOOL lowerLossy = FALSE;
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, &lower, 1, bytes, sizeof bytes, nullptr,
                            &lowerLossy);
        if (!lowerLossy && CompareStringOrdinal(&c, 1, &lower, 1, TRUE) == CSTR_EQUAL) {
            EXPECT_EQ(key, host::NameKey(fw::ToAnsi(std::wstring(1, lower).c_str())))
                << "U+" << std::hex << unit;
        }
        ++checked;
    }
    EXPECT_GT(checked, 20000);
}

TEST(TagPolicies, AnItemIsFreeOnlyOnceItsLastLinkIsGone) {
    host::TagDatabase db;
    HostTag* owner = Create(db, "T1");
    HostTag* other = Create(db, "T2");
    TagLink pv = Link("PV", "Dev.A"), desc = Link("DESC", "Dev.A"), moved = Link("pv", "Dev.B");
    ASSERT_NE(0, owner->AddLink(&pv));
    ASSERT_NE(0, owner->AddLink(&desc));
    ASSERT_NE(0, owner->AddLink(&pv)); // the same link again changes nothing
    const fw::String pvName("PV"), descName("Desc");
    owner->RemoveLink(&pvName);
    TagLink taken = Link("PV", "Dev.A");
    EXPECT_EQ(0, other->AddLink(&taken)) << "DESC still links Dev.A to T1";
    owner->RemoveLink(&descName);
    EXPECT_NE(0, other->AddLink(&taken));
    EXPECT_EQ(other, db.LinkOwner("Dev.A"));
    // A link replaced for its parameter frees its old item; ClearLinks frees them all.
    ASSERT_NE(0, other->AddLink(&moved));
    EXPECT_EQ(nullptr, db.LinkOwner("Dev.A"));
    EXPECT_EQ(other, db.LinkOwner("Dev.B"));
    ASSERT_NE(0, owner->AddLink(&desc));
    other->ClearLinks();
    EXPECT_EQ(nullptr, db.LinkOwner("Dev.B"));
    EXPECT_EQ(owner, db.LinkOwner("Dev.A"));
}

TEST(TagPolicies, CommittedTagsAreIndexedLikeCreatedOnes) {
    host::TagDatabase db;
    std::string error;
    std::vector<host::TagData> tags(3);
    tags[0].name = "A";
    tags[1].name = "B";
    tags[1].links.push_back({"PV", "Dev.B", 0, 0, 0, 0});
    tags[2].name = "C";
    ASSERT_TRUE(db.AddCommitted(tags, error)) << error;
    EXPECT_EQ(nullptr, Create(db, "b"));
    TagLink taken = Link("PV", "Dev.B");
    EXPECT_EQ(0, db.Find("a")->AddLink(&taken));
    // A batch that breaks a policy adds none of its tags.
    std::vector<host::TagData> more(2);
    more[0].name = "D";
    more[1].name = "a";
    EXPECT_FALSE(db.AddCommitted(more, error));
    EXPECT_EQ("tag 5 repeats the name of tag 1", error);
    EXPECT_EQ(nullptr, db.Find("D"));
    EXPECT_EQ(3u, db.Count());
}

TEST(TagPolicies, ListTagsReplacesTheListWithEveryTagInCreationOrder) {
    host::TagDatabase db;
    HostTag* b = Create(db, "B");
    HostTag* a = Create(db, "A");
    fw::PtrList list;
    int stale = 0;
    list.AddTail(&stale);
    list.AddTail(b);
    ASSERT_NE(0, db.ListTags(&list));
    ASSERT_EQ(2, list.GetCount());
    EXPECT_EQ(b, list.GetAtIndex(0));
    EXPECT_EQ(a, list.GetAtIndex(1));
    EXPECT_EQ(0, db.ListTags(nullptr));
}

TEST(TagPolicies, AddLinkRefusesEmptyPartsAndItemsOfOtherTags) {
    host::TagDatabase db;
    HostTag* first = Create(db, "T1");
    HostTag* second = Create(db, "T2");
    TagLink pv = Link("PV", "Dev.A");
    EXPECT_NE(0, first->AddLink(&pv));
    EXPECT_EQ(0, second->AddLink(&pv)); // Dev.A belongs to T1
    TagLink empty = Link("PV", "");
    EXPECT_EQ(0, second->AddLink(&empty));
    TagLink unnamed = Link("", "Dev.B");
    EXPECT_EQ(0, second->AddLink(&unnamed));
    EXPECT_EQ(0, second->AddLink(nullptr));
    TagLink otherCase = Link("PV", "dev.a"); // item ids compare exactly
    EXPECT_NE(0, second->AddLink(&otherCase));
    // The same item for another parameter of the same tag is fine.
    TagLink desc = Link("DESC", "Dev.A");
    EXPECT_NE(0, first->AddLink(&desc));
    EXPECT_EQ("PV=Dev.A DESC=Dev.A", Links(first));
    EXPECT_EQ("PV=dev.a", Links(second));
}

TEST(TagPolicies, LinksOfOneParameterReplaceEachOtherIgnoringCase) {
    host::TagDatabase db;
    HostTag* tag = Create(db, "T1");
    TagLink first = Link("PV", "Dev.A", 2);
    TagLink second = Link("pv", "Dev.B", 5);
    ASSERT_NE(0, tag->AddLink(&first));
    ASSERT_NE(0, tag->AddLink(&second));
    pelorin::TagLinkArray links;
    tag->GetLinks(&links);
    ASSERT_EQ(1, links.GetSize());
    EXPECT_EQ("Dev.B", links[0].itemId.str());
    EXPECT_EQ(5, links[0].dataType);
    // Dev.A is free again for another tag.
    TagLink freed = Link("PV", "Dev.A");
    EXPECT_NE(0, Create(db, "T2")->AddLink(&freed));
}

TEST(TagPolicies, RemoveLinkIgnoresCaseAndClearLinksEmptiesTheTag) {
    host::TagDatabase db;
    HostTag* tag = Create(db, "T1");
    TagLink pv = Link("PV", "Dev.A"), desc = Link("DESC", "Dev.B");
    tag->AddLink(&pv);
    tag->AddLink(&desc);
    const fw::String lower("desc"), none("OTHER");
    EXPECT_NE(0, tag->RemoveLink(&lower));
    EXPECT_EQ(0, tag->RemoveLink(&none)); // harmless
    EXPECT_EQ("PV=Dev.A", Links(tag));
    EXPECT_NE(0, tag->ClearLinks());
    EXPECT_EQ("", Links(tag));
}

TEST(TagPolicies, GetLinksAppendsToWhatTheArrayHolds) {
    host::TagDatabase db;
    HostTag* tag = Create(db, "T1");
    TagLink link = Link("PV", std::string(80, 'x').c_str(), 3);
    link.badValue = 1;
    link.showValue = 99;
    link.readWrite = 1;
    tag->AddLink(&link);
    pelorin::TagLinkArray links;
    links.Add(Link("OLD", "kept"));
    ASSERT_NE(0, tag->GetLinks(&links));
    ASSERT_EQ(2, links.GetSize());
    EXPECT_EQ("kept", links[0].itemId.str());
    const TagLink& got = links[1];
    EXPECT_EQ(80u, got.itemId.size());
    EXPECT_EQ(63u, std::strlen(got.itemIdCopy));
    EXPECT_EQ(3, got.dataType);
    EXPECT_EQ(1, got.badValue);
    EXPECT_EQ(99, got.showValue);
    EXPECT_EQ(1, got.readWrite);
    EXPECT_EQ(0, tag->GetLinks(nullptr));
}

class DeviceFileTags : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t dir[MAX_PATH];
        GetTempPathW(MAX_PATH, dir);
        // Tests of this fixture run side by side in separate processes.
        path = std::wstring(dir) + L"host-tags-test-" + std::to_wstring(GetCurrentProcessId()) +
               L".json";
        DeleteFileW(path.c_str());
    }
    void TearDown() override { DeleteFileW(path.c_str()); }

    bool Save(const host::TagDatabase& db) {
        host::Record record(*host::RecordLayout::ForPlugin("pelorin"));
        std::string error;
        return host::SaveDeviceFile(path, record, error, &db);
    }
    bool Load(host::TagDatabase& db, std::string& error) {
        host::Record record(*host::RecordLayout::ForPlugin("pelorin"));
        bool created = false;
        return host::LoadDeviceFile(path, record, created, error, &db);
    }
    void Write(const std::string& json) {
        FILE* file = _wfopen(path.c_str(), L"wb");
        ASSERT_NE(nullptr, file);
        std::fwrite(json.data(), 1, json.size(), file);
        std::fclose(file);
    }

    std::wstring path;
};

TEST_F(DeviceFileTags, OnlyWhatWasSavedReachesTheFile) {
    host::TagDatabase db;
    std::string error;
    host::TagData given;
    given.name = "T1";
    given.links.push_back({"PV", "Dev.T1", 0, 0, 0, 0});
    ASSERT_TRUE(db.AddCommitted(given, error)) << error;

    // Changes without Save: a new tag, a removed link.
    Create(db, "T2");
    db.Find("T1")->ClearLinks();
    ASSERT_TRUE(Save(db));
    host::TagDatabase reread;
    ASSERT_TRUE(Load(reread, error)) << error;
    ASSERT_EQ(1u, reread.Committed().size());
    EXPECT_NE(nullptr, reread.Committed()[0].Link("PV"));
    EXPECT_EQ(nullptr, reread.Find("T2"));

    db.Save();
    ASSERT_TRUE(Save(db));
    host::TagDatabase saved;
    ASSERT_TRUE(Load(saved, error)) << error;
    ASSERT_EQ(2u, saved.Committed().size());
    EXPECT_TRUE(saved.Committed()[0].links.empty());
    EXPECT_EQ("T2", saved.Committed()[1].name);
}

TEST_F(DeviceFileTags, EveryPartOfATagSurvivesTheFile) {
    host::TagDatabase db;
    std::string error;
    host::TagData tag;
    tag.name = fw::ToAnsi(L"温度一");
    tag.description = fw::ToAnsi(L"锅炉 温度");
    tag.hidden = true;
    tag.links.push_back({"PV", "Dev.温度", 4, 1, -3, 1});
    tag.links.back().item = fw::ToAnsi(L"Dev.温度");
    tag.links.push_back({"DESC", "Dev.Name", 0, 0, 0, 0});
    ASSERT_TRUE(db.AddCommitted(tag, error)) << error;
    ASSERT_TRUE(Save(db));
    host::TagDatabase reread;
    ASSERT_TRUE(Load(reread, error)) << error;
    ASSERT_EQ(1u, reread.Count());
    const host::TagData& back = reread.Committed()[0];
    EXPECT_EQ(tag.name, back.name);
    EXPECT_EQ(tag.description, back.description);
    EXPECT_EQ(1, reread.At(0)->IsHidden());
    ASSERT_EQ(2u, back.links.size());
    EXPECT_EQ(tag.links[0].item, back.links[0].item);
    EXPECT_EQ(4, back.links[0].dataType);
    EXPECT_EQ(1, back.links[0].badValue);
    EXPECT_EQ(-3, back.links[0].showValue);
    EXPECT_EQ(1, back.links[0].readWrite);
    EXPECT_EQ("DESC", back.links[1].parameter);
}

TEST_F(DeviceFileTags, BadTagsAreRefusedWithAMessageAndNothingLoaded) {
    const char* cases[][2] = {
        {R"({"tags": {"name": "T1"}})", "must be an array"},
        {R"({"tags": [{"description": "no name"}]})", "tag 1: \"name\" is missing"},
        {R"({"tags": [{"name": "T1"}, {"name": "t1"}]})", "repeats the name"},
        {R"({"tags": [{"name": "A", "links": [{"parameter": "PV", "item": "X"}]},
                      {"name": "B", "links": [{"parameter": "DESC", "item": "X"}]}]})",
         "link the same item"},
        {R"({"tags": [{"name": "A", "links": [{"parameter": "PV", "item": "X"},
                                              {"parameter": "pv", "item": "Y"}]}]})",
         "two links for one parameter"},
        {R"({"tags": [{"name": "A", "hidden": 1}]})", "\"hidden\" must be true or false"},
        {R"({"tags": [{"name": "A", "links": [{"parameter": "PV", "item": "X",
                                              "dataType": 4294967296}]}]})",
         "32-bit"},
        {"{\"tags\": [{\"name\": \"\xF0\x9F\x98\x80\"}]}", "cannot hold"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c[0]);
        Write(c[0]);
        host::TagDatabase db;
        std::string error;
        Create(db, "Before");
        EXPECT_FALSE(Load(db, error));
        EXPECT_NE(std::string::npos, error.find(c[1])) << error;
        EXPECT_EQ(1u, db.Count());
        EXPECT_NE(nullptr, db.Find("Before"));
    }
}

TEST_F(DeviceFileTags, DeviceWithoutTagsWritesNone) {
    host::TagDatabase db;
    ASSERT_TRUE(Save(db));
    std::string content;
    ASSERT_TRUE(host::ReadWholeFile(path, content));
    EXPECT_EQ(std::string::npos, content.find("\"tags\""));
}

} // namespace
