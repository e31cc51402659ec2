#include "support/UpdaterFixture.h"

#include <filesystem>

#include "unzip/CGCodeModule.h"

namespace qz::test {

UpdaterFixture::UpdaterFixture(FormHost* windows)
    : env{files,      urls,     clock,           prompts, windows != nullptr ? *windows : host,
          terminator, instance, server.BaseUrl()} {
  // The updater loads its extraction library from its own folder. A link on Windows needs
  // a privilege; a copy loads the same.
  const std::string library = updater / CGCodeModule::kLibraryFileName;
#ifdef _WIN32
  std::filesystem::copy_file(QZ_UNZIP_LIBRARY, library);
#else
  std::filesystem::create_symlink(QZ_UNZIP_LIBRARY, library);
#endif
}

mQzUpdate& UpdaterFixture::Start(const std::string& commandLine) {
  module = std::make_unique<mQzUpdate>(env, commandLine);
  return *module;
}

bool UpdaterFixture::RunMain(const std::string& commandLine) {
  mQzUpdate& started = Start(commandLine);
  return Ends([&] { started.Main(); });
}

void UpdaterFixture::InstallVersion(const std::string& version, const std::string& name) {
  updater.Write("Version.INF", "\"[Version Information]\"\r\n\"ApplicationName=" + name +
                                   "\"\r\n\"ApplicationPath=" + app.Path() +
                                   "\"\r\n\"ApplicationVersion=" + version + "\"\r\n");
}

std::string UpdaterFixture::ServerPath(const std::string& file, const std::string& name) const {
  return "/Support/VqPrime/QzUFiles/" + name + "/" + file;
}

void UpdaterFixture::Publish(const std::string& version, const std::string& zip,
                             const std::string& data) {
  server.Put(ServerPath("Version.INF"), "ApplicationVersion=" + version + "\r\n");
  server.Put(ServerPath("VQ.Zip"), zip);
  server.Put(ServerPath("Data.TXT"), data);
}

std::string UpdaterFixture::Titles() const {
  std::string titles;
  for (const auto& box : prompts.boxes) titles += (titles.empty() ? "" : " | ") + box.title;
  return titles;
}

bool UpdaterFixture::Requested(const std::string& file) {
  for (const auto& path : server.Requests()) {
    if (path == ServerPath(file)) return true;
  }
  return false;
}

}  // namespace qz::test
