#include "releasetool/UpdaterConfigurator.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>

#include "platform/Error.h"
#include "releasetool/CommandOptions.h"
#include "settings/SettingsBlock.h"
#include "signing/SigningKeys.h"

namespace qz {
namespace {

namespace fs = std::filesystem;

constexpr char kMarker[] = "QZUPDATE_SETTINGS_BLOCK_1\n";
static_assert(sizeof kMarker - 1 == SettingsBlock::kMarkerSize);
constexpr size_t kMostKeys = 2;

uint32_t Read32(const std::string& bytes, size_t at) {
  if (at + 4 > bytes.size()) return 0;
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value |= uint32_t(uint8_t(bytes[at + i])) << (8 * i);
  return value;
}

// True for a Windows executable whose certificate table (data directory 4) is not empty.
bool HasAuthenticodeSignature(const std::string& bytes) {
  if (bytes.compare(0, 2, "MZ") != 0) return false;
  const size_t pe = Read32(bytes, 0x3C);
  if (pe + 24 > bytes.size() || bytes.compare(pe, 4, std::string("PE\0\0", 4)) != 0) return false;
  const size_t optional = pe + 24;
  const uint32_t magic = Read32(bytes, optional) & 0xFFFF;
  const size_t directories = optional + (magic == 0x20B ? 112 : 96);
  const uint32_t count = Read32(bytes, directories - 4);
  constexpr uint32_t kCertificateTable = 4;
  return count > kCertificateTable && Read32(bytes, directories + kCertificateTable * 8 + 4) != 0;
}

// The marker alone may also be text of another program (this one holds it): only a block
// whose lines are settings and whose rest is zero bytes may be rewritten.
bool IsBlock(std::string_view bytes) {
  if (bytes.size() < SettingsBlock::kSize) return false;
  const std::string_view block = bytes.substr(0, SettingsBlock::kSize);
  const std::string_view lines = block.substr(0, block.find('\0'));
  return lines.compare(SettingsBlock::kMarkerSize, 8, "BaseUrl=") == 0 && lines.back() == '\n' &&
         block.find_first_not_of('\0', lines.size()) == std::string_view::npos;
}

std::string ReadWhole(const std::string& path) {
  std::ifstream file(fs::path(path), std::ios::binary);
  if (!file) throw Error(Error::kFileNotFound, "cannot open " + path + ".");
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) throw Error(Error::kPathFileAccess, "cannot read " + path + ".");
  return bytes;
}

void WriteBlock(const std::string& path, size_t offset, const std::string& block) {
  std::fstream file(fs::path(path), std::ios::binary | std::ios::in | std::ios::out);
  file.seekp(static_cast<std::streamoff>(offset));
  file.write(block.data(), static_cast<std::streamsize>(block.size()));
  file.close();
  if (!file) throw Error(Error::kPathFileAccess, "cannot write " + path + ".");
}

std::string BlockOf(const UpdaterSettings& settings) {
  std::string block = kMarker + SettingsBlock::Lines(settings);
  if (block.size() > SettingsBlock::kSize) {
    throw Error(Error::kOverflow, "the address is too long for the updater's settings.");
  }
  block.resize(SettingsBlock::kSize, '\0');
  return block;
}

}  // namespace

UpdaterConfigurator::UpdaterConfigurator(std::ostream& out) : out_(out) {}

std::optional<std::string> UpdaterConfigurator::BaseUrlProblem(const std::string& url) {
  size_t host = 0;
  for (const char* scheme : {"http://", "https://"}) {
    if (url.rfind(scheme, 0) == 0) host = std::strlen(scheme);
  }
  if (host == 0) return "the address must start with http:// or https://.";
  for (unsigned char c : url) {
    if (c <= ' ' || c == '"' || c == '?' || c == '#' || c == '\\' || c >= 0x7F) {
      return "the address may not hold spaces, control characters, quotes, backslashes, '?', "
             "'#' or non-ASCII characters.";
    }
  }
  const size_t path = url.find('/', host);
  if (path == std::string::npos || path == host) return "the address names no server.";
  // Credentials would travel to every proxy on plain http and into the run log that
  // customers are asked to send.
  if (url.find('@', host) < path) {
    return "the address may not hold a user name or password (user:password@); the updater "
           "sends no credentials.";
  }
  if (url.back() != '/') {
    return "the address must end in / (the updater appends <ApplicationName>/Version.INF); "
           "did you mean " +
           url + "/ ?";
  }
  return std::nullopt;
}

size_t UpdaterConfigurator::BlockOffset(const std::string& binary) {
  if (HasAuthenticodeSignature(binary)) {
    throw Error(Error::kInvalidCall,
                "the file carries an Authenticode signature, which configuring would break: "
                "configure the unsigned updater, then sign it.");
  }
  return FoundBlock(binary);
}

size_t UpdaterConfigurator::FoundBlock(const std::string& binary) {
  const size_t at = binary.find(kMarker);
  if (at == std::string::npos || !IsBlock(std::string_view(binary).substr(at))) {
    throw Error(Error::kInvalidCall, "the file is not a QzUpdate updater with a settings block.");
  }
  if (binary.find(kMarker, at + 1) != std::string::npos) {
    throw Error(Error::kInvalidCall, "the file holds more than one settings block.");
  }
  return at;
}

void UpdaterConfigurator::Run(const CommandOptions& options) {
  if (options.Positional().size() != 1) {
    throw Error(Error::kInvalidCall, "configure takes one updater file.", CommandOptions::kSource);
  }
  const std::string& updater = options.Positional()[0];
  if (options.Has("show")) return Show(updater);
  const UpdaterSettings settings = Wanted(options);
  const std::string binary = ReadWhole(updater);
  const size_t offset = BlockOffset(binary);
  const std::string target = options.One("out").value_or(updater);
  if (target != updater) {
    std::error_code error;
    fs::copy_file(fs::path(updater), fs::path(target), fs::copy_options::overwrite_existing, error);
    if (error)
      throw Error(Error::kPathFileAccess, "cannot write " + target + ": " + error.message());
  }
  WriteBlock(target, offset, BlockOf(settings));
  Print("Configured " + target, settings);
}

UpdaterSettings UpdaterConfigurator::SettingsOf(const std::string& binary) {
  const size_t at = FoundBlock(binary);
  return SettingsBlock::Parse(std::string_view(binary).substr(at, SettingsBlock::kSize));
}

void UpdaterConfigurator::Show(const std::string& updater) {
  Print(updater, SettingsOf(ReadWhole(updater)));
}

UpdaterSettings UpdaterConfigurator::Wanted(const CommandOptions& options) {
  UpdaterSettings settings{options.Required("base-url"), options.All("public-key")};
  if (auto problem = BaseUrlProblem(settings.baseUrl)) {
    throw Error(Error::kInvalidCall, "--base-url " + settings.baseUrl + ": " + *problem);
  }
  if (settings.publicKeys.size() > kMostKeys) {
    throw Error(Error::kInvalidCall, "the updater trusts at most two keys.");
  }
  for (const std::string& key : settings.publicKeys) {
    try {
      if (key.size() != 44) throw Error(SigningKeys::kBadKey, "it is not 44 characters long.");
      SigningKeys::ParsePublic(key);
    } catch (const Error& error) {
      throw Error(Error::kInvalidCall,
                  "--public-key " + key +
                      " is not a public key as keygen prints it: " + error.Description());
    }
  }
  return settings;
}

void UpdaterConfigurator::Print(const std::string& what, const UpdaterSettings& settings) {
  out_ << what << ":\n  base address: " << settings.baseUrl << "\n";
  if (settings.publicKeys.empty()) {
    out_ << "  public keys:  none (any update the server hands out installs)\n";
  }
  for (const std::string& key : settings.publicKeys) out_ << "  public key:   " << key << "\n";
}

}  // namespace qz
