// The real morvane-setup.exe as a Windows user runs it, under Wine: a quiet
// install from the local channel (nginx on Linux loopback, with the test
// certificate), Windows' own `reg`, `cmd` and shortcuts (the tests' shortcut
// maker stands in for powershell in the prefix), the refusals, and the
// uninstall from its entry. These tests hold the release host's port, so
// CTest runs them one at a time.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/bytes.hpp"
#include "platform/fs.hpp"
#include "platform/version_resource.hpp"
#include "setup/common/delayed_removal.hpp"
#include "setup/tests/disk_views.hpp"
#include "setup/tests/product_release.hpp"
#include "setup/tests/user_profile.hpp"
#include "setup/tests/win/planted_dlls.hpp"
#include "testkit/host_tools.hpp"
#include "testkit/site_server.hpp"

namespace setup_test {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr std::int64_t kIssued = 1'700'000'000'000;

// The version of a version resource's fixed file info, "MAJOR.MINOR.PATCH".
std::string fixed_version(const platform::Bytes& block) {
  const auto u16 = [&](std::size_t at) { return block[at] | (block[at + 1] << 8); };
  if (block.size() < 16) return "(no fixed file info)";
  // dwFileVersionMS at 8 (minor, major), dwFileVersionLS at 12 (build, patch).
  return std::to_string(u16(10)) + "." + std::to_string(u16(8)) + "." + std::to_string(u16(14));
}

// A shell link file begins with its header's size and class id.
bool is_shell_link(const platform::Path& path) {
  const auto bytes = platform::read_file(path);
  return bytes && bytes->size() > 20 && (*bytes)[0] == 0x4C && (*bytes)[1] == 0 && (*bytes)[4] == 0x01 &&
         (*bytes)[5] == 0x14 && (*bytes)[6] == 0x02;
}

class QuietWine : public ::testing::Test {
 protected:
  explicit QuietWine(const std::string& user_name = "") : user(user_name) {}

  UserProfile user;
  LocalChannel channel;
  testkit::Release release = quick_release("1.4.0", kIssued);

  // The quiet uninstall by the installed uninstall.exe: the shortcuts and
  // the entry go, and the folder a moment after the uninstaller has ended,
  // through cmd.
  void uninstall_from_the_entry() const {
    const ExeRun removed = user.run_program(user.install / "uninstall.exe", {"--uninstall", "--quiet"});
    const auto ended = std::chrono::steady_clock::now();
    EXPECT_EQ(removed.exit_code, 0) << removed.err;
    EXPECT_FALSE(platform::exists(user.start_menu_link));
    EXPECT_FALSE(platform::exists(user.desktop_link));
    EXPECT_FALSE(user.entry_value("DisplayName"));
    EXPECT_FALSE(user.entry_value("DisplayVersion"));
    while (platform::exists(user.install) && std::chrono::steady_clock::now() - ended < 15s) {
      std::this_thread::sleep_for(100ms);
    }
    EXPECT_FALSE(platform::exists(user.install)) << ::testing::PrintToString(sorted_entries(user.install));
  }

  void install() {
    channel.publish(release);
    const ExeRun installed = user.quiet_install();
    ASSERT_EQ(installed.exit_code, 0) << read_text(user.temp_log()) << read_text(user.setup_log);
    ASSERT_EQ(user.differences_from(release), "");
  }
};

TEST_F(QuietWine, AFreshInstallMakesTheEntryWithRegAndShortcutsThatWindowsReads) {
  install();
  EXPECT_TRUE(platform::is_regular_file(user.install / "uninstall.exe"));
  EXPECT_TRUE(is_shell_link(user.start_menu_link));
  EXPECT_TRUE(is_shell_link(user.desktop_link));
  const std::string key = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\MORVANE";
  EXPECT_THAT(user.entry_value("DisplayVersion").value_or("(none)"), HasSubstr("REG_SZ    1.4.0"));
  EXPECT_THAT(user.entry_value("DisplayName").value_or("(none)"), HasSubstr(key));
  EXPECT_THAT(user.entry_value("NoModify").value_or("(none)"), HasSubstr("REG_DWORD    0x1"));
  EXPECT_THAT(user.entry_value("UninstallString").value_or("(none)"),
              HasSubstr("REG_SZ    \"" + platform::display(user.install / "uninstall.exe") + "\" --uninstall"));
  EXPECT_THAT(log_texts(user.setup_log), IsEmpty());
}

TEST_F(QuietWine, TheInstalledVersionIsReadFromTheExecutablesVersionResource) {
  // The setup program itself: a PE that the resource compiler gave its
  // version resource, read through GetFileVersionInfoW.
  const auto own = platform::version_root_block(testkit::build_path(MORVANE_SETUP_EXE));
  ASSERT_TRUE(own);
  EXPECT_EQ(fixed_version(*own), "0.1.382");
  install();
  const auto installed = platform::version_root_block(user.install / "morvane.exe");
  ASSERT_TRUE(installed);
  EXPECT_EQ(fixed_version(*installed), "1.4.0");
  // Read so, the same release again is already current: nothing but the
  // manifest is fetched.
  const std::size_t before = channel.requests().size();
  const ExeRun again = user.quiet_install();
  ASSERT_EQ(again.exit_code, 0) << read_text(user.setup_log);
  EXPECT_THAT(channel.requests_since(before),
              ::testing::UnorderedElementsAre(channel_get("release.json"), channel_get("release.json.sig")));
  EXPECT_EQ(user.differences_from(release), "");
}

// A LOCALAPPDATA of about 250 characters puts every file of the installation
// past MAX_PATH, where plain paths fail on Windows for a program that does
// not declare itself aware of long paths. Wine has no MAX_PATH limit, so
// under Wine this passes with plain paths too: it shows the install, the
// update under its journal and the version read through the long form, not
// the failure without it.
TEST_F(QuietWine, AnInstallAndAnUpdateUnderALocalAppDataOfAbout250Characters) {
  platform::Path local = user.root.path();
  for (int i = 0; local.native().size() < 240; ++i) local /= "a-long-folder-name-" + std::to_string(i);
  user.local = local;
  user.install = user.local / "Programs" / "MORVANE";
  user.updates = user.install / "updates";
  user.setup_log = user.updates / "setup.log";
  ASSERT_TRUE(platform::create_dirs(user.local));
  ASSERT_GE(platform::display(user.local).size(), 240u);
  install();
  EXPECT_GT(platform::display(user.install / "updates" / "history" / "1.4.0" / "release.json.sig").size(), 300u);
  EXPECT_TRUE(platform::is_regular_file(user.install / "uninstall.exe"));

  release = quick_release("1.5.0", kIssued + 1000);
  channel.publish(release);
  const ExeRun updated = user.quiet_install();
  ASSERT_EQ(updated.exit_code, 0) << read_text(user.setup_log);
  EXPECT_EQ(user.differences_from(release), "");
  EXPECT_FALSE(platform::exists(user.updates / "swap.journal"));
  const auto installed = platform::version_root_block(user.install / "morvane.exe");
  ASSERT_TRUE(installed);
  EXPECT_EQ(fixed_version(*installed), "1.5.0");
}

TEST_F(QuietWine, AReleaseSignedWithAnotherKeyIsRefusedWithExitCode1) {
  release.faults.signing_seed = testkit::Ed25519Seed{7, 7, 7};
  channel.publish(release);
  const ExeRun refused = user.quiet_install();
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_FALSE(platform::exists(user.install));
  EXPECT_THAT(read_text(user.temp_log()), HasSubstr("no key pinned in this build accepts it"));
}

TEST_F(QuietWine, TheRunningProductIsNotUpdated) {
  install();
  RunningInstalledProduct running(user);
  testkit::Release newer = quick_release("1.5.0", kIssued + 1000);
  channel.publish(newer);
  const ExeRun refused = user.quiet_install();
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_EQ(user.differences_from(release), "");
}

// An indexer or a scanner that opens an installed file for a moment, sharing
// nothing, while the update reads it: here the library that the update
// keeps, hashed once more after the last file is staged, held from before
// that moment until 300 ms after it. The read waits for the file, and the
// update ends with the new release whole.
TEST_F(QuietWine, AnInstalledFileHeldForAMomentWhileTheUpdateReadsItIsReadOnceLetGo) {
  install();
  testkit::Release newer = quick_release("1.5.0", kIssued + 1000);
  ASSERT_EQ(newer.files[1].name, "libkesto.dll");
  newer.files[1].bytes = release.files[1].bytes;
  channel.publish(newer);
  const platform::Path held = user.install / "libkesto.dll";

  std::atomic<bool> ended = false;
  std::string hold_failure;
  bool held_when_staged = false;
  std::thread holder([&] {
    const auto until = std::chrono::steady_clock::now() + exe_time_limit;
    const auto waiting = [&] { return !ended && std::chrono::steady_clock::now() < until; };
    const auto kept = [&] {
      const auto lines = staged_lines(user.updates, "1.5.0");
      return std::find_if(lines.begin(), lines.end(), [](const auto& line) { return line.first == "libkesto.dll"; }) !=
             lines.end();
    };
    // Once the keep rung has read it, so that only the reads after staging
    // meet the hold.
    while (waiting() && !kept()) std::this_thread::sleep_for(1ms);
    if (!waiting()) return;
    HANDLE handle = ::CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      hold_failure = platform::os_error_text(static_cast<int>(::GetLastError()));
      return;
    }
    while (waiting() && staged_lines(user.updates, "1.5.0").size() < newer.files.size()) {
      std::this_thread::sleep_for(1ms);
    }
    held_when_staged = !ended;
    std::this_thread::sleep_for(300ms);
    ::CloseHandle(handle);
  });
  const ExeRun updated = user.quiet_install();
  ended = true;
  holder.join();

  ASSERT_EQ(hold_failure, "");
  EXPECT_TRUE(held_when_staged) << "the update ended before the hold began";
  EXPECT_EQ(updated.exit_code, 0) << read_text(user.setup_log);
  EXPECT_EQ(user.differences_from(newer), "");
  EXPECT_THAT(staged_lines(user.updates, "1.5.0"),
              ::testing::Contains(StagedLine{"libkesto.dll", "kept: the installed file is this release's"}));
}

TEST_F(QuietWine, TheUninstallFromTheEntryRemovesFilesShortcutsEntryAndThenTheFolder) {
  const platform::Path data = user.local / "MORVANE";
  ASSERT_TRUE(platform::create_dirs(data));
  ASSERT_TRUE(platform::write_file(data / "settings.json", platform::byte_view("{}")));
  install();
  // What the product may have put there, with names that only the UTF-8
  // conversion of every path keeps whole.
  ASSERT_TRUE(platform::write_file(user.install / "r\xC3\xA9sum\xC3\xA9.txt", platform::byte_view("notes")));
  ASSERT_TRUE(platform::create_dirs(user.install / "donn\xC3\xA9\x65s"));
  ASSERT_TRUE(platform::write_file(user.install / "donn\xC3\xA9\x65s" / "\xE2\x82\xAC.bin", platform::byte_view("x")));

  uninstall_from_the_entry();
  EXPECT_THAT(sorted_entries(data), ElementsAre("settings.json"));
}

// What is in the profile's Programs folder `after` from now: the install
// folder, and whatever the uninstaller left there.
std::vector<std::string> programs_after(const UserProfile& user, std::chrono::seconds after) {
  std::this_thread::sleep_for(after);
  return sorted_entries(user.local / "Programs");
}

TEST_F(QuietWine, AQuietUninstallWhoseReportIsNeverAnsweredStillLeavesNothingBehind) {
  // A site API that takes the report's connection and never answers, as
  // behind a firewall that drops packets: the uninstaller waits its three
  // seconds for the report, longer than cmd's pause.
  install();
  testkit::SiteServer site(testkit::SiteAnswer{.never = true}, configured_site_port());
  const ExeRun removed = user.run_program(user.install / "uninstall.exe", {"--uninstall", "--quiet"},
                                          {{"MORVANE_SETUP_UNCOUNTED", std::nullopt}});
  EXPECT_EQ(removed.exit_code, 0) << removed.err;
  EXPECT_GE(removed.elapsed, 2900ms);
  EXPECT_TRUE(site.wait_for_requests(1, 5s));
  EXPECT_FALSE(user.entry_value("DisplayName"));
  EXPECT_THAT(programs_after(user, 10s), IsEmpty());
}

TEST_F(QuietWine, AQuietInstallRightAfterAQuietUninstallIsWholeLongAfter) {
  // "Reinstall to fix it": whatever the uninstall leaves to do once it has
  // ended must not reach the new installation.
  install();
  const ExeRun removed = user.run_program(user.install / "uninstall.exe", {"--uninstall", "--quiet"});
  ASSERT_EQ(removed.exit_code, 0) << removed.err;
  const ExeRun installed = user.quiet_install();
  ASSERT_EQ(installed.exit_code, 0) << read_text(user.temp_log()) << read_text(user.setup_log);
  EXPECT_THAT(programs_after(user, 15s), ElementsAre("MORVANE"));
  EXPECT_EQ(user.differences_from(release), "");
  EXPECT_TRUE(platform::is_regular_file(user.install / "uninstall.exe"));
  EXPECT_TRUE(platform::is_regular_file(user.desktop_link));
  EXPECT_THAT(user.entry_value("DisplayVersion").value_or("(none)"), HasSubstr("REG_SZ    1.4.0"));
}

TEST_F(QuietWine, TheDelayedRemovalOfAFileTakesThatFileAloneWithWindowsCmd) {
  // The removal that the running uninstaller leaves for its moved file, run
  // by Windows' own cmd: the file of that name in that folder and nothing
  // else, a moment later.
  const platform::Path programs = user.local / "Programs";
  const platform::Path moved = programs / "morvane-uninstall-4242.exe";
  ASSERT_TRUE(platform::create_dirs(programs / "MORVANE"));
  for (const auto& file : {moved, programs / "morvane-uninstall-42.exe", programs / "MORVANE" / "uninstall.exe",
                           programs / "MORVANE" / "morvane-uninstall-4242.exe"}) {
    ASSERT_TRUE(platform::write_file(file, platform::byte_view("MZ")));
  }
  const auto removal = setup::delayed_file_removal(moved, 3);
  ASSERT_TRUE(removal);
  ASSERT_TRUE(setup::start_delayed_removal(*removal));
  const auto began = std::chrono::steady_clock::now();
  while (platform::exists(moved) && std::chrono::steady_clock::now() - began < 20s) std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(platform::exists(moved));
  EXPECT_GE(std::chrono::steady_clock::now() - began, 1s);
  EXPECT_THAT(sorted_entries(programs), ElementsAre("MORVANE", "morvane-uninstall-42.exe"));
  EXPECT_THAT(sorted_entries(programs / "MORVANE"), ElementsAre("morvane-uninstall-4242.exe", "uninstall.exe"));
}

// A user whose name holds a variable's reference. cmd expands it in its
// text even between quotes; a variable of cmd's own environment would not
// keep the path whole here either, since Wine's cmd, unlike Windows', reads
// again what it has put in. The removal never puts the path in cmd's text.
class QuietWineForAnOddUser : public QuietWine {
 protected:
  QuietWineForAnOddUser() : QuietWine("p%TEMP%q") {}
};

TEST_F(QuietWineForAnOddUser, TheUninstallRemovesTheFolderThoughItsPathNamesAVariable) {
  install();
  ASSERT_NE(platform::display(user.install).find("%TEMP%"), std::string::npos);
  uninstall_from_the_entry();
}

// Any site can drop files into Downloads beside the setup program, and the
// install folder is the user's to write: no DLL planted beside the program is
// loaded by a quiet install (and the run after it, which reads the installed
// version), nor any beside the installed uninstaller by the uninstall.
TEST_F(QuietWine, NoDllPlantedBesideTheSetupProgramOrTheUninstallerIsLoaded) {
  const platform::Path downloads = user.root / "Downloads";
  const platform::Path marks = user.root / "dll-marks";
  ASSERT_TRUE(platform::create_dirs(downloads));
  ASSERT_TRUE(platform::create_dirs(marks));
  const platform::Path setup = downloads / "morvane-setup.exe";
  ASSERT_TRUE(platform::copy_file_replace(testkit::build_path(MORVANE_SETUP_EXE), setup));
  plant_dlls(downloads);
  const EnvChanges marked{{planted_dll_marks_variable, platform::display(marks)}};
  channel.publish(release);

  const ExeRun installed = user.run_program(setup, {"--quiet"}, marked);
  EXPECT_EQ(installed.exit_code, 0) << read_text(user.temp_log()) << read_text(user.setup_log);
  EXPECT_EQ(user.differences_from(release), "");
  const ExeRun again = user.run_program(setup, {"--quiet"}, marked);
  EXPECT_EQ(again.exit_code, 0) << read_text(user.setup_log);

  ASSERT_TRUE(platform::is_regular_file(user.install / "uninstall.exe"));
  plant_dlls(user.install);
  const ExeRun removed = user.run_program(user.install / "uninstall.exe", {"--uninstall", "--quiet"}, marked);
  EXPECT_EQ(removed.exit_code, 0) << removed.err;
  EXPECT_FALSE(user.entry_value("DisplayName"));

  EXPECT_THAT(loaded_planted_dlls(marks), IsEmpty());
}

// The product's files as a release has them, by name.
std::map<std::string, platform::Bytes> files_of(const testkit::Release& release) {
  std::map<std::string, platform::Bytes> files;
  for (const auto& file : release.files) files[file.name] = file.bytes;
  return files;
}

// The installed product's files: the installation without its updates
// folder, its uninstaller and the previous copies (".old") that an update
// keeps until the next.
std::map<std::string, platform::Bytes> installed_files(const UserProfile& user) {
  auto tree = user.product_tree();
  std::erase_if(tree, [](const auto& entry) {
    return entry.first == "uninstall.exe" || entry.first.ends_with(".old");
  });
  return tree;
}

// An update that replaces morvane.exe and every library, killed at a random
// moment again and again (a power cut, the task manager): the next run
// first completes or undoes the swap from its journal, so that the product
// is exactly the old release or exactly the new one, and a run after that
// brings it to the new one.
TEST_F(QuietWine, AnUpdateKilledAtAnyMomentLeavesTheOldOrTheNewReleaseWhole) {
  install();
  const platform::Path pristine = user.root / "pristine";
  std::filesystem::copy(user.install, pristine, std::filesystem::copy_options::recursive);
  testkit::Release newer = quick_release("1.5.0", kIssued + 1000);
  newer.earlier = {testkit::EarlierRelease{"1.4.0", release.files}};
  channel.publish(newer);
  const auto old_files = files_of(release);
  const auto new_files = files_of(newer);
  ASSERT_NE(old_files.at("morvane.exe"), new_files.at("morvane.exe"));

  const auto reset = [&] {
    ASSERT_TRUE(platform::remove_dir_all(user.install));
    std::filesystem::copy(pristine, user.install, std::filesystem::copy_options::recursive);
  };
  // How long a whole update takes here, to cut runs within it.
  const ExeRun whole = user.quiet_install();
  ASSERT_EQ(whole.exit_code, 0) << read_text(user.setup_log);
  ASSERT_EQ(installed_files(user), new_files);
  const auto span = whole.elapsed;

  std::mt19937 random(20261210);
  int ended_old = 0;
  int ended_new = 0;
  constexpr int kRuns = 50;
  for (int run = 0; run < kRuns; ++run) {
    reset();
    // Half the cuts anywhere in the run, half in the stretch where, here,
    // the staged files are swapped in (the rest of the run goes to the
    // check, the staging, and the steps after the swap).
    std::uniform_real_distribution<double> share(run % 2 == 0 ? 0.0 : 0.2, run % 2 == 0 ? 1.0 : 0.5);
    const auto cut_at = std::chrono::milliseconds(static_cast<long long>(share(random) * span.count()));
    SCOPED_TRACE("run " + std::to_string(run) + ", cut after " + std::to_string(cut_at.count()) + " ms");
    (void)user.quiet_install_cut_after(cut_at);

    // A run that cannot reach the channel does the repair and no more.
    channel.stop();
    const ExeRun repair = user.quiet_install();
    channel.resume();
    EXPECT_EQ(repair.exit_code, 1);
    EXPECT_FALSE(platform::exists(user.updates / "swap.journal")) << read_text(user.setup_log);
    // A copy of the uninstaller cut off on its way in is no file of the
    // product; the next run's copy takes its place.
    auto after = installed_files(user);
    after.erase("uninstall.part");
    if (after == old_files) {
      ++ended_old;
    } else if (after == new_files) {
      ++ended_new;
    } else {
      ADD_FAILURE() << "neither release: " << ::testing::PrintToString(sorted_entries(user.install));
    }

    const ExeRun again = user.quiet_install();
    ASSERT_EQ(again.exit_code, 0) << read_text(user.setup_log);
    EXPECT_EQ(installed_files(user), new_files);
  }
  std::printf("%d runs: %d repaired to the old release, %d to the new\n", kRuns, ended_old, ended_new);
}

}  // namespace
}  // namespace setup_test
