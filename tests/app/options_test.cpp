#include "app/options.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "db/password_cipher.h"

namespace liron {
namespace {

struct Outcome {
  std::optional<int> exit_code;
  Options options;
  std::string out, err;
};

Outcome Parse(std::vector<const char*> args, const std::string& input = "") {
  args.insert(args.begin(), "liron36");
  Outcome o;
  std::ostringstream out, err;
  std::istringstream in(input);
  o.exit_code =
      HandleCommandLine(static_cast<int>(args.size()), args.data(), &o.options, out, err, in);
  o.out = out.str();
  o.err = err.str();
  return o;
}

TEST(CommandLine, NoArgumentsRunsTheWindowFromTheExecutablesFolder) {
  Outcome o = Parse({});
  EXPECT_FALSE(o.exit_code);
  EXPECT_FALSE(o.options.Headless);
  EXPECT_EQ(o.options.Home, "");
  EXPECT_EQ(o.out + o.err, "");
}

TEST(CommandLine, HeadlessWithHome) {
  Outcome o = Parse({"--headless", "--home", "/var/lib/liron36"});
  EXPECT_FALSE(o.exit_code);
  EXPECT_TRUE(o.options.Headless);
  EXPECT_EQ(o.options.Home, "/var/lib/liron36");
  EXPECT_EQ(Parse({"--home=/srv/station"}).options.Home, "/srv/station");
}

TEST(CommandLine, HelpAndVersionEndWithZero) {
  Outcome help = Parse({"--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_EQ(help.out, UsageText());
  EXPECT_EQ(help.err, "");
  EXPECT_NE(help.out.find("liron36 [--home DIR] [--headless] [--encipher-password] [--version] "
                          "[--help]"),
            std::string::npos);

  Outcome version = Parse({"--headless", "--version"});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out, "liron36 1.20\n");
}

// The password comes on stdin, never on the command line; the line printed is what the
// service deciphers from the INI.
TEST(CommandLine, EncipherPasswordReadsStdinAndPrintsTheIniValue) {
  Outcome o = Parse({"--encipher-password"}, "пароль O'Brien\r\nnext line\n");
  EXPECT_EQ(o.exit_code, 0);
  ASSERT_FALSE(o.out.empty());
  EXPECT_EQ(o.out.back(), '\n');
  std::string plain, error;
  ASSERT_TRUE(DecipherPassword(o.out.substr(0, o.out.size() - 1), &plain, &error)) << error;
  EXPECT_EQ(plain, "пароль O'Brien");
  Outcome none = Parse({"--encipher-password"});
  EXPECT_EQ(none.exit_code, 1);
  EXPECT_EQ(none.out, "");
}

TEST(CommandLine, MistakesGiveTheUsageOnStderrAndCodeTwo) {
  for (const std::vector<const char*>& args :
       {std::vector<const char*>{"--verbose"}, {"-x"}, {"--home"}, {"--home="},
        {"--home", ""}, {"station"}, {"--headless", "--help", "--bogus"}}) {
    Outcome o = Parse(args);
    EXPECT_EQ(o.exit_code, 2) << args.back();
    EXPECT_EQ(o.out, "") << args.back();
    EXPECT_NE(o.err.find(UsageText()), std::string::npos) << args.back();
  }
  EXPECT_NE(Parse({"--verbose"}).err.find("unknown option --verbose"), std::string::npos);
}

}  // namespace
}  // namespace liron
