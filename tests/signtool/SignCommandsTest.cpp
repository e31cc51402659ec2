#include <gtest/gtest.h>

#include <sys/stat.h>

#include <sstream>

#include "platform/posix/CurlUrlServices.h"
#include "platform/posix/PosixFileSystem.h"
#include "signtool/SignCommands.h"
#include "support/TempDir.h"
#include "support/TestServer.h"

namespace qz::test {
namespace {

// Runs qzupdate-sign's commands in a temporary folder holding a release folder "Vq".
class SignCommandsTest : public ::testing::Test {
 protected:
  SignCommandsTest() {
    dir.Write("Vq/VQ.Zip", "archive 1.3");
    dir.Write("Vq/Data.TXT", "jet 1.3");
    dir.Write("Vq/Version.INF", "[Version Information]\r\nApplicationVersion=1.3.0\r\n");
  }

  int Run(std::vector<std::string> args) {
    out.str("");
    err.str("");
    for (std::string& arg : args) {
      if (arg.rfind("@", 0) == 0) arg = dir / arg.substr(1);
    }
    return SignCommands(files, urls, out, err).Run(args);
  }

  // Makes a key pair; returns the public key as keygen prints it.
  std::string Keygen(const std::string& name) {
    EXPECT_EQ(Run({"keygen", "@" + name}), 0) << err.str();
    const std::string printed = out.str();
    const size_t at = printed.find("-DQZUPDATE_SIGNING_KEY=");
    return printed.substr(at + 23, printed.find('\n', at) - at - 23);
  }

  TempDir dir;
  PosixFileSystem files;
  CurlUrlServices urls;
  std::ostringstream out;
  std::ostringstream err;
};

TEST_F(SignCommandsTest, KeygenSignAndVerifyAFolderWithClearErrors) {
  const std::string vendor = Keygen("vendor.key");
  struct stat info {};
  ASSERT_EQ(stat((dir / "vendor.key").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  const std::string key = dir.Read("vendor.key");
  EXPECT_EQ(Run({"keygen", "@vendor.key"}), 1);
  EXPECT_NE(err.str().find("never overwritten"), std::string::npos);
  EXPECT_EQ(dir.Read("vendor.key"), key);
  const std::string stranger = Keygen("stranger.key");

  EXPECT_EQ(Run({"sign", "--key", "@vendor.key", "--expires", "2020-01-01", "@Vq"}), 1);
  EXPECT_NE(err.str().find("the expiry 2020-01-01T00:00:00Z has already passed."),
            std::string::npos);
  EXPECT_EQ(Run({"sign", "--key", "@missing.key", "@Vq"}), 1);
  EXPECT_NE(err.str().find("the key file"), std::string::npos);
  EXPECT_EQ(Run({"sign", "--key", "@vendor.key", "--days", "30", "@Vq"}), 0) << err.str();
  EXPECT_NE(out.str().find("Signed Vq 1.3.0"), std::string::npos);
  EXPECT_NE(out.str().find("Note: VQ.Zip is signed as a whole only, so updaters download it whole"),
            std::string::npos);
  EXPECT_EQ(dir.Read("Vq/Version.INF").rfind("[Version Information]\r\n\"ApplicationName=Vq\"", 0),
            0u);

  EXPECT_EQ(Run({"verify", "--public-key", vendor, "--name", "Vq", "@Vq"}), 0) << err.str();
  EXPECT_NE(out.str().find("VQ.Zip: matches\nData.TXT: matches\n"), std::string::npos);
  EXPECT_EQ(Run({"verify", "--public-key", stranger, "@Vq"}), 1);
  EXPECT_NE(err.str().find("not made with the vendor's key"), std::string::npos);
  EXPECT_EQ(Run({"verify", "--public-key", vendor, "--name", "VqLite", "@Vq"}), 1);

  dir.Write("Vq/Data.TXT", "jet 1.4");
  dir.Write("Vq/VqData.TXT", "sse");
  EXPECT_EQ(Run({"verify", "--public-key", vendor, "@Vq"}), 1);
  EXPECT_NE(err.str().find("Data.TXT is refused. Its SHA-256 differs"), std::string::npos);
  EXPECT_NE(err.str().find("VqData.TXT is refused. Version.INF does not list it."),
            std::string::npos);

  std::filesystem::remove(dir / "Vq/VQ.Zip");
  EXPECT_EQ(Run({"sign", "--key", "@vendor.key", "@Vq"}), 1);
  EXPECT_NE(err.str().find("VQ.Zip is missing; every update needs it."), std::string::npos);
  EXPECT_EQ(Run({"verify", "@Vq"}), 2);
}

TEST_F(SignCommandsTest, VerifiesAServerTheWayTheUpdaterDownloads) {
  const std::string vendor = Keygen("vendor.key");
  ASSERT_EQ(Run({"sign", "--key", "@vendor.key", "@Vq"}), 0) << err.str();
  TestServer server;
  const std::string folder = server.BaseUrl() + "Vq";
  for (const char* name : {"Version.INF", "VQ.Zip", "Data.TXT"}) {
    server.Put("/Support/VqPrime/QzUFiles/Vq/" + std::string(name),
               dir.Read("Vq/" + std::string(name)));
  }
  EXPECT_EQ(Run({"verify", "--public-key", vendor, folder}), 0) << err.str();
  EXPECT_NE(out.str().find("Data.TXT: matches"), std::string::npos);
  server.Put("/Support/VqPrime/QzUFiles/Vq/VQ.Zip", "archive 1.3 and more");
  EXPECT_EQ(Run({"verify", "--public-key", vendor, folder + "/"}), 1);
  EXPECT_NE(err.str().find("VQ.Zip is refused. It is longer than the signed 11 bytes."),
            std::string::npos);
  server.Fail("/Support/VqPrime/QzUFiles/Vq/Version.INF", 404);
  EXPECT_EQ(Run({"verify", "--public-key", vendor, folder}), 1);
  EXPECT_NE(err.str().find("error 404 while downloading"), std::string::npos);
}

}  // namespace
}  // namespace qz::test
