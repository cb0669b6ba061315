// The stream formats are registered once per process under their standard names.
#include <windows.h>

#include <gtest/gtest.h>

#include "entry/module_state.h"

namespace {

TEST(StreamFormats, RegisteredOnceUnderTheirNames) {
    pelorin::RegisterStreamFormats();
    const pelorin::StreamFormats first = pelorin::StreamClipboardFormats();
    EXPECT_EQ(RegisterClipboardFormatA("OPCSTMFORMATDATA"), first.data);
    EXPECT_EQ(RegisterClipboardFormatA("OPCSTMFORMATDATATIME"), first.dataTime);
    EXPECT_EQ(RegisterClipboardFormatA("OPCSTMFORMATWRITECOMPLETE"), first.writeComplete);
    EXPECT_NE(first.data, first.dataTime);
    EXPECT_NE(first.dataTime, first.writeComplete);
    pelorin::RegisterStreamFormats();
    EXPECT_EQ(first.dataTime, pelorin::StreamClipboardFormats().dataTime);
}

}  // namespace
