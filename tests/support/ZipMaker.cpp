#include "support/ZipMaker.h"

#include <zip.h>

#include <stdexcept>

namespace qz::test {

void MakeZip(const std::string& path,
             const std::vector<std::pair<std::string, std::string>>& members) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (archive == nullptr) throw std::runtime_error("cannot create " + path);
  for (const auto& [name, contents] : members) {
    zip_source_t* source = zip_source_buffer(archive, contents.data(), contents.size(), 0);
    if (source == nullptr || zip_file_add(archive, name.c_str(), source, ZIP_FL_OVERWRITE) < 0) {
      zip_source_free(source);
      zip_discard(archive);
      throw std::runtime_error("cannot add " + name);
    }
  }
  if (zip_close(archive) < 0) throw std::runtime_error("cannot write " + path);
}

}  // namespace qz::test
