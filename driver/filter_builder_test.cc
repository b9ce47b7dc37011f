#include "driver/filter_builder.h"

#include <gtest/gtest.h>

#include "common/process_state.h"

namespace {

std::string Build(std::string filter, bool bit = false, bool binenc = false,
                  int* code = nullptr) {
  FilterBuildOptions options;
  options.bitwise = bit;
  options.binaryEncode = binenc;
  options.printTransformed = false;
  int exitCode = 0;
  bool ok = BuildFilter(&filter, options, &exitCode);
  if (code != nullptr) *code = ok ? 0 : exitCode;
  return ok ? filter : "<failed>";
}

TEST(FilterBuilderTest, DefaultFilterAndOuterParentheses) {
  EXPECT_EQ(Build(""), "(objectclass=*)");
  EXPECT_EQ(Build("*"), "(objectclass=*)");
  EXPECT_EQ(Build("*anything"), "(objectclass=*)");
  EXPECT_EQ(Build("cn=x"), "(cn=x)");
  EXPECT_EQ(Build("(cn=x)"), "((cn=x))");
  EXPECT_EQ(Build("(cn=*)"), "((cn=*))");
}

TEST(FilterBuilderTest, BitwiseRewriting) {
  EXPECT_EQ(Build("(&(objectClass=user)(userAccountControl:AND:=2)(memberOf:INCHAIN:=cn=g))", true),
            "((&(objectClass=user)(userAccountControl:1.2.840.113556.1.4.803:=2)"
            "(memberOf:1.2.840.113556.1.4.1941:=cn=g)))");
  EXPECT_EQ(Build("(a:OR:=1)(b:NEST:=x)(c:or:=1)", true),
            "((a:1.2.840.113556.1.4.804:=1)(b:1.2.840.113556.1.4.1941:=x)(c:or:=1))");
  // Without -bit nothing is rewritten.
  EXPECT_EQ(Build("(a:AND:=1)"), "((a:AND:=1))");
}

TEST(FilterBuilderTest, TokensWithoutBinencStay) {
  EXPECT_EQ(Build("(a={{BIN:01}})"), "((a={{BIN:01}}))");
}

TEST(FilterBuilderTest, TimeAndHexTokens) {
  EXPECT_EQ(Build("(t={{UTC:2007/02/01}})", false, true), "((t=128147616000000000))");
  EXPECT_EQ(Build("(t={{utc:1601/01/01-00:00:00}})", false, true), "((t=0))");
  EXPECT_EQ(Build("{{BIN:}}", false, true), "()");
  int code = 0;
  EXPECT_EQ(Build("(t={{UTC:2007/02/30}})", false, true, &code), "<failed>");
  EXPECT_EQ(code, -1);
  EXPECT_EQ(Build("(b={{BIN:zz}})", false, true, &code), "<failed>");
  EXPECT_EQ(code, -1);
}

TEST(FilterBuilderTest, SidTokenFailureCarriesItsCode) {
  int code = 0;
  EXPECT_EQ(Build("(s={{SID:S-1-5-x}})", false, true, &code), "<failed>");
  EXPECT_EQ(code, 1337);  // ERROR_INVALID_SID
}

TEST(FilterBuilderTest, GuidTokenFailureCarriesItsResult) {
  int code = 0;
  EXPECT_EQ(Build("(g={{GUID:not-a-guid}})", false, true, &code), "<failed>");
  EXPECT_LT(code, 0);
}

TEST(FilterBuilderTest, UnknownKindAndUnterminatedTokenStay) {
  EXPECT_EQ(Build("(a={{XYZ:1}})", false, true), "((a={{XYZ:1}}))");
  EXPECT_EQ(Build("(a={{SID:S-1-5-32-544)", false, true), "((a={{SID:S-1-5-32-544))");
}

TEST(FilterBuilderTest, NestingDeeperThanTheLimitEndsTheRun) {
  // The run's own outer pair and redundant pairs around the filter do not
  // count; 500 levels pass, 501 are refused before any encoding.
  auto nested = [](int levels) {
    std::string s;
    for (int i = 1; i < levels; ++i) s += "(!";
    return s + "(cn=x)" + std::string(levels - 1, ')');
  };
  int code = 0;
  EXPECT_NE(Build("((" + nested(500) + "))", false, false, &code), "<failed>");
  testing::internal::CaptureStdout();
  EXPECT_EQ(Build(nested(501), false, false, &code), "<failed>");
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "ERROR: The filter is nested 501 levels deep; at most 500 levels are allowed.\n");
  EXPECT_EQ(code, 0x57);  // filter error
}

}  // namespace
