#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "dialogs/frmDownloadUpdate.h"
#include "dialogs/frmInstallUpdate.h"
#include "dialogs/frmNeedsNoUpdate.h"
#include "signing/ArchiveDigest.h"
#include "signing/UpdateSigner.h"
#include "signing/UtcTimestamp.h"
#include "support/ArchiveMaker.h"
#include "support/FileHolder.h"
#include "support/UpdaterFixture.h"
#include "zipformat/Sha256.h"

namespace qz::test {
namespace {

const SigningKeys::SecretKey kVendorKey = SigningKeys::Generate();
const SigningKeys::SecretKey kNextKey = SigningKeys::Generate();
const SigningKeys::SecretKey kStrangerKey = SigningKeys::Generate();

// What the vendor publishes for one version.
struct Release {
  std::string version = "1.3";
  std::string exe = "exe 1.3";
  std::string data = "data 1.3";
  std::string application = "Vq";
  int64_t expiresAt = UtcTimestamp::Now() + 86400;
  std::vector<SigningKeys::SecretKey> keys = {kVendorKey};
};

UpdateFile FileItem(const std::string& name, const std::string& bytes) {
  Sha256 hash;
  hash.Add(bytes.data(), bytes.size());
  return {name, bytes.size(), hash.Hex()};
}

// An installation of Vq 1.2 whose updater trusts the vendor's key and the next one.
class SignedUpdateTest : public UpdaterFixture {
 protected:
  SignedUpdateTest() {
    env.signingKeys = {SigningKeys::ToBase64(SigningKeys::PublicOf(kVendorKey)),
                       SigningKeys::ToBase64(SigningKeys::PublicOf(kNextKey))};
    InstallVersion("1.2");
    app.Write("Vq.exe", "old exe");
    app.Write("Data.Mdb", "old data");
  }

  // One archive per content: the signed hash and the published file must come from the
  // same one, and two makings a second apart differ in their timestamps.
  std::string Zip(const std::string& exe) {
    auto [made, isNew] = zips_.try_emplace(exe);
    if (isNew) {
      ArchiveMaker(updater / "VQ.Zip").Add("Vq.exe", exe).Close();
      made->second = updater.Read("VQ.Zip");
    }
    return made->second;
  }

  // The signed Version.INF of `release` and its files, as the vendor's tool writes them.
  std::string VersionInfo(const Release& release) {
    SignedRelease items;
    items.applicationName = release.application;
    items.applicationVersion = release.version;
    items.files = {FileItem("VQ.Zip", Zip(release.exe)), FileItem("Data.TXT", release.data)};
    items.expires = UtcTimestamp::Format(release.expiresAt);
    UpdateSigner(release.keys).Sign(items);
    return UpdateSigner::Rewrite("\"[Version Information]\"\r\n", items);
  }

  // A release whose archive holds `members` (stored), signed as a whole with the release's
  // keys and member by member with `memberKeys`.
  void PublishMembers(const Release& release,
                      const std::vector<std::pair<std::string, std::string>>& members,
                      const std::vector<SigningKeys::SecretKey>& memberKeys) {
    ArchiveMaker maker(updater / "VQ.Zip");
    ArchiveMaker::Options stored;
    stored.stored = true;
    for (const auto& [name, data] : members) maker.Add(name, data, stored);
    maker.Close();
    const std::string zip = updater.Read("VQ.Zip");
    SignedRelease items;
    items.applicationName = release.application;
    items.applicationVersion = release.version;
    items.files = {FileItem("VQ.Zip", zip), FileItem("Data.TXT", release.data)};
    items.expires = UtcTimestamp::Format(release.expiresAt);
    items.archive = ArchiveDigest::Of(zip);
    UpdateSigner(memberKeys).Sign(items);
    const std::vector<std::string> memberSignatures = items.archive->signatures;
    UpdateSigner(release.keys).Sign(items);
    items.archive->signatures = memberSignatures;
    server.Put(ServerPath("Version.INF"), UpdateSigner::Rewrite("", items));
    server.Put(ServerPath("VQ.Zip"), zip);
    server.Put(ServerPath("Data.TXT"), release.data);
  }

  // How often the archive was asked for whole.
  size_t WholeArchiveRequests() {
    const std::vector<std::string> paths = server.Requests();
    const std::vector<std::string> ranges = server.RangesAsked();
    size_t whole = 0;
    for (size_t i = 0; i < paths.size(); ++i) {
      whole += paths[i] == ServerPath("VQ.Zip") && ranges[i].empty() ? 1 : 0;
    }
    return whole;
  }

  void PublishSigned(const Release& release) {
    server.Put(ServerPath("Version.INF"), VersionInfo(release));
    server.Put(ServerPath("VQ.Zip"), Zip(release.exe));
    server.Put(ServerPath("Data.TXT"), release.data);
  }

  // Runs from the check through "Install it right now"; true when the program ended.
  bool CheckDownloadAndInstall() {
    if (RunMain("/Verbose")) return true;
    return Ends([&] { module->Forms.DownloadUpdate()->Click("cmdIRN"); });
  }

  void ChangeMiddleByte(const std::string& relative) {
    std::string bytes = app.Read(relative);
    bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x20);
    app.Write(relative, bytes);
  }

  std::string Boxes() const {
    std::string shown;
    for (const auto& box : prompts.boxes) shown += box.title + "\n" + box.body + "\n";
    return shown;
  }

  void ExpectNothingInstalled() {
    EXPECT_EQ(app.Read("Vq.exe"), "old exe");
    EXPECT_EQ(app.Read("Data.Mdb"), "old data");
    EXPECT_EQ(app.FilesIn(), "Data.Mdb Vq.exe");
    EXPECT_EQ(app.FilesIn("QzUFiles/Before"), "");
  }

 private:
  std::map<std::string, std::string> zips_;
};

TEST_F(SignedUpdateTest, SignedUpdatesInstallWithEitherKeyAndUnsignedUpdatersIgnoreTheItems) {
  struct Case {
    const char* name;
    std::vector<SigningKeys::SecretKey> keys;
    bool updaterHasKeys;
  };
  const Case cases[] = {{"vendor's key", {kVendorKey}, true},
                        {"rotated to the next key", {kNextKey}, true},
                        {"both keys while rotating", {kStrangerKey, kNextKey}, true},
                        {"updater built without keys", {kStrangerKey}, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.updaterHasKeys) env.signingKeys.clear();
    app.Write("Vq.exe", "old exe");
    Release release;
    release.keys = c.keys;
    PublishSigned(release);
    EXPECT_FALSE(CheckDownloadAndInstall()) << Boxes();
    EXPECT_EQ(app.Read("Vq.exe"), "exe 1.3");
    EXPECT_EQ(app.Read("Data.Mdb"), "data 1.3");
    EXPECT_EQ(app.FilesIn("QzUFiles"), "");
    EXPECT_EQ(Boxes(), "");
  }
}

TEST_F(SignedUpdateTest, AReleaseSignedMemberByMemberFetchesOnlyChangedMembersEachChecked) {
  const std::string library = ArchiveMaker::Incompressible(60'000, 1);
  const std::string twin = ArchiveMaker::Incompressible(60'000, 2);
  const std::vector<std::pair<std::string, std::string>> members = {
      {"bin/Vq.exe", "exe 1.3"}, {"Lib.dll", library}, {"Twin.dll", twin}};
  auto installOld = [&] {
    prompts.boxes.clear();
    InstallVersion("1.2");
    app.Write("Vq.exe", "old exe");
    app.Write("Data.Mdb", "old data");
    app.Write("Lib.dll", library);
    // The signed size and CRC-32, other bytes: fetched, never reused.
    app.Write("Twin.dll", ArchiveMaker::WithSameCrc32(twin));
  };
  auto expectInstalled = [&] {
    EXPECT_EQ(app.Read("Vq.exe"), "exe 1.3");
    EXPECT_EQ(app.Read("Data.Mdb"), "data 1.3");
    EXPECT_EQ(app.Read("Lib.dll"), library);
    EXPECT_EQ(app.Read("Twin.dll"), twin);
    EXPECT_EQ(Boxes(), "");
  };

  // Saved for later, offered again after its check, and installed.
  installOld();
  PublishMembers(Release{}, members, {kVendorKey});
  ASSERT_FALSE(RunMain("/Verbose"));
  EXPECT_EQ(module->Forms.DownloadUpdate()->DeltaNote().rfind("fetched ", 0), 0u);
  EXPECT_LT(app.Read("QzUFiles/VQ.Zip").size(), 2 * twin.size());
  ASSERT_TRUE(Ends([&] { module->Forms.DownloadUpdate()->Click("cmdSIL"); }));
  prompts.boxes.clear();
  ASSERT_FALSE(RunMain("/Verbose"));
  EXPECT_EQ(module->Forms.DownloadUpdate()->FindControl("lblMsg1")->CaptionText(),
            "The Online Update for Vq has earlier been downloaded and saved.");
  EXPECT_FALSE(Ends([&] { module->Forms.DownloadUpdate()->Click("cmdIRN"); }));
  expectInstalled();
  EXPECT_EQ(WholeArchiveRequests(), 0u);

  // A changed member of the staged archive is refused before anything is written.
  installOld();
  ASSERT_FALSE(RunMain("/Verbose"));
  std::string staged = app.Read("QzUFiles/VQ.Zip");
  staged.replace(staged.find(twin), twin.size(), ArchiveMaker::WithSameCrc32(twin));
  app.Write("QzUFiles/VQ.Zip", staged);
  EXPECT_TRUE(Ends([&] { module->Forms.DownloadUpdate()->Click("cmdIRN"); }));
  EXPECT_EQ(Titles(), "Cannot UnCompress ...");
  EXPECT_NE(Boxes().find("Twin.dll: it is not a member its vendor signed"), std::string::npos)
      << Boxes();
  EXPECT_EQ(app.Read("Vq.exe"), "old exe");
  EXPECT_EQ(app.Read("Twin.dll"), ArchiveMaker::WithSameCrc32(twin));
  EXPECT_EQ(app.FilesIn("QzUFiles"), "");

  // Member items signed by a key the updater does not trust: the whole archive, which the
  // release's own signature lets install.
  installOld();
  PublishMembers(Release{}, members, {kStrangerKey});
  ASSERT_FALSE(RunMain("/Verbose"));
  EXPECT_EQ(module->Forms.DownloadUpdate()->DeltaNote(), "the release is signed as a whole only");
  EXPECT_FALSE(Ends([&] { module->Forms.DownloadUpdate()->Click("cmdIRN"); }));
  expectInstalled();
  EXPECT_EQ(WholeArchiveRequests(), 1u);

  // A member the delta left out changes before the install: it is fetched again, checked
  // against its signed item, before anything is written.
  installOld();
  PublishMembers(Release{}, members, {kVendorKey});
  ASSERT_FALSE(RunMain("/Verbose"));
  app.Write("Lib.dll", "changed by hand");
  EXPECT_FALSE(Ends([&] { module->Forms.DownloadUpdate()->Click("cmdIRN"); }));
  expectInstalled();
}

// Someone who can write QzUFiles stages an archive of only some signed members: it
// installs only where the installed files already hold every other one as signed.
TEST_F(SignedUpdateTest, AnArchiveOfSomeSignedMembersInstallsOnlyOverTheSignedRest) {
  const std::string library = ArchiveMaker::Incompressible(1'000, 1);
  PublishMembers(Release{}, {{"bin/Vq.exe", "exe 1.3"}, {"Lib.dll", library}}, {kVendorKey});
  auto stageOnly = [&](const std::string& name, const std::string& data) {
    ArchiveMaker maker(app / "QzUFiles/VQ.Zip");
    ArchiveMaker::Options stored;
    stored.stored = true;
    maker.Add(name, data, stored).Close();
  };

  // The new Vq.exe left out while the installed one is old: refused, nothing written.
  app.Write("Lib.dll", "old library");
  ASSERT_FALSE(RunMain("/Verbose"));
  stageOnly("Lib.dll", library);
  EXPECT_TRUE(Ends([&] { module->Forms.DownloadUpdate()->Click("cmdIRN"); }));
  EXPECT_EQ(Titles(), "Cannot UnCompress ...");
  EXPECT_NE(Boxes().find("Vq.exe: it is not in the archive, and the installed file is not the "
                         "signed one"),
            std::string::npos)
      << Boxes();
  EXPECT_EQ(app.Read("Vq.exe"), "old exe");
  EXPECT_EQ(app.Read("Lib.dll"), "old library");
  EXPECT_EQ(app.Read("Data.Mdb"), "old data");
  EXPECT_EQ(app.FilesIn("QzUFiles"), "");

  // Left out where the installed file (named in another case) is the signed one: installs.
  prompts.boxes.clear();
  std::filesystem::remove(app / "Vq.exe");
  app.Write("VQ.EXE", "exe 1.3");
  ASSERT_FALSE(RunMain("/Verbose"));
  stageOnly("Lib.dll", library);
  EXPECT_FALSE(Ends([&] { module->Forms.DownloadUpdate()->Click("cmdIRN"); }));
  EXPECT_EQ(Boxes(), "");
  EXPECT_EQ(app.Read("Lib.dll"), library);
  EXPECT_EQ(app.Read("Data.Mdb"), "data 1.3");
}

class RefusedUpdateTest;

// One way to tamper with an update, and what the user is told.
struct Refusal {
  const char* name;
  std::function<void(RefusedUpdateTest& test)> tamper;
  const char* title;
  const char* says;
};

class RefusedUpdateTest : public SignedUpdateTest, public ::testing::WithParamInterface<Refusal> {
 public:
  using SignedUpdateTest::PublishSigned;
  using SignedUpdateTest::server;
  using SignedUpdateTest::ServerPath;
  using SignedUpdateTest::VersionInfo;
  using SignedUpdateTest::Zip;
  using UpdaterFixture::InstallVersion;
  using UpdaterFixture::Publish;
};

void ChangeByte(std::string& bytes, size_t at) {
  bytes[at] = static_cast<char>(bytes[at] ^ 0x20);
}

const Refusal kRefusals[] = {
    {"NoSignature", [](RefusedUpdateTest& t) { t.Publish("1.3", "zip", "data"); },
     "No Version Info ...", "It carries no signature."},
    {"AnotherKey",
     [](RefusedUpdateTest& t) {
       Release release;
       release.keys = {kStrangerKey};
       t.PublishSigned(release);
     },
     "No Version Info ...", "not made with the vendor's key"},
    {"ChangedByteInTheArchive",
     [](RefusedUpdateTest& t) {
       t.PublishSigned(Release{});
       std::string zip = t.Zip("exe 1.3");
       ChangeByte(zip, zip.size() - 30);
       t.server.Put(t.ServerPath("VQ.Zip"), zip);
     },
     "Oops ...", "The downloaded file VQ.Zip is not the one its vendor signed.\r\nIts SHA-256"},
    {"ChangedByteInTheJetDatabase",
     [](RefusedUpdateTest& t) {
       t.PublishSigned(Release{});
       t.server.Put(t.ServerPath("Data.TXT"), "data 1.4");
     },
     "Oops ...", "The downloaded file Data.TXT is not the one its vendor signed.\r\nIts SHA-256"},
    {"LongerFile",
     [](RefusedUpdateTest& t) {
       t.PublishSigned(Release{});
       t.server.Put(t.ServerPath("Data.TXT"), "data 1.3 and more");
     },
     "Oops ...", "It is longer than the signed 8 bytes."},
    {"ChangedSignedText",
     [](RefusedUpdateTest& t) {
       std::string info = t.VersionInfo(Release{});
       info.replace(info.find("ApplicationVersion=1.3"), 22, "ApplicationVersion=1.4");
       t.server.Put(t.ServerPath("Version.INF"), info);
     },
     "No Version Info ...", "or a signed item has been changed."},
    {"Expired",
     [](RefusedUpdateTest& t) {
       Release release;
       release.expiresAt = UtcTimestamp::Now() - 60;
       t.PublishSigned(release);
     },
     "No Version Info ...", "Its signature expired on "},
    {"AnotherApplication",
     [](RefusedUpdateTest& t) {
       Release release;
       release.application = "VqLite";
       t.PublishSigned(release);
     },
     "No Version Info ...", "It is signed for VqLite, not for Vq."},
    {"FilesOfOneVersionWithTheVersionInfoOfAnother",
     [](RefusedUpdateTest& t) {
       t.PublishSigned(Release{});
       Release next;
       next.version = "1.4";
       next.exe = "exe 1.4";
       next.data = "data 1.4";
       t.server.Put(t.ServerPath("Version.INF"), t.VersionInfo(next));
     },
     "Oops ...", "The downloaded file VQ.Zip is not the one its vendor signed."},
    {"RepeatedVersion",
     [](RefusedUpdateTest& t) {
       t.server.Put(t.ServerPath("Version.INF"),
                    "ApplicationVersion=9.9\r\n" + t.VersionInfo(Release{}));
     },
     "No Version Info ...", "ApplicationVersion occurs 2 times."},
    {"NoLocalApplicationName",
     [](RefusedUpdateTest& t) {
       t.InstallVersion("1.2", "");
       t.server.Put(t.ServerPath("Version.INF", ""), t.VersionInfo(Release{}));
     },
     "No Version Info ...", "names no application"},
};

TEST_P(RefusedUpdateTest, NothingIsInstalledAndTheUserIsToldWhy) {
  GetParam().tamper(*this);
  EXPECT_TRUE(CheckDownloadAndInstall());
  ASSERT_EQ(prompts.boxes.size(), 1u) << Boxes();
  EXPECT_EQ(prompts.boxes[0].title, GetParam().title);
  EXPECT_NE(prompts.boxes[0].body.find(GetParam().says), std::string::npos) << Boxes();
  ExpectNothingInstalled();
  EXPECT_EQ(app.FilesIn("QzUFiles"), "");
  // A refused part kept for resuming would be resumed past its signed end at the next start.
  EXPECT_EQ(app.FilesIn("QzUFiles/Partial"), "");
}

INSTANTIATE_TEST_SUITE_P(EachWayOfTampering, RefusedUpdateTest, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SignedUpdateTest, SavedDownloadsThatNoLongerVerifyAreDiscardedBeforeTheyAreOffered) {
  const std::function<void()> tamperings[] = {
      [&] { ChangeMiddleByte("QzUFiles/VQ.Zip"); },
      [&] { ChangeMiddleByte("QzUFiles/Data.Mdb"); },
      [&] { ChangeMiddleByte("QzUFiles/Version.INF"); },
      [&] {
        Release release;
        release.keys = {kStrangerKey};
        app.Write("QzUFiles/Version.INF", VersionInfo(release));
      },
  };
  for (size_t i = 0; i < std::size(tamperings); ++i) {
    SCOPED_TRACE(i);
    prompts.boxes.clear();
    app.Write("Vq.exe", "old exe");
    PublishSigned(Release{});
    ASSERT_FALSE(RunMain("/Silent"));
    ASSERT_TRUE(Ends([&] { module->Forms.DownloadUpdate()->Click("cmdSIL"); }));
    tamperings[i]();

    // The server is asked afresh and its update offered as a new download.
    ASSERT_FALSE(RunMain("/Verbose"));
    EXPECT_EQ(Titles(), "Saved ...");
    EXPECT_EQ(module->Forms.DownloadUpdate()->FindControl("lblMsg1")->CaptionText(),
              "The Online Update for Vq has been downloaded successfully!");
    EXPECT_FALSE(Ends([&] { module->Forms.DownloadUpdate()->Click("cmdIRN"); }));
    EXPECT_EQ(app.Read("Vq.exe"), "exe 1.3");
  }
}

TEST_F(SignedUpdateTest, FilesSwappedInTheStagingFolderAfterTheCheckAreNeverInstalled) {
  PublishSigned(Release{});
  // Right after the staged Data.Mdb has been checked, at the next wait, another archive and
  // another database take the staged files' names.
  bool checked = false;
  files.beforeRead = [&](const std::string& path) {
    checked = checked || path == app / "QzUFiles/Data.Mdb";
  };
  clock.onSleep = [&] {
    if (!checked || app.Read("QzUFiles/Data.Mdb") == "forged data") return;
    app.Write("QzUFiles/VQ.Zip", Zip("forged exe"));
    app.Write("QzUFiles/Data.Mdb", "forged data");
  };

  EXPECT_TRUE(CheckDownloadAndInstall());
  // The new executable goes in only together with its database.
  EXPECT_EQ(app.Read("Vq.exe"), "old exe");
  EXPECT_EQ(app.Read("Data.Mdb"), "old data");
  ASSERT_EQ(Titles(), "Cannot Install Files ...");
  EXPECT_NE(prompts.boxes[0].body.find("Data.Mdb is not the file its vendor signed."),
            std::string::npos)
      << Boxes();
}

// A virus scanner holding the installed database for a moment is waited out: the checked
// copy goes into the installation's work folder, and the held file is set aside once the
// scanner lets go, so the executable and the database go in together.
TEST_F(SignedUpdateTest, ABusyDatabaseIsWaitedOutWithAFreshCheckForEachAttempt) {
  PublishSigned(Release{});
  ASSERT_FALSE(RunMain("/Verbose"));
  auto scanner = std::make_unique<FileHolder>(app / "Data.Mdb");
  ASSERT_TRUE(scanner->Holding());
  int reads = 0;
  files.beforeRead = [&](const std::string& path) {
    reads += path == app / "QzUFiles/Data.Mdb" ? 1 : 0;
  };
  // Checked once before anything is written, then read again for the checked copy: the
  // scanner lets go at the first pause after that.
  clock.onSleep = [&] {
    if (reads >= 2) scanner.reset();
  };
  EXPECT_FALSE(Ends([&] { module->Forms.DownloadUpdate()->Click("cmdIRN"); }));
  clock.onSleep = nullptr;
  EXPECT_EQ(Boxes(), "");
  EXPECT_GE(reads, 2);
  EXPECT_EQ(app.Read("Vq.exe"), "exe 1.3");
  EXPECT_EQ(app.Read("Data.Mdb"), "data 1.3");
  EXPECT_EQ(app.Read("QzUFiles/Before/Data.Mdb"), "old data");
}

// A temporary folder without room for the archive's private copy is no fault of the
// update: it stays staged, is offered at the next start and installs once there is room.
TEST_F(SignedUpdateTest, AFullTemporaryDiskKeepsTheUpdateForTheNextStart) {
  PublishSigned(Release{});
  bool full = false;
  files.beforeRead = [&](const std::string& path) {
    if (full && path == app / "QzUFiles/VQ.Zip") throw Error::Standard(Error::kDiskFull);
  };
  ASSERT_FALSE(RunMain("/Verbose"));
  full = true;
  EXPECT_TRUE(Ends([&] { module->Forms.DownloadUpdate()->Click("cmdIRN"); }));
  ASSERT_EQ(Titles(), "Cannot Install Files ...");
  EXPECT_EQ(prompts.boxes[0].body,
            "61\r\nDisk full\r\nThe update has been kept: it is offered again at the next "
            "start, once there is room.");
  ExpectNothingInstalled();
  EXPECT_EQ(app.FilesIn("QzUFiles"), "Data.Mdb VQ.Zip Version.INF");

  full = false;
  prompts.boxes.clear();
  ASSERT_FALSE(RunMain("/Verbose"));
  EXPECT_EQ(module->Forms.DownloadUpdate()->FindControl("lblMsg1")->CaptionText(),
            "The Online Update for Vq has earlier been downloaded and saved.");
  EXPECT_FALSE(Ends([&] { module->Forms.DownloadUpdate()->Click("cmdIRN"); }));
  EXPECT_EQ(app.Read("Vq.exe"), "exe 1.3");
  EXPECT_TRUE(prompts.boxes.empty()) << Boxes();
}

TEST_F(SignedUpdateTest, NoReleaseOlderThanTheInstalledOneIsInstalledByAnyPath) {
  Release older;
  Release newer;
  newer.version = "1.5";
  newer.exe = "exe 1.5";
  newer.data = "data 1.5";
  auto stageOlder = [&] {
    app.Write("QzUFiles/Version.INF", VersionInfo(older));
    app.Write("QzUFiles/VQ.Zip", Zip(older.exe));
    app.Write("QzUFiles/Data.Mdb", older.data);
  };
  for (const char* mode : {"/Verbose", "plain"}) {
    SCOPED_TRACE(mode);
    const bool verbose = std::string(mode) == "/Verbose";
    prompts.boxes.clear();
    // "Download and Install anyway" with 1.3 on offer and 1.4 installed.
    InstallVersion("1.4");
    PublishSigned(older);
    const size_t requests = server.Requests().size();
    ASSERT_FALSE(RunMain(mode));
    EXPECT_TRUE(Ends([&] { module->Forms.NeedsNoUpdate()->Click("cmdDIA"); }));
    EXPECT_EQ(server.Requests().size(), requests + 1) << "only Version.INF is fetched";
    EXPECT_EQ(Titles(), verbose ? "Older Update ..." : "");
    EXPECT_EQ(app.FilesIn("QzUFiles"), "");

    // A newer download replaced by an older signed release before the install.
    prompts.boxes.clear();
    PublishSigned(newer);
    ASSERT_FALSE(RunMain(mode));
    stageOlder();
    EXPECT_TRUE(Ends([&] { module->Forms.DownloadUpdate()->Click("cmdIRN"); }));
    EXPECT_EQ(Titles(), verbose ? "Older Update ..." : "");
    ExpectNothingInstalled();
    EXPECT_EQ(app.FilesIn("QzUFiles"), "");

    // An older release saved in the staging folder: discarded, then the server is asked.
    prompts.boxes.clear();
    stageOlder();
    PublishSigned(older);
    ASSERT_FALSE(RunMain(mode));
    EXPECT_EQ(Titles(), verbose ? "Older Update ..." : "");
    EXPECT_TRUE(module->Forms.HasNeedsNoUpdate());
    EXPECT_FALSE(app.Exists("QzUFiles/VQ.Zip"));
    ExpectNothingInstalled();
  }
  // The same version is reinstalled anyway.
  InstallVersion("1.3");
  PublishSigned(older);
  ASSERT_FALSE(RunMain("/Verbose"));
  EXPECT_FALSE(Ends([&] { module->Forms.NeedsNoUpdate()->Click("cmdDIA"); }));
  EXPECT_FALSE(Ends([&] { module->Forms.DownloadUpdate()->Click("cmdIRN"); }));
  EXPECT_EQ(app.Read("Vq.exe"), "exe 1.3");
}

}  // namespace
}  // namespace qz::test
