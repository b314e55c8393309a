// Saving and restoring default verbs against the in-memory machine.
#include "shellext/default_actions.h"

#include "shellext_fixture.h"
#include "support/strings.h"

namespace orvo::shellext {
namespace {

using fixture::kBackups;
using fixture::ShellExtTest;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

constexpr const char* kShell = "HKLM\\SOFTWARE\\Classes\\Unknown\\shell";

// One saved verb against the class's default verb now: put back, deleted, left as it is, or
// kept because the user chose another since; a class without its shell key is not created.
TEST_F(ShellExtTest, FixDefaultsPutsBackOnlyWhatTheToolkitChanged) {
  const struct {
    const char* name;
    const char* saved;
    const char* current;  // nullptr: no default verb
    const char* after;    // nullptr: no default verb
    bool written;
    const char* line;
  } rows[] = {
      {"toolkit's verb, saved verb", "openas", "!4OpenInNotepad", "openas", true,
       "Writing back original default value for:  Unknown - openas"},
      {"toolkit's verb in other letters", "openas", "!4OPENINNOTEPAD", "openas", true,
       "Writing back original default value for:  Unknown - openas"},
      {"no verb saved", "", "!4OpenInNotepad", nullptr, false,
       "Deleting default value for:  Unknown"},
      {"already the saved verb", "openas", "openas", "openas", false,
       "Writing back original default value for:  Unknown - openas"},
      {"no default now", "openas", nullptr, "openas", true,
       "Writing back original default value for:  Unknown - openas"},
      {"the user's choice", "openas", "edit", "edit", false,
       "Keeping the default value for:  Unknown - edit (chosen after the toolkit saved openas)"},
      {"the user's choice, nothing saved", "", "edit", "edit", false,
       "Keeping the default value for:  Unknown - edit (chosen after the toolkit saved none)"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    machine.DeleteKeyTree(kShell);
    machine.AddKey(kShell);
    if (row.current != nullptr) machine.SetStringValue(kShell, "", row.current);
    machine.SetStringValue(kBackups, "Unknown", row.saved);
    machine.calls.clear();
    machine.debugLines.clear();
    FixDefaults();
    EXPECT_EQ(Text(kShell, ""), row.after ? row.after : "<missing>");
    EXPECT_EQ(std::count_if(machine.calls.begin(), machine.calls.end(),
                            [](const std::string& c) {
                              return support::Lower(c).rfind(
                                         "regsetvalueexw(hklm\\software\\classes\\unknown", 0) == 0;
                            }),
              row.written ? 1 : 0);
    EXPECT_THAT(machine.debugLines, Contains("\t\t- " + std::string(row.line)));
    EXPECT_EQ(machine.debugLines.front(), "\tFixDefaults");
    EXPECT_FALSE(machine.KeyExists(kBackups));
  }
}

// Writing a saved verb back must not create a class that is not there (an entry whose name
// holds "=" names such a class too); the backups go all the same.
TEST_F(ShellExtTest, FixDefaultsNeverCreatesAClass) {
  machine.SetStringValue(kBackups, "Gone", "open");
  machine.SetStringValue(kBackups, "odd=name", "open");
  FixDefaults();
  for (const char* key : {"HKLM\\SOFTWARE\\Classes\\Gone", "HKLM\\SOFTWARE\\Classes\\odd"}) {
    EXPECT_FALSE(machine.KeyExists(key)) << key;
  }
  EXPECT_THAT(machine.debugLines, Contains("\t\t- Not writing back the default value for:  Gone - "
                                           "HKLM\\SOFTWARE\\Classes\\Gone\\shell does not exist"));
  EXPECT_FALSE(machine.KeyExists(kBackups));
}

// Several classes, each on its own; a missing backup key leaves only the final deletion.
TEST_F(ShellExtTest, FixDefaultsRestoresEveryClassAndThenDeletesTheBackups) {
  machine.SetStringValue("HKLM\\SOFTWARE\\Classes\\txtfile\\shell", "", "!4OpenInNotepad");
  machine.SetStringValue(kShell, "", "!4OpenInNotepad");
  machine.SetStringValue(kBackups, "txtfile", "open");
  machine.SetStringValue(kBackups, "Unknown", "openas");
  FixDefaults();
  EXPECT_EQ(Text("HKLM\\SOFTWARE\\Classes\\txtfile\\shell", ""), "open");
  EXPECT_EQ(Text(kShell, ""), "openas");
  EXPECT_FALSE(machine.KeyExists(kBackups));
  EXPECT_TRUE(machine.KeyExists(fixture::kSettings));

  machine.debugLines.clear();
  FixDefaults();
  EXPECT_THAT(machine.debugLines, Not(Contains(StartsWith("\tFixDefaults: Info"))));
  EXPECT_EQ(Text(kShell, ""), "openas");
}

// The list as the value listing gives it: name, "=", data, NUL; one more NUL at the end.
TEST(ParseDefaultBackups, EntriesOfTheList) {
  using B = Backup;
  const std::string n(1, '\0');
  const struct {
    const char* name;
    std::string list;
    std::vector<std::pair<std::string, std::string>> entries;
  } rows[] = {
      {"one class with empty data", "Unknown=" + n + n, {{"Unknown", ""}}},
      {"two classes", "a=x" + n + "b=y" + n + n, {{"a", "x"}, {"b", "y"}}},
      {"data cut at a second =", "a=x=y" + n + n, {{"a", "x"}}},
      {"an entry without = takes nothing",
       "a=x" + n + "stray" + n + "b=" + n + n,
       {{"a", "x"}, {"b", ""}}},
      {"no entry", "", {}},
      {"only NULs", n + n, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<std::pair<std::string, std::string>> got;
    for (const B& b : ParseDefaultBackups(row.list)) got.emplace_back(b.sClass, b.data);
    EXPECT_EQ(got, row.entries);
  }
}

// A second backup of a class replaces the first; a class without a default verb saves "".
TEST_F(ShellExtTest, BackupDefaultActionKeepsTheLastSavedVerb) {
  machine.SetStringValue(kShell, "", "openas");
  BackupDefaultAction("Unknown");
  machine.SetStringValue(kShell, "", "edit");
  BackupDefaultAction("Unknown");
  BackupDefaultAction("txtfile");
  EXPECT_EQ(Text(kBackups, "Unknown"), "edit");
  EXPECT_EQ(Text(kBackups, "txtfile"), "");
  EXPECT_THAT(machine.debugLines, Contains("\tBackupDefaultAction: Type=txtfile"));
}

}  // namespace
}  // namespace orvo::shellext
