#include "pagedelta/PageDownload.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "pagedelta/PageCompanionCheck.h"
#include "pagedelta/PageCompanionWriter.h"
#include "pagedelta/PageIndex.h"
#include "platform/TransferObserver.h"
#include "support/CancelAfter.h"
#include "support/RealPlatform.h"
#include "support/TempDir.h"
#include "support/TestServer.h"
#include "zipformat/Sha256.h"

namespace qz {
namespace {

using test::TempDir;
using test::TestServer;

constexpr size_t kPage = 4096;

// A page of rows as a database holds them: text that deflates to about a third.
std::string Page(uint32_t seed) {
  std::string page;
  uint32_t state = seed * 2654435761u + 1;
  while (page.size() < kPage) {
    state = state * 1103515245u + 12345u;
    page += "row " + std::to_string(seed) + " name" + std::to_string(state % 997) + " value " +
            std::to_string(state >> 20) + ";";
  }
  return page.substr(0, kPage);
}

std::string Database(uint32_t pages, uint32_t seedBase = 0) {
  std::string database;
  for (uint32_t i = 0; i < pages; ++i) database += Page(seedBase + i);
  return database;
}

// The number of ranges a Range header asks for.
int Ranges(const std::string& header) {
  return 1 + static_cast<int>(std::count(header.begin(), header.end(), ','));
}

class PageDownloadTest : public ::testing::Test {
 protected:
  // Publishes `database` as Data.TXT with its companion; returns the companion.
  std::string Publish(const std::string& database) {
    server.Put("/Data.TXT", database);
    release.Write("Data.TXT", database);
    PageCompanionWriter::Write(files, release / "Data.TXT", release / "Data.PGZ", kPage);
    const std::string companion = release.Read("Data.PGZ");
    server.Put("/Data.PGZ", companion);
    return companion;
  }

  PageDownload::Outcome Run(PageDownload delta) {
    return delta.Run(server.Root() + "/Data.TXT", server.Root() + "/Data.PGZ", app / "Data.Mdb",
                     staging / "Data.Mdb", staging / "kept", observer);
  }
  PageDownload::Outcome Run() { return Run(PageDownload(urls, files)); }

  // The requests for the companion's chunks: those after its header's two.
  std::vector<std::string> ChunkRequests() {
    std::vector<std::string> asked;
    const std::vector<std::string> paths = server.Requests();
    const std::vector<std::string> ranges = server.RangesAsked();
    for (size_t i = 0; i < paths.size(); ++i) {
      if (paths[i] == "/Data.PGZ" && ranges[i] != "bytes=0-59" &&
          ranges[i].find("bytes=60-") != 0) {
        asked.push_back(ranges[i]);
      }
    }
    return asked;
  }

  TransferObserver* observer = nullptr;
  TestServer server;
  test::RealUrlServices urls;
  test::RealFileSystem files;
  TempDir app;
  TempDir staging;
  TempDir release;
};

// The new file changes four (two of them neighbours), moves one
// page's content to the next place and adds eight at the end.
std::string NewVersionOf(const std::string& old) {
  std::string database = old;
  for (uint32_t changed : {10u, 50u, 51u, 90u}) {
    database.replace(changed * kPage, kPage, Page(10'000 + changed));
  }
  database.replace(31 * kPage, kPage, old.substr(30 * kPage, kPage));
  return database + Database(8, 20'000);
}

TEST_F(PageDownloadTest, AnInstalledDatabaseGetsOnlyItsChangedPagesAndEndsByteIdentical) {
  const std::string old = Database(200);
  app.Write("Data.Mdb", old);
  const std::string database = NewVersionOf(old);
  const std::string companion = Publish(database);
  EXPECT_NE(PageCompanionCheck::Compare(files, release / "Data.PGZ", release / "Data.TXT")
                .find("208 chunks of 4096 bytes match"),
            std::string::npos);

  PageDownload::Outcome outcome = Run();
  ASSERT_EQ(outcome.result, PageDownload::Result::kDone) << outcome.reason;
  EXPECT_EQ(staging.Read("Data.Mdb"), database);
  EXPECT_EQ(outcome.chunksFetched, 12u);
  EXPECT_EQ(outcome.chunksKept, 196u);
  // The header, the published file's last page, and the four runs of changed chunks asked
  // for in one request.
  EXPECT_EQ(ChunkRequests().size(), 1u);
  EXPECT_EQ(Ranges(ChunkRequests()[0]), 4);
  EXPECT_EQ(outcome.requests, 4);
  EXPECT_LT(outcome.fetchedBytes, 208 * 36 + 60 + kPage + 12 * kPage / 2);

  // Cut after the first run of chunks: the next run asks only for the rest.
  const PageIndex index =
      PageIndex::Parse(std::string_view(companion).substr(0, PageIndex::HeaderLength(companion)));
  const PageChunk& first = index.chunks[10];
  staging.Write("Data.Mdb", "earlier");
  test::CancelAfter cancel(first.stored);
  observer = &cancel;
  outcome = Run();
  EXPECT_EQ(outcome.result, PageDownload::Result::kCancelled);
  EXPECT_FALSE(staging.Exists("Data.Mdb"));
  EXPECT_TRUE(staging.Exists("kept"));
  observer = nullptr;
  outcome = Run();
  ASSERT_EQ(outcome.result, PageDownload::Result::kDone) << outcome.reason;
  EXPECT_EQ(staging.Read("Data.Mdb"), database);
  EXPECT_EQ(ChunkRequests().back().find("bytes=" + std::to_string(first.offset) + "-"),
            std::string::npos);
  EXPECT_LE(Ranges(ChunkRequests().back()), 3);
  EXPECT_FALSE(staging.Exists("kept"));

  // A server that answers only the first of several ranges is asked for the rest, one
  // range per request.
  server.Route("/Data.PGZ", [&](const httplib::Request& request, httplib::Response& response) {
    if (request.ranges.size() > 1) const_cast<httplib::Request&>(request).ranges.resize(1);
    response.set_header("ETag", "\"pages\"");
    response.set_content(companion, "application/octet-stream");
  });
  outcome = Run();
  ASSERT_EQ(outcome.result, PageDownload::Result::kDone) << outcome.reason;
  EXPECT_EQ(staging.Read("Data.Mdb"), database);
  EXPECT_EQ(outcome.requests, 3 + 4);
}

TEST_F(PageDownloadTest, WhatDoesNotAddUpLeavesTheWholeDownloadWithItsReason) {
  const std::string old = Database(100);
  app.Write("Data.Mdb", old);
  const std::string database = NewVersionOf(old);
  server.Put("/Data.TXT", database);
  auto fallsBack = [&](const std::string& reason) {
    staging.Write("Data.Mdb", "earlier");
    const PageDownload::Outcome outcome = Run();
    EXPECT_EQ(outcome.result, PageDownload::Result::kFullDownload) << reason;
    EXPECT_NE(outcome.reason.find(reason), std::string::npos) << outcome.reason;
    EXPECT_FALSE(staging.Exists("Data.Mdb")) << reason;
  };
  fallsBack("failed with 404");

  // A companion left from another version: the published file ends otherwise.
  Publish(database.substr(0, database.size() - kPage));
  server.Put("/Data.TXT", database);
  fallsBack("written for another version of the file");

  const std::string good = Publish(database);
  std::string damaged = good;
  damaged[0] = 'X';
  server.Put("/Data.PGZ", damaged);
  fallsBack("does not start as one");
  server.Put("/Data.PGZ", good.substr(0, good.size() - 1));
  fallsBack("does not fit the length of its file");

  // A changed page whose deflated bytes were altered on the way.
  damaged = good;
  const PageIndex index =
      PageIndex::Parse(std::string_view(damaged).substr(0, PageIndex::HeaderLength(damaged)));
  damaged[index.chunks[10].offset + 40] ^= 0x55;
  server.Put("/Data.PGZ", damaged);
  fallsBack("a fetched page");

  server.Put("/Data.PGZ", good);
  server.IgnoreRanges(true);
  fallsBack("the server ignores ranges");
  server.IgnoreRanges(false);
  EXPECT_EQ(Run().result, PageDownload::Result::kDone);
}

TEST_F(PageDownloadTest, ASignedRunTakesOnlyTheIndexOfTheSignedFile) {
  const std::string old = Database(100);
  app.Write("Data.Mdb", old);
  const std::string database = NewVersionOf(old);
  const std::string companion = Publish(database);
  const std::string sha256 = Sha256::HexOf(database);
  auto signedRun = [&](uint64_t companionSize, uint64_t fileSize, const std::string& hash) {
    PageDownload delta(urls, files);
    delta.RequireSigned(companionSize, fileSize, hash);
    return Run(std::move(delta));
  };
  PageDownload::Outcome outcome = signedRun(companion.size(), database.size(), sha256);
  ASSERT_EQ(outcome.result, PageDownload::Result::kDone) << outcome.reason;
  EXPECT_EQ(staging.Read("Data.Mdb"), database);
  // The signed index needs no look at the published file.
  EXPECT_EQ(outcome.requests, 3);

  outcome = signedRun(companion.size() + 1, database.size(), sha256);
  EXPECT_EQ(outcome.reason, "the page index's length differs from the signed one");
  outcome = signedRun(companion.size(), database.size(), Sha256::HexOf(old));
  EXPECT_EQ(outcome.reason, "the page index describes another file than the signed one");
  EXPECT_FALSE(staging.Exists("Data.Mdb"));

  // A companion whose index lists other pages for the signed file: the assembled file is
  // not the signed one, so nothing of it is staged.
  const std::string other = Publish(database.substr(0, database.size() - 1) + "!");
  std::string forged = other;
  forged.replace(28, 32, companion.substr(28, 32));
  server.Put("/Data.PGZ", forged);
  outcome = signedRun(forged.size(), database.size(), sha256);
  EXPECT_EQ(outcome.result, PageDownload::Result::kFullDownload);
  EXPECT_EQ(outcome.reason, "the assembled file differs from the published one");
  EXPECT_FALSE(staging.Exists("Data.Mdb"));
  EXPECT_FALSE(staging.Exists("kept"));
}

}  // namespace
}  // namespace qz
