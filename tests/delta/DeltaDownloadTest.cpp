#include "delta/DeltaDownload.h"

#include <gtest/gtest.h>
#include <libdeflate.h>
#include <zip.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "delta/LeftOutMembers.h"
#include "platform/Error.h"
#include "platform/TransferObserver.h"
#include "signing/ArchiveDigest.h"
#include "support/ArchiveMaker.h"
#include "support/CancelAfter.h"
#include "support/RealPlatform.h"
#include "support/ScriptedRanges.h"
#include "support/TempDir.h"
#include "support/TestServer.h"
#include "zipformat/ZipBytes.h"

namespace qz {
namespace {

using test::ArchiveMaker;
using test::ScriptedRanges;
using test::TempDir;
using test::TestServer;

std::string Bytes(size_t size, uint32_t seed) {
  return qz::test::ArchiveMaker::Incompressible(size, seed);
}

// The byte ranges of a Range header ("bytes=0-9,20-29"); a suffix range gives none.
std::vector<std::pair<uint64_t, uint64_t>> RangesOf(const std::string& header) {
  std::vector<std::pair<uint64_t, uint64_t>> ranges;
  for (size_t at = header.find('=') + 1; at != 0 && at < header.size();) {
    const size_t end = std::min(header.find(',', at), header.size());
    const std::string range = header.substr(at, end - at);
    const size_t dash = range.find('-');
    if (dash != 0)
      ranges.push_back({std::stoull(range.substr(0, dash)), std::stoull(range.substr(dash + 1))});
    at = end + 1;
  }
  return ranges;
}

// The members of the zip at `path` by name, with their contents where `password` opens
// them; fails the test when libzip cannot open the archive with its consistency checks.
std::map<std::string, std::string> Contents(const std::string& path,
                                            const std::string& password = "") {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
  EXPECT_NE(archive, nullptr) << "libzip error " << error;
  if (archive == nullptr) return {};
  if (!password.empty()) zip_set_default_password(archive, password.c_str());
  std::map<std::string, std::string> contents;
  for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
    zip_stat_t stat;
    zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat);
    std::string data(stat.size, '\0');
    zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
    EXPECT_NE(file, nullptr) << stat.name;
    if (file != nullptr) {
      EXPECT_EQ(zip_fread(file, data.data(), data.size()), static_cast<zip_int64_t>(data.size()));
      zip_fclose(file);
    }
    contents[stat.name] = data;
  }
  zip_close(archive);
  return contents;
}

// Stored members written by hand, for the layouts libzip does not write: data descriptors
// after the data and zip64 fields in every header.
class HandmadeZip {
 public:
  HandmadeZip& Add(const std::string& name, const std::string& data, bool descriptor, bool zip64) {
    const uint32_t crc = libdeflate_crc32(0, data.data(), data.size());
    const uint64_t offset = bytes_.size();
    std::string extra;
    if (zip64) {
      ZipBytes::Append16(extra, 1);
      ZipBytes::Append16(extra, 16);
      ZipBytes::Append64(extra, data.size());
      ZipBytes::Append64(extra, data.size());
    }
    const uint32_t size32 = zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(data.size());
    Header(bytes_, 0x04034b50, {45, static_cast<uint16_t>(descriptor ? 8 : 0), 0, 0, 0});
    ZipBytes::Append32(bytes_, descriptor ? 0 : crc);
    ZipBytes::Append32(bytes_, descriptor ? 0 : size32);
    ZipBytes::Append32(bytes_, descriptor ? 0 : size32);
    ZipBytes::Append16(bytes_, static_cast<uint16_t>(name.size()));
    ZipBytes::Append16(bytes_, static_cast<uint16_t>(extra.size()));
    bytes_ += name + extra + data;
    if (descriptor) {
      ZipBytes::Append32(bytes_, 0x08074b50);
      ZipBytes::Append32(bytes_, crc);
      if (zip64) {
        ZipBytes::Append64(bytes_, data.size());
        ZipBytes::Append64(bytes_, data.size());
      } else {
        ZipBytes::Append32(bytes_, size32);
        ZipBytes::Append32(bytes_, size32);
      }
    }
    std::string centralExtra = extra;
    if (zip64) {
      ZipBytes::Put16(centralExtra, 2, 24);
      ZipBytes::Append64(centralExtra, offset);
    }
    Header(directory_, 0x02014b50, {45, 45, static_cast<uint16_t>(descriptor ? 8 : 0), 0, 0, 0});
    ZipBytes::Append32(directory_, crc);
    ZipBytes::Append32(directory_, size32);
    ZipBytes::Append32(directory_, size32);
    ZipBytes::Append16(directory_, static_cast<uint16_t>(name.size()));
    ZipBytes::Append16(directory_, static_cast<uint16_t>(centralExtra.size()));
    for (int i = 0; i < 3; ++i) ZipBytes::Append16(directory_, 0);  // comment, disk, attributes
    ZipBytes::Append32(directory_, 0);
    ZipBytes::Append32(directory_, zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(offset));
    directory_ += name + centralExtra;
    ++count_;
    return *this;
  }

  // The archive with zip64 end records.
  std::string Finish() const {
    std::string archive = bytes_ + directory_;
    const uint64_t end64 = archive.size();
    ZipBytes::Append32(archive, 0x06064b50);
    ZipBytes::Append64(archive, 44);
    ZipBytes::Append16(archive, 45);
    ZipBytes::Append16(archive, 45);
    ZipBytes::Append32(archive, 0);
    ZipBytes::Append32(archive, 0);
    ZipBytes::Append64(archive, count_);
    ZipBytes::Append64(archive, count_);
    ZipBytes::Append64(archive, directory_.size());
    ZipBytes::Append64(archive, bytes_.size());
    ZipBytes::Append32(archive, 0x07064b50);
    ZipBytes::Append32(archive, 0);
    ZipBytes::Append64(archive, end64);
    ZipBytes::Append32(archive, 1);
    ZipBytes::Append32(archive, 0x06054b50);
    for (int i = 0; i < 4; ++i) ZipBytes::Append16(archive, i < 2 ? 0 : 0xFFFF);
    ZipBytes::Append32(archive, 0xFFFFFFFF);
    ZipBytes::Append32(archive, 0xFFFFFFFF);
    ZipBytes::Append16(archive, 0);
    return archive;
  }

 private:
  static void Header(std::string& bytes, uint32_t signature, std::vector<uint16_t> fields) {
    ZipBytes::Append32(bytes, signature);
    for (uint16_t field : fields) ZipBytes::Append16(bytes, field);
  }

  std::string bytes_;
  std::string directory_;
  uint64_t count_ = 0;
};

class DeltaDownloadTest : public ::testing::Test {
 protected:
  DeltaDownload::Outcome Run(const SignedArchive* items = nullptr) {
    DeltaDownload delta(urls, files, app.Path());
    if (items != nullptr) delta.RequireSigned(*items);
    return delta.Run(server.Root() + "/VQ.Zip", staging / "VQ.Zip", staging / "kept", observer);
  }

  // A run against `scripted`, a server of its own that answers as `ranges` shapes it.
  DeltaDownload::Outcome RunAgainst(TestServer& scripted, ScriptedRanges& ranges) {
    scripted.Route("/VQ.Zip", ranges.Handler());
    DeltaDownload delta(urls, files, app.Path());
    return delta.Run(scripted.Root() + "/VQ.Zip", staging / "VQ.Zip", staging / "kept", nullptr);
  }

  std::string Archive(const std::map<std::string, std::string>& members) {
    ArchiveMaker maker(staging / "made.zip");
    for (const auto& [name, data] : members) maker.Add(name, data);
    maker.Close();
    return staging.Read("made.zip");
  }

  // Sixty members of 20,000 bytes, each changed one far enough from the next to be a range
  // of its own; the installation holds the even ones. Returns the members it lacks.
  std::map<std::string, std::string> SpreadArchive(std::string& archive) {
    std::map<std::string, std::string> members;
    std::map<std::string, std::string> lacking;
    for (uint32_t i = 0; i < 60; ++i) {
      const std::string name = "m" + std::to_string(100 + i) + ".bin";
      members[name] = Bytes(20'000, i);
      if (i % 2 == 0) {
        app.Write(name, members[name]);
      } else {
        lacking[name] = members[name];
      }
    }
    archive = Archive(members);
    return lacking;
  }

  TransferObserver* observer = nullptr;
  TestServer server;
  test::RealUrlServices urls;
  test::RealFileSystem files;
  TempDir app;
  TempDir staging;
};

TEST_F(DeltaDownloadTest, FetchesOnlyTheMembersTheInstallationLacks) {
  const std::string exe = Bytes(300'000, 1);
  app.Write("vq.EXE", exe);
  app.Write("Same.dll", Bytes(200'000, 2));
  app.Write("Old.dll", Bytes(200'000, 3));
  // Changed by the user, yet of the published size.
  app.Write("Edited.txt", Bytes(1000, 4));
  app.Write("Removed.txt", "stays");
  ArchiveMaker::Options locked;
  locked.encryption = ZIP_EM_TRAD_PKWARE;
  locked.password = "pw";
  ArchiveMaker maker(staging / "made.zip");
  maker.Add("bin/Vq.exe", exe)
      .Add("Same.dll", Bytes(200'000, 2))
      .Add("lib/Old.dll", Bytes(200'000, 33))
      .Add("Edited.txt", Bytes(1000, 44))
      .Add("New.txt", "new")
      .AddFolder("docs/")
      .Add("Secret.bin", Bytes(5000, 5), locked);
  maker.Close();
  const std::string archive = staging.Read("made.zip");
  server.Put("/VQ.Zip", archive);

  DeltaDownload::Outcome outcome = Run();
  ASSERT_EQ(outcome.result, DeltaDownload::Result::kDone) << outcome.reason;
  EXPECT_EQ(outcome.membersKept, 2u);
  EXPECT_EQ(outcome.archiveBytes, archive.size());
  EXPECT_LT(outcome.fetchedBytes, archive.size() / 2);
  std::map<std::string, std::string> got = Contents(staging / "VQ.Zip", "pw");
  EXPECT_EQ(got, (std::map<std::string, std::string>{{"lib/Old.dll", Bytes(200'000, 33)},
                                                     {"Edited.txt", Bytes(1000, 44)},
                                                     {"New.txt", "new"},
                                                     {"docs/", ""},
                                                     {"Secret.bin", Bytes(5000, 5)}}));
  // The directory's request and one for the entries; none for the kept members' bytes.
  EXPECT_EQ(server.RangesAsked().size(), 2u);
  EXPECT_EQ(server.RangesAsked().front(), "bytes=-65558");

  // Nothing changed: the smallest member alone, as the extraction needs one.
  server.Put("/VQ.Zip", Archive({{"x/a.txt", "a"}, {"b.txt", "bb"}}));
  app.Write("A.TXT", "a");
  app.Write("b.txt", "bb");
  outcome = Run();
  ASSERT_EQ(outcome.result, DeltaDownload::Result::kDone) << outcome.reason;
  EXPECT_EQ(Contents(staging / "VQ.Zip"), (std::map<std::string, std::string>{{"x/a.txt", "a"}}));
}

// The list of left-out members is what a later install trusts to find files changed since:
// it must read back as written, name exactly the changed files, refuse a damaged text, and
// a run bound to its directory must refuse another release.
TEST_F(DeltaDownloadTest, TheLeftOutListReadsBackAndFindsFilesChangedSince) {
  app.Write("vq.EXE", Bytes(300'000, 1));
  app.Write("Same dll.dll", Bytes(200'000, 2));
  server.Put("/VQ.Zip", Archive({{"bin/Vq.exe", Bytes(300'000, 1)},
                                 {"Same dll.dll", Bytes(200'000, 2)},
                                 {"New.txt", "new"}}));
  const DeltaDownload::Outcome outcome = Run();
  ASSERT_EQ(outcome.result, DeltaDownload::Result::kDone) << outcome.reason;
  const LeftOutMembers list = LeftOutMembers::Parse(outcome.leftOut.Text());
  EXPECT_EQ(list.Text(), outcome.leftOut.Text());
  ASSERT_EQ(list.members.size(), 2u);
  EXPECT_EQ(list.members[0].name, "Same dll.dll");
  EXPECT_TRUE(list.Changed(files, app.Path()).empty());
  app.Write("Same dll.dll", Bytes(200'000, 3));
  std::filesystem::remove(app / "vq.EXE");
  EXPECT_EQ(list.Changed(files, app.Path()),
            (std::vector<std::string>{"Same dll.dll", "bin/Vq.exe"}));

  const std::string heading = "QzUpdate left-out members 1 " + std::string(64, 'a') + "\n";
  for (const std::string& damaged :
       {std::string(), std::string("QzUpdate left-out members 1 xyz\n"),
        heading + "12 0000000g - a\n", heading + "12 00000000 - \n", heading + "12 00000000 -",
        heading + "x 00000000 - a\n"}) {
    SCOPED_TRACE(damaged);
    EXPECT_THROW(LeftOutMembers::Parse(damaged), Error);
  }

  DeltaDownload bound(urls, files, app.Path());
  bound.RequireDirectory(std::string(64, '0'));
  const DeltaDownload::Outcome refused =
      bound.Run(server.Root() + "/VQ.Zip", staging / "VQ.Zip", "", nullptr);
  EXPECT_EQ(refused.result, DeltaDownload::Result::kFullDownload);
  EXPECT_EQ(refused.reason, "the archive on the server is no longer the one the update came from");
}

TEST_F(DeltaDownloadTest, DescriptorsAndZip64FieldsAreCopiedAndListedAgain) {
  app.Write("same.bin", Bytes(70'000, 7));
  HandmadeZip made;
  made.Add("same.bin", Bytes(70'000, 7), true, true)
      .Add("plain.bin", Bytes(80'000, 8), false, false)
      .Add("described.bin", Bytes(90'000, 9), true, false)
      .Add("wide.bin", Bytes(1000, 10), false, true)
      .Add("both.bin", Bytes(2000, 11), true, true);
  server.Put("/VQ.Zip", made.Finish());
  DeltaDownload::Outcome outcome = Run();
  ASSERT_EQ(outcome.result, DeltaDownload::Result::kDone) << outcome.reason;
  EXPECT_EQ(Contents(staging / "VQ.Zip"),
            (std::map<std::string, std::string>{{"plain.bin", Bytes(80'000, 8)},
                                                {"described.bin", Bytes(90'000, 9)},
                                                {"wide.bin", Bytes(1000, 10)},
                                                {"both.bin", Bytes(2000, 11)}}));
}

// More changed members than a plain end record can count: the staged zip needs its own
// zip64 end record, or the install would see a damaged archive.
TEST_F(DeltaDownloadTest, MoreThan65534ChangedMembersAreStagedWithAZip64EndRecord) {
  app.Write("kept.bin", Bytes(4'000'000, 1));
  HandmadeZip made;
  made.Add("kept.bin", Bytes(4'000'000, 1), false, false);
  constexpr int kMembers = 70'000;
  for (int i = 0; i < kMembers; ++i) made.Add("m" + std::to_string(i), "", false, false);
  server.Put("/VQ.Zip", made.Finish());
  DeltaDownload::Outcome outcome = Run();
  ASSERT_EQ(outcome.result, DeltaDownload::Result::kDone) << outcome.reason;
  const std::map<std::string, std::string> staged = Contents(staging / "VQ.Zip");
  EXPECT_EQ(staged.size(), static_cast<size_t>(kMembers));
  EXPECT_EQ(staged.count("kept.bin"), 0u);
}

TEST_F(DeltaDownloadTest, AServerThatCannotServeADeltaLeavesTheFullDownload) {
  app.Write("a.bin", Bytes(100'000, 1));
  const std::string archive = Archive({{"a.bin", Bytes(100'000, 1)},
                                       {"b.bin", Bytes(100'000, 2)},
                                       {"c.bin", Bytes(100'000, 3)},
                                       {"d.bin", Bytes(100'000, 4)}});
  server.Put("/VQ.Zip", archive);
  server.IgnoreRanges(true);
  DeltaDownload::Outcome outcome = Run();
  EXPECT_EQ(outcome.result, DeltaDownload::Result::kFullDownload);
  EXPECT_EQ(outcome.reason, "the server ignores ranges");
  EXPECT_FALSE(staging.Exists("VQ.Zip"));
  server.IgnoreRanges(false);

  // cpp-httplib answers several ranges of a streamed body with parts whose total length is
  // 0: one range per request from then on.
  app.Write("c.bin", Bytes(100'000, 3));
  std::string stored = Archive({{"a.bin", Bytes(100'000, 1)},
                                {"b.bin", std::string(100'000, 'b')},
                                {"c.bin", Bytes(100'000, 3)},
                                {"d.bin", std::string(100'000, 'd')}});
  server.Put("/VQ.Zip", stored);
  server.LimitRate(1'000'000'000);
  outcome = Run();
  server.LimitRate(0);
  ASSERT_EQ(outcome.result, DeltaDownload::Result::kDone) << outcome.reason;
  EXPECT_EQ(Contents(staging / "VQ.Zip").size(), 2u);
  EXPECT_EQ(outcome.requests, 4);

  // Several ranges answered with the whole file: one range per request from then on.
  server.Route("/VQ.Zip", [&](const httplib::Request& request, httplib::Response& response) {
    if (request.ranges.size() > 1) {
      const_cast<httplib::Request&>(request).ranges.clear();
    }
    response.set_header("ETag", "\"one\"");
    response.set_content(stored, "application/octet-stream");
  });
  outcome = Run();
  ASSERT_EQ(outcome.result, DeltaDownload::Result::kDone) << outcome.reason;
  EXPECT_EQ(Contents(staging / "VQ.Zip").size(), 2u);

  // The archive replaced between the directory and the entries.
  auto requests = std::make_shared<std::atomic<int>>(0);
  server.Route("/VQ.Zip",
               [&, requests](const httplib::Request& request, httplib::Response& response) {
                 const bool first = (*requests)++ == 0;
                 if (!first && request.get_header_value("If-Range") == "\"one\"") {
                   const_cast<httplib::Request&>(request).ranges.clear();
                 }
                 response.set_header("ETag", first ? "\"one\"" : "\"two\"");
                 response.set_content(first ? stored : archive, "application/octet-stream");
               });
  staging.Write("VQ.Zip", "earlier");
  outcome = Run();
  EXPECT_EQ(outcome.result, DeltaDownload::Result::kFullDownload);
  EXPECT_EQ(outcome.reason, "the archive changed on the server");
}

TEST_F(DeltaDownloadTest, ASignedRunReusesAndStagesOnlyWhatMatchesTheSignedItems) {
  const std::string changed = Bytes(50'000, 2);
  const std::string twin = Bytes(50'000, 3);
  app.Write("same.bin", Bytes(50'000, 1));
  app.Write("changed.bin", Bytes(50'000, 20));
  // Size and CRC-32 of the signed member, other bytes.
  app.Write("twin.bin", ArchiveMaker::WithSameCrc32(twin));
  ArchiveMaker::Options stored;
  stored.stored = true;
  ArchiveMaker maker(staging / "made.zip");
  maker.Add("same.bin", Bytes(50'000, 1), stored)
      .Add("lib/changed.bin", changed, stored)
      .AddFolder("docs/")
      .Add("twin.bin", twin, stored);
  maker.Close();
  const std::string archive = staging.Read("made.zip");
  const SignedArchive items = ArchiveDigest::Of(archive);
  ASSERT_EQ(items.members.size(), 3u);
  server.Put("/VQ.Zip", archive);
  DeltaDownload::Outcome outcome = Run(&items);
  ASSERT_EQ(outcome.result, DeltaDownload::Result::kDone) << outcome.reason;
  EXPECT_EQ(outcome.membersKept, 1u);
  EXPECT_EQ(Contents(staging / "VQ.Zip"),
            (std::map<std::string, std::string>{{"lib/changed.bin", changed}, {"twin.bin", twin}}));

  // Whatever differs from the items ends the run; nothing of it is kept or staged.
  struct Difference {
    const char* name;
    std::function<void(std::string& served, SignedArchive& signedItems)> make;
    const char* reason;
  };
  const Difference differences[] = {
      {"a member's bytes, its CRC-32 kept",
       [&](std::string& served, SignedArchive&) {
         served.replace(served.find(changed), changed.size(), ArchiveMaker::WithSameCrc32(changed));
       },
       "lib/changed.bin: its bytes differ from the signed ones"},
      {"the directory",
       [](std::string&, SignedArchive& signedItems) {
         char& digit = signedItems.directorySha256[0];
         digit = digit == '0' ? '1' : '0';
       },
       "the archive's directory differs from the signed one"},
      {"the length", [](std::string& served, SignedArchive&) { served += "x"; },
       "the archive's length differs from the signed one"},
      {"a member without its item",
       [](std::string&, SignedArchive& signedItems) { signedItems.members.pop_back(); },
       "twin.bin has no signed item of its name and size"},
  };
  for (const Difference& difference : differences) {
    SCOPED_TRACE(difference.name);
    std::string served = archive;
    SignedArchive signedItems = items;
    difference.make(served, signedItems);
    server.Put("/VQ.Zip", served);
    staging.Write("kept", "");
    std::filesystem::remove(staging / "VQ.Zip");
    outcome = Run(&signedItems);
    EXPECT_EQ(outcome.result, DeltaDownload::Result::kFullDownload);
    EXPECT_EQ(outcome.reason, difference.reason);
    EXPECT_FALSE(staging.Exists("VQ.Zip"));
    EXPECT_FALSE(staging.Exists("kept"));
  }
  // A member without a name to be installed under is left to the whole archive's test.
  const std::string unusable = Archive({{"a.bin", "a"}, {"b/..", "b"}});
  server.Put("/VQ.Zip", unusable);
  const SignedArchive unusableItems = ArchiveDigest::Of(unusable);
  EXPECT_EQ(Run(&unusableItems).reason, "b/.. has no name to be installed under");
}

TEST_F(DeltaDownloadTest, ACancelledRunKeepsItsWholeEntriesForTheNextOne) {
  for (const char* name : {"k1.bin", "k2.bin"}) app.Write(name, Bytes(50'000, name[1]));
  server.Put("/VQ.Zip", Archive({{"a.bin", Bytes(100'000, 1)},
                                 {"k1.bin", Bytes(50'000, '1')},
                                 {"m.bin", Bytes(100'000, 2)},
                                 {"k2.bin", Bytes(50'000, '2')},
                                 {"z.bin", Bytes(100'000, 3)}}));
  test::CancelAfter cancel(150'000);
  observer = &cancel;
  DeltaDownload::Outcome outcome = Run();
  EXPECT_EQ(outcome.result, DeltaDownload::Result::kCancelled);
  EXPECT_FALSE(staging.Exists("VQ.Zip"));
  ASSERT_TRUE(staging.Exists("kept"));

  observer = nullptr;
  outcome = Run();
  ASSERT_EQ(outcome.result, DeltaDownload::Result::kDone) << outcome.reason;
  // The first member (at byte 0) had arrived whole; only the other two are asked for again.
  EXPECT_EQ(server.RangesAsked().back().find("bytes=0-"), std::string::npos);
  EXPECT_LT(outcome.fetchedBytes, 2 * 100'000 + 70'000);
  EXPECT_EQ(Contents(staging / "VQ.Zip"),
            (std::map<std::string, std::string>{{"a.bin", Bytes(100'000, 1)},
                                                {"m.bin", Bytes(100'000, 2)},
                                                {"z.bin", Bytes(100'000, 3)}}));
  EXPECT_FALSE(staging.Exists("kept"));
}

TEST_F(DeltaDownloadTest, AServerAnsweringFewerPartsThanAskedIsAskedForTheRestInSmallerBatches) {
  std::string archive;
  const std::map<std::string, std::string> lacking = SpreadArchive(archive);
  struct Case {
    const char* name;
    ScriptedRanges::Script script;
    int requests;
    size_t rangesPerRequest;
  };
  ScriptedRanges::Script tenParts;
  tenParts.maxParts = 10;
  ScriptedRanges::Script shortAnswer;
  shortAnswer.firstAsSingle = true;
  // The directory's request, then 30 ranges: 10 of the first request's 32, then 10 and 10;
  // or one each after a 206 that answered only the first.
  const Case cases[] = {{"at most 10 parts", tenParts, 1 + 3, 10},
                        {"a 206 for the first range", shortAnswer, 1 + 30, 1}};
  for (const Case& each : cases) {
    SCOPED_TRACE(each.name);
    TestServer scripted;
    ScriptedRanges ranges(archive, "\"v1\"", each.script);
    const DeltaDownload::Outcome outcome = RunAgainst(scripted, ranges);
    ASSERT_EQ(outcome.result, DeltaDownload::Result::kDone) << outcome.reason;
    EXPECT_EQ(outcome.requests, each.requests);
    EXPECT_EQ(outcome.rangesPerRequest, each.rangesPerRequest);
    EXPECT_EQ(Contents(staging / "VQ.Zip"), lacking);
    // No byte arrives twice: what came is the directory's tail and each range asked for once.
    std::map<uint64_t, uint64_t> asked;
    for (const std::string& header : scripted.RangesAsked()) {
      for (const auto& [first, last] : RangesOf(header)) asked[first] = last;
    }
    uint64_t once = CentralDirectory::kTailBytes;
    for (const auto& [first, last] : asked) once += last - first + 1;
    EXPECT_EQ(outcome.fetchedBytes, once);
    EXPECT_LT(outcome.fetchedBytes, archive.size() * 6 / 10);
  }
}

TEST_F(DeltaDownloadTest, RepliesThatGoOnForeverAreCutToWhatWasAskedFor) {
  std::string archive;
  const std::map<std::string, std::string> lacking = SpreadArchive(archive);
  struct Case {
    const char* name;
    ScriptedRanges::Script script;
    DeltaDownload::Result result;
  };
  ScriptedRanges::Script shifting;
  shifting.shiftedParts = 2000;
  ScriptedRanges::Script repeated;
  repeated.repeats = 20'000;
  ScriptedRanges::Script trailing;
  trailing.trailingBytes = uint64_t{256} << 20;
  // Parts at shifting offsets are never asked for: the reply is stopped and the whole
  // archive downloaded. Once every part asked for is there, what follows is not waited for.
  const Case cases[] = {
      {"parts at shifting offsets", shifting, DeltaDownload::Result::kFullDownload},
      {"the first part again and again", repeated, DeltaDownload::Result::kDone},
      {"data after the closing delimiter", trailing, DeltaDownload::Result::kDone}};
  for (const Case& each : cases) {
    SCOPED_TRACE(each.name);
    TestServer scripted;
    ScriptedRanges ranges(archive, "\"v1\"", each.script);
    const DeltaDownload::Outcome outcome = RunAgainst(scripted, ranges);
    EXPECT_EQ(outcome.result, each.result) << outcome.reason;
    if (outcome.result == DeltaDownload::Result::kDone) {
      EXPECT_EQ(Contents(staging / "VQ.Zip"), lacking);
    } else {
      EXPECT_EQ(outcome.reason, "the server sends more than was asked for");
      EXPECT_FALSE(staging.Exists("kept"));
    }
    EXPECT_LT(outcome.fetchedBytes, archive.size() * 6 / 10);
    // The updater hung up long before the server ran out of bytes to send.
    EXPECT_LT(ranges.Written(), uint64_t{32} << 20);
  }
}

TEST_F(DeltaDownloadTest, OnlyPartsOfAcceptedRepliesAreKeptAndNoMemberIsStagedWithAWrongCrc) {
  std::string archive;
  const std::map<std::string, std::string> lacking = SpreadArchive(archive);
  // A reply refused for its length (one byte longer than the archive) with other bytes.
  ScriptedRanges::Script longer;
  longer.totalOffset = 1;
  longer.flipBytes = true;
  ScriptedRanges refused(archive, "\"v1\"", longer);
  server.Route("/VQ.Zip", refused.Handler());
  DeltaDownload::Outcome outcome = Run();
  EXPECT_EQ(outcome.result, DeltaDownload::Result::kFullDownload);
  EXPECT_EQ(outcome.reason, "the archive changed on the server");
  EXPECT_FALSE(staging.Exists("kept"));

  // The next run, against a sound server with the same validator, fetches them again.
  ScriptedRanges sound(archive, "\"v1\"", {});
  server.Route("/VQ.Zip", sound.Handler());
  outcome = Run();
  ASSERT_EQ(outcome.result, DeltaDownload::Result::kDone) << outcome.reason;
  EXPECT_EQ(Contents(staging / "VQ.Zip"), lacking);

  // Parts kept by an earlier run whose bytes went wrong are checked before anything is staged.
  std::string damaged = archive;
  damaged[damaged.find(lacking.at("m101.bin")) + 100] ^= 1;
  std::string kept = "\"v1\"\n";
  ZipBytes::Append64(kept, 0);
  ZipBytes::Append64(kept, damaged.size());
  staging.Write("kept", kept + damaged);
  std::filesystem::remove(staging / "VQ.Zip");
  outcome = Run();
  EXPECT_EQ(outcome.result, DeltaDownload::Result::kFullDownload);
  EXPECT_EQ(outcome.reason, "m101.bin: its bytes do not match its CRC-32");
  EXPECT_FALSE(staging.Exists("VQ.Zip"));
  EXPECT_FALSE(staging.Exists("kept"));
}

// Whatever the delta leaves must be what the whole archive leaves: of two members that land
// in one file (names differing only in ASCII case), the later one wins either way.
TEST_F(DeltaDownloadTest, MembersWhoseNamesDifferOnlyInCaseAreFetchedTogether) {
  app.Write("lib.dll", Bytes(30'000, 2));
  app.Write("other.bin", Bytes(30'000, 3));
  const std::map<std::string, std::string> members{{"x/Lib.dll", Bytes(30'000, 1)},
                                                   {"y/LIB.DLL", Bytes(30'000, 2)},
                                                   {"other.bin", Bytes(30'000, 3)},
                                                   {"new.bin", "new"}};
  ArchiveMaker maker(staging / "made.zip");
  for (const char* name : {"x/Lib.dll", "y/LIB.DLL", "other.bin", "new.bin"}) {
    maker.Add(name, members.at(name));
  }
  maker.Close();
  const std::string archive = staging.Read("made.zip");
  server.Put("/VQ.Zip", archive);
  DeltaDownload::Outcome outcome = Run();
  ASSERT_EQ(outcome.result, DeltaDownload::Result::kDone) << outcome.reason;
  EXPECT_EQ(Contents(staging / "VQ.Zip"),
            (std::map<std::string, std::string>{{"x/Lib.dll", members.at("x/Lib.dll")},
                                                {"y/LIB.DLL", members.at("y/LIB.DLL")},
                                                {"new.bin", "new"}}));
  // Signed the same way.
  const SignedArchive items = ArchiveDigest::Of(archive);
  outcome = Run(&items);
  ASSERT_EQ(outcome.result, DeltaDownload::Result::kDone) << outcome.reason;
  EXPECT_EQ(Contents(staging / "VQ.Zip").size(), 3u);
}

// The extraction replaces a link with a regular file; a link is never taken for the
// installed file, wherever it points.
TEST_F(DeltaDownloadTest, AnInstalledLinkIsNotTakenForTheMembersFile) {
#ifdef _WIN32
  GTEST_SKIP() << "links need rights that the tests do not have";
#else
  TempDir outside;
  outside.Write("lib07.dll", Bytes(30'000, 7));
  std::filesystem::create_symlink(outside / "lib07.dll", app / "lib07.dll");
  app.Write("same.bin", Bytes(20'000, 8));
  server.Put("/VQ.Zip", Archive({{"lib07.dll", Bytes(30'000, 7)}, {"same.bin", Bytes(20'000, 8)}}));
  const DeltaDownload::Outcome outcome = Run();
  ASSERT_EQ(outcome.result, DeltaDownload::Result::kDone) << outcome.reason;
  EXPECT_EQ(outcome.membersKept, 1u);
  EXPECT_EQ(Contents(staging / "VQ.Zip"),
            (std::map<std::string, std::string>{{"lib07.dll", Bytes(30'000, 7)}}));
#endif
}

// A plain end record (no zip64) for `entries` members whose directory of `size` bytes
// starts at `offset`, after `before` bytes of the tail.
std::string EndRecord(uint16_t entries, uint32_t size, uint32_t offset, size_t before) {
  std::string tail(before, '\0');
  ZipBytes::Append32(tail, 0x06054b50);
  for (uint16_t field : {uint16_t{0}, uint16_t{0}, entries, entries})
    ZipBytes::Append16(tail, field);
  ZipBytes::Append32(tail, size);
  ZipBytes::Append32(tail, offset);
  ZipBytes::Append16(tail, 0);
  return tail;
}

TEST_F(DeltaDownloadTest, AHugeDirectoryIsRefusedBeforeItIsFetchedAnd65535MembersAreNotZip64) {
  // 5.6 million records in 250 MiB: more than the delta may hold, so it is not fetched.
  const uint64_t directory = uint64_t{250} << 20;
  const uint64_t length = (uint64_t{1} << 30) + directory + 22;
  const std::string tail = EndRecord(0xFFFF, static_cast<uint32_t>(directory), 1u << 30,
                                     CentralDirectory::kTailBytes - 22);
  server.Route("/VQ.Zip", [&](const httplib::Request& request, httplib::Response& response) {
    const_cast<httplib::Request&>(request).ranges.clear();
    response.set_header("ETag", "\"huge\"");
    if (request.get_header_value("Range") != "bytes=-65558") {
      response.status = 404;
      return;
    }
    response.status = 206;
    response.set_header("Content-Range", "bytes " + std::to_string(length - tail.size()) + "-" +
                                             std::to_string(length - 1) + "/" +
                                             std::to_string(length));
    response.set_content(tail, "application/octet-stream");
  });
  const DeltaDownload::Outcome outcome = Run();
  EXPECT_EQ(outcome.result, DeltaDownload::Result::kFullDownload);
  EXPECT_EQ(outcome.reason, "the archive's directory is too large to hold");
  EXPECT_EQ(server.RangesAsked().size(), 1u);

  // Exactly 65,535 members fit the plain end record.
  const std::string plain = EndRecord(0xFFFF, 65535 * 46, 1000, 65535 * 46);
  const CentralDirectory::Location location =
      CentralDirectory::Locate(plain, 1000, 1000 + plain.size());
  EXPECT_EQ(location.entries, 65535u);
  EXPECT_EQ(location.offset, 1000u);
}

}  // namespace
}  // namespace qz
