// The DA 1.0 stream layouts the simulators write.
#include "stream.h"

#include "opcda.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

std::vector<BYTE> Bytes(HGLOBAL memory) {
    std::vector<BYTE> out(GlobalSize(memory));
    std::memcpy(out.data(), GlobalLock(memory), out.size());
    GlobalUnlock(memory);
    GlobalFree(memory);
    return out;
}

TEST(StreamTest, WritesHeadersAndPlainValues) {
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_R8;
    V_R8(&value) = 2.5;
    opcsim::StreamItem item;
    item.clientHandle = 9;
    item.value = &value;
    item.quality = 0xC0;
    item.timestamp = {1, 2};
    const auto bytes = Bytes(opcsim::BuildDataTimeStream(77, 5, {item}));
    OPCGROUPHEADER group;
    std::memcpy(&group, bytes.data(), sizeof group);
    EXPECT_EQ(bytes.size(), group.dwSize);
    EXPECT_EQ(1u, group.dwItemCount);
    EXPECT_EQ(77u, group.hClientGroup);
    EXPECT_EQ(5u, group.dwTransactionID);
    OPCITEMHEADER1 header;
    std::memcpy(&header, bytes.data() + 20, sizeof header);
    EXPECT_EQ(9u, header.hClient);
    EXPECT_EQ(0xC0, header.wQuality);
    EXPECT_EQ(1u, header.ftTimeStampItem.dwLowDateTime);
    EXPECT_EQ(bytes.size(), header.dwValueOffset + 16u);
    double stored;
    std::memcpy(&stored, bytes.data() + header.dwValueOffset + 8, sizeof stored);
    EXPECT_EQ(2.5, stored);
}

TEST(StreamTest, WritesStringArraysBehindTheirDescriptor) {
    SAFEARRAYBOUND bound = {3, 1};
    SAFEARRAY* array = SafeArrayCreate(VT_BSTR, 1, &bound);
    const wchar_t* texts[3] = {L"a", L"bc", L""};
    for (LONG i = 0; i < 3; ++i) {
        LONG index = i + 1;
        BSTR text = SysAllocString(texts[i]);
        SafeArrayPutElement(array, &index, text);
        SysFreeString(text);
    }
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_ARRAY | VT_BSTR;
    V_ARRAY(&value) = array;
    opcsim::StreamItem item;
    item.clientHandle = 1;
    item.value = &value;
    const auto bytes = Bytes(opcsim::BuildDataTimeStream(0, 0, {item}));
    VariantClear(&value);
    OPCITEMHEADER1 header;
    std::memcpy(&header, bytes.data() + 20, sizeof header);
    const BYTE* at = bytes.data() + header.dwValueOffset;
    SAFEARRAY descriptor;
    std::memcpy(&descriptor, at + 16, sizeof descriptor);
    EXPECT_EQ(1, descriptor.cDims);
    EXPECT_EQ(3u, descriptor.rgsabound[0].cElements);
    EXPECT_EQ(1, descriptor.rgsabound[0].lLbound);
    const BYTE* strings = at + 40 + 3 * descriptor.cbElements;
    DWORD count;
    std::memcpy(&count, strings, 4);
    EXPECT_EQ(2u, count);
    EXPECT_EQ(0, std::memcmp(strings + 4, L"a", 4)) << "characters and terminator";
    std::memcpy(&count, strings + 4 + 4, 4);
    EXPECT_EQ(4u, count);
    EXPECT_EQ(bytes.size(), static_cast<size_t>(strings - bytes.data()) + 8 + 10 + 6);
}

TEST(StreamTest, WritesWriteCompletions) {
    opcsim::StreamItem a, b;
    a.clientHandle = 1;
    b.clientHandle = 2;
    b.error = E_FAIL;
    const auto bytes = Bytes(opcsim::BuildWriteCompleteStream(3, 4, {a, b}));
    ASSERT_EQ(sizeof(OPCGROUPHEADERWRITE) + 2 * sizeof(OPCITEMHEADERWRITE), bytes.size());
    OPCITEMHEADERWRITE second;
    std::memcpy(&second, bytes.data() + sizeof(OPCGROUPHEADERWRITE) + sizeof second, sizeof second);
    EXPECT_EQ(2u, second.hClient);
    EXPECT_EQ(E_FAIL, second.dwError);
}

} // namespace
