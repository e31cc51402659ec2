#include <gtest/gtest.h>

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "delta/DeltaArchive.h"
#include "platform/Error.h"
#include "signing/ArchiveDigest.h"
#include "signing/MemberArchiveCheck.h"
#include "signing/SignedRelease.h"
#include "signing/StreamedFileCheck.h"
#include "signing/UpdateSigner.h"
#include "signing/UpdateVerifier.h"
#include "signing/UtcTimestamp.h"
#include "support/ArchiveMaker.h"
#include "support/TempDir.h"
#include "zipformat/CentralDirectory.h"

namespace qz::test {
namespace {

const std::string kHash(64, 'a');

std::string Items(const std::string& extra) {
  return "\"ApplicationName=Vq\"\r\n\"ApplicationVersion=1.3\"\r\n\"UpdateFile=VQ.Zip 10 " + kHash +
         "\"\r\n\"SignatureExpires=2030-01-01T00:00:00Z\"\r\n\"Signature=x\"\r\n" + extra;
}

int32_t RefusalNumber(const std::string& versionInfo) {
  try {
    SignedRelease::FromVersionInfo(versionInfo);
    return 0;
  } catch (const Error& error) {
    return error.Number();
  }
}

TEST(UtcTimestampTest, ReadsOnlyRealTimesInTheOneFormAndWritesThemBack) {
  EXPECT_EQ(UtcTimestamp::Parse("1970-01-01T00:00:00Z"), 0);
  EXPECT_EQ(UtcTimestamp::Parse("2024-02-29T23:59:59Z"), 1709251199);
  EXPECT_EQ(UtcTimestamp::Format(1709251199), "2024-02-29T23:59:59Z");
  EXPECT_EQ(UtcTimestamp::Format(-1), "1969-12-31T23:59:59Z");
  for (const char* bad : {"2023-02-29T00:00:00Z", "2024-13-01T00:00:00Z", "2024-01-01T24:00:00Z",
                          "2024-01-01 00:00:00Z", "2024-01-01T00:00:00", "2024-1-01T00:00:00Z",
                          "2024-01-01T00:00:00+01", ""}) {
    EXPECT_FALSE(UtcTimestamp::Parse(bad)) << bad;
  }
}

TEST(SignedReleaseTest, RefusesEverySignedItemThatIsMissingRepeatedOrBadlyFormed) {
  const auto malformed = SignedRelease::kMalformed;
  EXPECT_EQ(RefusalNumber(Items("")), 0);
  EXPECT_EQ(RefusalNumber("ApplicationVersion=1.3\r\n"), SignedRelease::kNoSignature);
  EXPECT_EQ(RefusalNumber(Items("ApplicationVersion=1.4\r\n")), malformed);
  // The updater's reader splits unquoted items at commas: this is a second version too.
  EXPECT_EQ(RefusalNumber(Items("Comment=x,ApplicationVersion=1.4\r\n")), malformed);
  EXPECT_EQ(RefusalNumber(Items("\"ApplicationName=Vq\r\nApplicationVersion=1.4\"\r\n")),
            malformed);
  EXPECT_EQ(RefusalNumber(Items("\"UpdateFile=vq.zip 10 " + kHash + "\"\r\n")), malformed);
  EXPECT_EQ(RefusalNumber(Items("\"UpdateFile=Data.TXT 010 " + kHash + "\"\r\n")), malformed);
  EXPECT_EQ(RefusalNumber(Items("\"UpdateFile=Data.TXT 10 " + std::string(64, 'A') + "\"\r\n")),
            malformed);
  EXPECT_EQ(RefusalNumber(Items("\"UpdateFile=Data.TXT 10\"\r\n")), malformed);
  EXPECT_EQ(RefusalNumber(Items("\"SignatureExpires=2031-01-01\"\r\n")), malformed);
  EXPECT_EQ(RefusalNumber("\"Signature=x\"\r\n"), malformed);
  // An unquoted item may hold a double quote, which signing could not write back as one item.
  std::string quoted = Items("");
  quoted.replace(0, quoted.find("\r\n"), "ApplicationName=V\"q");
  EXPECT_EQ(RefusalNumber(quoted), malformed);
  // Keys are case-sensitive, so these are unsigned items that change nothing.
  EXPECT_EQ(RefusalNumber(Items("applicationversion=9\r\nApplicationVersion =9\r\n")), 0);
}

TEST(UpdateSignerTest, SigningAgainReplacesTheItemsAndKeepsEverythingElse) {
  const SigningKeys::SecretKey key = SigningKeys::Generate();
  SignedRelease release = SignedRelease::FromVersionInfo(Items(""));
  UpdateSigner({key}).Sign(release);
  const std::string once = UpdateSigner::Rewrite("[Version Information]\r\n" + Items(""), release);
  release.applicationVersion = "1.4";
  UpdateSigner({key}).Sign(release);
  const std::string twice = UpdateSigner::Rewrite(once + "Comment=kept\n", release);
  EXPECT_EQ(twice.rfind("[Version Information]\r\nComment=kept\n\"ApplicationName=Vq\"\r\n", 0),
            0u);
  const UpdateVerifier verifier({SigningKeys::ToBase64(SigningKeys::PublicOf(key))});
  const SignedRelease read = verifier.Verify(twice, "Vq", 0);
  EXPECT_EQ(read.applicationVersion, "1.4");
  EXPECT_EQ(read.signatures.size(), 1u);
  EXPECT_EQ(read.Find("vq.zip"), &read.files[0]);
  EXPECT_THROW(UpdateVerifier({"not a key"}), Error);
  EXPECT_THROW(SigningKeys::ParseSecret(SigningKeys::ToBase64(SigningKeys::PublicOf(key))), Error);
}

// A zip of `members` (stored, so tests can find their bytes).
std::string StoredZip(const std::vector<std::pair<std::string, std::string>>& members) {
  TempDir dir;
  ArchiveMaker maker(dir / "made.zip");
  ArchiveMaker::Options stored;
  stored.stored = true;
  for (const auto& [name, data] : members) maker.Add(name, data, stored);
  maker.Close();
  return dir.Read("made.zip");
}

// The archive a delta download stages from `archive`: the entries of `names`, copied.
std::string ChangedMembers(const std::string& archive, const std::vector<std::string>& names) {
  const uint64_t tailOffset = archive.size() - std::min<uint64_t>(archive.size(), 65558);
  const auto location = CentralDirectory::Locate(std::string_view(archive).substr(tailOffset),
                                                 tailOffset, archive.size());
  DeltaArchive delta;
  for (const ZipMember& member :
       CentralDirectory::Members(archive.substr(location.offset, location.size), location)) {
    if (std::find(names.begin(), names.end(), member.name) == names.end()) continue;
    const std::string_view entry = std::string_view(archive).substr(member.localHeaderOffset);
    delta.Add(member, entry.substr(0, CentralDirectory::EntryLength(entry, member)));
  }
  return delta.Finish();
}

// A release of `zip` signed by `key`, as a whole and member by member.
SignedRelease SignedMembers(const std::string& zip, const SigningKeys::SecretKey& key) {
  SignedRelease release = SignedRelease::FromVersionInfo(Items(""));
  release.files[0].size = zip.size();
  release.archive = ArchiveDigest::Of(zip);
  UpdateSigner({key}).Sign(release);
  return release;
}

TEST(SignedArchiveTest, MemberItemsAreSignedBesideTheWholeReleaseWhichVerifiesAlone) {
  const std::string zip =
      StoredZip({{"bin/My App,1%.exe", "exe"}, {"docs/", ""}, {"b.dll", "library"}});
  const SigningKeys::SecretKey key = SigningKeys::Generate();
  const UpdateVerifier verifier({SigningKeys::ToBase64(SigningKeys::PublicOf(key))});
  SignedRelease release = SignedMembers(zip, key);
  const std::string info = UpdateSigner::Rewrite("", release);
  EXPECT_NE(info.find("\"ArchiveMember=3 "), std::string::npos) << info;
  EXPECT_NE(info.find(" My%20App%2C1%25.exe\"\r\n"), std::string::npos) << info;

  const SignedRelease read = verifier.Verify(info, "Vq", 0);
  ASSERT_TRUE(read.archive);
  ASSERT_EQ(read.archive->members.size(), 2u);
  EXPECT_EQ(read.archive->members[0].name, "My App,1%.exe");
  EXPECT_EQ(read.archive->ArchiveSize(), zip.size());
  // What an updater that knows no member items reads: the whole release, verified alone.
  std::string wholeOnly;
  for (size_t at = 0, end; at < info.size(); at = end + 2) {
    end = info.find("\r\n", at);
    const std::string line = info.substr(at, end - at);
    if (line.find("Archive") == std::string::npos && line.find("Member") == std::string::npos) {
      wholeOnly += line + "\r\n";
    }
  }
  EXPECT_FALSE(verifier.Verify(wholeOnly, "Vq", 0).archive);
  // A member signature by an untrusted key, or over changed items, leaves the release whole.
  SignedRelease stranger = release;
  UpdateSigner({SigningKeys::Generate()}).Sign(stranger);
  release.archive->signatures = stranger.archive->signatures;
  EXPECT_FALSE(verifier.Verify(UpdateSigner::Rewrite("", release), "Vq", 0).archive);
  std::string changed = info;
  changed.replace(changed.find("ArchiveMember=3 "), 16, "ArchiveMember=4 ");
  EXPECT_FALSE(verifier.Verify(changed, "Vq", 0).archive);
  // Malformed member items refuse the release only when they are meant to count.
  const std::string directory = "\"ArchiveDirectory=7 3 " + kHash + "\"\r\n";
  const std::string badName = directory + "\"ArchiveMember=1 " + kHash + " a%2c\"\r\n";
  const std::string badSize = directory + "\"ArchiveMember=01 " + kHash + " a\"\r\n";
  const std::string signature = "\"MemberSignature=x\"\r\n";
  EXPECT_EQ(RefusalNumber(Items(badName)), 0);
  for (const std::string& bad : {badName, badSize}) {
    EXPECT_EQ(RefusalNumber(Items(bad + signature)), SignedRelease::kMalformed) << bad;
  }
  EXPECT_EQ(
      RefusalNumber(Items(directory + "\"ArchiveMember=1 " + kHash + " a%2C\"\r\n" + signature)),
      0);
}

int32_t VerifierRefusal(const UpdateVerifier& verifier, const std::string& versionInfo) {
  try {
    verifier.Verify(versionInfo, "Vq", 0);
    return 0;
  } catch (const Error& error) {
    return error.Number();
  }
}

// What the signed items say is judged only once they are known to be the vendor's: a
// changed item is reported as changed, whatever it now contradicts.
TEST(SignedArchiveTest, ItemsAreJudgedOnlyAfterTheirSignaturesVerify) {
  const std::string zip = StoredZip({{"Vq.exe", "exe"}});
  const SigningKeys::SecretKey key = SigningKeys::Generate();
  const UpdateVerifier verifier({SigningKeys::ToBase64(SigningKeys::PublicOf(key))});
  SignedRelease release = SignedMembers(zip, key);
  const std::string info = UpdateSigner::Rewrite("", release);
  ASSERT_EQ(VerifierRefusal(verifier, info), 0);

  // The signed size of VQ.Zip altered: no longer where the directory ends, and no longer signed.
  std::string altered = info;
  const std::string size = "VQ.Zip " + std::to_string(zip.size()) + " ";
  altered.replace(altered.find(size), size.size(),
                  "VQ.Zip " + std::to_string(zip.size() + 1) + " ");
  EXPECT_EQ(VerifierRefusal(verifier, altered), UpdateVerifier::kBadSignature);
  // Signed so by the vendor, the contradiction is the vendor's: malformed.
  release.files[0].size = zip.size() + 1;
  UpdateSigner({key}).Sign(release);
  EXPECT_EQ(VerifierRefusal(verifier, UpdateSigner::Rewrite("", release)),
            SignedRelease::kMalformed);
  // Member items that no trusted key signed do not count, so neither does their contradiction.
  SignedRelease stranger = release;
  UpdateSigner({SigningKeys::Generate()}).Sign(stranger);
  release.archive->signatures = stranger.archive->signatures;
  EXPECT_EQ(VerifierRefusal(verifier, UpdateSigner::Rewrite("", release)), 0);
}

int32_t CheckNumber(const std::string& zip, const SignedArchive& items) {
  try {
    MemberArchiveCheck::Verify(zip, items);
    return 0;
  } catch (const Error& error) {
    return error.Number();
  }
}

TEST(MemberArchiveCheckTest, OnlyAnArchiveOfSignedMembersAsADeltaWritesItPasses) {
  const std::string full =
      StoredZip({{"a.bin", "alpha"}, {"lib/b.bin", "bravo"}, {"c.bin", "delta"}, {"d/", ""}});
  const SignedArchive items = ArchiveDigest::Of(full);
  const std::string delta = ChangedMembers(full, {"lib/b.bin", "c.bin"});
  EXPECT_EQ(CheckNumber(delta, items), 0);
  EXPECT_EQ(CheckNumber(full, items), StreamedFileCheck::kHashMismatch)
      << "a folder entry has no signed item";
  // Of two members written under one name, the later one stays, as from the whole archive.
  const std::string twoOfAName = StoredZip({{"x86/h.dll", "thirty-two"}, {"x64/h.dll", "sixty"}});
  const SignedArchive twoItems = ArchiveDigest::Of(twoOfAName);
  EXPECT_EQ(CheckNumber(ChangedMembers(twoOfAName, {"x86/h.dll", "x64/h.dll"}), twoItems), 0);
  EXPECT_EQ(CheckNumber(ChangedMembers(twoOfAName, {"x86/h.dll"}), twoItems),
            StreamedFileCheck::kHashMismatch);

  std::vector<std::string> altered;
  std::string data = delta;
  data.replace(data.find("bravo"), 5, "bravO");
  altered.push_back(data);
  // Renamed to another signed name of the same length, in both headers or in one.
  std::string renamed = delta;
  for (size_t at = renamed.find("lib/b.bin"); at != std::string::npos;
       at = renamed.find("lib/b.bin", at)) {
    renamed.replace(at, 9, "lib/a.bin");
  }
  altered.push_back(renamed);
  std::string directoryOnly = delta;
  directoryOnly.replace(directoryOnly.rfind("lib/b.bin"), 9, "lib/c.bin");
  altered.push_back(directoryOnly);
  // An entry of another archive more, bytes after the end or before the first entry.
  altered.push_back(
      ChangedMembers(StoredZip({{"c.bin", "delta"}, {"x.bin", "extra"}}), {"c.bin", "x.bin"}));
  altered.push_back(delta + "x");
  altered.push_back("x" + delta);
  for (size_t i = 0; i < altered.size(); ++i) {
    EXPECT_EQ(CheckNumber(altered[i], items), StreamedFileCheck::kHashMismatch) << i;
  }
}

}  // namespace
}  // namespace qz::test
