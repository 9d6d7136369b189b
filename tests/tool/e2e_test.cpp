// The built register-service run as installers run it, against services
// files in a sandbox: the file's bytes afterwards, the empty console output
// and the exit status.
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/filelock.h"
#include "tests/tool/support.h"

namespace {

const std::string kTool = VX_TOOL_PATH;
const std::string kHelper = VX_HELPER_PATH;
const std::string kFixtures = VX_FIXTURES_DIR;

std::string Sp(size_t n) { return std::string(n, ' '); }

std::string Fixture(const char* name) {
  std::string bytes;
  EXPECT_TRUE(ReadBytes(kFixtures + "/" + name, &bytes)) << name;
  return bytes;
}

// The text as the tool reads it: the host's line ends back to "\n".
std::string InMemory(const std::string& disk) {
  if (HostLineEnd() == "\n") return disk;
  std::string text;
  for (size_t at = 0; at < disk.size();) {
    if (disk.compare(at, HostLineEnd().size(), HostLineEnd()) == 0) {
      text += '\n';
      at += HostLineEnd().size();
    } else {
      text += disk[at++];
    }
  }
  return text;
}

void ExpectSilentSuccess(const PlatformProcessResult& run, const std::string& label) {
  EXPECT_EQ(run.exitCode, 0) << label << ": " << run.errors;
  EXPECT_EQ(run.output, "") << label;
  EXPECT_EQ(run.errors, "") << label;
}

struct Case {
  std::string label;
  std::optional<std::string> before;  // no file at all when empty
  std::vector<std::string> arguments;
  std::string appended;  // what all runs together add at the end
  int runs = 1;
};

std::vector<std::string> Entry(const std::string& name, const std::string& port, const std::string& protocol) {
  return {"-name", name, "-port", port, "-protocol", protocol, "-service"};
}

std::vector<std::string> With(std::vector<std::string> arguments, const std::vector<std::string>& more) {
  arguments.insert(arguments.end(), more.begin(), more.end());
  return arguments;
}

std::string Repeat(const std::string& line, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += line;
  return text;
}

// Lines whose "/" stands at `position`.
std::string SlashAt(int position, const std::string& name) {
  std::string line = name;
  line.append(static_cast<size_t>(position - 1) - name.size(), ' ');
  return line + "1/tcp\n";
}

std::vector<Case> Cases() {
  std::vector<Case> cases;
  const std::vector<std::string> delta = Entry("delta", "5000", "tcp");
  const std::string deltaAtPresets = "delta" + Sp(12) + "5000/tcp\n";

  cases.push_back({"first worked example", Fixture("worked_example_1.services"),
                   With(delta, {"-comment", "Delta server"}), "delta" + Sp(12) + "5000/tcp" + Sp(27) + "#Delta server\n"});
  cases.push_back({"second worked example", Fixture("worked_example_2.services"),
                   With(Entry("echo2", "7", "tcp"), {"-comment", "x"}), "echo2" + Sp(3) + "7/tcp" + Sp(6) + "#x\n"});

  // Present already: nothing is written.
  cases.push_back({"present with other capitals", std::string("Delta                5000/TCP    # Delta server\n"),
                   delta, ""});
  cases.push_back({"present, values given in capitals", std::string("delta 5000/tcp\n"),
                   Entry("DELTA", "5000", "TCP"), ""});
  cases.push_back({"present with another port", std::string("delta\t600/tcp\n"), delta, ""});
  cases.push_back({"present further up, last line without newline",
                   std::string("  delta 600/tcp alias # c\nalpha 7/udp"), delta, ""});

  // Not present: appended, aligned.
  cases.push_back({"present for another protocol only", std::string("delta 5000/udp\n"), delta, "delta 5000/tcp\n"});
  cases.push_back({"name present only as an alias", std::string("bravo 17/tcp delta\n"), delta, "delta 5000/tcp\n"});
  cases.push_back({"missing final newline", std::string("alpha" + Sp(15) + "7/tcp"), delta, "\n" + deltaAtPresets});
  cases.push_back({"empty file", std::string(""), delta, deltaAtPresets});
  cases.push_back({"only comments and blank lines", std::string("# one\n\n   \n\t# two\n"), delta, deltaAtPresets});
  cases.push_back({"no file at all", std::nullopt, delta, ""});

  // Columns and padding.
  cases.push_back({"name ends where the port must begin", std::string(""), Entry("abcdefghijklmnopq", "5000", "tcp"),
                   "abcdefghijklmnopq 5000/tcp\n"});
  cases.push_back({"name longer than the room", std::string(""), Entry("service-with-a-long-name1", "80", "tcp"),
                   "service-with-a-long-name1 80/tcp\n"});
  cases.push_back({"port longer than the room", std::string("ab 1/tcp\n"), Entry("x", "123456", "tcp"),
                   "x 123456/tcp\n"});
  cases.push_back({"ties go to the position seen first", std::string(SlashAt(12, "a") + SlashAt(9, "b")),
                   Entry("c", "7", "tcp"), "c" + Sp(10) + "7/tcp\n"});
  {
    // Nine positions besides the preset are counted; a tenth is not, however
    // often it occurs.
    std::string text;
    for (int position = 10; position <= 18; ++position) text += SlashAt(position, "s");
    text += Repeat(SlashAt(30, "t"), 5);
    cases.push_back({"eleven distinct slash positions", text, Entry("new", "7", "tcp"), "new" + Sp(6) + "7/tcp\n"});
  }
  cases.push_back({"only slash inside the comment", Repeat("svc1 7 # see a/b\n", 3), Entry("new", "9", "tcp"),
                   "new" + Sp(10) + "9/tcp\n"});
  cases.push_back({"tabs count as one position", std::string("echo\t\t7/tcp\t\t# e\necho\t\t7/udp\t\t# e\n"),
                   With(Entry("new", "9", "tcp"), {"-comment", "n"}), "new" + Sp(3) + "9/tcp" + Sp(2) + "#n\n"});

  // Runs that append the same line again: entries that can never match.
  // The second run finds the first line's name column at 20, so its line
  // starts there and the port moves one further.
  cases.push_back({"-service alone", std::string(""), {"-service"}, Sp(20) + "0/\n" + Sp(21) + "0/\n", 2});
  cases.push_back({"name with an inner blank", std::string(""), Entry("my svc", "9", "tcp"),
                   Repeat("my svc" + Sp(14) + "9/tcp\n", 2), 2});
  {
    // The first word is compared on its first 127 characters, so a longer
    // name never matches.
    std::string name(130, 'n');
    cases.push_back({"name of 130 characters", std::string(""), Entry(name, "9", "tcp"),
                     Repeat(name + " 9/tcp\n", 2), 2});
  }

  // Long lines and long values.
  cases.push_back({"line longer than a read, its second piece matches",
                   "#" + std::string(1022, 'x') + "delta 5000/tcp\n", delta, ""});
  cases.push_back({"line longer than a read, pieces counted as lines",
                   std::string(1023, 'y') + "   z 1/tcp\n", Entry("new", "9", "tcp"), "new  9/tcp\n"});
  {
    std::string wide = "wide" + Sp(26) + "1/tcp";
    wide += Sp(1000 - wide.size()) + "# far\n";
    std::string name(300, 'N'), protocol(300, 'P'), comment(300, 'C');
    cases.push_back({"columns far right and 300-character values", Repeat(wide, 2),
                     With(Entry(name, "5", protocol), {"-comment", comment}),
                     std::string(255, 'n') + " 5/" + std::string(255, 'p') + Sp(487) + "#" + std::string(255, 'C') +
                         "\n"});
  }

  // Option parsing: any failure writes nothing.
  const std::string alpha = "alpha 7/tcp\n";
  for (const auto& arguments : std::vector<std::vector<std::string>>{
           {"-service", "-name", "x", "-port", "-1", "-protocol", "tcp"},
           {"-service", "-name", "-x", "-port", "1", "-protocol", "tcp"},
           {"-service", "-Name", "x", "-port", "1", "-protocol", "tcp"},
           {"-SERVICE", "-name", "x", "-port", "1", "-protocol", "tcp"},
           {"-name", "x", "-port", "1", "-protocol", "tcp", "-service", "stray"},
           {"-service", "-name", "x", "-port", "1", "-protocol"},
           {},
           {"-name", "x", "-port", "1", "-protocol", "tcp", "-comment", "no switch"},
       }) {
    std::string label = "parse failure:";
    for (const std::string& argument : arguments) label += " " + argument;
    cases.push_back({label, alpha, arguments, ""});
  }

  // Values.
  cases.push_back({"port 80x", std::string(""), Entry("p", "80x", "tcp"), "p" + Sp(18) + "80/tcp\n"});
  cases.push_back({"port abc", std::string(""), Entry("p", "abc", "tcp"), "p" + Sp(19) + "0/tcp\n"});
  cases.push_back({"empty port", std::string(""), Entry("p", "", "tcp"), "p" + Sp(19) + "0/tcp\n"});
  cases.push_back({"port beyond 32 bits", std::string(""), Entry("p", "99999999999", "tcp"),
                   "p" + Sp(10) + "2147483647/tcp\n"});
  cases.push_back({"negative port after a blank", std::string(""), Entry("p", " -7", "tcp"), "p" + Sp(18) + "-7/tcp\n"});
  cases.push_back({"values with their quotes", std::string(""),
                   With(Entry("\"MyServ\"", "\"81\"", "tcp"), {"-comment", "\"Hello World\""}),
                   "myserv" + Sp(13) + "81/tcp" + Sp(27) + "#Hello World\n"});
  cases.push_back({"opening quote only", std::string(""), With(Entry("q", "1", "tcp"), {"-comment", "\"half"}),
                   "q" + Sp(19) + "1/tcp" + Sp(27) + "#half\n"});
  cases.push_back({"comment that looks like a wildcard", std::string(""), With(Entry("p", "1", "tcp"), {"-comment", "*"}),
                   "p" + Sp(19) + "1/tcp" + Sp(27) + "#*\n"});
  cases.push_back({"options in any order, the last repeat wins", std::string(""),
                   {"-service", "-protocol", "UDP", "-name", "b", "-name", "c", "-port", "5"}, "c" + Sp(19) + "5/udp\n"});
  return cases;
}

TEST(RegisterService, Table) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.label);
    ServicesSandbox sandbox;
    ASSERT_FALSE(sandbox.Path().empty());
    sandbox.Fill(c.before ? c.before->c_str() : nullptr);
    for (int run = 0; run < c.runs; ++run)
      ExpectSilentSuccess(RunProgram(kTool, c.arguments, sandbox.Environment()), c.label);
    if (c.before) {
      EXPECT_EQ(sandbox.Bytes(), OnDisk(*c.before + c.appended));
    } else {
      EXPECT_FALSE(FileExists(sandbox.Path()));
    }
  }
}

// An elevated process must not let its environment choose the file it
// appends to: where the relocation variable does not move the Windows
// directory, a services file in the directory it names stays untouched.
TEST(RegisterService, RelocationVariableOnlyWhereTheHostHasIt) {
  ServicesSandbox sandbox;
  if (sandbox.Relocated()) GTEST_SKIP() << "VORNDEX_WINDIR relocates the services file on this host";
  TempDir decoy;
  std::string decoyFile = decoy.File("services");
  ASSERT_TRUE(WriteBytes(decoyFile, OnDisk("alpha 7/tcp\n")));
  sandbox.Fill("beta 8/tcp\n");
  std::string variable = "VORNDEX_WINDIR=" + decoy.Path();
  const char* environment[] = {variable.c_str(), nullptr};
  ExpectSilentSuccess(RunProgram(kTool, Entry("delta", "5000", "tcp"), environment), "decoy");
  std::string bytes;
  ASSERT_TRUE(ReadBytes(decoyFile, &bytes));
  EXPECT_EQ(bytes, OnDisk("alpha 7/tcp\n"));
  EXPECT_EQ(sandbox.Bytes(), OnDisk("beta 8/tcp\ndelta 5000/tcp\n"));
}

// The system's real services file: the appended line stands in that file's
// dominant columns, a second run changes nothing, and the system's own
// reader of the file finds the new entry.
TEST(RegisterService, RealServicesFile) {
  std::string system = SystemServicesPath();
  std::string real;
  ASSERT_TRUE(ReadBytes(system, &real)) << system;
  ServicesSandbox sandbox;
  if (sandbox.Relocated()) {
    ASSERT_TRUE(WriteBytes(sandbox.Path(), real));
  }
  std::string before = sandbox.Bytes();
  ASSERT_EQ(before, real);

  const std::vector<std::string> arguments =
      With(Entry("vx-registered", "47123", "tcp"), {"-comment", "Vorndex test"});
  ExpectSilentSuccess(RunProgram(kTool, arguments, sandbox.Environment()), "first run");
  std::string after = sandbox.Bytes();
  ASSERT_GT(after.size(), before.size());
  ASSERT_EQ(after.compare(0, before.size(), before), 0) << "the file's own lines changed";
  std::string text = InMemory(before);
  std::string expected = EntryLine(ColumnsOf(text), "vx-registered", 47123, "tcp", "Vorndex test");
  std::string gap = (!text.empty() && text.back() != '\n') ? "\n" : "";
  EXPECT_EQ(InMemory(after.substr(before.size())), gap + expected);

  ExpectSilentSuccess(RunProgram(kTool, arguments, sandbox.Environment()), "second run");
  EXPECT_EQ(sandbox.Bytes(), after);

  // The system reads its own file: where the sandbox lies elsewhere, it is
  // bind-mounted over the system's file in a private mount namespace.
  PlatformProcessResult lookup;
  if (sandbox.Relocated()) {
    std::string file = sandbox.Path(), target = system;
    for (std::string* path : {&file, &target})
      for (char& c : *path)
        if (c == '\\') c = '/';
    lookup = RunProgram("unshare", {"-m", "sh", "-c", "mount --bind \"$1\" \"$2\" || exit 77; exec \"$3\" lookup \"$4\" tcp",
                                    "sh", file, target, kHelper, "vx-registered"});
    if (lookup.exitCode != 0 && lookup.exitCode != 3)
      GTEST_SKIP() << "no private mount namespace here (exit " << lookup.exitCode << "): " << lookup.errors;
  } else {
    lookup = RunProgram(kHelper, {"lookup", "vx-registered", "tcp"});
  }
  EXPECT_EQ(lookup.exitCode, 0) << lookup.errors;
  EXPECT_EQ(lookup.output, "47123" + HostLineEnd());
}

// Installers run in parallel: runs started together with distinct entries
// all land whole, and runs with the same entry land it once.
TEST(RegisterService, ConcurrentRuns) {
  ServicesSandbox sandbox;
  std::string prefill;
  for (int i = 0; i < 20000; ++i) {
    char line[64];
    std::snprintf(line, sizeof line, "svc%05d        %5d/tcp    # prefill\n", i, 1024 + i);
    prefill += line;
  }
  sandbox.Fill(prefill.c_str());
  DominantColumns columns = ColumnsOf(prefill);

  std::vector<std::vector<std::string>> runs;
  std::set<std::string> wanted;
  for (int i = 0; i < 6; ++i) {
    std::string name = "distinct" + std::to_string(i);
    runs.push_back(With(Entry(name, std::to_string(40000 + i), "tcp"), {"-comment", "d"}));
    wanted.insert(EntryLine(columns, name, 40000 + i, "tcp", "d"));
    runs.push_back(With(Entry("shared", "41000", "udp"), {"-comment", "s"}));
  }
  wanted.insert(EntryLine(columns, "shared", 41000, "udp", "s"));
  // The runs are started while this test holds the file's lock, as one more
  // installer would: they wait for it, and whatever a run read before it
  // got the lock must not decide what it appends.
  FILE* holder = PlatformFileOpen(sandbox.Path().c_str(), "r");
  ASSERT_NE(holder, nullptr);
  ASSERT_EQ(PlatformFileLock(holder), 1);
  auto release = [holder] {
    PlatformFileUnlock(holder);
    std::fclose(holder);
  };
  for (const PlatformProcessResult& run : RunTogether(kTool, runs, sandbox.Environment(), release))
    ExpectSilentSuccess(run, "concurrent run");

  std::string after = InMemory(sandbox.Bytes());
  ASSERT_GE(after.size(), prefill.size());
  ASSERT_EQ(after.compare(0, prefill.size(), prefill), 0) << "the file's own lines changed";
  std::multiset<std::string> landed;
  std::string rest = after.substr(prefill.size());
  for (size_t at = 0; at < rest.size();) {
    size_t end = rest.find('\n', at);
    ASSERT_NE(end, std::string::npos) << "a torn last line: " << rest.substr(at);
    landed.insert(rest.substr(at, end + 1 - at));
    at = end + 1;
  }
  EXPECT_EQ(landed, std::multiset<std::string>(wanted.begin(), wanted.end()));
}

}  // namespace
