#include "StaticFiles.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>
#include <thread>

#include "support/TempDir.h"

namespace qz::demo {
namespace {

namespace fs = std::filesystem;

class StaticFilesTest : public ::testing::Test {
 protected:
  StaticFilesTest() {
    temp_.Write("root/Support/VqPrime/QzUFiles/Vq/VQ.Zip", "archive");
    temp_.Write("root/Support/VqPrime/QzUFiles/Vq/Data.TXT", "database");
    temp_.Write("outside/secret.txt", "secret");
  }

  StaticFiles Files() const { return StaticFiles(temp_ / "root"); }
  std::string Vq() const { return temp_ / "root/Support/VqPrime/QzUFiles/Vq"; }

  test::TempDir temp_;
};

TEST_F(StaticFilesTest, FindsFilesByTheirPathAndIgnoringCaseAsTheWindowsServerDoes) {
  auto files = Files();
  EXPECT_EQ(files.Find("/Support/VqPrime/QzUFiles/Vq/VQ.Zip").file,
            fs::canonical(Vq() + "/VQ.Zip"));
  EXPECT_EQ(files.Find("/support/vqprime/qzufiles/vq/vq.zip").status, 200);
  EXPECT_EQ(files.Find("//Support/./VqPrime/QzUFiles/Vq/Data.TXT").status, 200);

  temp_.Write("root/Support/VqPrime/QzUFiles/Vq/vq.zip", "other");
  EXPECT_EQ(files.Find("/Support/VqPrime/QzUFiles/Vq/vq.zip").file,
            fs::canonical(Vq() + "/vq.zip"));
}

TEST_F(StaticFilesTest, NeverLeavesTheRoot) {
  fs::create_directory_symlink(temp_ / "outside", Vq() + "/link");
  fs::create_symlink(Vq() + "/Data.TXT", Vq() + "/alias.TXT");
  auto files = Files();
  EXPECT_EQ(files.Find("/../outside/secret.txt").status, 403);
  EXPECT_EQ(files.Find("/Support/../../outside/secret.txt").status, 403);
  EXPECT_EQ(files.Find("/Support/VqPrime/QzUFiles/Vq/link/secret.txt").status, 403);
  EXPECT_EQ(files.Find("/Support/VqPrime/QzUFiles/Vq/alias.TXT").status, 200);
}

TEST_F(StaticFilesTest, AnswersMissingFilesAndFoldersWithNotFound) {
  auto files = Files();
  EXPECT_EQ(files.Find("/Support/VqPrime/QzUFiles/Vq/VqData.TXT").status, 404);
  EXPECT_EQ(files.Find("/Support/VqPrime/QzUFiles/Vq").status, 404);
  EXPECT_EQ(files.Find("/Support/VqPrime/QzUFiles/Vq/VQ.Zip/x").status, 404);
  EXPECT_EQ(files.Find("/").status, 404);
  EXPECT_EQ(files.Find("relative").status, 404);
}

TEST_F(StaticFilesTest, RefusesARootThatIsNoFolder) {
  EXPECT_THROW(StaticFiles(temp_ / "missing"), fs::filesystem_error);
  EXPECT_THROW(StaticFiles(Vq() + "/VQ.Zip"), fs::filesystem_error);
}

TEST_F(StaticFilesTest, ServesWholeFilesLargerThanOnePieceOverHttp) {
  std::string large(3 * 64 * 1024 + 17, '\0');
  for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7 % 251);
  temp_.Write("root/Support/VqPrime/QzUFiles/Vq/VQ.Zip", large);
  temp_.Write("root/empty.txt", "");
  auto files = Files();

  httplib::Server server;
  server.Get(R"(/.*)", [&files](const httplib::Request& request, httplib::Response& response) {
    files.Serve(request, response);
  });
  int port = server.bind_to_any_port("127.0.0.1");
  ASSERT_GT(port, 0);
  std::thread thread([&server] { server.listen_after_bind(); });
  while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));

  httplib::Client client("127.0.0.1", port);
  auto archive = client.Get("/Support/VqPrime/QzUFiles/Vq/VQ.Zip");
  ASSERT_TRUE(archive);
  EXPECT_EQ(archive->status, 200);
  EXPECT_TRUE(archive->body == large);
  EXPECT_EQ(archive->get_header_value("Cache-Control"), "no-store");

  auto empty = client.Get("/empty.txt");
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->status, 200);
  EXPECT_EQ(empty->body, "");

  auto head = client.Head("/Support/VqPrime/QzUFiles/Vq/VQ.Zip");
  ASSERT_TRUE(head);
  EXPECT_EQ(head->get_header_value("Content-Length"), std::to_string(large.size()));

  auto missing = client.Get("/Support/VqPrime/QzUFiles/Vq/Version.INF");
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->status, 404);
  auto escaping = client.Get("/Support/%2e%2e/%2e%2e/outside/secret.txt");
  ASSERT_TRUE(escaping);
  EXPECT_EQ(escaping->status, 403);

  server.stop();
  thread.join();
}

}  // namespace
}  // namespace qz::demo
