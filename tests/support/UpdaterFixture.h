#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/Env.h"
#include "startup/mQzUpdate.h"
#include "support/FakeClock.h"
#include "support/FakeFormHost.h"
#include "support/FakeInstanceGuard.h"
#include "support/ProgramEnded.h"
#include "support/RealPlatform.h"
#include "support/RedirectedFileSystem.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"
#include "support/TestServer.h"

namespace qz::test {

// A whole updater run without windows: real files in temp folders, real HTTP from an
// in-process server, the real extraction library beside a test "executable folder",
// scripted prompts, a clock that only moves when waited on, and a terminator that
// throws ProgramEnded.
class UpdaterFixture : public ::testing::Test {
 protected:
  // Dialogs are realized by `windows` when given, else by the window-less `host`.
  explicit UpdaterFixture(FormHost* windows = nullptr);

  // Starts a module with this command line (replacing any earlier one).
  mQzUpdate& Start(const std::string& commandLine);
  // Runs Main; true when the program ended inside it.
  bool RunMain(const std::string& commandLine);
  // Runs `step`; true when the program ended inside it.
  template <typename Step>
  static bool Ends(Step&& step) {
    try {
      step();
      return false;
    } catch (const ProgramEnded&) {
      return true;
    }
  }

  // Writes the local Version.INF for application "Vq" installed in app folder.
  void InstallVersion(const std::string& version, const std::string& name = "Vq");
  // Publishes a version (and, unless empty, the update files) on the server for "Vq".
  void Publish(const std::string& version, const std::string& zip = "zip",
               const std::string& data = "new data");
  std::string ServerPath(const std::string& file, const std::string& name = "Vq") const;
  // Titles of the message boxes shown so far, joined by " | ".
  std::string Titles() const;
  bool Requested(const std::string& file);

  TempDir updater;
  TempDir app;
  TestServer server;
  RealFileSystem realFiles;
  RedirectedFileSystem files{realFiles, updater.Path()};
  RealUrlServices urls;
  FakeClock clock;
  ScriptedPrompts prompts;
  FakeFormHost host;
  ThrowingTerminator terminator;
  FakeInstanceGuard instance;
  Env env;
  std::unique_ptr<mQzUpdate> module;
};

}  // namespace qz::test
