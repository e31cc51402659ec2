#include <gtest/gtest.h>

#include "platform/Error.h"
#include "signing/SignedRelease.h"
#include "signing/UpdateSigner.h"
#include "signing/UpdateVerifier.h"
#include "signing/UtcTimestamp.h"

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

}  // namespace
}  // namespace qz::test
