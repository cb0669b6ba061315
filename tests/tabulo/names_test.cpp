// The grammar the library accepts from its callers: quoting, the append query, column types,
// whole numbers and the kind of a data-source string.
#include <gtest/gtest.h>

#include "names.h"

namespace tabulo {
namespace {

std::vector<std::wstring> Tables(const std::wstring& query) {
    std::vector<std::wstring> tables;
    EXPECT_TRUE(ParseAppendQuery(query, tables)) << std::string(query.begin(), query.end());
    return tables;
}

TEST(Names, QuotingDoublesEveryQuoteAndNothingElse) {
    EXPECT_EQ(L"\"plain\"", QuoteIdentifier(L"plain"));
    EXPECT_EQ(L"\"a\"\"b\"\"\"", QuoteIdentifier(L"a\"b\""));
    EXPECT_EQ(L"\"[x]; '--\"", QuoteIdentifier(L"[x]; '--"));
}

TEST(Names, AppendQueryGivesQuotedNameFirstThenTheTextAsIs) {
    using V = std::vector<std::wstring>;
    EXPECT_EQ(V{L"T1"}, Tables(L"select * from T1"));
    EXPECT_EQ(V{L"T1"}, Tables(L"  SELECT\t*\nFROM T1"));
    EXPECT_EQ(V{L"T1"}, Tables(L"select*from T1"));
    EXPECT_EQ((V{L"T 1", L"\"T 1\""}), Tables(L"select * from\"T 1\""));
    EXPECT_EQ((V{L"a\"b", L"\"a\"\"b\""}), Tables(L"select * from \"a\"\"b\""));
    EXPECT_EQ((V{L"x]y", L"[x]]y] ;"}), Tables(L"select * from [x]]y] ;"));
    EXPECT_EQ((V{L"b`t", L"`b``t`"}), Tables(L"select * from `b``t`"));
    // Text after a quoted name makes the whole rest the name.
    EXPECT_EQ((V{L"\"a\" b"}), Tables(L"select * from \"a\" b"));
    EXPECT_EQ((V{L"t; drop table x"}), Tables(L"select * from t; drop table x"));
    EXPECT_EQ((V{L"sp ace ", L"sp ace"}), Tables(L"select * from sp ace "));
}

TEST(Names, AppendQueryRefusesOtherShapes) {
    std::vector<std::wstring> tables;
    for (const wchar_t* query : {L"", L"select * from", L"select * from ", L"select a from t",
                                 L"delete from t", L"selectx * from t", L"select * fromt"})
        EXPECT_FALSE(ParseAppendQuery(query, tables)) << std::wstring(query).size();
}

TEST(Names, ColumnTypes) {
    EXPECT_EQ(ColumnKind::Text, ParseColumnType(L"VARCHAR"));
    EXPECT_EQ(ColumnKind::Text, ParseColumnType(L" varchar ( 20 ) "));
    EXPECT_EQ(ColumnKind::Text, ParseColumnType(L"text"));
    EXPECT_EQ(ColumnKind::Integer, ParseColumnType(L"INT"));
    EXPECT_EQ(ColumnKind::Integer, ParseColumnType(L"Integer"));
    for (const wchar_t* type : {L"", L"INTX", L"VARCHAR(", L"VARCHAR(x)", L"VARCHAR(1) x", L"FLOAT",
                                L"INT; DROP TABLE t"})
        EXPECT_EQ(ColumnKind::Other, ParseColumnType(type)) << std::wstring(type).size();
}

TEST(Names, WholeNumbersWithinSixtyFourBits) {
    long long value = 0;
    EXPECT_TRUE(ParseWholeNumber(L" -42 ", value));
    EXPECT_EQ(-42, value);
    EXPECT_TRUE(ParseWholeNumber(L"+7", value));
    EXPECT_EQ(7, value);
    EXPECT_TRUE(ParseWholeNumber(L"9223372036854775807", value));
    EXPECT_EQ(9223372036854775807LL, value);
    EXPECT_TRUE(ParseWholeNumber(L"-9223372036854775808", value));
    EXPECT_EQ(-9223372036854775807LL - 1, value);
    for (const wchar_t* text : {L"", L"-", L"1.5", L"1e3", L"12a", L"9223372036854775808",
                                L"-9223372036854775809", L"1 2"})
        EXPECT_FALSE(ParseWholeNumber(text, value)) << std::wstring(text).size();
}

TEST(Names, OdbcSourcesAreRecognisedByTheirKeywords) {
    EXPECT_TRUE(IsOdbcSource(L"DSN=Plant"));
    EXPECT_TRUE(IsOdbcSource(L"dsn = Plant;Uid=a"));
    EXPECT_TRUE(IsOdbcSource(L"Driver={PostgreSQL Unicode};Server=127.0.0.1"));
    EXPECT_TRUE(IsOdbcSource(L"Server=x;DRIVER={SQL Server}"));
    EXPECT_TRUE(IsOdbcSource(L"FILEDSN=c:\\plant.dsn"));
    EXPECT_FALSE(IsOdbcSource(L"C:\\data\\points.db"));
    EXPECT_FALSE(IsOdbcSource(L"C:\\data\\dsn=1;driver=x.db"));
    EXPECT_FALSE(IsOdbcSource(L"points.db"));
    EXPECT_FALSE(IsOdbcSource(L""));
}

} // namespace
} // namespace tabulo
