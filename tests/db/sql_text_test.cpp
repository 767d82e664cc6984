#include "db/sql_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <locale>
#include <sstream>

#include "support/temp_dir.h"
#include "support/test_db.h"

namespace liron {
namespace {

void ExpectNumbers() {
  EXPECT_EQ(SqlNumber(1.5), "1.5");
  EXPECT_EQ(SqlNumber(0.0), "0");
  EXPECT_EQ(SqlNumber(-0.0), "0");
  EXPECT_EQ(SqlNumber(-2.25), "-2.25");
  EXPECT_EQ(SqlNumber(1.0 / 3.0), "0.333333333333333");
  EXPECT_EQ(SqlNumber(1e20), "1E20");
  EXPECT_EQ(SqlNumber(0.0001), "0.0001");
  EXPECT_EQ(SqlNumber(0.00005), "5E-5");
  EXPECT_EQ(SqlNumber(1e-6), "1E-6");
  EXPECT_EQ(SqlNumber(1.5e-6), "1.5E-6");
  EXPECT_EQ(SqlNumber(537), "537");
  EXPECT_EQ(SqlNumber(-537), "-537");
  EXPECT_EQ(SqlNumber(1234.5678), "1234.5678");
  EXPECT_EQ(SqlNumber(100), "100");
  // Fifteen digits before the separator stay fixed, sixteen go scientific.
  EXPECT_EQ(SqlNumber(123456789012345.0), "123456789012345");
  EXPECT_EQ(SqlNumber(1e15), "1E15");
  EXPECT_EQ(SqlNumber(-1.25e-7), "-1.25E-7");
  // Rounded to 15 significant digits.
  EXPECT_EQ(SqlNumber(0.1 + 0.2), "0.3");
  EXPECT_EQ(SqlNumber(2.0 / 3.0), "0.666666666666667");
}

TEST(SqlNumber, DescribedCases) { ExpectNumbers(); }

TEST(SqlNumber, ValuesTheServerCannotStoreBecomeNull) {
  EXPECT_EQ(SqlNumber(std::nan("")), "NULL");
  EXPECT_EQ(SqlNumber(INFINITY), "NULL");
  EXPECT_EQ(SqlNumber(-INFINITY), "NULL");
  EXPECT_EQ(FormatGeneral(INFINITY), "INF");
  EXPECT_EQ(FormatGeneral(2.5), "2.5");
}

// A locale whose decimal separator is a comma, as on the plant's Russian workstations. Built
// with localedef into a private folder when the machine has none installed.
class CommaLocale : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_c_ = std::setlocale(LC_ALL, nullptr);
    saved_cpp_ = std::locale();
    if (!std::setlocale(LC_ALL, "ru_RU.UTF-8")) {
      const std::string cmd = "localedef -i ru_RU -f UTF-8 '" + dir_.File("ru_RU.UTF-8") +
                              "' >/dev/null 2>&1";
      ASSERT_EQ(std::system(cmd.c_str()), 0) << "localedef failed";
      setenv("LOCPATH", dir_.path().c_str(), 1);
      ASSERT_NE(std::setlocale(LC_ALL, "ru_RU.UTF-8"), nullptr);
    }
    std::locale::global(std::locale("ru_RU.UTF-8"));
    // The locale must really write a comma, or the test proves nothing.
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.1f", 1.5);
    ASSERT_STREQ(buf, "1,5");
    std::ostringstream os;
    os.imbue(std::locale());
    os << 1.5;
    ASSERT_EQ(os.str(), "1,5");
  }
  void TearDown() override {
    std::locale::global(saved_cpp_);
    std::setlocale(LC_ALL, saved_c_.c_str());
    unsetenv("LOCPATH");
  }
  test::TempDir dir_;
  std::string saved_c_;
  std::locale saved_cpp_;
};

TEST_F(CommaLocale, NumbersKeepThePoint) { ExpectNumbers(); }

TEST(SqlText, QuotesAndEscapes) {
  EXPECT_EQ(SqlText(""), "NULL");
  EXPECT_EQ(SqlText("abc"), "'abc'");
  EXPECT_EQ(SqlText("it's"), "'it''s'");
  EXPECT_EQ(SqlText("a\\b"), "'a\\\\b'");
  EXPECT_EQ(SqlText("say \"x\""), "'say \"x\"'");
  EXPECT_EQ(SqlText("line\nnext"), "'line\nnext'");
  EXPECT_EQ(SqlText("Плотность"), "'Плотность'");
  EXPECT_EQ(SqlQuoted(""), "''");
  EXPECT_EQ(SqlQuoted("o'k"), "'o''k'");
}

class SqlTextOnServer : public test::DbTest {};

// A text built to end its literal early and add a row of its own: the literal holds in a
// session with backslash escapes (the text comes back as it was) and in one without them.
TEST_F(SqlTextOnServer, NoTextBreaksOutInEitherMode) {
  TMySQLConnection conn;
  ASSERT_TRUE(db().Open(conn));
  const std::string text = "x\\'), (0x696E6A6563746564)#";
  for (const bool escapes : {true, false}) {
    SCOPED_TRACE(escapes);
    ASSERT_TRUE(db().Exec("delete from control_log"));
    if (!escapes) {
      ASSERT_TRUE(conn.Execute(
          "SET SESSION sql_mode=CONCAT(@@SESSION.sql_mode, ',NO_BACKSLASH_ESCAPES')"));
    }
    std::string error;
    EXPECT_TRUE(conn.Execute("insert into control_log (MessageText) values (" + SqlText(text) + ")",
                             &error))
        << error;
    EXPECT_EQ(db().Count("control_log"), 1);
    if (escapes) {
      EXPECT_EQ(db().Scalar("select MessageText from control_log"), text);
    }
  }
}

TEST(IsPlainIdentifier, LettersDigitsUnderscore) {
  EXPECT_TRUE(IsPlainIdentifier("PLS"));
  EXPECT_TRUE(IsPlainIdentifier("_PLSZ"));
  EXPECT_TRUE(IsPlainIdentifier("G_1T1"));
  EXPECT_TRUE(IsPlainIdentifier("1T"));
  EXPECT_FALSE(IsPlainIdentifier(""));
  EXPECT_FALSE(IsPlainIdentifier("123"));
  EXPECT_FALSE(IsPlainIdentifier("PLS; drop table x"));
  EXPECT_FALSE(IsPlainIdentifier("a'b"));
  EXPECT_FALSE(IsPlainIdentifier("a`b"));
  EXPECT_FALSE(IsPlainIdentifier("A B"));
  EXPECT_FALSE(IsPlainIdentifier("Плотность"));
  EXPECT_FALSE(IsPlainIdentifier(std::string(65, 'a')));
}

}  // namespace
}  // namespace liron
