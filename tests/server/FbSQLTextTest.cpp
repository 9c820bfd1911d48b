#include "server/FbSQLText.h"

#include <gtest/gtest.h>

namespace {

struct TParamCase {
  std::string Input;
  std::string SQL;
  std::vector<std::string> Names;
};

TEST(FbSQLTextTest, NamedParametersBecomePositionalOutsideLiteralsAndComments) {
  const TParamCase cases[] = {
      {"select * from accounts acc where (acc.accountname = :var0)",
       "select * from accounts acc where (acc.accountname = ?)",
       {"var0"}},
      {"values (:0, :1, :varID, :var$x_1)", "values (?, ?, ?, ?)", {"0", "1", "varID", "var$x_1"}},
      {"where a = :v and b = :v", "where a = ? and b = ?", {"v", "v"}},
      {"select ':var0', 'it''s :x', \"col:y\" from t where c = :z",
       "select ':var0', 'it''s :x', \"col:y\" from t where c = ?",
       {"z"}},
      {"select q'{a :b ' c}' , :d from t", "select q'{a :b ' c}' , ? from t", {"d"}},
      {"select 1 -- :commented\nfrom t /* :also */ where x = :real",
       "select 1 -- :commented\nfrom t /* :also */ where x = ?",
       {"real"}},
      {"where a = ? and b = :n", "where a = ? and b = ?", {"", "n"}},
      {"select a: from t where b = : c", "select a: from t where b = : c", {}},
      {"where x = 'unterminated :p", "where x = 'unterminated :p", {}},
      {"select eq'x' from t where y = :p", "select eq'x' from t where y = ?", {"p"}},
      {"", "", {}},
  };
  for (const TParamCase& c : cases) {
    const TFbParsedSQL parsed = parseNamedParameters(c.Input);
    EXPECT_EQ(parsed.SQL, c.SQL) << c.Input;
    EXPECT_EQ(parsed.Names, c.Names) << c.Input;
  }
}

TEST(FbSQLTextTest, ScriptSplitsAtSemicolonsOutsideLiteralsAndDropsEmptyStatements) {
  const std::string script = "-- header comment\n"
                             "CREATE TABLE a (x VARCHAR(10) DEFAULT ';');\n"
                             "\n;\n"
                             "/* a; b */ INSERT INTO a VALUES ('x;y')  ;\n"
                             "CREATE SEQUENCE s\n"
                             "-- trailing comment; with a semicolon\n";
  const std::vector<std::string> expected = {
      "-- header comment\nCREATE TABLE a (x VARCHAR(10) DEFAULT ';')",
      "/* a; b */ INSERT INTO a VALUES ('x;y')",
      "CREATE SEQUENCE s\n-- trailing comment; with a semicolon",
  };
  EXPECT_EQ(splitSQLScript(script), expected);
  EXPECT_TRUE(splitSQLScript("  -- only a comment\n /* and another */ ").empty());
}

} // namespace
