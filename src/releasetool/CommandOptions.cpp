#include "releasetool/CommandOptions.h"

#include "platform/Error.h"

namespace qz {

CommandOptions::CommandOptions(const std::vector<std::string>& args, size_t from,
                               const std::set<std::string>& valued,
                               const std::set<std::string>& flags) {
  for (size_t i = from; i < args.size(); ++i) {
    if (args[i].rfind("--", 0) != 0) {
      positional_.push_back(args[i]);
      continue;
    }
    const std::string name = args[i].substr(2);
    if (flags.count(name) != 0) {
      flags_.insert(name);
    } else if (valued.count(name) == 0) {
      throw Error(Error::kInvalidCall, "unknown option " + args[i] + ".", kSource);
    } else if (i + 1 >= args.size()) {
      throw Error(Error::kInvalidCall, args[i] + " needs a value.", kSource);
    } else {
      values_.emplace(name, args[++i]);
    }
  }
}

std::vector<std::string> CommandOptions::All(const std::string& name) const {
  std::vector<std::string> found;
  auto [first, last] = values_.equal_range(name);
  for (auto it = first; it != last; ++it) found.push_back(it->second);
  return found;
}

std::optional<std::string> CommandOptions::One(const std::string& name) const {
  auto found = All(name);
  if (found.empty()) return std::nullopt;
  return found.back();
}

std::string CommandOptions::Required(const std::string& name) const {
  auto value = One(name);
  if (!value) throw Error(Error::kInvalidCall, "--" + name + " is needed.", kSource);
  return *value;
}

}  // namespace qz
