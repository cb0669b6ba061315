// The host's records: named fields at fixed offsets, guard zones, and the device file.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "device_file.h"
#include "record.h"

namespace {

host::FieldValue Text(const std::string& t) {
    return {true, t};
}
host::FieldValue Bare(const std::string& t) {
    return {false, t};
}

const host::RecordLayout& Pelorin() {
    return *host::RecordLayout::ForPlugin("pelorin");
}
const host::RecordLayout& Marvesk() {
    return *host::RecordLayout::ForPlugin("marvesk");
}

TEST(RecordFields, IntegersLandAtTheirOffsetsLittleEndian) {
    host::Record record(Marvesk());
    std::string error;
    ASSERT_TRUE(record.SetField("source", Bare("-5"), error)) << error;
    ASSERT_TRUE(record.SetField("target", Bare("4097"), error)) << error;
    const unsigned char expected[8] = {0xFB, 0xFF, 0xFF, 0xFF, 0x01, 0x10, 0, 0};
    EXPECT_EQ(0, std::memcmp(expected, record.Data(), 8));
    EXPECT_EQ("-5", record.FieldText("source"));
}

TEST(RecordFields, BadValuesAreRefusedWithAMessage) {
    host::Record record(Pelorin());
    std::string error;
    EXPECT_FALSE(record.SetField("refresh", Bare("-1"), error));
    EXPECT_FALSE(record.SetField("refresh", Bare("4294967296"), error));
    EXPECT_TRUE(record.SetField("refresh", Bare("4294967295"), error));
    EXPECT_FALSE(record.SetField("version", Bare("2147483648"), error));
    EXPECT_FALSE(record.SetField("node", Bare("unquoted"), error));
    EXPECT_FALSE(record.SetField("clsid", Bare("{1234}"), error));
    EXPECT_FALSE(record.SetField("nosuch", Bare("1"), error));
    EXPECT_NE(std::string::npos, error.find("nosuch"));
    EXPECT_FALSE(record.SetField("tagdb", Bare("1"), error));
}

TEST(RecordFields, TextFillingItsFieldHasNoTerminatorAndSparesTheNeighbour) {
    host::Record record(Pelorin());
    std::string error;
    ASSERT_TRUE(record.SetField("server", Text("Neighbour"), error));
    ASSERT_TRUE(record.SetField("node", Text(std::string(40, 'N')), error));
    EXPECT_EQ(0, std::memcmp(std::string(32, 'N').data(), record.Data(), 32));
    EXPECT_EQ('N', record.Data()[0x20]); // the server text starts right after
    EXPECT_EQ("\"Neighbour\"", record.FieldText("server"));
    EXPECT_EQ(std::string(32, 'N'), record.TextValue("node"));
    ASSERT_TRUE(record.SetField("group", Text("G"), error));
    EXPECT_EQ(0, record.Data()[0x71]);
}

TEST(RecordFields, GuidsUseTheComLayoutAndCompareIgnoringCase) {
    host::Record record(Pelorin());
    std::string error;
    ASSERT_TRUE(record.SetField("category", Bare("{63D5F432-CFE4-11D1-B2C8-0060083BA1FB}"), error));
    const unsigned char* g = record.Data() + 0xA4;
    EXPECT_EQ(0x32, g[0]);
    EXPECT_EQ(0x63, g[3]);
    EXPECT_EQ(0xE4, g[4]);
    EXPECT_EQ(0xD1, g[6]);
    EXPECT_EQ(0xB2, g[8]);
    EXPECT_EQ(0xFB, g[15]);
    EXPECT_TRUE(
        record.FieldEquals("category", Bare("{63d5f432-cfe4-11d1-b2c8-0060083ba1fb}"), error));
    EXPECT_FALSE(
        record.FieldEquals("category", Bare("{63D5F430-CFE4-11D1-B2C8-0060083BA1FB}"), error));
    EXPECT_NE(std::string::npos, error.find("63D5F432"));
}

TEST(RecordGuards, WritesOutsideThePluginsBytesAreFound) {
    host::Record before(Pelorin());
    host::Record after = before;
    after.Data()[0x10] = 1; // node: the plug-in's
    after.Data()[0x8C] = 1; // mode: the plug-in's
    EXPECT_TRUE(after.ForeignChanges(before).empty());
    after.Data()[0x88] = 0; // the host's field inside the record
    after.Data()[512] ^= 1; // just past the record
    after.Data()[-1] ^= 1;  // just before it
    const std::vector<long> changed = after.ForeignChanges(before);
    EXPECT_EQ((std::vector<long>{-1, 0x88, 512}), changed);
    host::Record pair(Marvesk());
    host::Record pairAfter = pair;
    pairAfter.Data()[8] ^= 1;
    EXPECT_EQ((std::vector<long>{8}), pairAfter.ForeignChanges(pair));
}

TEST(DeviceFile, RoundTripKeepsFieldsAndRawBytes) {
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    const std::wstring path = std::wstring(dir) + L"host-record-test.json";
    DeleteFileW(path.c_str());
    host::Record record(Pelorin());
    bool created = false;
    std::string error;
    ASSERT_TRUE(host::LoadDeviceFile(path, record, created, error));
    EXPECT_TRUE(created);
    ASSERT_TRUE(record.SetField("server", Text("Sim.\"Q\"\\温度\n"), error));
    ASSERT_TRUE(record.SetField("refresh", Bare("4294967295"), error));
    record.Data()[0x88] = 0x5A;
    ASSERT_TRUE(host::SaveDeviceFile(path, record, error)) << error;

    host::Record loaded(Pelorin());
    ASSERT_TRUE(host::LoadDeviceFile(path, loaded, created, error)) << error;
    EXPECT_FALSE(created);
    for (size_t i = 0; i < 512; ++i)
        ASSERT_EQ(record.Data()[i], loaded.Data()[i]) << "offset " << i;
    EXPECT_TRUE(loaded.ForeignChanges(record).empty());

    host::Record other(Marvesk());
    EXPECT_FALSE(host::LoadDeviceFile(path, other, created, error));
    EXPECT_NE(std::string::npos, error.find("pelorin"));
    DeleteFileW(path.c_str());
}

TEST(DeviceFile, MalformedFilesAreRefused) {
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    const std::wstring path = std::wstring(dir) + L"host-bad-device.json";
    for (const char* content :
         {"not json", "[1,2]", R"({"raw": "00"})", R"({"fields": {"source": "x"}})",
          R"({"fields": {"source": 1.5}})", R"({"fields": 3})"}) {
        FILE* f = _wfopen(path.c_str(), L"wb");
        std::fputs(content, f);
        std::fclose(f);
        host::Record record(Marvesk());
        bool created = false;
        std::string error;
        EXPECT_FALSE(host::LoadDeviceFile(path, record, created, error)) << content;
        EXPECT_FALSE(error.empty());
    }
    DeleteFileW(path.c_str());
}

} // namespace
