#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qz {

// One command's arguments: `--name value` options (repeatable), `--flag` switches and the
// positional arguments, in order.
class CommandOptions {
 public:
  // The source of the errors that say the command line is wrong.
  static constexpr char kSource[] = "command line";

  // Reads `args` from index `from`. `valued` are the options that take a value, `flags`
  // those that do not; anything else starting with "--", or an option without its value,
  // throws qz::Error naming it, with source kSource.
  CommandOptions(const std::vector<std::string>& args, size_t from,
                 const std::set<std::string>& valued, const std::set<std::string>& flags);

  // Every value given for `name`, in order.
  std::vector<std::string> All(const std::string& name) const;
  // The last value given for `name`, if any.
  std::optional<std::string> One(const std::string& name) const;
  // The value of `name`; throws qz::Error (source kSource) saying it is needed when missing.
  std::string Required(const std::string& name) const;
  bool Has(const std::string& flag) const { return flags_.count(flag) != 0; }
  const std::vector<std::string>& Positional() const { return positional_; }

 private:
  std::multimap<std::string, std::string> values_;
  std::set<std::string> flags_;
  std::vector<std::string> positional_;
};

}  // namespace qz
