// The binary contract of the database object: one export by its plain name, and every operation
// at its position in the table of virtual operations (called here only by position).
#include <windows.h>

#include <gtest/gtest.h>

#include "test_support.h"

namespace tabulo_test {
namespace {

TEST(TabuloPositions, ExportGivesOneObjectForTheProcess) {
    void* first = CreateTabuloObject();
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(first, CreateTabuloObject());
}

TEST(TabuloPositions, EveryOperationAnswersAtItsPlace) {
    TestSource source(Engine::Sqlite);
    TabuloCalls calls(CreateTabuloObject());
    EXPECT_EQ(0, calls.IsOpen());                // 10th
    EXPECT_EQ(0, calls.OpenSource(""));          // 8th
    EXPECT_FALSE(calls.LastErrorText().empty()); // 6th: why the empty source failed
    ASSERT_EQ(1, calls.OpenSource(source.source()));
    EXPECT_EQ(1, calls.IsOpen());

    PointTableLists lists;
    BuildPointTable({"Temp"}, lists);
    ASSERT_EQ(1, calls.CreateTable("Positions", &lists.names, &lists.types)); // 15th
    ASSERT_EQ(1, calls.OpenRecordset("select * from Positions"));             // 21st
    ASSERT_EQ(1, calls.AddNew());                                             // 32nd
    const fw::String value("PDevTemp");
    ASSERT_EQ(1, calls.SetFieldValue("Temp", &value)); // 54th
    ASSERT_EQ(1, calls.Update());                      // 33rd
    ASSERT_EQ(1, calls.Finish());                      // 11th

    const tabulo::ReadResult result = source.Read("Positions");
    const tabulo::ReadTable* table = source.Table(result, "Positions");
    ASSERT_NE(nullptr, table);
    ASSERT_EQ(1u, table->rows.size());
    EXPECT_EQ("PDevTemp", table->rows[0][1].value_or("NULL"));

    // The placeholders answer 0 and change nothing: the source stays open.
    for (int index :
         {0,  1,  2,  3,  4,  8,  11, 12, 13, 15, 16, 17, 18, 19, 21, 22, 23, 24, 25, 26, 27, 28,
          29, 30, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52})
        EXPECT_EQ(0, calls.CallPlain(index)) << "position " << index + 1;
    EXPECT_EQ(1, calls.IsOpen());
    calls.OpenSource("");
}

TEST(TabuloPositions, OperationsWithoutSourceFailWithAText) {
    TabuloCalls calls(CreateTabuloObject());
    calls.OpenSource("");
    PointTableLists lists;
    BuildPointTable({"Temp"}, lists);
    EXPECT_EQ(0, calls.CreateTable("T", &lists.names, &lists.types));
    const std::string text = calls.LastErrorText();
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(0, calls.OpenRecordset("select * from T"));
    EXPECT_EQ(0, calls.AddNew());
    EXPECT_EQ(0, calls.Update());
    EXPECT_EQ(0, calls.Finish());
    EXPECT_EQ(text, calls.LastErrorText());
}

} // namespace
} // namespace tabulo_test
