#pragma once

#include <string>
#include <vector>

namespace qz {

class Clock;
class FileSystem;
class FormHost;
class InstanceGuard;
class Prompts;
class Terminator;
class UrlServices;

// Everything the updater needs from the platform, handed to the code that needs it.
// One real set is made in main(); tests put fakes in where the real piece cannot be driven.
struct Env {
  FileSystem& files;
  UrlServices& urls;
  Clock& clock;
  Prompts& prompts;
  FormHost& forms;
  Terminator& terminator;
  InstanceGuard& instance;
  // Update server base address; every server file is this + ApplicationName + "/" + name.
  std::string baseUrl;
  // Public keys (base64) of which one must have signed an update; none: nothing is checked.
  std::vector<std::string> signingKeys = {};
};

}  // namespace qz
